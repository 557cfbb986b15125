// The engine without a port: text fed to its receive handler, the signalled events handled as
// the dispatcher would, and the notification codes and state that result.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modem/answer_parsers.h"
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

// What a +CME ERROR says of the SIM or the network counts only as the answer to a command about
// them; to any other command it is that command's failure, and the state stays.
TEST_F(EngineEvents, CmeErrorChangesStateOnlyForTheCommandItAnswers) {
    struct Case {
        const char* command;
        const char* line;
        std::vector<Notification> codes;
        int32_t simState;
        bool registered;
        const char16_t* operatorText;
    } cases[] = {
        {"AT+CMEE=1;+CPIN?", "+CME ERROR: 10", {Notification::kNoSim}, -1, false, u"LDTA"},
        {"AT+CMEE=1;+CPIN?", "+CME ERROR: 515", {}, 0, false, u"LDTA"},
        {"AT+COPS=3,2;+COPS?", "+CME ERROR: 3", {Notification::kCmeError}, 1, true, u"No network"},
        {"AT+CREG?", "+CME ERROR: 30", {Notification::kCmeError}, 1, true, u"No network"},
        {"AT+CREG?", "+CME ERROR: 99", {Notification::kCmeError}, 1, true, u"LDTA"},
        {"AT+CREG?", "+CME ERROR", {Notification::kCmeError}, 1, true, u"LDTA"},
        // Elsewhere: the job's failure alone.
        {"AT+CPBS=\"SM\"", "+CME ERROR: 515", {}, 1, true, u"LDTA"},
        {"AT+CPBR=1,250", "+CME ERROR: 10", {}, 1, true, u"LDTA"},
        {"AT+CPMS?", "+CME ERROR: 3", {}, 1, true, u"LDTA"},
        {"AT+CMGF=0;+CMGS=23", "+CME ERROR: 30", {}, 1, true, u"LDTA"},
        {"", "+CME ERROR: 10", {}, 1, true, u"LDTA"},  // no command waits
    };
    for (const Case& c : cases) {
        s_.simState = 1;
        s_.registered = true;
        s_.operatorText = u"LDTA";
        if (*c.command) s_.transaction.Begin({}, 0, c.command);
        EXPECT_EQ(Receive(std::string("\r\n") + c.line + "\r\n"), c.codes) << c.command;
        EXPECT_EQ(engine_.SimState(), c.simState) << c.command;
        EXPECT_EQ(engine_.Registered(), c.registered) << c.command;
        EXPECT_EQ(engine_.OperatorText(), c.operatorText) << c.command;
        if (*c.command) {
            const CommandResult r = s_.transaction.Wait(0ns, SIZE_MAX);
            EXPECT_EQ(r.end, CommandResult::End::kCmeError) << c.command;
        }
    }
}

