// New-message indications, SIM tries and store fill from the modem's answers; announcements
// that share a block with other lines.
#include "modem/live_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "modem/answer_parsers.h"
#include "modem/engine_state.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;
using Offer = std::vector<std::vector<int32_t>>;

TEST(LiveLink, IndicationsFromTheModemsOffer) {
    struct Case {
        std::string answer;
        Offer offer;
        std::optional<std::string> command;
    } cases[] = {
        {"+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)",
         {{0, 1, 2}, {0, 1, 2, 3}, {0, 2}, {0, 1, 2}, {0, 1}},
         "AT+CNMI=2,1,0,1,0"},
        {"+CNMI: (1,2),(0,1),(0),(0,2),(0)",
         {{1, 2}, {0, 1}, {0}, {0, 2}, {0}},
         "AT+CNMI=2,1,0,2,0"},
        {"+CNMI: (0,1),(0,1),(0),(0),(0)", {{0, 1}, {0, 1}, {0}, {0}, {0}}, "AT+CNMI=1,1,0,0,0"},
        {"+CNMI: (1-3),(1),(2),(0,1),(0)", {{1, 2, 3}, {1}, {2}, {0, 1}, {0}}, "AT+CNMI=2,1"},
        {"+CNMI: 2,1", {{2}, {1}}, "AT+CNMI=2,1"},
        {"+CNMI: (0-2),(0,2,3),(0),(0),(0)", {{0, 1, 2}, {0, 2, 3}, {0}, {0}, {0}}, std::nullopt},
        {"+CNMI: (0),(0-3)", {{0}, {0, 1, 2, 3}}, std::nullopt},
        {"+CNMI: (0-2", {}, std::nullopt},
        {"ERROR", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseParameterOffer(c.answer), c.offer) << c.answer;
        EXPECT_EQ(ChooseIndications(ParseParameterOffer(c.answer)), c.command) << c.answer;
    }
    // A range that runs away is not expanded without end.
    EXPECT_LE(ParseParameterOffer("+CNMI: (0-2000000000)")[0].size(), 32u);
}

TEST(LiveLink, SimTriesAndStoreFill) {
    struct Case {
        std::vector<std::string> lines;
        int32_t pin, puk;
    } cases[] = {
        {{"+CPINR: SIM PIN,3,3", "+CPINR: SIM PUK,10,10", "+CPINR: SIM PIN2,3,3"}, 3, 10},
        {{"+CPINR: \"SIM PIN\",1,3", "+CPINR: \"SIM PUK\",9,10"}, 1, 9},
        {{"+CPINC: 2,3,10,10"}, 2, 10},
        {{"+CPINR: SIM PUK2,10,10"}, -1, -1},
        {{"ERROR"}, -1, -1},
        {{}, -1, -1},
    };
    for (const Case& c : cases) {
        const SimAttempts a = ParseSimAttempts(c.lines);
        EXPECT_EQ(a.pin, c.pin) << (c.lines.empty() ? "" : c.lines[0]);
        EXPECT_EQ(a.puk, c.puk) << (c.lines.empty() ? "" : c.lines[0]);
    }
    const StoreFill fill = ParseStoreFill("+CPMS: \"SM\",13,30,\"SM\",13,30,\"SM\",13,30");
    EXPECT_EQ(fill.used, 13);
    EXPECT_EQ(fill.capacity, 30);
    EXPECT_EQ(ParseStoreFill("+CPMS: \"SM\"").used, -1);
}

