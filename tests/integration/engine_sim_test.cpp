// The engine against the simulated modem on a real pty, at a small time scale.

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "modem/job_waiter.h"
#include "modem/modem_engine.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "platform/text.h"
#include "support/notification_queue.h"
#include "support/wait.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;

constexpr double kScale = 0.05;
using testing::kHangCeiling;
using testing::WaitUntil;
using Notifications = testing::EngineNotifications;

// Runs `work` on a thread of its own: false when it has not ended by the ceiling (the failure
// is reported at once; the test then waits for it to end).
template <typename Work>
bool EndsWithinCeiling(Work work) {
    auto done = std::async(std::launch::async, work);
    return done.wait_for(kHangCeiling) == std::future_status::ready;
}

// A simulated modem, registered as COM3, and an engine opened on it.
class Rig {
  public:
    // Tests that count commands run slower, so that every answer is in before its pause ends.
    explicit Rig(const std::string& scenario, double scale = kScale) : modem_(Load(scenario)) {
        device_ = modem_.Start();
        EXPECT_FALSE(device_.empty()) << modem_.Error();
        SerialDeviceTable::Instance().Register("COM3", device_);
        engine_ = std::make_unique<ModemEngine>(Timing(scale));
        EXPECT_EQ(engine_->Open(3, notes_.Callback()), 1) << engine_->OpenError();
    }
    ~Rig() { SerialDeviceTable::Instance().Unregister("COM3"); }

    bool StartedUp() {
        return notes_.WaitFor(Notification::kStarted) && notes_.WaitFor(Notification::kOperator);
    }
    ModemEngine& engine() { return *engine_; }
    modemsim::SimulatedModem& modem() { return modem_; }
    Notifications& notes() { return notes_; }
    void CloseEngine() { engine_.reset(); }

    // Starts a job with `start` and waits for its end: nullopt when it was not taken or never
    // ended.
    template <typename Start>
    std::optional<JobResult> Run(Start start) {
        const JobWaiter waiter;
        if (!start(*engine_, waiter.Done())) return std::nullopt;
        return waiter.Wait(kHangCeiling);
    }

  private:
    static modemsim::Scenario Load(const std::string& text) {
        std::string error;
        auto scenario = modemsim::ParseScenario(text, &error);
        EXPECT_TRUE(scenario) << error;
        return scenario ? *scenario : modemsim::Scenario{};
    }

    modemsim::SimulatedModem modem_;
    std::string device_;
    Notifications notes_;
    std::unique_ptr<ModemEngine> engine_;
};

std::string Messages(int count, int firstIndex = 1) {
    std::string text = "[sim]\nmessage_capacity = 250\n[messages]\n";
    for (int i = 0; i < count; ++i)
        text += std::to_string(firstIndex + i) + " = " + (i % 2 ? "REC READ" : "REC UNREAD") +
                " | +886912345678 | 26/12/01,09:15:00+32 | Message " +
                std::to_string(firstIndex + i) + "\n";
    return text;
}

TEST(EngineStartUp, AnsweredModemComesUpRegisteredWithItsOperator) {
    Rig rig("[network]\nsignal = 20\noperator = 46692\n", 0.25);
    ASSERT_TRUE(rig.StartedUp());
    const std::vector<std::string> expected = {
        "ATZ",  // the wake-up line written at open
        "ATZ",
        "AT+CMEE=1;+CPIN?",
        "AT+CSQ",
        "AT+CREG=1",
        "AT+CREG?",
        "AT+CSMP=17,169,0,0;+CMGF=0",
        "AT+COPS=3,2;+COPS?",
        "AT+CNMI=?",
        "AT+CNMI=2,1,0,1,0",
        "AT+CPMS?",
        "AT+CSCA?",
        "AT+CIND=?",
        "AT+CMER=3,0,0,1",
    };
    EXPECT_EQ(rig.modem().Commands(), expected);
    EXPECT_EQ(rig.engine().DetectedScNumber(), u"+886932400821");
    EXPECT_EQ(rig.notes().Count(Notification::kSimReady), 1);
    EXPECT_TRUE(rig.notes().WaitFor(Notification::kRegistered));
    EXPECT_TRUE(rig.engine().Started());
    EXPECT_TRUE(rig.engine().Registered());
    EXPECT_EQ(rig.engine().SignalLevel(), 5);
    EXPECT_EQ(rig.engine().OperatorText(), u"46692");
    EXPECT_EQ(rig.engine().SendCommand(std::string(1100, 'A')), 0);  // longer than a line may be
    EXPECT_EQ(rig.engine().RequestSignalQuality(), 1);
    EXPECT_TRUE(rig.modem().WaitForCommand("AT+CSQ", kHangCeiling));
}

