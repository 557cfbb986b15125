#include "platform/text.h"

#include <gtest/gtest.h>

namespace telvane {
namespace {

TEST(ReadNumber, FollowsTheRuntimeConversion) {
    struct Case {
        std::string_view text;
        int32_t value;
    } cases[] = {
        {"12", 12},
        {"  15,99", 15},
        {"-3x", -3},
        {"+7", 7},
        {"", 0},
        {"abc", 0},
        {" \t 42", 42},
        {"- 1", 0},
        {"007", 7},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadNumber(c.text), c.value) << c.text;
        EXPECT_EQ(ReadNumber(Widen(c.text)), c.value) << c.text;
    }
}

TEST(Utf8, RoundTripsEveryPlaneAndReplacesMalformedBytes) {
    const std::u16string text = u"a\u00e9\u4e2d\u20ac\U0001F600";
    EXPECT_EQ(Utf8ToU16(U16ToUtf8(text)), text);
    EXPECT_EQ(U16ToUtf8(u"\u4e2d"), "\xe4\xb8\xad");
    EXPECT_EQ(Utf8ToU16("a\xff"
                        "b"),
              u"a\ufffd"
              "b");
    EXPECT_EQ(Utf8ToU16("\xe4\xb8"), u"\ufffd\ufffd");  // cut short
    EXPECT_EQ(Utf8ToU16("\xc0\x80"), u"\ufffd\ufffd");  // overlong
    EXPECT_EQ(U16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xef\xbf\xbd");
}

}  // namespace
}  // namespace telvane
