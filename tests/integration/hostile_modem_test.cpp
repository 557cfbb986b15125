// The engine against a scripted modem on a pty that says what it likes: lines of its own inside
// answers, control bytes, "SIM busy" to anything, and stores other than the SIM's.

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "modem/job_waiter.h"
#include "modem/modem_engine.h"
#include "platform/serial_devices.h"
#include "support/notification_queue.h"
#include "support/pty_line_modem.h"
#include "support/wait.h"

namespace telvane {
namespace {

using testing::EngineNotifications;
using testing::WaitUntil;

// "hellohello" from +18005551212: a TPDU of 28 octets.
const std::string kPdu = "07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37";
// A status report on reference D6.
const std::string kReport = "0006D60B911326880736F4111011719551401110117195714000";

// In a scripted answer: the modem pauses before it writes the rest.
constexpr std::string_view kPause = "<pause>";

std::string Framed(const std::string& line) {
    return "\r\n" + line + "\r\n\r\nOK\r\n";
}

// Answers each command line from a script: a command's answers are given in turn, the last one
// again and again; a command without a script is answered ERROR.  Every line is recorded.
class ScriptedModem : public testing::PtyLineModem {
  public:
    ScriptedModem() {
        for (const auto& [command, answer] : std::map<std::string, std::string>{
                 {"ATZ", "\r\nOK\r\n"},
                 {"AT+CMEE=1;+CPIN?", Framed("+CPIN: READY")},
                 {"AT+CSQ", Framed("+CSQ: 20,99")},
                 {"AT+CREG=1", "\r\nOK\r\n"},
                 {"AT+CREG?", Framed("+CREG: 1,1")},
                 {"AT+CSMP=17,169,0,0;+CMGF=0", "\r\nOK\r\n"},
                 {"AT+COPS=3,2;+COPS?", Framed("+COPS: 0,2,\"46692\",0")},
                 {"AT+CPMS?", Framed("+CPMS: \"SM\",1,30,\"SM\",1,30,\"SM\",1,30")},
                 {"AT+CPBS=\"SM\"", "\r\nOK\r\n"},
                 {"AT+CPBR=?", Framed("+CPBR: (1-250),20,14")},
             })
            Script(command, {answer});
        StartReading();
    }
    ~ScriptedModem() override { StopReading(); }

    void Script(const std::string& command, std::vector<std::string> answers) {
        std::lock_guard lock(mutex_);
        script_[command] = std::deque<std::string>(answers.begin(), answers.end());
    }
    // Says something of its own.
    void Push(const std::string& bytes) { WriteAll(bytes); }
    std::vector<std::string> Commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    int Count(const std::string& command) const {
        const std::vector<std::string> all = Commands();
        return static_cast<int>(std::count(all.begin(), all.end(), command));
    }