// The modem's own centre is only shown: what it says never fails the start-up nor reaches a PDU.
TEST(EngineStartUp, ModemsOwnCentreIsReadOrLeftUnknown) {
    const struct {
        const char* scenario;
        std::u16string detected;
    } cases[] = {
        {"[sim]\nservice_centre = 0932400821\n", u"0932400821"},
        {"[sim]\nservice_centre =\n", u""},
        {"[faults]\nrefuse = +CSCA\n", u""},
        {"[faults]\nmute = +CSCA\n", u""},
        {"[sim]\nservice_centre = 0932\x1B"
         "AT\n",
         u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        Rig rig(c.scenario);
        ASSERT_TRUE(rig.StartedUp());
        EXPECT_TRUE(rig.engine().Started());
        EXPECT_EQ(rig.engine().DetectedScNumber(), c.detected);
        EXPECT_EQ(rig.engine().ScNumber(), u"");
    }
}

// The receive handler reaches one engine: a second one would take the first one's bytes.
TEST(EngineStartUp, ASecondEngineIsRefusedWhileOneIsOpen) {
    modemsim::SimulatedModem other(modemsim::Scenario{});
    const std::string device = other.Start();
    ASSERT_FALSE(device.empty());
    SerialDeviceTable::Instance().Register("COM4", device);
    {
        Rig rig("");
        ModemEngine second{Timing(kScale)};
        EXPECT_EQ(second.Open(4, nullptr), 0);
        EXPECT_EQ(second.OpenError(), "another modem connection is already open in this program");
        EXPECT_TRUE(rig.StartedUp());  // the first engine still gets its answers
    }
    Notifications notes;
    ModemEngine after{Timing(kScale)};
    ASSERT_EQ(after.Open(4, notes.Callback()), 1) << after.OpenError();
    EXPECT_TRUE(notes.WaitFor(Notification::kStarted));
    SerialDeviceTable::Instance().Unregister("COM4");
}

TEST(EngineStartUp, RoamingCountsAsRegistered) {
    Rig rig("[network]\nregistration = 5\n");
    ASSERT_TRUE(rig.StartedUp());
    EXPECT_TRUE(rig.engine().Registered());
}

TEST(EngineStartUp, FailuresAreNamed) {
    struct Case {
        const char* name;
        const char* scenario;
        int resets;     // "ATZ" lines after the wake-up line
        int simChecks;  // "AT+CMEE=1;+CPIN?" lines
        Notification reason;
    } cases[] = {
        {"no modem", "[faults]\nsilent = yes\n", 3, 0, Notification::kModemSilent},
        {"no SIM", "[sim]\nstate = absent\n", 1, 1, Notification::kNoSim},
        {"PIN required", "[sim]\nstate = pin\n", 1, 1, Notification::kSimPinRequired},
    };
    for (const Case& c : cases) {
        Rig rig(c.scenario);
        ASSERT_TRUE(rig.notes().WaitFor(Notification::kStartupFailed)) << c.name;
        // The reason comes first, then the failure.
        EXPECT_EQ(rig.notes().Received().end()[-2], c.reason) << c.name;
        EXPECT_EQ(rig.notes().Count(c.reason), 1) << c.name;
        EXPECT_FALSE(rig.engine().LastFailure().empty()) << c.name;
        const auto commands = rig.modem().Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "ATZ"), c.resets + 1) << c.name;
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "AT+CMEE=1;+CPIN?"), c.simChecks)
            << c.name;
        EXPECT_EQ(rig.notes().Count(Notification::kStarted), 0) << c.name;
        EXPECT_FALSE(rig.engine().Enabled()) << c.name;
        EXPECT_EQ(rig.engine().SendCommand("AT"), 0) << c.name;
    }
}

// A device that only sends back what it gets (a loopback plug, another serial device): not a
// modem, and not a silent one.
TEST(EngineStartUp, ADeviceThatIsNoModemIsNamed) {
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::atomic<bool> stop{false};
    std::thread loopback([&] {
        char buffer[256];
        while (!stop.load()) {
            pollfd fd{master, POLLIN, 0};
            if (poll(&fd, 1, 20) <= 0) continue;
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0 && write(master, buffer, static_cast<size_t>(n)) < 0) break;
        }
    });
    SerialDeviceTable::Instance().Register("COM4", name);
    {
        Notifications notes;
        ModemEngine engine{Timing(kScale)};
        ASSERT_EQ(engine.Open(4, notes.Callback()), 1) << engine.OpenError();
        ASSERT_TRUE(notes.WaitFor(Notification::kStartupFailed));
        EXPECT_EQ(notes.Count(Notification::kNotAModem), 1);
        EXPECT_EQ(notes.Count(Notification::kModemSilent), 0);
    }
    stop = true;
    loopback.join();
    SerialDeviceTable::Instance().Unregister("COM4");
    close(master);
    close(slave);
}

