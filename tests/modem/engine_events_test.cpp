// The engine without a port: text fed to its receive handler, the signalled events handled as
// the dispatcher would, and the notification codes and state that result.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "modem/engine_state.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;

// "hellohello" from +18005551212, 11/01/01,12:34:56.
constexpr const char* kPdu =
    "07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37";

class EngineEvents : public testing::Test {
  protected:
    void Feed(const std::string& text) {
        engine_.OnReceive(reinterpret_cast<const uint8_t*>(text.data()),
                          static_cast<uint32_t>(text.size()));
    }
    // Handles every signalled event, lowest first: the notification codes.
    std::vector<Notification> Dispatch() {
        std::vector<Notification> codes;
        for (int event; (event = s_.events.WaitAny(0ns)) >= 0;)
            if (const auto code = ModemEngineTestAccess::HandleEvent(engine_, event))
                codes.push_back(*code);
        return codes;
    }
    std::vector<Notification> Receive(const std::string& text) {
        Feed(text);
        return Dispatch();
    }
    // `text` received while a command waits for its answer: what that command got.
    CommandResult Answer(const std::string& text) {
        s_.transaction.Begin({});
        Feed(text);
        return s_.transaction.Wait(1s, 1 << 20);
    }

    ModemEngine engine_{Timing(0.01)};
    ModemEngine::State& s_ = ModemEngineTestAccess::Of(engine_);
};

TEST_F(EngineEvents, CmeErrorKinds) {
    struct Case {
        const char* line;
        std::vector<Notification> codes;
        int32_t simState;
        const char16_t* operatorText;
    } cases[] = {
        {"+CME ERROR: 10", {Notification::kNoSim}, -1, u"LDTA"},
        {"+CME ERROR: 515", {}, 0, u"LDTA"},
        {"+CME ERROR: 3", {Notification::kCmeError}, 1, u"No network"},
        {"+CME ERROR: 30", {Notification::kCmeError}, 1, u"No network"},
        {"+CME ERROR: 99", {Notification::kCmeError}, 1, u"LDTA"},
        {"+CME ERROR", {Notification::kCmeError}, 1, u"LDTA"},
    };
    for (const Case& c : cases) {
        s_.simState = 1;
        s_.registered = true;
        s_.operatorText = u"LDTA";
        s_.callState = 3;
        EXPECT_EQ(Receive(std::string("\r\n") + c.line + "\r\n"), c.codes) << c.line;
        EXPECT_EQ(engine_.SimState(), c.simState) << c.line;
        EXPECT_EQ(engine_.OperatorText(), c.operatorText) << c.line;
        if (c.simState < 1) {
            EXPECT_FALSE(engine_.Registered()) << c.line;
        }
        if (c.codes == std::vector<Notification>{Notification::kCmeError}) {
            EXPECT_EQ(engine_.CallState(), 0) << c.line;
        }
    }
}

TEST_F(EngineEvents, OperatorIsTheOperatorField) {
    EXPECT_EQ(Receive("\r\n+COPS: 0,2,\"46692\",0\r\n"),
              std::vector<Notification>{Notification::kOperator});
    EXPECT_EQ(engine_.OperatorText(), u"46692");
    // No operator field: the name stays, the notification still comes.
    EXPECT_EQ(Receive("\r\n+COPS: 0\r\n"), std::vector<Notification>{Notification::kOperator});
    EXPECT_EQ(engine_.OperatorText(), u"46692");
    Receive("\r\n+COPS: 0,0,\"Far EasTone\"\r\n");
    EXPECT_EQ(engine_.OperatorText(), u"Far EasTone");
}

TEST_F(EngineEvents, SignalLevelNotifiedOnlyWhenItChanges) {
    EXPECT_EQ(Receive("\r\n+CSQ: 20,99\r\n"),
              std::vector<Notification>{Notification::kSignalChanged});
    EXPECT_EQ(Receive("\r\n+CSQ: 20,99\r\n"), std::vector<Notification>{});
    EXPECT_EQ(engine_.SignalLevel(), 5);
    EXPECT_EQ(Receive("\r\n+CSQ: 99,99\r\n"),
              std::vector<Notification>{Notification::kSignalChanged});
    EXPECT_EQ(engine_.SignalLevel(), 0);
}

