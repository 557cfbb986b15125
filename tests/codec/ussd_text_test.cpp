// USSD strings: what may be sent, and the network's text in the forms modems pass it on.
#include <gtest/gtest.h>

#include <string>

#include "codec/ussd_text.h"

namespace telvane {
namespace {

TEST(UssdText, CodesAndRepliesThatMayBeSent) {
    struct Case {
        std::u16string text;
        bool code;
        bool reply;
    } cases[] = {
        {u"*100#", true, true},
        {u"*149*01#", true, true},
        {u"+123", true, true},
        {u"4", true, true},
        {u"Yes", false, true},
        {u"", false, false},
        {u"*100#\"", false, false},  // a quote would end the command's string
        {u"1;ATD123", false, false},
        {u"1\r", false, false},
        {u"1 2", false, false},
        {u"ä", false, false},  // outside what every character set shares
        {std::u16string(183, u'1'), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsUssdCode(c.text), c.code) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(IsUssdReply(c.text), c.reply) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(UssdText, AlphabetOfTheCodingScheme) {
    struct Case {
        int dcs;
        UssdAlphabet alphabet;
    } cases[] = {
        {0x0F, UssdAlphabet::kGsm7}, {0x00, UssdAlphabet::kGsm7}, {0x10, UssdAlphabet::kGsm7},
        {0x11, UssdAlphabet::kUcs2}, {0x48, UssdAlphabet::kUcs2}, {0x44, UssdAlphabet::kEightBit},
        {0x40, UssdAlphabet::kGsm7}, {0x98, UssdAlphabet::kUcs2}, {0xF4, UssdAlphabet::kEightBit},
        {0xF0, UssdAlphabet::kGsm7}, {-1, UssdAlphabet::kGsm7},   {300, UssdAlphabet::kGsm7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UssdAlphabetOf(c.dcs), c.alphabet) << c.dcs;
}

TEST(UssdText, DecodesEachFormModemsUse) {
    struct Case {
        const char* field;
        int dcs;
        std::u16string text;
    } cases[] = {
        {"Your balance is 12.50", 15, u"Your balance is 12.50"},
        // GSM 7-bit packed: "Balance 12.50", and "Hello" (five septets, no padding).
        {"C2303BEC1E97413199AB0603", 15, u"Balance 12.50"},
        {"C8329BFD06", 15, u"Hello"},
        // Seven septets and the CR that fills the spare bits: "1234567".
        {"31D98C56B3DD1A", 15, u"1234567"},
        {"00420061006C", 72, u"Bal"},
        {"60A876849918984D70BA0020003100300030002051433002", 72, u"您的餘額為 100 元。"},
        // A modem set to "UCS2" passes a 7-bit text on as UCS2 hex.
        {"00420061006C", 15, u"Bal"},
        // Plain digits that happen to be hex stay what they are.
        {"1000", 15, u"1000"},
        {"123456", 15, u"123456"},
        // Language first (0x11: two septets in two octets), then UCS2.
        {"D9770042", 0x11, u"B"},
        {"48692C", 0x44, u"Hi,"},
        // UCS2 announced, but the modem already decoded it.
        {"Balance", 72, u"Balance"},
        {"caf\xC3\xA9", 15, u"caf\u00E9"},
        {"caf\xE9", 15, u"caf\u00E9"},
        {"", 15, u""},
        {"ABC", 72, u"ABC"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeUssdText(c.field, c.dcs), c.text) << c.field;
}

}  // namespace
}  // namespace telvane