TEST(EngineStartUp, ModemStillInitialisingIsAskedAgain) {
    Rig rig("[faults]\ncpin_busy = 3\n", 0.25);
    ASSERT_TRUE(rig.StartedUp());
    EXPECT_EQ(rig.modem().CountCommands("+CPIN?"), 4);
}

TEST(EngineListing, ListsTheStore) {
    struct Case {
        const char* name;
        std::string scenario;
        int count;
        int firstIndex;
    } cases[] = {
        {"empty store", "", 0, 0},
        {"three messages", Messages(3), 3, 1},
        {"200 messages, indexes above 99", Messages(200, 30), 200, 30},
        {"random batches and bit-7 noise",
         Messages(5, 97) + "[faults]\nbatches = 1 16\nbit7 = 0.3\nseed = 3\n", 5, 97},
    };
    for (const Case& c : cases) {
        Rig rig(c.scenario,
                0.15);  // the listing's wait must outlast 200 messages on a busy machine
        ASSERT_TRUE(rig.StartedUp()) << c.name;
        const JobWaiter listing;
        ASSERT_TRUE(rig.engine().ListMessages(4, listing.Done())) << c.name;
        EXPECT_FALSE(rig.engine().ListMessages(4)) << c.name;  // one listing at a time
        const std::optional<JobResult> result = listing.Wait(kHangCeiling);
        ASSERT_TRUE(result && result->Ok()) << c.name;
        EXPECT_EQ(result->end, Notification::kListingFinished);
        ASSERT_EQ(result->listing.size(), static_cast<size_t>(c.count)) << c.name;
        for (int i = 0; i < c.count; ++i) {
            const SmsRecord& entry = result->listing[static_cast<size_t>(i)].record;
            const int index = c.firstIndex + i;
            ASSERT_EQ(entry.index, index) << c.name;
            EXPECT_EQ(entry.status, i % 2 ? u"REC READ" : u"REC UNREAD") << c.name;
            EXPECT_EQ(entry.number, u"+886912345678") << c.name;
            EXPECT_EQ(entry.time, u"26/12/01,09:15:00") << c.name;
            EXPECT_EQ(entry.text, u"Message " + Widen(std::to_string(index))) << c.name;
        }
        EXPECT_EQ(rig.modem().CountCommands("AT+CMGF=0;+CMGL=4"), 1) << c.name;
    }
}

// On a slow line the listing takes many times the idle time to arrive: the wait lasts as long
// as bytes keep coming.
TEST(EngineListing, ASlowLineListsWithoutTimingOut) {
    Rig rig("[modem]\nbaud = 9600\n" + Messages(60));
    ASSERT_TRUE(rig.StartedUp());
    const auto listed = rig.Run([](ModemEngine& e, JobDone d) { return e.ListMessages(4, d); });
    ASSERT_TRUE(listed && listed->Ok());
    ASSERT_EQ(listed->listing.size(), 60u);
    EXPECT_EQ(listed->listing[59].record.text, u"Message 60");
}

TEST(EngineListing, DeletingAnIndexAbove99RemovesThatMessage) {
    Rig rig(Messages(150), 0.15);
    ASSERT_TRUE(rig.StartedUp());
    const auto listed = rig.Run([](ModemEngine& e, JobDone d) { return e.ListMessages(4, d); });
    ASSERT_TRUE(listed && listed->listing.size() > 122u);
    const SmsRecord target = listed->listing[122].record;
    ASSERT_EQ(target.index, 123);
    const auto deleted =
        rig.Run([&](ModemEngine& e, JobDone d) { return e.DeleteMessages(0, target.index, d); });
    ASSERT_TRUE(deleted && deleted->Ok());
    EXPECT_TRUE(rig.modem().WaitForCommand("AT+CMGD=123", kHangCeiling));
    const auto left = rig.modem().Messages();
    EXPECT_EQ(left.size(), 149u);
    EXPECT_TRUE(
        std::none_of(left.begin(), left.end(), [](const auto& m) { return m.index == 123; }));
}

