// The controller with the real engine against the simulated modem on a pty, at a small time
// scale; what went over the wire is read from the simulator's transcript.  Timer ticks are fired
// by the test once what the tick depends on has happened, never after a fixed time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "codec/message_joiner.h"
#include "control/delivery_state.h"
#include "control/link_controller.h"
#include "control/modem_link.h"
#include "control/outbox_run.h"
#include "control/ui_strings.h"
#include "fake_window.h"
#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "platform/text.h"
#include "platform/timing.h"
#include "store/message_store.h"
#include "store/phonebook_table.h"
#include "support/folder_reader.h"
#include "support/notification_queue.h"
#include "support/temp_data_folder.h"
#include "support/wait.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;
using testing::FakeWindow;
using testing::ReadFolder;

constexpr double kScale = 0.02;

// The product's engine, its notifications also queued for the test to wait on.
class RecordingLink : public LinkEngine {
  public:
    RecordingLink(std::unique_ptr<LinkEngine> inner, testing::EngineNotifications& notes)
        : inner_(std::move(inner)), notes_(notes) {}

    int Open(int portNumber, Callback callback) override {
        return inner_->Open(portNumber, [this, callback](Notification notification) {
            // After the controller's post, so that the test finds the work already queued.
            callback(notification);
            notes_.Push(notification);
        });
    }
    std::string OpenError() const override { return inner_->OpenError(); }
    void SetServiceCentre(const std::u16string& number) override {
        inner_->SetServiceCentre(number);
    }
    std::u16string OperatorText() const override { return inner_->OperatorText(); }
    int SignalLevel() const override { return inner_->SignalLevel(); }
    void RequestSignalQuality() override { inner_->RequestSignalQuality(); }
    JobHandle ListMessages(int mode, JobDone done) override {
        return inner_->ListMessages(mode, std::move(done));
    }
    JobHandle DeleteMessages(int mode, int index, JobDone done) override {
        return inner_->DeleteMessages(mode, index, std::move(done));
    }
    JobHandle DeleteStoredMessage(const std::string& store, int index, JobDone done) override {
        return inner_->DeleteStoredMessage(store, index, std::move(done));
    }
    int Rssi() const override { return inner_->Rssi(); }
    Registration RegistrationState() const override { return inner_->RegistrationState(); }
    JobHandle ReadPhonebook(JobDone done) override {
        return inner_->ReadPhonebook(std::move(done));
    }
    JobHandle WritePhonebook(JobDone done) override {
        return inner_->WritePhonebook(std::move(done));
    }
    JobHandle SendTextMessage(const std::u16string& number, const std::u16string& text,
                              const SubmitOptions& options, JobDone done) override {
        return inner_->SendTextMessage(number, text, options, std::move(done));
    }
    JobHandle SendSmartSegment(const std::u16string& number, int segment, JobDone done) override {
        return inner_->SendSmartSegment(number, segment, std::move(done));
    }
    int BuildSmartMessage(PictureKind kind, const std::u16string& pictureHex) override {
        return inner_->BuildSmartMessage(kind, pictureHex);
    }
    PhonebookTable& Phonebook() override { return inner_->Phonebook(); }
    std::unique_lock<std::mutex> LockPhonebook() override { return inner_->LockPhonebook(); }
    void SetSimCodes(const std::string& pin, const std::string& puk) override {
        inner_->SetSimCodes(pin, puk);
    }
    int PinAttempts() const override { return inner_->PinAttempts(); }
    int PukAttempts() const override { return inner_->PukAttempts(); }
    std::vector<SmsPart> TakeArrivedMessages() override { return inner_->TakeArrivedMessages(); }
    std::vector<StatusReport> TakeStatusReports() override { return inner_->TakeStatusReports(); }
    int StoreUsed() const override { return inner_->StoreUsed(); }

  private:
    std::unique_ptr<LinkEngine> inner_;
    testing::EngineNotifications& notes_;
};

class ControllerSimTest : public ::testing::Test {
  protected:
    void TearDown() override {
        controller.reset();
        if (modem) modem->Stop();
        SerialDeviceTable::Instance().Unregister("COM2");
    }