TEST(LiveLink, ServiceCentreAnswer) {
    const struct {
        std::string answer;
        std::optional<std::u16string> centre;
    } cases[] = {
        {"+CSCA: \"+886932400821\",145", u"+886932400821"},
        {"+CSCA: \"886932400821\",145", u"+886932400821"},
        {"+CSCA: \"0932400821\",129", u"0932400821"},
        {"+CSCA: \"+886 932-400821\",145", u"+886932400821"},
        {"+CSCA: +886932400821,145", u"+886932400821"},
        // UCS2, with and without the '+' printed
        {"+CSCA: \"002B003800380036003900330032003400300030003800320031\",145", u"+886932400821"},
        {"+CSCA: \"003800380036003900330032003400300030003800320031\",145", u"+886932400821"},
        {"+CSCA: \"00300039003300320034003000300038003200310031\",129", u"09324008211"},
        {"+CSCA: \"\",129", std::nullopt},
        {"+CSCA: \"\",145", std::nullopt},
        {"+CSCA: \"SMSC\",129", std::nullopt},
        {"+CSCA: \"0932\x1B"
         "AT\",129",
         std::nullopt},
        {"+CSCA: \"++886932400821\",145", std::nullopt},
        {"+CSCA: \"0041004200430044\",129", std::nullopt},
        {"+CSCA: \"0088693240082112\",129", u"0088693240082112"},
        {"+CSCA: \"12345678901234567890123\",129", std::nullopt},
        {"+CSCA: \"+8869324", std::nullopt},
        {"ERROR", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseServiceCentreAnswer(c.answer), c.centre) << c.answer;
}

class LiveLinkEngine : public testing::Test {
  protected:
    std::vector<Notification> Receive(const std::string& text) {
        engine_.OnReceive(reinterpret_cast<const uint8_t*>(text.data()),
                          static_cast<uint32_t>(text.size()));
        std::vector<Notification> codes;
        for (int event; (event = s_.events.WaitAny(0ns)) >= 0;)
            if (const auto code = ModemEngineTestAccess::HandleEvent(engine_, event))
                codes.push_back(*code);
        return codes;
    }

    ModemEngine engine_{Timing(0.01)};
    ModemEngine::State& s_ = ModemEngineTestAccess::Of(engine_);
};

// A registration report and an announcement that come together form one block: both count.
TEST_F(LiveLinkEngine, AnnouncementSharingABlockIsSeen) {
    s_.simState = 1;
    EXPECT_EQ(Receive("\r\n+CREG: 1\r\n\r\n+CMTI: \"SM\",4\r\n\r\nOK\r\n"),
              (std::vector<Notification>{Notification::kRegistered, Notification::kNewMessage}));
    EXPECT_EQ(engine_.NewMessageIndex(), 4);
    EXPECT_TRUE(engine_.Registered());

    EXPECT_EQ(Receive("\r\n+CMTI: \"SM\",5\r\n+CMTI: \"SM\",6\r\n+CPIN: READY\r\n\r\nOK\r\n"),
              (std::vector<Notification>{Notification::kSimReady, Notification::kNewMessage}));
    EXPECT_EQ(engine_.NewMessageIndex(), 6);
}

// An announcement inside a listing's answer leaves the listing whole.
TEST_F(LiveLinkEngine, AnnouncementDuringAListingKeepsBoth) {
    const std::string pdu =
        "07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37";
    s_.expectPdu = 1;
    s_.transaction.Begin({});
    EXPECT_EQ(Receive("\r\n+CMGL: 1,1,,28\r\n" + pdu + "\r\n+CMTI: \"SM\",9\r\n+CMGL: 2,0,,28\r\n" +
                      pdu + "\r\n\r\nOK\r\n"),
              std::vector<Notification>{Notification::kNewMessage});
    const std::vector<SmsPart> listed =
        ParseListingAnswer(s_.transaction.Wait(1s, 1 << 20).lines).data;
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].record.text, u"hellohello");
    EXPECT_EQ(engine_.NewMessageIndex(), 9);
}