TEST(EngineMessages, SendWriteSendFromStoreAndDelete) {
    Rig rig("");
    ASSERT_TRUE(rig.StartedUp());
    ModemEngine& engine = rig.engine();

    const JobWaiter send;
    const JobHandle handle =
        engine.SendTextMessage(u"+886912345678", u"Hello there", {}, send.Done());
    ASSERT_TRUE(handle);
    EXPECT_FALSE(engine.SendTextMessage(u"+886912345678", u"again"));  // one send at a time
    const std::optional<JobResult> sent = send.Wait(kHangCeiling);
    ASSERT_TRUE(sent && sent->Ok());
    EXPECT_EQ(sent->id, handle.id);
    EXPECT_EQ(sent->kind, JobKind::kSendText);
    ASSERT_EQ(sent->references.size(), 1u);
    EXPECT_GE(sent->references[0], 0);
    ASSERT_TRUE(rig.notes().WaitFor(Notification::kSendDone));
    ASSERT_EQ(rig.modem().SubmittedPdus().size(), 1u);

    const auto write = rig.Run(
        [](ModemEngine& e, JobDone d) { return e.WriteTextToSim(u"5550100", u"Draft", d); });
    ASSERT_TRUE(write && write->Ok());
    const int32_t written = write->value;
    ASSERT_GE(written, 1);
    ASSERT_EQ(rig.modem().Messages().size(), 1u);

    const auto fromStore =
        rig.Run([&](ModemEngine& e, JobDone d) { return e.SendFromStore(written, d); });
    ASSERT_TRUE(fromStore && fromStore->Ok());
    EXPECT_EQ(rig.modem().SubmittedPdus().size(), 2u);

    const auto deleted =
        rig.Run([&](ModemEngine& e, JobDone d) { return e.DeleteMessages(0, written, d); });
    ASSERT_TRUE(deleted && deleted->Ok());
    EXPECT_TRUE(rig.modem().Messages().empty());
}

// The modem is asked to route status reports: "+CDS:" where it offers it, and a report it
// stores ("+CDSI:") is read and deleted.
TEST(EngineMessages, StatusReportsReachTheOwner) {
    Rig rig("");
    ASSERT_TRUE(rig.StartedUp());
    ModemEngine& engine = rig.engine();
    ASSERT_TRUE(WaitUntil([&] {
        const auto commands = rig.modem().Commands();
        return std::find(commands.begin(), commands.end(), "AT+CNMI=2,1,0,1,0") != commands.end();
    }));
    const auto sent = rig.Run([](ModemEngine& e, JobDone d) {
        return e.SendTextMessage(u"+886912345678", u"Report me", {}, d);
    });
    ASSERT_TRUE(sent && sent->Ok() && sent->references.size() == 1u);
    const int32_t reference = sent->references[0];
    ASSERT_TRUE(rig.modem().ReportStatus(reference, 0));
    ASSERT_TRUE(rig.notes().WaitFor(Notification::kStatusReport));
    std::vector<StatusReport> reports = engine.TakeStatusReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].reference, reference);
    EXPECT_EQ(reports[0].recipient, u"+886912345678");
    EXPECT_EQ(reports[0].status, 0);

    ASSERT_EQ(engine.SendCommand("AT+CNMI=2,1,0,2,0"), 1);
    ASSERT_TRUE(WaitUntil([&] {
        const auto commands = rig.modem().Commands();
        return std::find(commands.begin(), commands.end(), "AT+CNMI=2,1,0,2,0") != commands.end();
    }));
    ASSERT_TRUE(rig.modem().ReportStatus(reference, 0x41));
    ASSERT_TRUE(rig.notes().WaitFor(Notification::kStatusReport, 2));
    reports = engine.TakeStatusReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].reference, reference);
    EXPECT_EQ(reports[0].status, 0x41);
    EXPECT_TRUE(WaitUntil([&] { return rig.modem().Messages().empty(); }));
}

TEST(EngineMessages, NumbersThatAreNoNumbersSendNothing) {
    Rig rig("");
    ASSERT_TRUE(rig.StartedUp());
    // Each worker refuses its number at once; the next start waits for the slot to be free.
    for (const char16_t* number : {u"555-0100", u"555 0100", u"5550100\r\nAT+CMGD=1,4"}) {
        const auto refused = rig.Run(
            [&](ModemEngine& e, JobDone d) { return e.SendTextMessage(number, u"x", {}, d); });
        ASSERT_TRUE(refused && !refused->Ok());
        EXPECT_NE(refused->reason.find("is no number"), std::string::npos) << refused->reason;
    }
    // A good number after them marks the end: only its submission reached the modem.
    const auto sent = rig.Run(
        [](ModemEngine& e, JobDone d) { return e.SendTextMessage(u"5550100", u"x", {}, d); });
    ASSERT_TRUE(sent && sent->Ok());
    EXPECT_EQ(rig.modem().CountCommands("+CMGS"), 1);
    EXPECT_EQ(rig.modem().CountCommands("+CMGD"), 0);
}