  private:
    void Answer(const std::string& command, char /*terminator*/) override {
        std::string answer = "\r\nERROR\r\n";
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(command);
            auto it = script_.find(command);
            if (it != script_.end() && !it->second.empty()) {
                answer = it->second.front();
                if (it->second.size() > 1) it->second.pop_front();
            }
        }
        // A modem's answer may come in several writes, some time apart.
        for (size_t at = 0; at <= answer.size();) {
            const size_t pause = std::min(answer.find(kPause, at), answer.size());
            WriteAll(answer.substr(at, pause - at));
            if (pause == answer.size()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            at = pause + kPause.size();
        }
    }
    mutable std::mutex mutex_;
    std::map<std::string, std::deque<std::string>> script_;
    std::vector<std::string> commands_;
};

class HostileModem : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(modem_.Path().empty());
        SerialDeviceTable::Instance().Register("COM4", modem_.Path());
    }
    void TearDown() override {
        engine_.reset();
        SerialDeviceTable::Instance().Unregister("COM4");
    }
    void Start() {
        engine_ = std::make_unique<ModemEngine>(Timing(0.05));
        ASSERT_EQ(engine_->Open(4, notes_.Callback()), 1) << engine_->OpenError();
        ASSERT_TRUE(notes_.WaitFor(Notification::kStarted));
        ASSERT_TRUE(engine_->Registered());
    }
    // Starts a job and waits for its end.
    template <typename Start>
    JobResult Run(Start start) {
        JobWaiter waiter;
        EXPECT_TRUE(start(waiter.Done()));
        const std::optional<JobResult> result = waiter.Wait(testing::kHangCeiling);
        EXPECT_TRUE(result) << "no end";
        return result.value_or(JobResult{});
    }
    JobResult ReadPhonebook() {
        return Run([this](JobDone done) { return engine_->ReadPhonebook(std::move(done)); });
    }
    // The positions of a phonebook read with a name or number.
    static std::vector<PhonebookEntry> Filled(const JobResult& read) {
        std::vector<PhonebookEntry> filled;
        if (!read.phonebook) return filled;
        for (const PhonebookEntry& entry : read.phonebook->Entries())
            if (!entry.IsEmpty()) filled.push_back(entry);
        return filled;
    }

    ScriptedModem modem_;
    EngineNotifications notes_;
    std::unique_ptr<ModemEngine> engine_;
};

// Names that hold result words, and lines of the modem's own between the entries: every entry
// is read with its name.
TEST_F(HostileModem, PhonebookNamesAndOwnLinesBetweenEntries) {
    modem_.Script("AT+CPBR=1,250",
                  {"\r\n+CPBR: 1,\"0912000001\",129,\"BUSY BEE CAFE\"\r\n+CREG: 1\r\n"
                   "+CPBR: 2,\"0912000002\",129,\"NO CARRIER X\"\r\n+CSQ: 20,99\r\n"
                   "+CPBR: 3,\"0912000003\",129,\"NO ANSWER\"\r\nBUSY\r\n"
                   "+CPBR: 4,\"0912000004\",129,\"NO DIALTONE\"\r\n\r\nOK\r\n+CREG: 1\r\n"});
    Start();
    const JobResult read = ReadPhonebook();
    ASSERT_TRUE(read.Ok()) << read.reason;
    const std::vector<PhonebookEntry> filled = Filled(read);
    ASSERT_EQ(filled.size(), 4u);
    EXPECT_EQ(filled[0].name, u"BUSY BEE CAFE");
    EXPECT_EQ(filled[1].name, u"NO CARRIER X");
    EXPECT_EQ(filled[2].name, u"NO ANSWER");
    EXPECT_EQ(filled[3].name, u"NO DIALTONE");
}

// A size the table cannot hold fails the read; nothing is asked for it.
TEST_F(HostileModem, OversizedPhonebookReadFails) {
    modem_.Script("AT+CPBR=?", {Framed("+CPBR: (1-20000),20,14")});
    Start();
    const JobResult read = ReadPhonebook();
    EXPECT_FALSE(read.Ok());
    EXPECT_FALSE(read.reason.empty());
    EXPECT_EQ(modem_.Count("AT+CPBR=1,20000"), 0);
}

// A NUL inside a listing fails the listing, whatever comes after it; it never passes for a
// listing with an entry cut short.
TEST_F(HostileModem, ControlByteInAListingFailsIt) {
    const std::string listing = "\r\n+CMGL: 1,1,,28\r\n" + kPdu + "\r\n+CMGL: 2,1,,28\r\n" +
                                std::string(1, '\0') + kPdu + "\r\n" + std::string(kPause) +
                                "+CMGL: 3,1,,28\r\n" + kPdu + "\r\n\r\nOK\r\n";
    modem_.Script("AT+CMGF=0;+CMGL=4", {listing});
    Start();
    const JobResult listed =
        Run([this](JobDone done) { return engine_->ListMessages(4, std::move(done)); });
    EXPECT_FALSE(listed.Ok());
    EXPECT_NE(listed.reason.find("damaged"), std::string::npos) << listed.reason;
    EXPECT_TRUE(listed.listing.empty());
}