// Lines the modem sends on its own are taken out of an answer wherever they fall, handled as
// such, and never become lines of the answer; unless the command asked for them.
TEST_F(EngineEvents, OwnLinesAreTakenOutOfEveryAnswer) {
    const std::string entries[] = {"+CPBR: 1,\"0912000001\",129,\"Ann\"",
                                   "+CPBR: 2,\"0912000002\",129,\"BUSY BEE CAFE\""};
    const std::string own[] = {"+CREG: 1",
                               "+CSQ: 20,99",
                               "+CLIP: \"5550100\",129",
                               "NO CARRIER",
                               "BUSY",
                               "+WIND: 4",
                               "+CPIN: READY",
                               "+COPS: 0,2,\"46692\"",
                               "+CPMS: \"SM\",3,30",
                               "RING",
                               "+CIEV: 2,3",
                               "+CGREG: 1",
                               "+CUSD: 0",
                               "+STIN: 98",
                               "NO DIALTONE"};
    // Where the line falls: between entries, in front, behind the last, behind the "OK".
    const auto placements = [&](const std::string& line) {
        const std::string a = "\r\n" + entries[0] + "\r\n", b = entries[1] + "\r\n";
        return std::vector<std::vector<std::string>>{
            {a + line + "\r\n" + b + "\r\nOK\r\n"},
            {"\r\n" + line + "\r\n" + a + b + "\r\nOK\r\n"},
            {a + b + line + "\r\n\r\nOK\r\n"},
            {a + b + "\r\nOK\r\n\r\n" + line + "\r\n"},
            {a, "\r\n" + line + "\r\n", "\r\n" + b + "\r\nOK\r\n"},
        };
    };
    s_.simState = 1;
    s_.started = true;
    for (const std::string& line : own) {
        int placement = 0;
        for (const std::vector<std::string>& writes : placements(line)) {
            SCOPED_TRACE(line + " at " + std::to_string(placement++));
            {
                auto lock = engine_.LockPhonebook();
                engine_.Phonebook().SetLimits(20, 14, 250);
            }
            s_.transaction.Begin({}, 0, "AT+CPBR=1,250");
            std::vector<Notification> codes;
            for (const std::string& write : writes)
                for (Notification code : Receive(write))
                    codes.push_back(code);
            const CommandResult r = s_.transaction.Wait(0ns, SIZE_MAX);
            EXPECT_EQ(r.end, CommandResult::End::kOk);
            std::string all;
            for (const std::string& text : r.lines)
                all += "\r\n" + text + "\r\n";
            EXPECT_EQ(all.find("\n" + line + "\r"), std::string::npos) << all;
            const auto read = ParsePhonebookAnswer(r.lines, 1, 250, PhonebookCharset::kIra);
            ASSERT_TRUE(read.ok()) << read.failure;
            ASSERT_EQ(read.data.size(), 2u);
            EXPECT_EQ(read.data[1].name, u"BUSY BEE CAFE");
            EXPECT_EQ(std::count(codes.begin(), codes.end(), Notification::kCmeError), 0);
        }
    }
    // Each is handled as what it is.
    s_.registered = false;
    Receive("\r\n+CPBR: 1,\"1\",129,\"A\"\r\n+CREG: 1\r\n\r\nOK\r\n");
    EXPECT_TRUE(engine_.Registered());

    // Asked for, they are the answer.
    const struct {
        const char* command;
        const char* line;
    } asked[] = {
        {"AT+CREG?", "+CREG: 1,1"},
        {"AT+CSQ", "+CSQ: 20,99"},
        {"AT+CPMS?", "+CPMS: \"SM\",3,30,\"SM\",3,30,\"SM\",3,30"},
        {"AT+COPS=3,2;+COPS?", "+COPS: 0,2,\"46692\""},
        {"AT+CMEE=1;+CPIN?", "+CPIN: READY"},
    };
    for (const auto& c : asked) {
        s_.transaction.Begin({}, 0, c.command);
        Receive(std::string("\r\n") + c.line + "\r\n\r\nOK\r\n");
        const CommandResult r = s_.transaction.Wait(0ns, SIZE_MAX);
        EXPECT_TRUE(r.Ok()) << c.command;
        EXPECT_TRUE(r.LineWith(c.line)) << c.command;
    }
}