    void Start(const std::string& scenarioText, double scale = kScale) {
        SetLanguage(0);
        std::string error;
        auto scenario = modemsim::ParseScenario(scenarioText, &error);
        ASSERT_TRUE(scenario) << error;
        modem = std::make_unique<modemsim::SimulatedModem>(*scenario);
        const std::string device = modem->Start();
        ASSERT_FALSE(device.empty()) << modem->Error();
        SerialDeviceTable::Instance().Register("COM2", device);
        window.settings.port = u"COM2";
        const Timing timing(scale);
        controller = std::make_unique<LinkController>(window, timing, [this, timing] {
            return std::make_unique<RecordingLink>(MakeModemLink(timing), notes);
        });
        window.controller = controller.get();
        window.Pump();
    }

    // Connects and waits for the after-connect sequence to leave the window idle.
    void ConnectAndSettle() {
        controller->Connect();
        window.Pump();
        ASSERT_TRUE(window.Fire(kTimerOpenPort));
        ASSERT_TRUE(window.PumpUntil([&] { return controller->IsOnline(); })) << "never online";
        ASSERT_TRUE(window.PumpUntil([&] { return !controller->IsBusy(); }));
    }

    // A delete the engine refused while its last worker was ending is tried at the next tick.
    bool DeleteRunEnds() {
        return window.PumpUntil([&] {
            if (window.TimerRunning(kTimerDeleteStep)) window.Fire(kTimerDeleteStep);
            return !controller->Folders().DeleteRunning();
        });
    }

    bool WaitForStatus(const std::u16string& text) {
        return window.PumpUntil([&] { return window.StatusShown(text); });
    }

    // Waits for a send run to leave the window idle.
    bool SettleSend() {
        return window.PumpUntil([&] { return window.enabled && !controller->IsBusy(); });
    }

    int Submissions() const { return static_cast<int>(modem->SubmittedPdus().size()); }

    testing::TempDataFolder data;
    FakeWindow window;
    std::unique_ptr<modemsim::SimulatedModem> modem;
    testing::EngineNotifications notes;
    std::unique_ptr<LinkController> controller;
};

TEST_F(ControllerSimTest, ConnectListsTheSimIntoTheInbox) {
    Start(
        "[messages]\n"
        "1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7\n"
        "2 = REC READ | +886955000111 | 26/12/02,10:00:00+32 | Second\n");
    window.settings.syncSms = true;
    ConnectAndSettle();
    EXPECT_EQ(window.status, u"2 SMS Message");
    std::vector<SmsRecord> inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(inbox[0].text, u"See you at 7");
    EXPECT_EQ(inbox[0].status, u"REC UNREAD");
    ASSERT_EQ(window.rows.size(), 2u);

    // Open marks it read; deleting it removes it from the SIM.
    controller->Folders().OpenMessage(0);
    EXPECT_EQ(ReadFolder(FolderId::Inbox)[0].status, u"REC READ");
    window.TickRowsWithData({0});
    controller->Folders().DeleteTicked();
    ASSERT_TRUE(DeleteRunEnds());
    EXPECT_TRUE(notes.WaitFor(Notification::kDeleted));
    inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].text, u"Second");
    EXPECT_EQ(modem->Messages().size(), 1u);

    // The status timeout polls the signal while idle.
    window.statusTexts.clear();
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_EQ(window.status, u"LDTA");
    EXPECT_TRUE(modem->WaitForCommand("AT+CSQ", testing::kHangCeiling));
}

// Every COM name opens that the device table knows; one it does not fails at once.
TEST_F(ControllerSimTest, APortTheDeviceTableDoesNotKnowFailsAtOnce) {
    Start("");
    window.settings.port = u"COM5";
    controller->Connect();
    window.Pump();
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_EQ(window.status, u"Initialize failed: no such device COM5");
    EXPECT_TRUE(window.enabled);
}

