// The real PDUs and modem captures kept beside the checkout (../shared/testdata).  A checkout on
// its own has none: the tests that read them skip with a message instead of failing.
//
//   TEST(Captures, ...) {
//       SKIP_WITHOUT_TESTDATA();
//       std::ifstream in(telvane::testing::TestData() / "pdus.tsv");
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

namespace telvane::testing {

inline std::filesystem::path TestData() {
    return TELVANE_TESTDATA_DIR;
}

inline bool HaveTestData() {
    std::error_code ignored;
    return std::filesystem::is_directory(TestData(), ignored);
}

}  // namespace telvane::testing

#define SKIP_WITHOUT_TESTDATA()                                                 \
    if (!::telvane::testing::HaveTestData())                                    \
    GTEST_SKIP() << "no shared test data at " << ::telvane::testing::TestData() \
                 << " (it lives beside the checkout)"