// A control byte damages the answer it falls in, and the rest of its batch still counts: the
// command ends at its "OK" as damaged, never as a shorter answer.
TEST_F(EngineEvents, ControlByteDamagesTheAnswerItFallsIn) {
    const std::string listing =
        "\r\n+CMGL: 1,1,,28\r\n" + std::string(kPdu) + "\r\n+CMGL: 2,1,,28\r\n" + kPdu;
    for (size_t at : {size_t{5}, size_t{20}, listing.size() - 3}) {
        for (char byte : {'\0', '\x01', '\x07', '\x1f'}) {
            SCOPED_TRACE(std::to_string(at) + " " + std::to_string(byte));
            s_.transaction.Begin({}, 0, "AT+CMGF=0;+CMGL=4");
            std::string bytes = listing + "\r\n\r\nOK\r\n";
            bytes.insert(at, 1, byte);
            // Its entries, whole as they look, are no listing: the job's end says why.
            EXPECT_EQ(Receive(bytes), std::vector<Notification>{});
            const CommandResult r = s_.transaction.Wait(0ns, SIZE_MAX);
            EXPECT_EQ(r.end, CommandResult::End::kMalformed);
            EXPECT_FALSE(r.Ok());
            EXPECT_NE(DescribeEnd(r, 5000).find("control byte"), std::string::npos);
        }
    }
    // The next command's answer is whole again; Ctrl-Z and Esc of a PDU's echo are no damage.
    s_.transaction.Begin({}, 0, "AT+CSQ");
    Receive("\x1a\x1b\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    EXPECT_EQ(s_.transaction.Wait(0ns, SIZE_MAX).end, CommandResult::End::kOk);
    // A NUL between answers, while none waits, damages none.
    Receive(std::string("\r\n+CREG: 1\r\n\0", 13));
    s_.transaction.Begin({}, 0, "AT+CSQ");
    Receive("\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    EXPECT_EQ(s_.transaction.Wait(0ns, SIZE_MAX).end, CommandResult::End::kOk);
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

// Indicator reports by the positions start-up found; several in one block each count.
TEST_F(EngineEvents, IndicatorReportsMoveSignalAndRegistration) {
    s_.simState = 1;
    s_.indicators = IndicatorMap{2, 5, 3, 6};
    Receive("\r\n+CSQ: 20,99\r\n\r\n+CREG: 1\r\n");
    ASSERT_EQ(engine_.Rssi(), 20);
    EXPECT_EQ(Receive("\r\n+CIEV: 2,5\r\n"), std::vector<Notification>{});
    EXPECT_EQ(engine_.Rssi(), 20);
    EXPECT_EQ(Receive("\r\n+CIEV: 2,2\r\n"),
              std::vector<Notification>{Notification::kSignalChanged});
    EXPECT_EQ(engine_.SignalLevel(), 2);
    EXPECT_EQ(engine_.Rssi(), -1);
    EXPECT_EQ(Receive("\r\n+CIEV: 6,1\r\n"), std::vector<Notification>{Notification::kRegistered});
    EXPECT_EQ(engine_.RegistrationState(), Registration::kRoaming);
    EXPECT_EQ(
        Receive("\r\n+CIEV: 3,0\r\n\r\n+CIEV: 2,0\r\n"),
        (std::vector<Notification>{Notification::kNotRegistered, Notification::kSignalChanged}));
    EXPECT_EQ(engine_.RegistrationState(), Registration::kNone);
    EXPECT_FALSE(engine_.Registered());
    EXPECT_EQ(engine_.SignalLevel(), 0);
    EXPECT_EQ(Receive("\r\n+CIEV: 3,1\r\n"), std::vector<Notification>{Notification::kRegistered});
    EXPECT_EQ(engine_.RegistrationState(), Registration::kRoaming);
    // Not listed (the battery), and before the SIM is known: no network state.
    EXPECT_EQ(Receive("\r\n+CIEV: 1,0\r\n"), std::vector<Notification>{});
    s_.simState = 0;
    EXPECT_EQ(Receive("\r\n+CIEV: 3,0\r\n"), std::vector<Notification>{});
    EXPECT_TRUE(engine_.Registered());
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
    EXPECT_EQ(Receive(std::string("\r\n+CMGR: 0,,28\r\n") + kPdu + "\r\n\r\nOK\r\n"),
              std::vector<Notification>{});
    const CommandResult r = s_.transaction.Wait(1s, 1 << 20);
    ASSERT_TRUE(r.Ok());
    // The job clears its own flag when its command ends: a late "OK" handled after the next
    // job began must not clear that job's.
    EXPECT_EQ(s_.expectPdu.load(), 1);
    s_.expectPdu = 0;
    EXPECT_TRUE(s_.okEvent.Wait(0ns));
    const ParsedAnswer<SmsPart> read = ParseReadAnswer(r.lines, 4);
    ASSERT_TRUE(read.ok()) << read.failure;
    EXPECT_EQ(read.data.record.index, 4);
    EXPECT_EQ(read.data.record.number, u"+18005551212");
    EXPECT_EQ(read.data.record.text, u"hellohello");

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
    for (const char* header : {"+CMGL: 7,0,,28", "+CMGL:105,1,,28", "+CMGL: 2000,3,\"\",28"})
        block += std::string(header) + "\r\n" + kPdu + "\r\n";
    s_.expectPdu = 1;
    const std::vector<SmsPart> listed = ParseListingAnswer(Answer(block + "\r\nOK\r\n").lines).data;
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
    const CommandResult r = Answer(std::string("\r\n+CMGL: 1,1,,28\r\n") + kPdu +
                                   "\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",2\r\n");
    EXPECT_EQ(ParseListingAnswer(r.lines).data.size(), 1u);
    EXPECT_EQ(Dispatch(), std::vector<Notification>{Notification::kNewMessage});
    EXPECT_EQ(engine_.NewMessageIndex(), 2);
}

// The Inbox holds 200; the listing keeps every entry, and the Inbox says how many stay on the SIM.
TEST_F(EngineEvents, ALongListingIsReadWhole) {
    std::string block = "\r\n";
    for (int i = 1; i <= 205; ++i)
        block += "+CMGL: " + std::to_string(i) + ",1,,28\r\n" + kPdu + "\r\n";
    s_.expectPdu = 1;
    const std::vector<SmsPart> listed = ParseListingAnswer(Answer(block + "\r\nOK\r\n").lines).data;
    ASSERT_EQ(listed.size(), 205u);
    EXPECT_EQ(listed[204].record.index, 205);
}

// Entries no read waits for (the late rest of one that failed) are nobody's: no notification,
// and the engine's phonebook stays as it was.
TEST_F(EngineEvents, EntriesNoReadWaitsForAreDropped) {
    Feed(std::string("\r\n+CMGL: 1,1,,28\r\n") + kPdu + "\r\n\r\nOK\r\n");
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
