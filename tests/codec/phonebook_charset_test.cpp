#include "codec/phonebook_charset.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace telvane {
namespace {

using Set = PhonebookCharset;

TEST(PhonebookCharset, NamesRoundTripInEachSet) {
    struct Case {
        std::u16string name;
        Set set;
        std::string field;
    } cases[] = {
        {u"媽媽", Set::kUcs2, "5ABD5ABD"},
        {u"爸爸 Dad", Set::kUcs2, "723872380020004400610064"},
        {u"Mom 媽咪", Set::kUcs2, "004D006F006D00205ABD54AA"},
        {u"Ann", Set::kUcs2, "0041006E006E"},
        {u"", Set::kUcs2, ""},
        {u"Dr. Lee (HK)", Set::kIra, "Dr. Lee (HK)"},
        {u"a@b_$1", Set::kIra, "a@b_$1"},
        {u"Jörg Ñandü", Set::kGsm, "J|rg ]and~"},
        {u"Ken", Set::kGsm, "Ken"},
    };
    for (const Case& c : cases) {
        const NameField encoded = EncodePhonebookName(c.name, c.set, 0);
        EXPECT_TRUE(encoded.ok()) << U16ToUtf8(c.name) << ": " << U16ToUtf8(encoded.reason);
        EXPECT_EQ(encoded.field, c.field) << U16ToUtf8(c.name);
        EXPECT_EQ(DecodePhonebookName(c.field, c.set), c.name) << c.field;
        // The engine hands the field over widened, one unit per received byte.
        EXPECT_EQ(DecodePhonebookName(Widen(c.field), c.set), c.name) << c.field;
    }
}

TEST(PhonebookCharset, ReadsTheSimRecordForms) {
    struct Case {
        std::string field;
        std::u16string name;
    } cases[] = {
        {"805ABD5ABD", u"媽媽"},
        {"805ABD5ABDFFFFFFFF", u"媽媽"},  // unused characters of the record
        {"8105B54D6F6D20BD", u"Mom 媽"},
        {"8105B54D6F6D20BDFFFF", u"Mom 媽"},
        {"82067238808020446164", u"爸爸 Dad"},
        {"8204723880801B65", u"爸爸€"},  // an escape takes the next septet with it
        // Plain UCS2 beginning like a compact form, but whose count does not fit it.
        {"81025ABD", u"\u8102\u5ABD"},
        // A count that fits but no offset character: a SIM would have used plain GSM.
        {"81024142", u"\u8102\u4142"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodePhonebookName(c.field, Set::kUcs2), c.name) << c.field;
}

TEST(PhonebookCharset, DecodesWhatEachSetCarries) {
    EXPECT_EQ(DecodePhonebookName(std::string("\x00"
                                              "bc\x1B\x65",
                                              5),
                                  Set::kGsm),
              u"@bc€");
    EXPECT_EQ(DecodePhonebookName(std::string("Caf\xE9"), Set::kIra), u"Café");
    const struct {
        std::string field;
        Set set;
    } malformed[] = {
        {"5AB", Set::kUcs2},        {"5ABG", Set::kUcs2}, {"Ann", Set::kUcs2},
        {"8109B54D6F", Set::kUcs2},  // a count beyond the field, and not whole characters
        {"Caf\xE9", Set::kGsm},
    };
    for (const auto& m : malformed)
        EXPECT_EQ(DecodePhonebookName(m.field, m.set), std::nullopt) << m.field;
    EXPECT_EQ(DecodePhonebookName(std::u16string(u"5ABD\u5ABD"), Set::kUcs2), std::nullopt);
}

TEST(PhonebookCharset, RefusesWhatTheSetCannotHoldWithAReason) {
    struct Case {
        std::u16string name;
        Set set;
        int32_t limit;
        std::u16string reason;
    } cases[] = {
        {u"Mom 媽媽", Set::kIra, 14,
         u"\u201C媽\u201D cannot be written to the SIM in the modem's IRA character set."},
        {u"Say \"hi\"", Set::kIra, 14,
         u"\u201C\"\u201D cannot be written to the SIM in the modem's IRA character set."},
        {u"Tab\there", Set::kIra, 14,
         u"the control character U+0009 cannot be written to the SIM in the modem's IRA "
         u"character set."},
        {u"Café", Set::kGsm, 14,
         u"\u201C\u00E9\u201D cannot be written to the SIM in the modem's GSM character set."},
        {u"a@b", Set::kGsm, 14,
         u"\u201C@\u201D cannot be written to the SIM in the modem's GSM character set."},
        {u"5€", Set::kGsm, 14,
         u"\u201C€\u201D cannot be written to the SIM in the modem's GSM character set."},
        {u"媽", Set::kGsm, 14,
         u"\u201C媽\u201D cannot be written to the SIM in the modem's GSM character set."},
        {u"Mom 媽咪!", Set::kUcs2, 6, u"The name is 7 characters long; the SIM holds at most 6."},
        {u"Customer Care 2", Set::kIra, 14,
         u"The name is 15 characters long; the SIM holds at most 14."},
    };
    for (const Case& c : cases) {
        const NameField encoded = EncodePhonebookName(c.name, c.set, c.limit);
        EXPECT_FALSE(encoded.ok()) << U16ToUtf8(c.name);
        EXPECT_EQ(encoded.field, "") << U16ToUtf8(c.name);
        EXPECT_EQ(U16ToUtf8(encoded.reason), U16ToUtf8(c.reason));
    }
    // At the limit is still accepted.
    EXPECT_TRUE(EncodePhonebookName(u"Mom 媽咪", Set::kUcs2, 6).ok());
    EXPECT_TRUE(EncodePhonebookName(u"Customer Care", Set::kIra, 13).ok());
}

TEST(PhonebookCharset, LengthInTheUnitsOfTheSet) {
    EXPECT_EQ(PhonebookNameLength(u"€uro", Set::kGsm), 5);
    EXPECT_EQ(PhonebookNameLength(u"€uro", Set::kUcs2), 4);
    EXPECT_EQ(PhonebookNameLength(u"\U0001F600", Set::kUcs2), 2);
    EXPECT_EQ(PhonebookNameLength(u"Dad", Set::kIra), 3);
}

TEST(PhonebookCharset, ChoosesFromTheModemsOffer) {
    struct Case {
        std::string answer;
        std::vector<Set> offered;
        Set chosen;
    } cases[] = {
        {"+CSCS: (\"IRA\",\"GSM\",\"UCS2\")", {Set::kIra, Set::kGsm, Set::kUcs2}, Set::kUcs2},
        {"+CSCS: (\"GSM\",\"8859-1\",\"IRA\",\"HEX\")", {Set::kGsm, Set::kIra}, Set::kIra},
        {"+CSCS: \"GSM\",\"UCS2\"", {Set::kGsm, Set::kUcs2}, Set::kUcs2},
        {"+CSCS: (\"GSM\")", {Set::kGsm}, Set::kGsm},
        {"+CSCS: (\"PCCP437\")", {}, Set::kIra},
        {"+CSCS: (\"IRA\",\"UCS", {Set::kIra}, Set::kIra},
        {"ERROR", {}, Set::kIra},
        {"", {}, Set::kIra},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseCharsetOffer(c.answer), c.offered) << c.answer;
        EXPECT_EQ(ChoosePhonebookCharset(c.offered), c.chosen) << c.answer;
    }
    EXPECT_EQ(CharsetName(Set::kUcs2), "UCS2");
    EXPECT_EQ(CharsetName(Set::kGsm), "GSM");
    EXPECT_EQ(CharsetName(Set::kIra), "IRA");
}

}  // namespace
}  // namespace telvane
