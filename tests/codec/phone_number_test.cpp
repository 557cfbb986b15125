#include "codec/phone_number.h"

#include <gtest/gtest.h>

#include "codec/pdu_codec.h"
#include "platform/text.h"

namespace telvane {
namespace {

TEST(NormalisePhoneNumber, CleansWhatPeopleWrite) {
    struct Case {
        std::u16string typed, number;
    } cases[] = {
        {u"+886 932-400821", u"+886932400821"},
        {u"(02) 8765-4321", u"0287654321"},
        {u"+886-922-333-444", u"+886922333444"},
        {u" +1.800.555.1212 ", u"+18005551212"},
        {u"(+44) 20 7946 0018", u"+442079460018"},
        {u"0912\u00A0345\u2011678", u"0912345678"},
        {u"*100#", u"*100#"},
        {u"12345678901234567890", u"12345678901234567890"},
        {u"+12345678901234567890", u"+12345678901234567890"},
    };
    for (const auto& c : cases) {
        PhoneNumber n = NormalisePhoneNumber(c.typed);
        EXPECT_TRUE(n.ok()) << U16ToUtf8(c.typed) << ": " << U16ToUtf8(n.Reason());
        EXPECT_EQ(n.number, c.number) << U16ToUtf8(c.typed);
        EXPECT_TRUE(IsNormalisedNumber(c.number)) << U16ToUtf8(c.number);
    }
}

TEST(NormalisePhoneNumber, RefusesWithAReason) {
    struct Case {
        std::u16string typed;
        NumberError error;
        std::string reason;
    } cases[] = {
        {u"", NumberError::kEmpty, "The number is empty."},
        {u" - ( ) ", NumberError::kEmpty, "The number is empty."},
        {u"+", NumberError::kEmpty, "The number is empty."},
        // what a crafted centre carried to the modem
        {u"+886\x1B\rAT+CMGD=1,4", NumberError::kBadCharacter,
         "The number holds a control character (U+001B); only digits, * and #, after an optional "
         "leading +, are allowed."},
        {u"123\r", NumberError::kBadCharacter, "The number holds a control character (U+000D)"},
        {u"0800 FLOWERS", NumberError::kBadCharacter, "The number holds 'F'"},
        {u"12;34", NumberError::kBadCharacter, "The number holds ';'"},
        {u"\"12", NumberError::kBadCharacter, "The number holds '\"'"},
        {u"\uFF10\uFF11", NumberError::kBadCharacter, "The number holds '\xEF\xBC\x90'"},
        {u"886+123", NumberError::kMisplacedPlus, "The number has a '+' after its start"},
        {u"++886", NumberError::kMisplacedPlus, "The number has a '+' after its start"},
        {u"123456789012345678901", NumberError::kTooLong,
         "The number has 21 digits; at most 20 fit."},
        {std::u16string(300, u'9'), NumberError::kTooLong, "The number has 300 digits"},
    };
    for (const auto& c : cases) {
        PhoneNumber n = NormalisePhoneNumber(c.typed);
        EXPECT_FALSE(n.ok()) << U16ToUtf8(c.typed);
        EXPECT_EQ(n.error, c.error) << U16ToUtf8(c.typed);
        EXPECT_EQ(n.number, u"") << U16ToUtf8(c.typed);
        EXPECT_EQ(U16ToUtf8(n.Reason()).rfind(c.reason, 0), 0u)
            << U16ToUtf8(c.typed) << ": " << U16ToUtf8(n.Reason());
        EXPECT_FALSE(IsNormalisedNumber(c.typed)) << U16ToUtf8(c.typed);
    }
}

TEST(NormaliseServiceCentre, EmptyMeansTheModemsOwnCentre) {
    EXPECT_TRUE(NormaliseServiceCentre(u"").ok());
    EXPECT_EQ(NormaliseServiceCentre(u"  ").number, u"");
    EXPECT_EQ(NormaliseServiceCentre(u"+").error, NumberError::kEmpty);
    EXPECT_EQ(NormaliseServiceCentre(u"+886\x1B\r").error, NumberError::kBadCharacter);

    PhoneNumber centre = NormaliseServiceCentre(u"+886 932-400821");
    ASSERT_TRUE(centre.ok());
    int32_t length = 0;
    std::u16string pdu = PduCodec().EncodeTextSubmit(centre.number, u"+1234567", u"abc", length);
    EXPECT_EQ(pdu.substr(0, 16), u"0791889623048012");
    EXPECT_EQ(length, 14);
}

}  // namespace
}  // namespace telvane
