#include "codec/csv_field.h"

#include <gtest/gtest.h>

namespace telvane::testing {
namespace {

TEST(CsvField, QuotesWhatWouldSplitTheLineAndKeepsFormulasText) {
    struct Case {
        std::u16string text;
        std::string field;
    } cases[] = {
        {u"", ""},
        {u"See you at 7", "See you at 7"},
        {u"Hi, \"you\"\r\nBye", "\"Hi, \"\"you\"\"\r\nBye\""},
        {u"line\nbreak", "\"line\nbreak\""},
        {u"中文", "中文"},
        {u"+886912345678", "+886912345678"},  // a number stays a number
        {u"+886 912 345 678", "+886 912 345 678"},
        {u"=1+1", "'=1+1"},
        {u"-2+3", "'-2+3"},
        {u"@SUM(A1)", "'@SUM(A1)"},
        {u"+1,2", "\"'+1,2\""},
        {u"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CsvField(c.text), c.field) << c.field;
}

}  // namespace
}  // namespace telvane::testing