// Each recipient's send starts as soon as the one before ended; a recipient the network refused
// stays in the Outbox for the next run, one the modem never answered for is held back as not
// confirmed, and the other recipient is served in the same run either way.
TEST_F(ControllerSimTest, SendingToTwoRecipients) {
    struct Case {
        std::string faults;
        int submissions;      // submissions reaching the network
        int cmgs;             // send commands written
        std::u16string left;  // recipients the Outbox keeps; empty when sent
    };
    const Case cases[] = {
        {"", 2, 2, u""},
        {"cms_error = 1:500\n", 1, 2, u"111"},
        {"cms_error = 2:500\n", 1, 2, u"222"},
        {"mute = +CMGS 1\n", 1, 2, u"111"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults);
        TearDown();
        testing::TempDataFolder folder;
        window.statusTexts.clear();
        window.messageTexts.clear();
        notes.Clear();
        Start("[faults]\n" + c.faults);
        window.settings.syncSms = false;
        ConnectAndSettle();

        window.recipients = u"111;222";
        window.composeText = u"hello";
        controller->SendComposed();
        ASSERT_TRUE(SettleSend());
        EXPECT_EQ(Submissions(), c.submissions);
        EXPECT_EQ(modem->CountCommands("+CMGS="), c.cmgs);
        const std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
        if (c.left.empty()) {
            EXPECT_TRUE(outbox.empty());
            ASSERT_EQ(ReadFolder(FolderId::Sent).size(), 1u);
            EXPECT_EQ(ReadFolder(FolderId::Sent)[0].number, u"111;222");
            EXPECT_TRUE(window.StatusShown(u"Send complete"));
        } else {
            ASSERT_EQ(outbox.size(), 1u);
            EXPECT_EQ(outbox[0].number, c.left);
            // Failed, or held back as not confirmed: either way not sent again by itself.
            EXPECT_FALSE(SendFailureOf(outbox[0]).empty() && UnconfirmedOf(outbox[0]).empty());
            EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());
            EXPECT_TRUE(window.StatusShown(u"Send failed"));
            EXPECT_EQ(window.messageTexts.size(), 1u);
        }
    }
}

// A long text with delivery reports on: every part goes out with a reference of its own in the
// header, and Sent keeps each part's message reference as pending.
TEST_F(ControllerSimTest, ALongTextWithDeliveryReports) {
    Start("");
    window.settings.syncSms = false;
    window.settings.deliveryReports = true;
    window.kept["ConcatRef"] = 41;
    ConnectAndSettle();
    const std::u16string text(200, u'x');
    window.recipients = u"+886 912-345678";
    window.composeText = text;
    controller->SendComposed();
    ASSERT_TRUE(SettleSend());
    const auto messages = modem->SubmittedMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].parts, 2);
    EXPECT_EQ(Utf8ToU16(messages[0].text), text);
    const std::vector<std::string> pdus = modem->SubmittedPdus();
    ASSERT_EQ(pdus.size(), 2u);
    for (const std::string& pdu : pdus) {
        EXPECT_TRUE(modemsim::RequestsStatusReport(pdu)) << pdu;
        EXPECT_NE(pdu.find("0003"
                           "2A"
                           "02"),
                  std::string::npos)
            << pdu;  // reference 42
    }
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    const auto entries = ParseDeliveryEntries(sent[0].extra);
    ASSERT_TRUE(entries.has_value()) << U16ToUtf8(sent[0].extra);
    ASSERT_EQ(entries->size(), 2u);
    for (const DeliveryEntry& entry : *entries) {
        EXPECT_EQ(entry.number, u"+886912345678");
        EXPECT_EQ(entry.state, DeliveryState::kPending);
    }
    EXPECT_NE((*entries)[0].reference, (*entries)[1].reference);
    EXPECT_EQ(window.kept["ConcatRef"], 42u);
}

// End to end: the modem's status report for each part marks the Sent message delivered.
TEST_F(ControllerSimTest, SentWithReportsShowsDeliveredWhenTheReportsCome) {
    Start("[network]\nreport_delay = 100\n");
    window.settings.syncSms = false;
    window.settings.deliveryReports = true;
    ConnectAndSettle();
    window.recipients = u"+886912345678";
    window.composeText = std::u16string(200, u'y');
    controller->SendComposed();
    ASSERT_TRUE(SettleSend());
    ASSERT_TRUE(window.PumpUntil([&] {
        const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
        if (sent.size() != 1) return false;
        const auto entries = ParseDeliveryEntries(sent[0].extra);
        return entries && entries->size() == 2 &&
               std::all_of(entries->begin(), entries->end(), [](const DeliveryEntry& e) {
                   return e.state == DeliveryState::kDelivered;
               });
    })) << U16ToUtf8(ReadFolder(FolderId::Sent).at(0).extra);
    controller->Folders().ShowFolder(2);
    controller->Folders().OpenMessage(0);
    EXPECT_EQ(window.detailStatus, u"+886912345678: Delivered");
}