TEST(EngineMessages, RefusedSendIsReportedByItsErrorCode) {
    Rig rig("[faults]\ncms_error = 1:111\n");
    ASSERT_TRUE(rig.StartedUp());
    const auto refused = rig.Run(
        [](ModemEngine& e, JobDone d) { return e.SendTextMessage(u"5550100", u"x", {}, d); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, JobStatus::kFailed);
    EXPECT_EQ(refused->end, Notification::kSendFailed);
    EXPECT_EQ(refused->reason, "not sent: +CMS ERROR: 111");
    ASSERT_TRUE(rig.notes().WaitFor(Notification::kCmsSendFailed));
    // The second submission goes through once the first worker has given up: only it is
    // reported sent.
    const auto sent = rig.Run(
        [](ModemEngine& e, JobDone d) { return e.SendTextMessage(u"5550100", u"y", {}, d); });
    ASSERT_TRUE(sent && sent->Ok());
    ASSERT_TRUE(rig.notes().WaitFor(Notification::kSendDone));
    EXPECT_EQ(rig.notes().Count(Notification::kSendDone), 1);
    EXPECT_EQ(rig.modem().CountCommands("+CMGS="), 2);
}

// A long text goes as its parts, each confirmed before the next; the engine hands over every
// part's message reference, and a part the network refuses ends the send with the reason.
TEST(EngineMessages, LongTextsGoAsTheirPartsInOrder) {
    Rig rig("[faults]\ncms_error = 5:500\n");
    ASSERT_TRUE(rig.StartedUp());
    const std::u16string text(400, u'a');  // three parts
    const auto whole = rig.Run([&](ModemEngine& e, JobDone d) {
        return e.SendTextMessage(u"5550100", text, {.reference = 9}, d);
    });
    ASSERT_TRUE(whole && whole->Ok());
    EXPECT_EQ(whole->references.size(), 3u);
    const auto messages = rig.modem().SubmittedMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].parts, 3);
    EXPECT_EQ(Utf8ToU16(messages[0].text), text);

    // The 5th submission is the second part of the next text.
    const auto cut = rig.Run([&](ModemEngine& e, JobDone d) {
        return e.SendTextMessage(u"5550100", text, {.reference = 10}, d);
    });
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->status, JobStatus::kFailed);
    EXPECT_EQ(cut->reason, "part 2 of 3 not sent: +CMS ERROR: 500");
    EXPECT_EQ(cut->references.size(), 1u);
    EXPECT_EQ(rig.modem().CountCommands("+CMGS="), 5);  // the third part was never offered
}

// What the codec refuses never reaches the line: no AT+CMGS with a wrapped or empty length.
TEST(EngineMessages, ATextTheCodecRefusesIsNotSent) {
    Rig rig("");
    ASSERT_TRUE(rig.StartedUp());
    struct Case {
        std::u16string number, text;
        std::string reason;
    } cases[] = {
        {u"123456789012345678901", u"x", "Recipient: "},                 // past the address field
        {u"5550100", std::u16string(153 * 256, u'a'), "can be joined"},  // past 255 parts
    };
    for (const Case& c : cases) {
        const auto refused = rig.Run(
            [&](ModemEngine& e, JobDone d) { return e.SendTextMessage(c.number, c.text, {}, d); });
        ASSERT_TRUE(refused && !refused->Ok());
        EXPECT_NE(refused->reason.find(c.reason), std::string::npos) << refused->reason;
    }
    EXPECT_EQ(rig.modem().CountCommands("+CMGS"), 0);
}

// The end of a send is announced once its worker is gone: the next send, started on that
// announcement, is always taken.
TEST(EngineMessages, ASendStartedOnTheLastOnesEndIsTaken) {
    Rig rig("");
    ASSERT_TRUE(rig.StartedUp());
    for (int i = 0; i < 20; ++i) {
        const JobWaiter send;
        // Started from the previous send's end, on the engine's own thread.
        ASSERT_TRUE(rig.engine().SendTextMessage(u"5550100", u"x", {}, send.Done()))
            << "send " << i;
        ASSERT_TRUE(rig.notes().WaitFor(Notification::kSendDone, i + 1));
        ASSERT_TRUE(send.Wait(kHangCeiling));
    }
    EXPECT_EQ(rig.modem().SubmittedPdus().size(), 20u);
}