// "SIM busy" to any command is asked again a few times, then fails that job alone; the SIM
// stays ready and sending possible.
TEST_F(HostileModem, SimBusyIsAskedAgainAFewTimes) {
    const std::string busy = "\r\n+CME ERROR: 515\r\n";
    modem_.Script("AT+CPBS=\"SM\"", {busy, "\r\n+CME ERROR: 14\r\n", "\r\nOK\r\n"});
    modem_.Script("AT+CPBR=1,250", {Framed("+CPBR: 1,\"0912000001\",129,\"Ann\"")});
    Start();
    const JobResult read = ReadPhonebook();
    ASSERT_TRUE(read.Ok()) << read.reason;
    EXPECT_EQ(modem_.Count("AT+CPBS=\"SM\""), 3);
    EXPECT_EQ(Filled(read).size(), 1u);

    modem_.Script("AT+CPBS=\"SM\"", {busy});
    EXPECT_FALSE(ReadPhonebook().Ok());
    EXPECT_EQ(modem_.Count("AT+CPBS=\"SM\""), 3 + 5);
    EXPECT_EQ(engine_->SimState(), 1);
    EXPECT_TRUE(engine_->Registered());
    EXPECT_EQ(notes_.Count(Notification::kCmeError), 0);
}

// A SIM code is never written twice, not even after "SIM busy": the SIM may have counted it.
TEST_F(HostileModem, SimCodeIsWrittenOnceEvenToABusySim) {
    modem_.Script("AT+CMEE=1;+CPIN?", {Framed("+CPIN: SIM PIN")});
    modem_.Script("AT+CPIN=\"1234\"", {"\r\n+CME ERROR: 515\r\n"});
    engine_ = std::make_unique<ModemEngine>(Timing(0.05));
    engine_->SetSimCodes("1234");
    ASSERT_EQ(engine_->Open(4, notes_.Callback()), 1) << engine_->OpenError();
    ASSERT_TRUE(notes_.WaitFor(Notification::kStartupFailed));
    EXPECT_EQ(modem_.Count("AT+CPIN=\"1234\""), 1);
}

// A PIN the modem never answers was not refused; a lock of the modem's own is never given the
// SIM's PIN.
TEST_F(HostileModem, SimCodesGoOnlyWhereTheyBelongAndSilenceIsNoRefusal) {
    struct Case {
        const char* name;
        std::string state;
        std::vector<std::string> pinAnswer;
        int pinsSent;
        const char* reason;
        const char* notReason;
    } cases[] = {
        {"unanswered", Framed("+CPIN: SIM PIN"), {""}, 1, "the PIN got no answer", "refused"},
        {"phone lock",
         Framed("+CPIN: PH-SIM PIN"),
         {"\r\nOK\r\n"},
         0,
         "not the SIM's PIN",
         "refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedModem modem;
        modem.Script("ATZ", {"\r\nOK\r\n"});
        modem.Script("AT+CMEE=1;+CPIN?", {c.state});
        modem.Script("AT+CPIN=\"1234\"", c.pinAnswer);
        SerialDeviceTable::Instance().Register("COM5", modem.Path());
        EngineNotifications notes;
        ModemEngine engine(Timing(0.05));
        engine.SetSimCodes("1234");
        ASSERT_EQ(engine.Open(5, notes.Callback()), 1) << engine.OpenError();
        ASSERT_TRUE(notes.WaitFor(Notification::kStartupFailed));
        EXPECT_EQ(modem.Count("AT+CPIN=\"1234\""), c.pinsSent);
        EXPECT_NE(engine.LastFailure().find(c.reason), std::string::npos) << engine.LastFailure();
        EXPECT_EQ(engine.LastFailure().find(c.notReason), std::string::npos)
            << engine.LastFailure();
        SerialDeviceTable::Instance().Unregister("COM5");
    }
}

// A message announced in the phone's store is read from there, and the store reads use is
// chosen again after.
TEST_F(HostileModem, ArrivalIsReadFromTheStoreItNames) {
    modem_.Script("AT+CPMS=\"ME\"", {Framed("+CPMS: 1,100,1,30,1,30")});
    modem_.Script("AT+CPMS=\"SM\"", {Framed("+CPMS: 1,30,1,30,1,30")});
    modem_.Script("AT+CMGF=0;+CMGR=3", {"\r\n+CMGR: 0,,28\r\n" + kPdu + "\r\n\r\nOK\r\n"});
    Start();
    const size_t before = modem_.Commands().size();
    modem_.Push("\r\n+CMTI: \"ME\",3\r\n");
    ASSERT_TRUE(notes_.WaitFor(Notification::kMessageArrived));
    ASSERT_TRUE(WaitUntil([&] { return modem_.Commands().size() >= before + 3; }));
    const std::vector<std::string> all = modem_.Commands();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
              (std::vector<std::string>{"AT+CPMS=\"ME\"", "AT+CMGF=0;+CMGR=3", "AT+CPMS=\"SM\""}));
    const std::vector<SmsPart> arrived = engine_->TakeArrivedMessages();
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0].record.text, u"hellohello");
}

