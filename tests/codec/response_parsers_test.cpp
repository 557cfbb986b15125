#include "codec/response_parsers.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/text.h"

namespace telvane {
namespace {

TEST(FieldExtractors, MissingSeparators) {
    EXPECT_EQ(ExtractQuoted(u"+CLIP: \"0912345678\",129"), u"0912345678");
    EXPECT_EQ(ExtractQuoted(u"+CLIP: \"0912"), u"");
    EXPECT_EQ(ExtractQuoted(std::string_view("\"\"")), "");
    EXPECT_EQ(ValueAfterColon(u"+CMGS: 12"), 12);
    EXPECT_EQ(ValueAfterColon(u"+CSQ: 15,99"), 15);
    EXPECT_EQ(ValueAfterColon(u"OK"), -1);
    EXPECT_EQ(ValueAfterComma(std::string_view("+CMTI: \"SM\",3")), 3);
    EXPECT_EQ(ValueAfterComma(u"+CMTI: 3"), -1);
    std::u16string text = u"a,b,c";
    EXPECT_TRUE(DropThroughComma(text));
    EXPECT_EQ(text, u"b,c");
    text = u"abc";
    EXPECT_FALSE(DropThroughComma(text));
    EXPECT_EQ(text, u"abc");
}

TEST(ErrorClassifiers, KindsAndStoredNumbers) {
    struct Case {
        const char* line;
        CmeKind kind;
        int32_t stored;  // -2: nothing stored
    } cme[] = {
        {"+CME ERROR: 3", CmeKind::kNotAllowed, 3},  {"+CME ERROR: 10", CmeKind::kSimMissing, 10},
        {"+CME ERROR: 30", CmeKind::kNoNetwork, 30}, {"+CME ERROR: 515", CmeKind::kModuleBusy, 515},
        {"+CME ERROR: 13", CmeKind::kOther, 13},     {"+CME ERROR", CmeKind::kOther, -2},
    };
    for (const auto& c : cme) {
        ModemParseState state;
        state.lastCmeError = -2;
        EXPECT_EQ(ParseCmeError(std::string_view(c.line), state), c.kind) << c.line;
        EXPECT_EQ(state.lastCmeError, c.stored) << c.line;
    }
    std::map<std::string, CmsKind> cms = {
        {"+CMS ERROR: 111", CmsKind::kSendFailed},   {"+CMS ERROR: 302", CmsKind::kNotAllowed},
        {"+CMS ERROR: 321", CmsKind::kInvalidIndex}, {"+CMS ERROR: 330", CmsKind::kUnknownCentre},
        {"+CMS ERROR: 500", CmsKind::kOther},        {"+CMS ERROR", CmsKind::kOther},
    };
    for (const auto& [line, kind] : cms)
        EXPECT_EQ(ParseCmsError(Widen(line)), kind) << line;
}

TEST(ParseWindIndication, KindsAndStoredNumber) {
    struct Case {
        const char* line;
        WindKind kind;
        int32_t stored;
    } cases[] = {
        {"+WIND: 0", WindKind::kSimRemoved, 0}, {"+WIND: 1", WindKind::kSimInserted, 1},
        {"+WIND: 4", WindKind::kReady, 4},      {"+WIND: 5,1", WindKind::kCallCreated, 5},
        {"+WIND: 5,2", WindKind::kOther, 5},    {"+WIND: 6,1", WindKind::kCallReleased, 6},
        {"+WIND: 7", WindKind::kOther, 7},      {"+WIND", WindKind::kOther, -2},
    };
    for (const auto& c : cases) {
        ModemParseState state;
        state.windIndication = -2;
        EXPECT_EQ(ParseWindIndication(Widen(c.line), state), c.kind) << c.line;
        EXPECT_EQ(state.windIndication, c.stored) << c.line;
    }
}

TEST(ParseSignalQuality, LevelsAndChange) {
    std::pair<const char*, int32_t> cases[] = {
        {"+CSQ: 99,99", 0}, {"+CSQ: 9,0", 0},  {"+CSQ: 10,0", 1}, {"+CSQ: 12,0", 1},
        {"+CSQ: 13,0", 2},  {"+CSQ: 16,0", 3}, {"+CSQ: 18,0", 4}, {"+CSQ: 19,0", 5},
        {"+CSQ: 31,0", 5},  {"garbage", 0},
    };
    for (const auto& [line, level] : cases) {
        ModemParseState state;
        state.signalLevel = -1;
        EXPECT_TRUE(ParseSignalQuality(std::string_view(line), state)) << line;
        EXPECT_EQ(state.signalLevel, level) << line;
        EXPECT_FALSE(ParseSignalQuality(std::string_view(line), state)) << line;
    }
}

TEST(ParseRegistration, ReadsStatInBothForms) {
    std::pair<const char*, bool> cases[] = {
        {"+CREG: 1", true},
        {"+CREG: 5", true},
        {"+CREG: 2", false},
        {"+CREG: 1,0", false},  // n=1, not registered
        {"+CREG: 0,1", true},
        {"+CREG: 2,5,\"1A2B\",\"0001\",2", true},
        {"+CREG: 2,1,4CA,81DE445", true},
        {"+CREG: 0,1,\"5E25\",\"605F\"", true},
        {"+CREG: 1,\"5E25\",\"605F\"", true},  // unsolicited with location
        {"+CREG: 3,\"5E25\",\"605F\"", false},
        {"+CREG: 1,4CA,81DE445", true},
        {"+CREG: 5,1234,5678", true},
        {"+CREG:1,5", true},
        {"+CREG: 0,3\r\n\r\nOK", false},
        {"+CREG", false},
    };
    for (const auto& [line, registered] : cases) {
        ModemParseState state;
        state.registered = !registered;
        EXPECT_EQ(ParseRegistration(std::string_view(line), state), registered) << line;
        EXPECT_EQ(state.registered, registered) << line;
    }
}

TEST(ParseOperator, QuotedFieldOrNothing) {
    std::pair<const char*, std::optional<std::u16string>> cases[] = {
        {"+COPS: 0,2,\"46692\",0", u"46692"},
        {"+COPS: 0,2,\"46692\"", u"46692"},
        {"+COPS: 0,0,\"Far, Eas\"\"tone\",2", u"Far, Eas"},
        {"+COPS: 1,2,46692,7", u"46692"},
        {"+COPS: 0,2,\"45400\"\r\n\r\nOK", u"45400"},
        {"+COPS: 0", std::nullopt},
        {"+COPS: 0,0,\"\"", std::nullopt},
        {"+COPS: 0,0,\"unterminated", std::nullopt},
        {"+COPS", std::nullopt},
    };
    for (const auto& [line, name] : cases) {
        EXPECT_EQ(ParseOperator(std::string_view(line)), name) << line;
        EXPECT_EQ(ParseOperator(Widen(line)), name) << line;
    }
}

TEST(ExpandLineBreaks, LoneLineFeedsOnly) {
    std::pair<std::u16string, std::u16string> cases[] = {
        {u"a\nb", u"a\r\nb"}, {u"a\r\nb", u"a\r\nb"}, {u"\n\n", u"\r\n\r\n"}, {u"a\rb", u"a\rb"},
        {u"", u""},
    };
    for (auto [text, expanded] : cases) {
        ExpandLineBreaks(text);
        EXPECT_EQ(text, expanded);
    }
}

TEST(ParseStoredMessage, ReplyAndListingEntry) {
    const char* pdu = "0791214365870921040791214365F70000107002112554000361F118";
    std::string reply = std::string("+CMGR: 0,,24\r\n") + pdu + "\r\n";
    SmsRecord r = ParseStoredMessage(std::string_view(reply), 7);
    EXPECT_EQ(r.index, 7);
    EXPECT_EQ(r.number, u"+1234567");
    EXPECT_EQ(r.time, u"01/07/20,11:52:45");
    EXPECT_EQ(r.text, u"abc");
    EXPECT_EQ(r.status, u"");

    // listing entry after its first comma, with a blank line before the PDU
    std::string entry = std::string("1,,24\r\n\r\n") + pdu + "\r\n\r\n";
    EXPECT_EQ(ParseStoredMessage(Widen(entry), 3).text, u"abc");

    for (std::string block :
         {std::string("+CMGR: 0,,24\r\n") + pdu, std::string("+CMGR: 0,,24"), std::string("")}) {
        SmsRecord empty = ParseStoredMessage(std::string_view(block), 4);
        EXPECT_EQ(empty.index, 4);
        EXPECT_EQ(empty.number, u"");
        EXPECT_EQ(empty.text, u"");
    }
}

TEST(ParseStoredMessage, TextLineBreaksBecomeCrLf) {
    // "a\nb" in 7-bit
    std::string block = "+CMGR: 1,,16\r\n00040391214300001070021125540003618518\r\n";
    EXPECT_EQ(ParseStoredMessage(std::string_view(block), 1).text, u"a\r\nb");
}

class RecordingSink : public PhonebookSink {
  public:
    explicit RecordingSink(int32_t capacity) : capacity_(capacity) {}
    int32_t Capacity() const override { return capacity_; }
    void StoreFromSim(int32_t index, std::u16string name, std::u16string number) override {
        entries[index] = {std::move(name), std::move(number)};
    }
    std::map<int32_t, std::pair<std::u16string, std::u16string>> entries;