TEST_F(EngineEvents, RegistrationReadByStat) {
    struct Case {
        const char* line;
        bool registered;
    } cases[] = {
        {"+CREG: 1,1", true},
        {"+CREG: 1,0", false},  // n=1 must not pass for registered
        {"+CREG: 0,5", true},   // roaming
        {"+CREG: 2,1,4CA,81DE445", true},
        {"+CREG: 0,1,\"5E25\",\"605F\"", true},
        {"+CREG: 0,1,\"5E25\",\"605F\",2", true},
        {"+CREG: 2,5,\"1B2C\",\"0A3F\",2", true},
        {"+CREG: 3", false},
        {"+CREG: 1", true},  // unsolicited form: stat alone
    };
    s_.simState = 1;
    for (const Case& c : cases) {
        const std::vector<Notification> codes = Receive(std::string("\r\n") + c.line + "\r\n");
        EXPECT_EQ(engine_.Registered(), c.registered) << c.line;
        EXPECT_EQ(codes, std::vector<Notification>{c.registered ? Notification::kRegistered
                                                                : Notification::kNotRegistered})
            << c.line;
    }
    // Before the SIM is known, registration reports are ignored.
    s_.simState = 0;
    EXPECT_EQ(Receive("\r\n+CREG: 1,0\r\n"), std::vector<Notification>{});
    EXPECT_TRUE(engine_.Registered());
}

TEST_F(EngineEvents, FinalOkGoesToTheWaitingJob) {
    // A message read waits: the answer and its "OK" are its own, no notification.
    s_.expectPdu = 1;
    s_.transaction.Begin({});
    EXPECT_EQ(Receive(std::string("\r\n+CMGR: 0,,23\r\n") + kPdu + "\r\n\r\nOK\r\n"),
              std::vector<Notification>{});
    const CommandResult r = s_.transaction.Wait(1s, 1 << 20);
    ASSERT_TRUE(r.Ok());
    // The job clears its own flag when its command ends: a late "OK" handled after the next
    // job began must not clear that job's.
    EXPECT_EQ(s_.expectPdu.load(), 1);
    s_.expectPdu = 0;
    EXPECT_TRUE(s_.okEvent.Wait(0ns));
    const std::optional<SmsPart> read = ReadStoredMessage(r, 4);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->record.index, 4);
    EXPECT_EQ(read->record.number, u"+18005551212");
    EXPECT_EQ(read->record.text, u"hellohello");

    // Dialling: the "OK" connects the call and wakes nobody.
    s_.callState = 1;
    EXPECT_EQ(Receive("\r\nOK\r\n"), std::vector<Notification>{Notification::kCallConnected});
    EXPECT_EQ(engine_.CallState(), 2);
    EXPECT_FALSE(s_.okEvent.Wait(0ns));

    // A toolkit request's answer is complete.
    s_.toolkitAwaiting = 1;
    EXPECT_EQ(Receive("\r\nOK\r\n"), std::vector<Notification>{Notification::kToolkitInfo});
    EXPECT_TRUE(s_.okEvent.Wait(0ns));

    EXPECT_EQ(Receive("\r\nOK\r\n"), std::vector<Notification>{});
    EXPECT_TRUE(s_.okEvent.Wait(0ns));
}

TEST_F(EngineEvents, SendResultAndItsFinalOkAreTheSendsOwn) {
    s_.sendWaiting = 1;
    s_.transaction.Begin({});
    EXPECT_EQ(Receive("\r\n+CMGS: 12\r\n\r\nOK\r\n"), std::vector<Notification>{});
    const CommandResult r = s_.transaction.Wait(1s, 1 << 20);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(ValueAfterColon(r.LineWith("+CMGS:").value_or("")), 12);
    EXPECT_EQ(s_.sendWaiting.load(), 1);  // the send job's to clear
}