// A status report comes as "+CDS:" and its PDU line, in one block or two, also inside a
// listing's answer, which keeps its own entries whole.
TEST_F(LiveLinkEngine, StatusReportsAreTakenWhereverTheyCome) {
    const std::string report = "0006D60B911326880736F4111011719551401110117195714000";
    const StatusReport expected{0xD6, u"+31628870634", 0, u"11/01/11,17:59:17"};
    const std::vector<Notification> one = {Notification::kStatusReport};
    EXPECT_EQ(Receive("\r\n+CDS: 25\r\n" + report + "\r\n"), one);
    EXPECT_EQ(Receive("\r\n+CDS: 25\r\n"), std::vector<Notification>{});
    EXPECT_EQ(Receive(report + "\r\n"), one);
    EXPECT_EQ(engine_.TakeStatusReports(), (std::vector<StatusReport>{expected, expected}));
    EXPECT_TRUE(engine_.TakeStatusReports().empty());

    const std::string pdu =
        "07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37";
    s_.expectPdu = 1;
    s_.transaction.Begin({});
    EXPECT_EQ(Receive("\r\n+CMGL: 1,1,,28\r\n" + pdu + "\r\n+CDS: 25\r\n" + report +
                      "\r\n+CMGL: 2,0,,28\r\n" + pdu + "\r\n\r\nOK\r\n"),
              std::vector<Notification>{Notification::kStatusReport});
    const std::vector<SmsPart> listed =
        ParseListingAnswer(s_.transaction.Wait(1s, 1 << 20).lines).data;
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].record.text, u"hellohello");
    EXPECT_EQ(listed[1].record.text, u"hellohello");
    EXPECT_EQ(engine_.TakeStatusReports(), std::vector<StatusReport>{expected});

    // Not a report after all: the line is left for what it is.
    EXPECT_EQ(Receive("\r\n+CDS: 25\r\n"), std::vector<Notification>{});
    EXPECT_EQ(Receive("\r\n+CREG: 1\r\n"), std::vector<Notification>{});
    EXPECT_TRUE(engine_.TakeStatusReports().empty());
}

// A stored report is announced with "+CDSI:", its place queued for the reader.
TEST_F(LiveLinkEngine, StoredReportsAreQueued) {
    std::string response = "+CREG: 1\r\n+CDSI: \"SM\",12\r\n+CDSI: \"SR\",3\r\n";
    EXPECT_TRUE(TakeStatusReportLines(s_, response));
    EXPECT_EQ(response, "+CREG: 1\r\n");
    EXPECT_EQ(s_.reportsAnnounced, (std::deque<StoredAt>{{"SM", 12}, {"SR", 3}}));
    std::string plain = "+CMTI: \"SM\",4";
    EXPECT_FALSE(TakeStatusReportLines(s_, plain));
    EXPECT_EQ(plain, "+CMTI: \"SM\",4");
}

// Each announcement names its store and place; a place already waiting is queued once, however
// often the modem repeats it; a place no store can have is no announcement.
TEST_F(LiveLinkEngine, AnnouncedPlacesAreQueuedOnceWhileTheyWait) {
    const struct {
        const char* line;
        std::optional<StoredAt> queued;
    } cases[] = {
        {"+CMTI: \"SM\",4", StoredAt{"SM", 4}}, {"+CMTI: \"ME\",4", StoredAt{"ME", 4}},
        {"+CMTI: SM,0", StoredAt{"SM", 0}},     {"+CMTI: \"SM\",4", std::nullopt},  // waits already
        {"+CMTI: \"SM\",-5", std::nullopt},     {"+CMTI: \"SM\",2147483647", std::nullopt},
        {"+CMTI: \"S;M\",5", std::nullopt},     {"+CMTI: \"SM\"", std::nullopt},
    };
    for (const auto& c : cases) {
        const size_t before = s_.announced.size();
        std::string response = std::string(c.line) + "\r\n";
        EXPECT_EQ(TakeNewMessageLines(s_, response), c.queued.has_value()) << c.line;
        ASSERT_EQ(s_.announced.size(), before + (c.queued ? 1 : 0)) << c.line;
        if (c.queued) {
            EXPECT_EQ(s_.announced.back(), *c.queued) << c.line;
        }
    }
    std::string flood;
    for (int i = 0; i < 5000; ++i)
        flood += "+CMTI: \"SM\",9\r\n";
    EXPECT_TRUE(TakeNewMessageLines(s_, flood));
    EXPECT_EQ(std::count(s_.announced.begin(), s_.announced.end(), StoredAt{"SM", 9}), 1);
    // Being read counts as waiting.
    s_.announced.clear();
    s_.arrivalCurrent = StoredAt{"SM", 9};
    std::string again = "+CMTI: \"SM\",9\r\n";
    EXPECT_FALSE(TakeNewMessageLines(s_, again));
    EXPECT_TRUE(s_.announced.empty());
}

}  // namespace
}  // namespace telvane