TEST(EnginePhonebook, ReadThenWriteBack) {
    Rig rig(R"([phonebook]
capacity = 50
number_limit = 20
text_limit = 14
1 = 5550100 | Ann
2 = +886912345678 | Bob
)");
    ASSERT_TRUE(rig.StartedUp());
    ModemEngine& engine = rig.engine();
    const auto read = rig.Run([](ModemEngine& e, JobDone d) { return e.ReadPhonebook(d); });
    ASSERT_TRUE(read && read->Ok() && read->phonebook);
    EXPECT_EQ(read->phonebook->Entries()[1].name, u"Bob");
    {
        auto lock = engine.LockPhonebook();
        PhonebookTable& table = engine.Phonebook();
        EXPECT_EQ(table.Limits(), (PhonebookLimits{20, 14, 50}));
        EXPECT_EQ(table.Entries()[0].number, u"5550100");
        EXPECT_EQ(table.Entries()[1].number, u"+886912345678");
        EXPECT_EQ(table.Entries()[1].name, u"Bob");
        ASSERT_EQ(table.DeleteEntry(1), 1);
        ASSERT_EQ(table.UpdateEntry(3, u"Cy", u"+4930"), 1);
        ASSERT_EQ(table.UpdateEntry(4, u"Dee\r\nAT+CMGD=1,4", u"5550104"), 1);
        ASSERT_EQ(table.UpdateEntry(5, u"Eve", u"55\"5"), 1);  // a number that breaks a command
    }
    const auto write = rig.Run([](ModemEngine& e, JobDone d) { return e.WritePhonebook(d); });
    // The number that would break the command and the name with a line break are reported,
    // not written.
    ASSERT_TRUE(write && !write->Ok());
    EXPECT_EQ(write->end, Notification::kPhonebookWriteFailed);
    EXPECT_EQ(write->refusals,
              (std::vector<PhonebookRefusal>{
                  {4,
                   "the control character U+000D cannot be written to the SIM in the modem's UCS2 "
                   "character set."},
                  {5, "the number holds characters a SIM cannot store"}}));

    const auto commands = rig.modem().Commands();
    const auto has = [&](const std::string& line) {
        return std::find(commands.begin(), commands.end(), line) != commands.end();
    };
    EXPECT_TRUE(has("AT+CPBW=1,\"\",129,\"\""));
    EXPECT_TRUE(has("AT+CPBW=3,\"+4930\",145,\"00430079\""));
    EXPECT_EQ(rig.modem().CountCommands("AT+CPBW=4"), 0);
    EXPECT_EQ(rig.modem().CountCommands("AT+CPBW=5"), 0);
    EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const std::string& line) {
        return line.rfind("AT+CMGD", 0) == 0;
    }));

    ASSERT_TRUE(WaitUntil([&] { return rig.modem().Phonebook().size() == 2u; }));
    const auto book = rig.modem().Phonebook();
    EXPECT_EQ(book[0].index, 2);
    EXPECT_EQ(book[1].number, "+4930");
    EXPECT_EQ(book[1].name, "Cy");

    auto lock = engine.LockPhonebook();
    const auto& entries = engine.Phonebook().Entries();
    EXPECT_EQ(entries[0], (PhonebookEntry{0, 0, u"", u""}));  // the emptied position is free
    EXPECT_EQ(entries[2].changed, 0);
    EXPECT_EQ(entries[3].changed, 1);  // not written: stays pending
    EXPECT_EQ(entries[4].changed, 1);
}

