// Long soaks fill the Draft folder; saving into a full folder must not pass for a save.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "control/fake_window.h"
#include "control/link_controller.h"
#include "control/ui_strings.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "platform/text.h"
#include "store/folder_table.h"
#include "store/message_store.h"
#include "support/temp_data_folder.h"
#include "support/wait.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;

void FillFolder(FolderId folder) {
    MessageStore store;
    for (int i = 0; i < kFolderSlots; ++i) {
        SmsRecord record;
        record.number = u"111";
        record.text = u"old " + Widen(std::to_string(i));
        ASSERT_EQ(store.AddShown(record), 1);
    }
    ASSERT_EQ(store.SaveShown(folder), 1);
}

TEST(FullFolder, SaveComposedKeepsTheMessageAndBeeps) {
    SetLanguage(0);
    testing::TempDataFolder data;
    ASSERT_NO_FATAL_FAILURE(FillFolder(FolderId::Draft));

    testing::FakeWindow window;
    LinkController controller(window, 0.02);
    window.controller = &controller;
    controller.SetPage(kPageCompose);
    window.recipients = u"222";
    window.composeText = u"new draft";
    window.saveToFolder = static_cast<int>(FolderId::Draft);
    controller.Folders().SaveComposed();
    window.Pump();

    EXPECT_EQ(window.beeps, 1);
    EXPECT_EQ(controller.Page(), kPageCompose);
    EXPECT_EQ(window.composeText, u"new draft");
    MessageStore reread;
    ASSERT_EQ(reread.LoadShown(FolderId::Draft), 1);
    EXPECT_EQ(reread.Shown().usedCount, kFolderSlots);
    EXPECT_EQ(reread.Shown().entries[0].record.text, u"old 0");
}

// Once every recipient confirmed, a full Sent must not make the message vanish, nor may keeping it
// send it again: it waits in the Outbox, served, until Sent has room.
TEST(FullFolder, MessageSentWhileSentIsFullWaitsInTheOutbox) {
    SetLanguage(0);
    testing::TempDataFolder data;
    ASSERT_NO_FATAL_FAILURE(FillFolder(FolderId::Sent));
    std::string error;
    auto scenario = modemsim::ParseScenario("", &error);
    ASSERT_TRUE(scenario) << error;
    modemsim::SimulatedModem modem(*scenario);
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty()) << modem.Error();
    SerialDeviceTable::Instance().Register("COM2", device);

    testing::FakeWindow window;
    window.settings.port = u"COM2";
    window.settings.syncSms = false;
    LinkController controller(window, 0.02);
    window.controller = &controller;
    controller.Connect();
    window.Pump();
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    ASSERT_TRUE(window.PumpUntil([&] { return controller.IsOnline() && !controller.IsBusy(); },
                                 testing::kHangCeiling));
    window.recipients = u"222";
    window.composeText = u"to a full Sent";
    controller.SendComposed();
    ASSERT_TRUE(window.PumpUntil(
        [&] { return window.StatusShown(u"SMS no. 1") && window.enabled && !controller.IsBusy(); },
        testing::kHangCeiling))
        << [&] {
               std::string all;
               for (const std::u16string& text : window.statusTexts)
                   all += U16ToUtf8(text) + " | ";
               return all;
           }();
    controller.Connect();
    window.Fire(kTimerDisconnect);
    SerialDeviceTable::Instance().Unregister("COM2");

    int copies = 0;
    for (FolderId folder : {FolderId::Outbox, FolderId::Sent, FolderId::Draft, FolderId::Saved}) {
        MessageStore store;
        ASSERT_EQ(store.LoadShown(folder), 1) << store.LastError();
        for (const FolderEntry& entry : store.Shown().entries)
            copies += entry.slot >= 0 && entry.record.text == u"to a full Sent";
    }
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(modem.SubmittedPdus().size(), 1u);
    MessageStore outbox;
    ASSERT_EQ(outbox.LoadShown(FolderId::Outbox), 1) << outbox.LastError();
    ASSERT_EQ(outbox.Shown().usedCount, 1);
    EXPECT_EQ(outbox.Shown().entries[0].record.number, u"");
    EXPECT_EQ(outbox.Shown().entries[0].record.extra, u"222");

    // With room in Sent, the next run files it there with its recipient and sends nothing.
    MessageStore sent;
    ASSERT_EQ(sent.LoadShown(FolderId::Sent), 1) << sent.LastError();
    sent.RemoveShown(0);
    ASSERT_EQ(sent.SaveShown(FolderId::Sent), 1);
    controller.Outbox().Start();
    window.Pump();
    ASSERT_EQ(sent.LoadShown(FolderId::Sent), 1) << sent.LastError();
    bool filed = false;
    for (const FolderEntry& entry : sent.Shown().entries)
        filed |= entry.slot >= 0 && entry.record.text == u"to a full Sent" &&
                 entry.record.number == u"222";
    EXPECT_TRUE(filed);
    ASSERT_EQ(outbox.LoadShown(FolderId::Outbox), 1) << outbox.LastError();
    EXPECT_EQ(outbox.Shown().usedCount, 0);
    EXPECT_EQ(modem.SubmittedPdus().size(), 1u);
}

}  // namespace
}  // namespace telvane