  private:
    int32_t capacity_;
};

TEST(ParsePhonebookRead, FillsSlotsAndStopsAtIncompleteEntry) {
    RecordingSink sink(10);
    ParsePhonebookRead(std::string_view("+CPBR: 3,\"5550100\",129,\"Ann\"\r\n"
                                        "+CPBR: 4,\"5550101\",145,\"Bob, Jr\"\r\n"
                                        "+CPBR:5,\"+886912\",145,\"\"\r\n"
                                        "+CPBR: 11,\"1\",129,\"Out\"\r\n"
                                        "+CPBR: 0,\"1\",129,\"Zero\"\r\n"
                                        "+CPBR: 6,\"7\",129,\"Cut\r\n"
                                        "+CPBR: 7,\"8\",129,\"Never\"\r\n\r\nOK"),
                       sink);
    using Entry = std::pair<std::u16string, std::u16string>;
    std::map<int32_t, Entry> expected = {
        {3, {u"Ann", u"5550100"}}, {4, {u"Bob, Jr", u"+5550101"}}, {5, {u"", u"+886912"}}};
    EXPECT_EQ(sink.entries, expected);

    RecordingSink unallocated(0);
    ParsePhonebookRead(u"+CPBR: 1,\"1\",129,\"A\"", unallocated);
    EXPECT_TRUE(unallocated.entries.empty());
}

}  // namespace
}  // namespace telvane