// The SIM's own refusal stays with the entry: it is left marked, and the reason is the SIM's.
TEST(EnginePhonebook, AnEntryTheSimRefusesStaysChanged) {
    Rig rig("[phonebook]\ncapacity = 10\nnumber_limit = 20\ntext_limit = 6\n");
    ASSERT_TRUE(rig.StartedUp());
    ModemEngine& engine = rig.engine();
    {
        auto lock = engine.LockPhonebook();
        PhonebookTable& table = engine.Phonebook();
        table.SetLimits(20, 30, 10);  // wider than the SIM's own
        ASSERT_EQ(table.UpdateEntry(1, u"Ann", u"5550100"), 1);
        ASSERT_EQ(table.UpdateEntry(2, u"A name far too long", u"5550101"), 1);
        ASSERT_EQ(table.UpdateEntry(3, u"Cy", u"5550102"), 1);
    }
    const auto write = rig.Run([](ModemEngine& e, JobDone d) { return e.WritePhonebook(d); });
    ASSERT_TRUE(write && !write->Ok());
    EXPECT_EQ(write->refusals,
              (std::vector<PhonebookRefusal>{{2, "+CME ERROR: 24 (text string too long)"}}));
    EXPECT_EQ(rig.notes().Count(Notification::kPhonebookWritten), 0);
    auto lock = engine.LockPhonebook();
    const auto& entries = engine.Phonebook().Entries();
    EXPECT_EQ(entries[0].changed, 0);
    EXPECT_EQ(entries[1].changed, 1);
    EXPECT_EQ(entries[2].changed, 0);  // the ones behind it are still written
}

// A modem that takes its time over the range query: the read waits for it and asks for the
// whole range.
TEST(EnginePhonebook, ASlowRangeAnswerIsWaitedFor) {
    std::string scenario = "[faults]\ndelay +CPBR = 1500\n[phonebook]\ncapacity = 30\n";
    for (int i = 1; i <= 20; ++i)
        scenario += std::to_string(i) + " = 55501" + std::to_string(10 + i) + " | P" +
                    std::to_string(i) + "\n";
    Rig rig(scenario, 1.0);
    ASSERT_TRUE(rig.StartedUp());
    const auto read = rig.Run([](ModemEngine& e, JobDone d) { return e.ReadPhonebook(d); });
    ASSERT_TRUE(read && read->Ok());
    EXPECT_EQ(rig.modem().CountCommands("AT+CPBR=1,30"), 1);
    EXPECT_EQ(rig.modem().CountCommands("AT+CPBR=1,0"), 0);
    auto lock = rig.engine().LockPhonebook();
    const auto& entries = rig.engine().Phonebook().Entries();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const PhonebookEntry& e) { return !e.IsEmpty(); }),
              20);
}

// Reads that get no answer, or no end, are failures: never an empty store or phonebook.
TEST(EngineReads, UnansweredReadsFail) {
    {
        Rig rig(Messages(3) + "[faults]\nmute = +CMGL\n");
        ASSERT_TRUE(rig.StartedUp());
        const auto listed = rig.Run([](ModemEngine& e, JobDone d) { return e.ListMessages(4, d); });
        ASSERT_TRUE(listed && !listed->Ok());
        EXPECT_EQ(listed->end, Notification::kListingFailed);
        EXPECT_NE(listed->reason.find("no answer"), std::string::npos) << listed->reason;
    }
    {
        Rig rig("[faults]\nmute = +CPBR\n[phonebook]\n1 = 5550100 | Ann\n");
        ASSERT_TRUE(rig.StartedUp());
        const auto read = rig.Run([](ModemEngine& e, JobDone d) { return e.ReadPhonebook(d); });
        ASSERT_TRUE(read && !read->Ok());
        EXPECT_EQ(read->end, Notification::kPhonebookReadFailed);
        EXPECT_EQ(rig.modem().CountCommands("AT+CPBR=1,"), 0);  // never asks for nothing
    }
}

// A delete answered after its wait ended: its late "OK" must not end the listing after it.
TEST(EngineMessages, ALateAnswerDoesNotEndTheNextCommand) {
    // At this scale the delete waits 1 s for its answer, which comes after 1.5 s.
    Rig rig(Messages(3) + "[faults]\ndelay +CMGD = 1500\n", 0.2);
    ASSERT_TRUE(rig.StartedUp());
    const auto deleted =
        rig.Run([](ModemEngine& e, JobDone d) { return e.DeleteMessages(0, 3, d); });
    ASSERT_TRUE(deleted && !deleted->Ok());
    const auto listed = rig.Run([](ModemEngine& e, JobDone d) { return e.ListMessages(4, d); });
    ASSERT_TRUE(listed && listed->Ok() && listed->listing.size() >= 2u);
    EXPECT_EQ(listed->listing[1].record.index, 2);
    EXPECT_EQ(rig.modem().Messages().size(), 2u);  // the delete went through, late
}

TEST(EngineMessages, AFailedDeleteIsReported) {
    Rig rig(Messages(2));
    ASSERT_TRUE(rig.StartedUp());
    const auto deleted =  // outside the store
        rig.Run([](ModemEngine& e, JobDone d) { return e.DeleteMessages(0, 999, d); });
    ASSERT_TRUE(deleted && !deleted->Ok());
    EXPECT_EQ(rig.notes().Count(Notification::kDeleted), 0);
    EXPECT_NE(deleted->reason.find("+CMS ERROR"), std::string::npos);
}

