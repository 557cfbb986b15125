#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "modem/command_text.h"

namespace telvane {
namespace {

TEST(CommandText, PhonebookWriteNeverCarriesALineBreakToTheModem) {
    struct Case {
        const char16_t* number;
        const char16_t* name;
        std::optional<std::string> command;
    } cases[] = {
        {u"5550100", u"Ann", "AT+CPBW=3,\"5550100\",129,\"Ann\""},
        {u"+886912345678", u"Bob", "AT+CPBW=3,\"+886912345678\",145,\"Bob\""},
        {u"", u"", "AT+CPBW=3,\"\",129,\"\""},  // clears the position
        // Control characters and quotes leave names; a name cannot start a second command.
        {u"5550100", u"Eve\r\nAT+CMGD=1,4", "AT+CPBW=3,\"5550100\",129,\"EveAT+CMGD=1,4\""},
        {u"5550100", u"A\x1a\x1b\"B\"", "AT+CPBW=3,\"5550100\",129,\"AB\""},
        // A character whose low byte is CR must not become one.
        {u"5550100", u"\u4e0d\u220d", "AT+CPBW=3,\"5550100\",129,\"??\""},
        // Numbers are not mended: the command is refused.
        {u"555\r0100", u"Ann", std::nullopt},
        {u"555\"0100", u"Ann", std::nullopt},
        {u"5550100\x1a", u"Ann", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PhonebookWriteCommand(3, c.number, c.name), c.command) << c.command.value_or("-");
}

TEST(CommandText, DialableNumbers) {
    EXPECT_TRUE(IsDialableNumber(u"+886912345678"));
    EXPECT_TRUE(IsDialableNumber(u"*#06#"));
    EXPECT_FALSE(IsDialableNumber(u"555-0100"));
    EXPECT_FALSE(IsDialableNumber(u"555 0100"));
    EXPECT_FALSE(IsDialableNumber(u"5550100\r"));
}

}  // namespace
}  // namespace telvane
