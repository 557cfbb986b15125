// Whole answers of one command, as the engine collects them, read whole or failed.
#include "modem/answer_parsers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/pdu_codec.h"
#include "platform/text.h"

namespace telvane {
namespace {

using Lines = std::vector<std::string>;

// "hellohello" from +18005551212, 11/01/01,12:34:56: a TPDU of 28 octets.
const std::string kPdu = "07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37";

// The parts of a long text as stored outgoing messages, with their TPDU lengths.
std::vector<SubmitPart> LongTextParts() {
    const TextSubmit submit =
        PduCodec().EncodeTextMessage(u"", u"+886912345678", std::u16string(200, u'x'), {});
    EXPECT_EQ(submit.parts.size(), 2u);
    return submit.parts;
}

TEST(ListingAnswer, ReadsEveryEntryInOrder) {
    const std::vector<SubmitPart> parts = LongTextParts();
    // The engine may hand over one response holding several lines, or a line each.
    const Lines lines = {
        "+CMGL: 0,0,,28\r\n" + kPdu,
        "+CMGL: 65535,1,\"Ann, at home\",28",
        kPdu,
        "",
        "+CMGL: 7,2," + std::to_string(parts[0].tpduLength) + "\r\n" + Narrow(parts[0].pdu),
        "+CMGL: 8,3,,  " + std::to_string(parts[1].tpduLength) + "\r\n" + Narrow(parts[1].pdu),
    };
    const ParsedAnswer<std::vector<SmsPart>> listed = ParseListingAnswer(lines);
    ASSERT_TRUE(listed.ok()) << listed.failure;
    ASSERT_EQ(listed.data.size(), 4u);
    const struct {
        int32_t index;
        const char16_t* status;
    } expected[] = {{0, u"REC UNREAD"}, {65535, u"REC READ"}, {7, u"STO UNSENT"}, {8, u"STO SENT"}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(listed.data[i].record.index, expected[i].index);
        EXPECT_EQ(listed.data[i].record.status, expected[i].status);
    }
    EXPECT_EQ(listed.data[0].record.number, u"+18005551212");
    EXPECT_EQ(listed.data[0].record.time, u"11/01/01,12:34:56");
    EXPECT_EQ(listed.data[1].record.text, u"hellohello");
    EXPECT_FALSE(listed.data[0].concat);
    ASSERT_TRUE(listed.data[2].concat);
    EXPECT_EQ(listed.data[2].concat->total, 2);
    EXPECT_EQ(listed.data[3].concat->sequence, 2);
    EXPECT_EQ(listed.data[2].record.number, u"+886912345678");

    // A PDU line that a modem's own line (taken out before) cut in two is one PDU again.
    const ParsedAnswer<std::vector<SmsPart>> cut = ParseListingAnswer(
        {"+CMGL: 3,1,,28", kPdu.substr(0, 31), kPdu.substr(31), "+CMGL: 4,1,,28", kPdu});
    ASSERT_TRUE(cut.ok()) << cut.failure;
    ASSERT_EQ(cut.data.size(), 2u);
    EXPECT_EQ(cut.data[0].record.text, u"hellohello");
    EXPECT_TRUE(ParseReadAnswer({"+CMGR: 1,,28", kPdu.substr(0, 2), kPdu.substr(2)}, 3).ok());

    EXPECT_TRUE(ParseListingAnswer({}).ok());  // an empty store
    EXPECT_TRUE(ParseListingAnswer({"AT+CMGF=0;+CMGL=4", "+CMGL: 1,1,,28", kPdu}).ok());
}

TEST(ListingAnswer, OneBadLineFailsTheWhole) {
    std::string truncated = kPdu.substr(0, kPdu.size() - 2);
    const struct {
        Lines lines;
        const char* why;  // in the reason
    } cases[] = {
        {{"+CMGL: abc", kPdu}, "'+CMGL: abc'"},
        {{"+CMGL: 1,1,,28", kPdu, "+CMGL: abc,1,,28", kPdu}, "abc"},
        {{"+CMGL: 65536,1,,28", kPdu}, "out of range"},
        {{"+CMGL: -5,1,,28", kPdu}, "out of range"},
        {{"+CMGL: 2147483647,1,,28", kPdu}, "out of range"},
        {{"+CMGL: 1,9,,28", kPdu}, "+CMGL: 1,9"},
        {{"+CMGL: 1,1,,x", kPdu}, "+CMGL: 1,1,,x"},
        {{"+CMGL: 1,1,,28", "+CMGL: 2,1,,28", kPdu}, "without its PDU line: '+CMGL: 1,1,,28'"},
        {{"+CMGL: 1,1,,28", kPdu, "+CMGL: 2,1,,28"}, "without its PDU line: '+CMGL: 2,1,,28'"},
        {{"+CMGL: 1,1,,23", kPdu}, "a TPDU of 28 octets where the header says 23"},
        {{"+CMGL: 1,1,,27", truncated}, "user data past its end"},
        {{"+CMGL: 1,1,,28", kPdu.substr(0, 30), "+CMGL: 2,1,,28", kPdu},
         "a TPDU of 7 octets where the header says 28"},
        {{"+CMGL: 17,3,35",
          "079100F40D1101000F001000B917118336058F300001954747A0E4ACF41F27298CDCE83C6EF371B040281402"
          "0"},
         "odd number of hex digits"},
        {{"+CMGL: 1,1,,28",
          "0791214365870ZZZ040B918100551512F20000111010214365000AE8329BFD4697D9EC"},
         "no hex digit"},
        {{"+CMGL: 1,1,,28", kPdu.substr(0, 20) + std::string(1, '\0') + kPdu.substr(21)},
         "control byte"},
        {{"+CMGL: 1,1,,28", kPdu, "+CREG: 1"}, "'+CREG: 1'"},
        {{"+CMGL: 1,1,,28", kPdu, "BUSY"}, "'BUSY'"},
        {{kPdu}, "'07912143658709F1040B"},
    };
    for (const auto& c : cases) {
        const ParsedAnswer<std::vector<SmsPart>> listed = ParseListingAnswer(c.lines);
        const std::string shown = c.lines[0] + " ...";
        EXPECT_FALSE(listed.ok()) << shown;
        EXPECT_TRUE(listed.data.empty()) << shown;
        EXPECT_TRUE(listed.failure.starts_with("the modem's listing has a malformed line: "))
            << listed.failure;
        EXPECT_NE(listed.failure.find(c.why), std::string::npos) << listed.failure;
    }
}

TEST(ReadAnswer, OneMessageOrWhyNot) {
    const ParsedAnswer<SmsPart> read = ParseReadAnswer({"+CMGR: 0,,28", kPdu}, 4);
    ASSERT_TRUE(read.ok()) << read.failure;
    EXPECT_EQ(read.data.record.index, 4);
    EXPECT_EQ(read.data.record.status, u"REC UNREAD");
    EXPECT_EQ(read.data.record.text, u"hellohello");

    const struct {
        Lines lines;
        const char* why;
    } cases[] = {
        {{}, "the modem gave no message"},
        {{"+CMGR: 0,,28"}, "without its PDU line"},
        {{"+CMGR: 0,,23", kPdu}, "where the header says 23"},
        {{"+CMGR: 0,,28", kPdu, kPdu}, "a line after the message"},
        {{"+CMGR: x", kPdu}, "'+CMGR: x'"},
    };
    for (const auto& c : cases) {
        const ParsedAnswer<SmsPart> failed = ParseReadAnswer(c.lines, 4);
        EXPECT_FALSE(failed.ok()) << c.why;
        EXPECT_NE(failed.failure.find(c.why), std::string::npos) << failed.failure;
    }
}

TEST(PhonebookAnswer, NamesAreNamesWhateverWordsTheyHold) {
    const Lines lines = {
        "+CPBR: 1,\"0912000001\",129,\"BUSY BEE CAFE\"\r\n+CPBR: 2,\"0912000002\",129,\"NO "
        "CARRIER X\"",
        "+CPBR: 3,\"886912000003\",145,\"NO ANSWER\"",
        "+CPBR: 4,\"+886912000004\",145,\"NO DIALTONE\"",
        "+CPBR: 5,\"5\",129,\"OK\"",
        "+CPBR: 250,\"6\",129,\"ERROR\",0",
    };
    const ParsedAnswer<std::vector<PhonebookEntry>> read =
        ParsePhonebookAnswer(lines, 1, 250, PhonebookCharset::kGsm);
    ASSERT_TRUE(read.ok()) << read.failure;
    ASSERT_EQ(read.data.size(), 6u);
    const struct {
        int32_t index;
        const char16_t* number;
        const char16_t* name;
    } expected[] = {
        {1, u"0912000001", u"BUSY BEE CAFE"},
        {2, u"0912000002", u"NO CARRIER X"},
        {3, u"+886912000003", u"NO ANSWER"},
        {4, u"+886912000004", u"NO DIALTONE"},
        {5, u"5", u"OK"},
        {250, u"6", u"ERROR"},
    };
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(read.data[i].index, expected[i].index);
        EXPECT_EQ(read.data[i].number, expected[i].number);
        EXPECT_EQ(read.data[i].name, expected[i].name);
        EXPECT_EQ(read.data[i].changed, 0);
    }
    const auto ucs2 = ParsePhonebookAnswer({"+CPBR: 7,\"1\",129,\"004D006F006D\""}, 1, 10,
                                           PhonebookCharset::kUcs2);
    ASSERT_TRUE(ucs2.ok());
    EXPECT_EQ(ucs2.data[0].name, u"Mom");
    EXPECT_TRUE(ParsePhonebookAnswer({}, 1, 10, PhonebookCharset::kIra).ok());
}

TEST(PhonebookAnswer, OneBadLineFailsTheWhole) {
    const std::string good = "+CPBR: 1,\"0912000001\",129,\"Ann\"";
    const struct {
        std::string line;
        const char* why;
    } cases[] = {
        {"+CPBR: 2,\"0912000002\"", "'+CPBR: 2,\"0912000002\"'"},
        {"+CPBR: 2,\"0912000002\",129,\"Bob", "Bob"},
        {"+CPBR: 2,0912000002,129,\"Bob\"", "Bob"},
        {"+CPBR: x,\"0912000002\",129,\"Bob\"", "x,"},
        {"+CPBR: 0,\"0912000002\",129,\"Bob\"", "index 0 outside the range asked (1-250)"},
        {"+CPBR: 251,\"0912000002\",129,\"Bob\"", "index 251 outside"},
        {"+CPBR: 2,\"0912000002\",129,\"B" + std::string(1, '\0') + "b\"", "control byte"},
        {"+CREG: 1", "'+CREG: 1'"},
    };
    for (const auto& c : cases) {
        const auto read =
            ParsePhonebookAnswer({good, c.line, good}, 1, 250, PhonebookCharset::kIra);
        EXPECT_FALSE(read.ok()) << c.line;
        EXPECT_TRUE(read.data.empty()) << c.line;
        EXPECT_TRUE(read.failure.starts_with("the modem's phonebook has a malformed line: "))
            << read.failure;
        EXPECT_NE(read.failure.find(c.why), std::string::npos) << read.failure;
    }
}

TEST(PhonebookRangeAnswer, LimitsOrWhyNot) {
    const struct {
        Lines lines;
        std::optional<PhonebookLimits> limits;
        const char* why;
    } cases[] = {
        {{"+CPBR: (1-250),20,14"}, PhonebookLimits{20, 14, 250}, ""},
        {{"AT+CPBR=?\r\n+CPBR: (1-10000),40,18"}, PhonebookLimits{40, 18, 10000}, ""},
        {{"+CPBR: (1),20,14"}, PhonebookLimits{20, 14, 1}, ""},
        {{"+CPBR: (1-20000),20,14"}, std::nullopt, "20000 positions"},
        {{"+CPBR: (1-2147483647),20,14"}, std::nullopt, "2147483647 positions"},
        {{"+CPBR: (1-99999999999),20,14"}, std::nullopt, "unknown form"},
        {{"+CPBR: 1-250,20,14"}, std::nullopt, "unknown form"},
        {{"+CPBR: (1-250),20"}, std::nullopt, "unknown form"},
        {{"+CPBR: (250-1),20,14"}, std::nullopt, "unknown form"},
        {{}, std::nullopt, "did not give the phonebook's size"},
    };
    for (const auto& c : cases) {
        const ParsedAnswer<PhonebookLimits> range = ParsePhonebookRangeAnswer(c.lines);
        const std::string shown = c.lines.empty() ? "" : c.lines[0];
        EXPECT_EQ(range.ok(), c.limits.has_value()) << shown;
        if (c.limits) {
            EXPECT_EQ(range.data, *c.limits) << shown;
        }
        EXPECT_NE(range.failure.find(c.why), std::string::npos) << range.failure;
    }
}

}  // namespace
}  // namespace telvane