TEST(EngineToolkit, IndicationAfterStartUpAsksForTheDetails) {
    Rig rig(R"([toolkit]
3 = +STGI: 0,1,0,4,0,"Enter code"
)");
    ASSERT_TRUE(rig.StartedUp());
    rig.modem().PushUnsolicited("+STIN: 0");
    rig.modem().PushUnsolicited("+STIN: 3");
    ASSERT_TRUE(rig.modem().WaitForCommand("AT+STGI=3", kHangCeiling));
    EXPECT_EQ(rig.modem().CountCommands("AT+STGI"), 1);            // type 0 is no request
    EXPECT_TRUE(rig.notes().WaitFor(Notification::kToolkitInfo));  // its answer is complete
    rig.modem().PushUnsolicited("+STIN: 98");
    EXPECT_TRUE(rig.notes().WaitFor(Notification::kToolkitEnded));
}

TEST(EngineLink, DroppedInTheMiddleOfAListing) {
    Rig rig(Messages(20) + "[faults]\ndrop_at = +CMGL 300\n");
    ASSERT_TRUE(rig.StartedUp());
    ASSERT_TRUE(rig.engine().ListMessages(4));
    ASSERT_TRUE(rig.notes().WaitFor(Notification::kStartupFailed));
    EXPECT_EQ(rig.notes().Count(Notification::kLinkLost), 1);
    EXPECT_TRUE(rig.notes().WaitFor(Notification::kListingFailed));  // not an empty store
    EXPECT_EQ(rig.notes().Count(Notification::kListingFinished), 0);
    EXPECT_TRUE(EndsWithinCeiling([&rig] { rig.CloseEngine(); }));
}

// Every job kind running when the device vanishes; teardown still ends promptly.
TEST(EngineLink, DeviceVanishesDuringEveryKindOfJob) {
    Rig rig(Messages(3) + "[faults]\ndelay = 200\n[phonebook]\n1 = 5550100 | Ann\n");
    ASSERT_TRUE(rig.StartedUp());
    ModemEngine& engine = rig.engine();
    EXPECT_TRUE(engine.ListMessages(4));
    EXPECT_TRUE(engine.ReadPhonebook());
    EXPECT_TRUE(engine.SendTextMessage(u"5550100", u"x"));
    EXPECT_TRUE(engine.WriteTextToSim(u"5550100", u"y"));
    EXPECT_TRUE(engine.SendFromStore(1));
    EXPECT_TRUE(engine.DeleteMessages(1, 0));
    EXPECT_TRUE(engine.WritePhonebook());
    EXPECT_TRUE(engine.ReadOneMessage(1));
    ASSERT_TRUE(rig.modem().WaitForCommand("+CMGL", kHangCeiling));  // the jobs are under way
    rig.modem().Stop();  // the modem goes away with its side of the line
    ASSERT_TRUE(rig.notes().WaitFor(Notification::kStartupFailed));
    EXPECT_TRUE(EndsWithinCeiling([&rig] { rig.CloseEngine(); }));
}

// A callback that begins while the engine is torn down finishes before the engine is gone, and
// none begins after.
TEST(EngineTeardown, CallbacksNeverOutliveTheEngine) {
    for (int round = 0; round < 5; ++round) {
        modemsim::SimulatedModem modem(modemsim::Scenario{});
        const std::string device = modem.Start();
        ASSERT_FALSE(device.empty());
        SerialDeviceTable::Instance().Register("COM4", device);
        std::atomic<bool> destroyed{false};
        std::atomic<int> late{0};
        std::atomic<int> calls{0};
        auto engine = std::make_unique<ModemEngine>(Timing(kScale));
        ASSERT_EQ(engine->Open(4,
                               [&](Notification) {
                                   ++calls;
                                   std::this_thread::sleep_for(2ms);
                                   if (destroyed) ++late;
                               }),
                  1);
        for (int i = 0; i < 40; ++i)
            modem.PushUnsolicited("+CSQ: " + std::to_string(i % 30) + ",99");
        // Each round tears down a little further into the stream of callbacks.
        ASSERT_TRUE(WaitUntil([&] { return calls.load() >= round; }));
        engine.reset();  // joins the dispatcher: no callback can begin after this
        destroyed = true;
        EXPECT_EQ(late, 0);
        SerialDeviceTable::Instance().Unregister("COM4");
    }
}

}  // namespace
}  // namespace telvane
