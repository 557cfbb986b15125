// Decodes every real PDU of the shared corpus and compares with its expected fields.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "codec/pdu_codec.h"
#include "platform/text.h"
#include "support/testdata.h"

namespace telvane {
namespace {

// The corpus escapes \n \r \\ and \uXXXX (UTF-16).
std::u16string Unescape(const std::string& field) {
    std::u16string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 >= field.size()) {
            out += Utf8ToU16(field.substr(i, 1));
            continue;
        }
        char kind = field[++i];
        if (kind == 'n') {
            out.push_back(u'\n');
        } else if (kind == 'r') {
            out.push_back(u'\r');
        } else if (kind == 'u' && i + 4 < field.size()) {
            out.push_back(static_cast<char16_t>(std::stoi(field.substr(i + 1, 4), nullptr, 16)));
            i += 4;
        } else {
            out.push_back(static_cast<char16_t>(kind));
        }
    }
    return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

TEST(PduCorpus, EveryRowDecodesAsExpected) {
    SKIP_WITHOUT_TESTDATA();
    std::ifstream file(TELVANE_TESTDATA_DIR "/pdus.tsv");
    ASSERT_TRUE(file) << "missing " TELVANE_TESTDATA_DIR "/pdus.tsv";
    std::string line;
    std::getline(file, line);
    ASSERT_EQ(SplitTabs(line).at(2), "pdu");
    int rows = 0;
    PduCodec codec;
    while (std::getline(file, line)) {
        if (line.empty()) continue;
        auto f = SplitTabs(line);
        ASSERT_GE(f.size(), 9u) << line;
        std::u16string number, time, text;
        codec.DecodeMessagePdu(Widen(f[2]), number, time, text);
        EXPECT_EQ(U16ToUtf8(number), U16ToUtf8(Unescape(f[4]))) << f[0];
        EXPECT_EQ(U16ToUtf8(time), f[5]) << f[0];
        EXPECT_EQ(U16ToUtf8(text), U16ToUtf8(Unescape(f[8]))) << f[0];
        ++rows;
    }
    EXPECT_EQ(rows, 80);
}

}  // namespace
}  // namespace telvane