TEST_F(ControllerSimTest, PictureMessageOfThreeSegmentsToTwoRecipients) {
    Start("");
    window.settings.syncSms = false;
    ConnectAndSettle();
    controller->ToggleComposeMode();
    window.pictureEmpty = false;
    std::u16string hex;
    for (int i = 0; i < 504; ++i)
        hex += u"0123456789ABCDEF"[i % 16];
    window.pictureHex = hex;
    window.recipients = u"111;222";
    controller->SendComposed();
    ASSERT_TRUE(SettleSend());
    EXPECT_TRUE(window.StatusShown(u"Send complete"));
    ASSERT_EQ(ReadFolder(FolderId::Sent).size(), 1u);

    const std::vector<std::string> pdus = modem->SubmittedPdus();
    ASSERT_EQ(pdus.size(), 6u);
    // Destination 111 or 222 (3 digits, type 129), and the concatenation element: 3 parts, the
    // part number 1, 2, 3 in turn.
    const std::regex part("0003[0-9A-F]{2}03(0[1-3])");
    for (size_t i = 0; i < pdus.size(); ++i) {
        SCOPED_TRACE(pdus[i]);
        const std::string address = i < 3 ? "038111F1" : "038122F2";
        EXPECT_NE(pdus[i].find(address), std::string::npos);
        std::smatch match;
        ASSERT_TRUE(std::regex_search(pdus[i], match, part));
        EXPECT_EQ(match[1].str(), "0" + std::to_string(i % 3 + 1));
    }
    // The two recipients got the same parts: everything after the address matches.
    for (size_t i = 0; i < 3; ++i) {
        const std::string& first = pdus[i];
        const std::string& second = pdus[i + 3];
        EXPECT_EQ(first.substr(first.find("038111F1") + 8),
                  second.substr(second.find("038122F2") + 8));
    }
}

TEST_F(ControllerSimTest, OfflinePhonebookEditsAreWrittenAtTheNextConnect) {
    Start("[phonebook]\ncapacity = 10\nnumber_limit = 20\ntext_limit = 14\n1 = 111 | Ann\n");
    PhonebookTable offline;
    offline.SetLimits(20, 14, 10);
    offline.StoreFromSim(1, u"Ann", u"111");
    ASSERT_EQ(offline.SaveFile(), 1);
    controller->Phonebook().Load();
    ASSERT_EQ(controller->Phonebook().Add(u"Bob", u"+222"), 1);
    controller->Phonebook().AfterChange();

    window.settings.syncSms = false;
    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = false;
    ConnectAndSettle();
    EXPECT_TRUE(window.StatusShown(u"Write SIM phonebook..."));
    EXPECT_EQ(modem->CountCommands("AT+CPBW=2,\"+222\",145,\"0042006F0062\""), 1);
    const std::vector<modemsim::Contact> sim = modem->Phonebook();
    ASSERT_EQ(sim.size(), 2u);
    EXPECT_EQ(sim[1].name, "Bob");
    PhonebookTable file;
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[1].changed, 0);

    // Disconnected, the offline table shows what the engine's held.
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_EQ(controller->Phonebook().Entries()[1].number, u"+222");
}

// ---- the live link ----