// A status report stored in SR is read and deleted there; never a message of the SIM's store.
TEST_F(HostileModem, StatusReportInItsOwnStoreLeavesTheSimsMessages) {
    modem_.Script("AT+CPMS=\"SR\"", {Framed("+CPMS: 1,10,1,30,1,30")});
    modem_.Script("AT+CPMS=\"SM\"", {Framed("+CPMS: 1,30,1,30,1,30")});
    modem_.Script("AT+CMGF=0;+CMGR=1", {"\r\n+CMGR: 0,,25\r\n" + kReport + "\r\n\r\nOK\r\n"});
    modem_.Script("AT+CMGD=1", {"\r\nOK\r\n"});
    Start();
    size_t before = modem_.Commands().size();
    modem_.Push("\r\n+CDSI: \"SR\",1\r\n");
    ASSERT_TRUE(notes_.WaitFor(Notification::kStatusReport));
    ASSERT_TRUE(WaitUntil([&] { return modem_.Commands().size() >= before + 4; }));
    std::vector<std::string> all = modem_.Commands();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
              (std::vector<std::string>{"AT+CPMS=\"SR\"", "AT+CMGF=0;+CMGR=1", "AT+CMGD=1",
                                        "AT+CPMS=\"SM\""}));
    ASSERT_EQ(engine_->TakeStatusReports().size(), 1u);

    // A modem without that store: nothing is read or deleted at all.
    modem_.Script("AT+CPMS=\"SR\"", {"\r\n+CMS ERROR: 302\r\n"});
    before = modem_.Commands().size();
    modem_.Push("\r\n+CDSI: \"SR\",1\r\n");
    ASSERT_TRUE(notes_.WaitFor(Notification::kReadFailed));
    all = modem_.Commands();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
              std::vector<std::string>{"AT+CPMS=\"SR\""});
    EXPECT_NE(engine_->LastFailure().find("SR"), std::string::npos) << engine_->LastFailure();

    // A report announced in the SIM's store whose place holds a message: kept, not deleted.
    modem_.Script("AT+CMGF=0;+CMGR=2", {"\r\n+CMGR: 1,,28\r\n" + kPdu + "\r\n\r\nOK\r\n"});
    modem_.Push("\r\n+CDSI: \"SM\",2\r\n");
    ASSERT_TRUE(notes_.WaitFor(Notification::kReadFailed, 2));
    EXPECT_EQ(modem_.Count("AT+CMGD=2"), 0);
}

}  // namespace
}  // namespace telvane