TEST_F(EngineEvents, ListingParseKeepsWholeIndexesAndStatuses) {
    std::string block = "\r\n";
    for (const char* header : {"+CMGL: 7,0,,23", "+CMGL:105,1,,23", "+CMGL: 2000,3,\"\",23"})
        block += std::string(header) + "\r\n" + kPdu + "\r\n";
    s_.expectPdu = 1;
    const std::vector<SmsPart> listed = ListedEntries(Answer(block + "\r\nOK\r\n"));
    EXPECT_EQ(Dispatch(), std::vector<Notification>{});
    ASSERT_EQ(listed.size(), 3u);
    const struct {
        int32_t index;
        const char16_t* status;
    } expected[] = {{7, u"REC UNREAD"}, {105, u"REC READ"}, {2000, u"STO SENT"}};
    for (int i = 0; i < 3; ++i) {
        const SmsRecord& entry = listed[static_cast<size_t>(i)].record;
        EXPECT_EQ(entry.index, expected[i].index);
        EXPECT_EQ(entry.status, expected[i].status);
        EXPECT_EQ(entry.number, u"+18005551212");
        EXPECT_EQ(entry.time, u"11/01/01,12:34:56");
        EXPECT_EQ(entry.text, u"hellohello");
    }
}

// Real modems announce new messages right behind a listing's "OK": the listing keeps its
// entry and the announcement is the modem's own.
TEST_F(EngineEvents, NewMessageRightBehindAListingKeepsTheListing) {
    s_.expectPdu = 1;
    const CommandResult r = Answer(std::string("\r\n+CMGL: 1,1,,23\r\n") + kPdu +
                                   "\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",2\r\n");
    EXPECT_EQ(ListedEntries(r).size(), 1u);
    EXPECT_EQ(Dispatch(), std::vector<Notification>{Notification::kNewMessage});
    EXPECT_EQ(engine_.NewMessageIndex(), 2);
}

TEST_F(EngineEvents, ListingHoldsAtMost200Entries) {
    std::string block = "\r\n";
    for (int i = 1; i <= 205; ++i)
        block += "+CMGL: " + std::to_string(i) + ",1,,23\r\n" + kPdu + "\r\n";
    s_.expectPdu = 1;
    const std::vector<SmsPart> listed = ListedEntries(Answer(block + "\r\nOK\r\n"));
    ASSERT_EQ(listed.size(), 200u);
    EXPECT_EQ(listed[199].record.index, 200);
}

// Entries no read waits for (the late rest of one that failed) are nobody's: no notification,
// and the engine's phonebook stays as it was.
TEST_F(EngineEvents, EntriesNoReadWaitsForAreDropped) {
    Feed(std::string("\r\n+CMGL: 1,1,,23\r\n") + kPdu + "\r\n\r\nOK\r\n");
    Feed("\r\n+CPBR: 3,\"5550100\",129,\"Ann\"\r\n\r\nOK\r\n");
    EXPECT_EQ(Dispatch(), std::vector<Notification>{});
    auto lock = engine_.LockPhonebook();
    EXPECT_TRUE(engine_.Phonebook().Entries().empty());
}

// Notifications posted by the jobs come in the order they were posted.
TEST_F(EngineEvents, PostedNotificationsKeepTheirOrder) {
    PostNotification(s_, Notification::kSimPinRequired);
    PostNotification(s_, Notification::kStartupFailed);
    EXPECT_EQ(Dispatch(), (std::vector<Notification>{Notification::kSimPinRequired,
                                                     Notification::kStartupFailed}));
}

TEST_F(EngineEvents, ToolkitIndications) {
    // Before start-up has finished they are ignored.
    EXPECT_EQ(Receive("\r\n+STIN: 3\r\n"), std::vector<Notification>{});
    EXPECT_FALSE(s_.toolkitInfo.Running());
    s_.started = true;
    s_.toolkitCommand = 3;
    EXPECT_EQ(Receive("\r\n+STIN: 98\r\n"), std::vector<Notification>{Notification::kToolkitEnded});
    EXPECT_EQ(s_.toolkitCommand.load(), 0);
    EXPECT_EQ(Receive("\r\n+STIN: 99\r\n"),
              std::vector<Notification>{Notification::kToolkitTimedOut});
    EXPECT_EQ(s_.toolkitAwaiting.load(), 0);
}

TEST_F(EngineEvents, ToolkitItemsFillAtMostFifteenSlots) {
    s_.toolkitCommand = 0;
    for (int i = 1; i <= 17; ++i)
        Feed("\r\n+STGI: " + std::to_string(i) + ",17,\"Item\",0\r\n");
    EXPECT_EQ(Dispatch(), std::vector<Notification>{});
    std::lock_guard lock(s_.toolkitMutex);
    EXPECT_EQ(s_.toolkitItemCounter, 14);
    EXPECT_EQ(s_.toolkitItems[14].id, 15);
    EXPECT_EQ(s_.toolkitItems[0].label, u"Item");
}

TEST_F(EngineEvents, ResultCodesAndIndications) {
    struct Case {
        const char* line;
        std::vector<Notification> codes;
    } cases[] = {
        {"+CMS ERROR: 111", {Notification::kCmsSendFailed}},
        {"+CMS ERROR: 500", {Notification::kCmsOther}},
        {"+CMS ERROR: 321", {Notification::kCmsInvalidIndex}},
        {"+WIND: 4", {Notification::kWindReady}},
        {"+WIND: 5,2", {Notification::kWindOther}},
        {"+CMTI: \"SM\",17", {Notification::kNewMessage}},
        // A job's answers are the job's: alone on the line they tell nobody anything.
        {"+CMGW: 7", {}},
        {"+CMSS: 9", {}},
        {"+CLIP: \"+886912345678\",145", {Notification::kCallerNumber}},
        {"CRING: VOICE", {Notification::kRinging}},
        {"NO CARRIER", {}},
        {"RING", {}},
        {"ERROR", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Receive(std::string("\r\n") + c.line + "\r\n"), c.codes) << c.line;
    EXPECT_EQ(engine_.NewMessageIndex(), 17);
    EXPECT_EQ(engine_.CallerNumber(), u"+886912345678");
    EXPECT_EQ(engine_.CallState(), 3);
    EXPECT_EQ(Receive("\r\n+WIND: 6,1\r\n"),
              std::vector<Notification>{Notification::kWindCallReleased});
    EXPECT_EQ(engine_.CallState(), 0);
}

TEST_F(EngineEvents, LinkLossIsReportedOnce) {
    s_.simState = 1;
    engine_.OnReceive(nullptr, 0);
    EXPECT_EQ(Dispatch(),
              (std::vector<Notification>{Notification::kLinkLost, Notification::kStartupFailed}));
    EXPECT_EQ(engine_.LastFailure(), "the link to the modem was lost");
    EXPECT_EQ(engine_.SimState(), 0);
}

TEST(EngineWithoutPort, RefusesEverythingThatNeedsTheModem) {
    ModemEngine engine(Timing(0.01));
    EXPECT_EQ(engine.SendCommand("AT"), 0);
    EXPECT_EQ(engine.Open(0, nullptr), 0);
    EXPECT_EQ(engine.Open(ModemEngine::kMaxPortNumber + 1, nullptr), 0);
    EXPECT_NE(engine.OpenError().find("COM100"), std::string::npos);
    // Every port the settings list opens when the device table knows it: COM7 is no exception.
    EXPECT_EQ(engine.Open(7, nullptr), 0);
    EXPECT_NE(engine.OpenError().find("no such device COM7"), std::string::npos);
    EXPECT_FALSE(engine.SendTextMessage(u"123", u"x"));  // not registered
}

}  // namespace
}  // namespace telvane