TEST_F(ControllerSimTest, UnreadStaysUnreadAndArrivalsShowAtOnce) {
    Start(
        "[messages]\n"
        "1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7\n"
        "2 = REC READ | +886955000111 | 26/12/02,10:00:00+32 | Opened\n"
        "3 = STO SENT | +886933222111 | | Home tonight\n");
    window.settings.syncSms = true;
    ConnectAndSettle();
    const auto statuses = [] {
        std::vector<std::u16string> s;
        for (const SmsRecord& r : ReadFolder(FolderId::Inbox))
            s.push_back(r.status);
        return s;
    };
    EXPECT_EQ(statuses(), (std::vector<std::u16string>{u"REC UNREAD", u"REC READ", u"STO SENT"}));
    const SmsRecord outgoing = ReadFolder(FolderId::Inbox)[2];
    EXPECT_EQ(outgoing.number, u"+886933222111");
    EXPECT_EQ(outgoing.time, u"");

    // The listing marked the first read on the SIM; the user has not opened it here.
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    ConnectAndSettle();
    EXPECT_EQ(modem->Messages()[0].stat, modemsim::MessageStat::RecRead);
    EXPECT_EQ(statuses(), (std::vector<std::u16string>{u"REC UNREAD", u"REC READ", u"STO SENT"}));

    // A message arriving while connected is in the Inbox, unread, without a new listing.
    const int listings = modem->CountCommands("+CMGL");
    ASSERT_EQ(modem->DeliverMessage("+886955000222", "26/12/10,08:00:08+32", u"Hi 媽"), 4);
    ASSERT_TRUE(notes.WaitFor(Notification::kMessageArrived));
    ASSERT_TRUE(window.PumpUntil([&] { return ReadFolder(FolderId::Inbox).size() == 4; }));
    const SmsRecord arrived = ReadFolder(FolderId::Inbox)[3];
    EXPECT_EQ(arrived.status, u"REC UNREAD");
    EXPECT_EQ(arrived.text, u"Hi 媽");
    EXPECT_EQ(arrived.index, 4);
    EXPECT_EQ(window.rows.size(), 4u);
    EXPECT_TRUE(window.StatusShown(u"New message: +886955000222"));
    EXPECT_EQ(window.desktopNotes,
              std::vector<std::u16string>{u"New message: +886955000222\nHi 媽"});
    EXPECT_EQ(modem->CountCommands("+CMGL"), listings);
}

// With the phonebook transfer off (the first-run setting) and no offline copy yet, the first
// connection reads the SIM's phonebook for the senders' names, and only reads.
TEST_F(ControllerSimTest, AnEmptyOfflinePhonebookIsReadOnceForNames) {
    Start(
        "[phonebook]\n"
        "capacity = 10\n"
        "1 = +886955123456 | Amy Chen\n");
    ASSERT_FALSE(window.settings.syncSimPhonebook);
    ConnectAndSettle();
    EXPECT_GT(modem->CountCommands("+CPBR="), 0);
    EXPECT_EQ(modem->CountCommands("+CPBW"), 0);
    PhonebookTable offline;
    ASSERT_EQ(offline.LoadFile(), 1);
    ASSERT_EQ(offline.Capacity(), 10);
    EXPECT_EQ(offline.Entries()[0].name, u"Amy Chen");

    ASSERT_EQ(modem->DeliverMessage("+886955123456", "26/12/10,08:00:08+32", u"Hi"), 1);
    ASSERT_TRUE(WaitForStatus(u"New message: Amy Chen"));
    EXPECT_EQ(window.desktopNotes, std::vector<std::u16string>{u"New message: Amy Chen\nHi"});

    // The offline copy now holds names: the next connection reads nothing.
    const int reads = modem->CountCommands("+CPBR=");
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    ConnectAndSettle();
    EXPECT_EQ(modem->CountCommands("+CPBR="), reads);
}

// An offline copy the user emptied, a delete still to go, is never replaced by the SIM's names.
TEST_F(ControllerSimTest, AnOfflineCopyIsNeverReadOver) {
    PhonebookTable pending;
    ASSERT_EQ(pending.SetLimits(20, 14, 2), 1);
    ASSERT_EQ(pending.AddEntry(u"Gone", u"+886955000999"), 1);
    ASSERT_EQ(pending.DeleteEntry(1), 1);
    ASSERT_EQ(pending.SaveFile(), 1);
    Start("[phonebook]\ncapacity = 2\n1 = +886955123456 | Amy Chen\n");
    ConnectAndSettle();
    EXPECT_EQ(modem->CountCommands("+CPBR="), 0);
    PhonebookTable offline;
    ASSERT_EQ(offline.LoadFile(), 1);
    EXPECT_TRUE(offline.Entries()[0].IsEmpty());
    EXPECT_EQ(offline.Entries()[0].changed, 1);
}

