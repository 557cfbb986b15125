// A data folder of one test's own: fresh, named after the test, made the program's data folder
// ($TELVANE_HOME) while it lives, and removed with its contents afterwards.  Tests write only
// there, so two runs of one build (or two test programs at once) never share a file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace telvane::testing {

class TempDataFolder {
  public:
    TempDataFolder() {
        std::string name = "telvane";
        if (const auto* test = ::testing::UnitTest::GetInstance()->current_test_info())
            name += std::string("-") + test->test_suite_name() + "-" + test->name();
        for (char& c : name) {
            if (c == '/' || c == ' ') c = '_';
        }
        std::string pattern = std::filesystem::temp_directory_path() / (name + "-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot make a temp folder " << pattern;
            return;
        }
        path_ = pattern;
        if (const char* home = std::getenv("TELVANE_HOME")) previousHome_ = home;
        ::setenv("TELVANE_HOME", path_.c_str(), 1);
    }
    ~TempDataFolder() {
        if (previousHome_)
            ::setenv("TELVANE_HOME", previousHome_->c_str(), 1);
        else
            ::unsetenv("TELVANE_HOME");
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDataFolder(const TempDataFolder&) = delete;
    TempDataFolder& operator=(const TempDataFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
    std::optional<std::string> previousHome_;
};

}  // namespace telvane::testing
