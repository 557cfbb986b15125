// The controller with the real engine against the simulated modem on a pty, at a small time
// scale; what went over the wire is read from the simulator's transcript.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "control/link_controller.h"
#include "control/ui_strings.h"
#include "fake_window.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "platform/timing.h"
#include "store/message_store.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;
using testing::FakeWindow;
using testing::ScopedDataFolder;

constexpr double kScale = 0.02;

std::vector<SmsRecord> ReadFolder(FolderId folder) {
    MessageStore store;
    store.LoadShown(folder);
    std::vector<SmsRecord> records;
    for (const FolderEntry& entry : store.Shown().entries) {
        if (entry.slot >= 0) records.push_back(entry.record);
    }
    return records;
}

class ControllerSimTest : public ::testing::Test {
  protected:
    void TearDown() override {
        controller.reset();
        if (modem) modem->Stop();
        SerialDeviceTable::Instance().Unregister("COM2");
    }

    void Start(const std::string& scenarioText) {
        SetLanguage(0);
        std::string error;
        auto scenario = modemsim::ParseScenario(scenarioText, &error);
        ASSERT_TRUE(scenario) << error;
        modem = std::make_unique<modemsim::SimulatedModem>(*scenario);
        const std::string device = modem->Start();
        ASSERT_FALSE(device.empty()) << modem->Error();
        SerialDeviceTable::Instance().Register("COM2", device);
        window.settings.port = u"COM2";
        controller = std::make_unique<LinkController>(window, Timing(kScale));
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

    bool WaitForStatus(const std::u16string& text) {
        return window.PumpUntil([&] { return window.StatusShown(text); });
    }

    // Waits for the modem's answer to the last submission (a reference or an error; nothing at
    // all when it stays silent) and for the send worker to end, then runs the next tick.
    void NextTick(int timerId) {
        const auto answers = [this] {
            return std::count_if(window.statusTexts.begin(), window.statusTexts.end(),
                                 [](const std::u16string& text) {
                                     return text.starts_with(u"SMS no.") || text == u"Send failed";
                                 });
        };
        const auto before = answers();
        window.PumpUntil([&] { return answers() > before; }, 2s);
        window.PumpUntil([] { return false; }, 150ms);
        window.Fire(timerId);
    }

    int Submissions() const { return static_cast<int>(modem->SubmittedPdus().size()); }

    ScopedDataFolder data;
    FakeWindow window;
    std::unique_ptr<modemsim::SimulatedModem> modem;
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
    controller->OpenMessage(0);
    EXPECT_EQ(ReadFolder(FolderId::Inbox)[0].status, u"REC READ");
    window.TickRowsWithData({0});
    controller->DeleteTicked();
    window.Pump();
    ASSERT_TRUE(modem->WaitForCommand("AT+CMGD=1", 2s));
    window.PumpUntil([] { return false; }, 100ms);
    ASSERT_TRUE(window.Fire(kTimerDeleteStep));
    EXPECT_FALSE(window.TimerRunning(kTimerDeleteStep));
    inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].text, u"Second");
    EXPECT_EQ(modem->Messages().size(), 1u);

    // The status timeout polls the signal while idle.
    window.statusTexts.clear();
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_EQ(window.status, u"LDTA");
    EXPECT_TRUE(modem->WaitForCommand("AT+CSQ", 1s));
}

TEST_F(ControllerSimTest, PortOutsideTheFourFailsAtOnce) {
    Start("");
    window.settings.port = u"COM5";
    controller->Connect();
    window.Pump();
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_EQ(window.status, u"Initialize failed: no serial port COM5 (ports are COM1-COM4)");
    EXPECT_TRUE(window.enabled);
}

TEST_F(ControllerSimTest, SendingToTwoRecipients) {
    struct Case {
        std::string faults;
        int submissions;      // submissions reaching the network
        int cmgs;             // send commands written
        std::u16string left;  // recipients the Outbox keeps; empty when sent
    };
    const Case cases[] = {
        {"", 2, 2, u""},
        {"cms_error = 1:500\n", 0, 1, u"111;222"},
        {"cms_error = 2:500\n", 1, 2, u"222"},
        {"mute = +CMGS 1\n", 0, 1, u"111;222"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults);
        TearDown();
        ScopedDataFolder folder;
        window.statusTexts.clear();
        Start("[faults]\n" + c.faults);
        window.settings.syncSms = false;
        ConnectAndSettle();

        window.recipients = u"111;222";
        window.composeText = u"hello";
        controller->SendComposed();
        for (int tick = 0; tick < 3 && window.TimerRunning(kTimerOutboxStep); ++tick) {
            NextTick(kTimerOutboxStep);
        }
        window.Pump();
        EXPECT_FALSE(window.TimerRunning(kTimerOutboxStep));
        EXPECT_TRUE(window.enabled);
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
            EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());
            EXPECT_TRUE(window.StatusShown(u"Send failed"));
        }
    }
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
    for (int tick = 0; tick < 8 && window.TimerRunning(kTimerSmartStep); ++tick) {
        NextTick(kTimerSmartStep);
    }
    EXPECT_FALSE(window.TimerRunning(kTimerSmartStep));
    EXPECT_TRUE(window.StatusShown(u"Send complete"));

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
    EXPECT_EQ(modem->CountCommands("AT+CPBW=2,\"+222\",145,\"Bob\""), 1);
    const std::vector<modemsim::Contact> sim = modem->Phonebook();
    ASSERT_EQ(sim.size(), 2u);
    EXPECT_EQ(sim[1].name, "Bob");
    PhonebookTable file;
    file.LoadFile();
    EXPECT_EQ(file.Entries()[1].changed, 0);

    // Disconnected, the offline table shows what the engine's held.
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_EQ(controller->Phonebook().Entries()[1].number, u"+222");
}

}  // namespace
}  // namespace telvane