TEST_F(ControllerSimTest, LongMessagesAreOneInboxMessageAndLeaveTheSimWhole) {
    std::u16string stored;
    for (int i = 0; i < 20; ++i)
        stored += u"Line " + Widen(std::to_string(i)) + u" of a long one. ";
    stored.pop_back();  // the scenario's values end without blanks
    const std::u16string arriving = u"媽，" + std::u16string(80, u'好') + u"。";
    Start(
        "[modem]\ncnmi = 2,1,0,0,0\n"
        "[sim]\nmessage_capacity = 30\n"
        "[messages]\n"
        "1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | " +
        U16ToUtf8(stored) +
        "\n"
        "7 = REC READ | +886955000111 | 26/12/02,10:00:00+32 | Second\n");
    window.settings.syncSms = true;
    ConnectAndSettle();
    ASSERT_EQ(modem->Messages().size(), 4u);  // three parts and one
    std::vector<SmsRecord> inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(inbox[0].text, stored);
    EXPECT_EQ(SimIndexes(inbox[0]), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(window.rows.size(), 2u);

    // Its two parts arrive, the second first: one message, whole.
    const auto parts = modemsim::EncodeDeliverParts("+886932400821", "+886955000222",
                                                    "26/12/10,08:00:08+32", arriving, 9);
    ASSERT_TRUE(parts && parts->size() == 2u);
    ASSERT_GT(modem->DeliverPdu((*parts)[1]), 0);
    ASSERT_GT(modem->DeliverPdu((*parts)[0]), 0);
    ASSERT_TRUE(window.PumpUntil([&] {
        inbox = ReadFolder(FolderId::Inbox);
        return inbox.size() == 3 && inbox[2].text == arriving;
    })) << inbox.size();
    EXPECT_EQ(inbox[2].status, u"REC UNREAD");
    EXPECT_EQ(SimIndexes(inbox[2]).size(), 2u);
    EXPECT_EQ(window.rows.size(), 3u);
    // Announced once, when whole; never from its middle.
    EXPECT_EQ(window.desktopNotes,
              std::vector<std::u16string>{u"New message: +886955000222\n" + arriving});

    // Deleting both takes every part off the SIM.
    window.TickRowsWithData({0, 2});
    controller->Folders().DeleteTicked();
    ASSERT_TRUE(DeleteRunEnds());
    ASSERT_EQ(modem->Messages().size(), 1u);
    EXPECT_EQ(modem->Messages()[0].index, 7);
    inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].text, u"Second");
    EXPECT_EQ(modem->CountCommands("+CMGD="), 5);
}

// The phone's store beside the SIM's: both listed, an arrival announced in ME read from there,
// and a message deleted in the store it is in, though the SIM has one at the same index.
TEST_F(ControllerSimTest, MessagesInThePhonesStoreAreListedAndDeletedThere) {
    Start(
        "[modem]\ncnmi = 2,1,0,0,0\n"
        "[sim]\nmessage_capacity = 10\nme_capacity = 10\nnew_message_store = ME\n"
        "[messages]\n"
        "1 = REC READ | +886912345678 | 26/12/01,09:15:00+32 | On the SIM\n"
        "[messages ME]\n"
        "1 = REC READ | +886955000111 | 26/12/02,10:00:00+32 | On the phone\n");
    window.settings.syncSms = true;
    ConnectAndSettle();
    std::vector<SmsRecord> inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(inbox[0].text, u"On the SIM");
    EXPECT_EQ(inbox[1].text, u"On the phone");

    ASSERT_EQ(modem->DeliverMessage("+886955000222", "26/12/10,08:00:08+32", u"New on the phone"),
              2);
    ASSERT_TRUE(window.PumpUntil([&] {
        inbox = ReadFolder(FolderId::Inbox);
        return inbox.size() == 3;
    }));
    EXPECT_EQ(inbox[2].text, u"New on the phone");

    window.TickRowsWithData({1, 2});
    controller->Folders().DeleteTicked();
    ASSERT_TRUE(DeleteRunEnds());
    EXPECT_TRUE(modem->Messages("ME").empty());
    ASSERT_EQ(modem->Messages("SM").size(), 1u);
    inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].text, u"On the SIM");
}

// Roaming, searching and a denied registration show in words as the modem reports them.
TEST_F(ControllerSimTest, TheNetworksStateShowsInWords) {
    Start("[network]\nregistration = 5\noperator = 46692\nsignal = 20\n");
    ConnectAndSettle();
    // The listing's count gives way to the network's state.
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    ASSERT_TRUE(window.PumpUntil([&] { return window.status == u"LDTA (roaming)"; }))
        << U16ToUtf8(window.status);
    const struct {
        int stat;
        std::u16string words;
    } changes[] = {
        {2, u"Searching for a network"},
        {3, u"Registration denied by the network"},
        {0, u"Not registered on a network"},
        {1, u"LDTA"},
    };
    for (const auto& c : changes) {
        modem->SetRegistration(c.stat);
        EXPECT_TRUE(window.PumpUntil([&] { return window.status == c.words; }))
            << c.stat << ": " << U16ToUtf8(window.status);
    }
    // Every change of the signal reaches the bar's tool tip.
    modem->SetSignal(9);
    // A poll is skipped while the controller is busy or an earlier poll is still out, as on
    // the real timer: the next tick asks again.
    EXPECT_TRUE(window.PumpUntil([&] {
        if (window.rssi == 9) return true;
        if (!controller->IsBusy()) window.Fire(kTimerStatusTimeout);
        return false;
    })) << window.rssi;
}

TEST_F(ControllerSimTest, TheSimsPinIsAskedForAndSentOnce) {
    // Real-time waits: the tries-left answer must not be taken for silence on a loaded machine.
    Start("[sim]\nstate = pin\npin = 1234\n", 1.0);
    window.settings.syncSms = false;
    // Each start-up the SIM refuses ends in a disconnect, and the user is asked.
    const auto startUpRefused = [&](size_t requests) {
        window.Pump();
        ASSERT_TRUE(window.Fire(kTimerOpenPort));
        ASSERT_TRUE(window.PumpUntil([&] { return window.TimerRunning(kTimerDisconnect); }));
        ASSERT_TRUE(window.Fire(kTimerDisconnect));
        ASSERT_TRUE(window.PumpUntil([&] { return window.simCodeRequests.size() == requests; }));
    };
    window.simCodesToGive = SimCodes{"0000", ""};
    controller->Connect();
    startUpRefused(1);
    EXPECT_EQ(window.simCodeRequests[0], std::make_pair(false, 3));
    // The wrong PIN goes once; asked again, the user cancels.
    startUpRefused(2);
    EXPECT_EQ(window.simCodeRequests[1], std::make_pair(false, 2));
    EXPECT_EQ(window.wrongCodes, (std::vector<bool>{false, true}));
    EXPECT_TRUE(window.StatusShown(u"Wrong PIN"));
    EXPECT_EQ(modem->CountCommands("AT+CPIN=\"0000\""), 1);
    EXPECT_TRUE(window.StatusShown(u"Enter the SIM's PIN"));
    EXPECT_FALSE(window.TimerRunning(kTimerOpenPort));

    window.simCodesToGive = SimCodes{"1234", ""};
    controller->Connect();
    startUpRefused(3);
    window.Pump();
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    ASSERT_TRUE(window.PumpUntil([&] { return controller->IsOnline(); }));
    EXPECT_EQ(modem->CountCommands("AT+CPIN=\"1234\""), 1);
    EXPECT_EQ(modem->CountCommands("AT+CPIN=\"0000\""), 1);
}

TEST_F(ControllerSimTest, ASilentModemIsNamedAndAConnectUnderWayCanBeCancelled) {
    Start("[faults]\nsilent = yes\n");
    controller->Connect();
    window.Pump();
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    const std::u16string silent =
        u"Initialize failed: The modem does not answer: check the port and the cable";
    ASSERT_TRUE(WaitForStatus(silent));
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_EQ(window.status, silent);
    EXPECT_EQ(window.messageTexts, std::vector<std::u16string>{silent});
    EXPECT_TRUE(window.enabled);

    // Again, and cancelled while the engine still waits for the modem: the link closes at
    // once and nothing of the failure follows.
    window.messageTexts.clear();
    controller->Connect();
    window.Pump();
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    ASSERT_TRUE(testing::WaitUntil([&] { return modem->CountCommands("ATZ") > 0; }));
    controller->Connect();
    window.Pump();
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(window.status, u"Connect cancelled");
    EXPECT_TRUE(window.messageTexts.empty());
}

}  // namespace
}  // namespace telvane
