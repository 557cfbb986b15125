// The controller's sequencing against a scripted engine and the recording window.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "control/link_controller.h"
#include "control/ui_strings.h"
#include "fake_engine.h"
#include "fake_window.h"
#include "store/message_store.h"

namespace telvane {
namespace {

using testing::EngineScript;
using testing::FakeEngine;
using testing::FakeWindow;
using testing::ScopedDataFolder;

SmsRecord Message(std::u16string number, std::u16string text, std::u16string status = u"REC READ",
                  int index = -1) {
    SmsRecord record;
    record.index = index;
    record.status = std::move(status);
    record.number = std::move(number);
    record.time = u"24/05/01,10:00:00";
    record.text = std::move(text);
    return record;
}

class ControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetLanguage(0);
        window.settings.port = u"COM1";
        window.settings.syncSms = false;
        window.settings.syncSimPhonebook = false;
        controller = std::make_unique<LinkController>(
            window, Timing(1.0), [s = script] { return std::make_unique<FakeEngine>(s); });
        window.controller = controller.get();
        window.Pump();
    }

    void Emit(Notification notification) {
        ASSERT_TRUE(script->callback) << "no engine open";
        script->callback(notification);
        window.Pump();
    }

    void Connect() {
        controller->Connect();
        window.Pump();
        ASSERT_TRUE(window.Fire(kTimerOpenPort));
    }

    void GoOnline() {
        Connect();
        Emit(Notification::kOperator);
    }

    void WriteFolder(FolderId folder, const std::vector<SmsRecord>& records) {
        MessageStore store;
        for (const SmsRecord& record : records)
            store.AddShown(record);
        ASSERT_EQ(store.SaveShown(folder), 1);
    }

    std::vector<SmsRecord> ReadFolder(FolderId folder) {
        MessageStore store;
        store.LoadShown(folder);
        std::vector<SmsRecord> records;
        for (const FolderEntry& entry : store.Shown().entries) {
            if (entry.slot >= 0) records.push_back(entry.record);
        }
        return records;
    }

    ScopedDataFolder data;
    FakeWindow window;
    std::shared_ptr<EngineScript> script = std::make_shared<EngineScript>();
    std::unique_ptr<LinkController> controller;
};

// ---- connecting, status line, busy ----

TEST_F(ControllerTest, ConnectOpensThePortOneSecondLaterAndGoesOnlineAtTheOperatorReport) {
    EXPECT_EQ(window.status, u"Nubo Ltd.");
    controller->Connect();
    EXPECT_EQ(window.timers.at(kTimerOpenPort), 1000);
    EXPECT_EQ(window.status, u"Connecting");
    EXPECT_TRUE(window.enabled);  // the busy post has not been handled yet
    window.Pump();
    EXPECT_FALSE(window.enabled);
    EXPECT_TRUE(window.waitCursor);

    window.settings.autoServiceCentre = false;
    window.settings.serviceCentre = u"+85290000000";
    window.settings.port = u"COM3:";
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    EXPECT_FALSE(window.TimerRunning(kTimerOpenPort));
    EXPECT_EQ(script->openedPort, 3);
    EXPECT_EQ(script->serviceCentre, u"+85290000000");
    EXPECT_FALSE(controller->IsOnline());

    Emit(Notification::kSignalChanged);
    EXPECT_EQ(window.signal, 3);
    Emit(Notification::kOperator);
    EXPECT_TRUE(controller->IsOnline());
    EXPECT_TRUE(window.enabled);
    EXPECT_FALSE(window.waitCursor);
    EXPECT_EQ(window.status, u"LDTA");

    // Connect again disconnects, 100 ms later.
    controller->Connect();
    EXPECT_EQ(window.timers.at(kTimerDisconnect), 100);
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_FALSE(controller->IsOnline());
    EXPECT_EQ(window.signal, 0);
    EXPECT_EQ(window.status, u"Offline");
    EXPECT_EQ(script->destroyed, 1);
}

TEST_F(ControllerTest, PortsThatCannotBeOpenedLeaveTheControllerOfflineWithTheReason) {
    struct Case {
        std::u16string port;
        int number;
    };
    // COM10 is not COM1: the whole number counts.
    for (const Case& c : {Case{u"COM5", 5}, Case{u"COM10", 10}, Case{u"", 0}}) {
        window.settings.port = c.port;
        script->openError = "no such device";
        window.messageTexts.clear();
        Connect();
        EXPECT_EQ(script->openedPort, c.number);
        EXPECT_FALSE(controller->HasEngine());
        EXPECT_EQ(window.status, u"Initialize failed: no such device");
        EXPECT_TRUE(window.enabled);
        ASSERT_EQ(window.messageTexts.size(), 1u);
        EXPECT_EQ(window.messageTexts[0], u"Initialize failed\nno such device");
        // It stays: there is no engine to take a label from.
        ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
        EXPECT_EQ(window.status, u"Initialize failed: no such device");
    }
}

TEST_F(ControllerTest, ConnectWhileBusyOnlyBeeps) {
    controller->Connect();
    window.Pump();
    controller->Connect();
    EXPECT_EQ(window.beeps, 1);
    EXPECT_FALSE(window.TimerRunning(kTimerDisconnect));
    EXPECT_EQ(script->opens, 0);

    // A "+CME ERROR" clears the busy state; Connect then disconnects.
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    Emit(Notification::kCmeError);
    EXPECT_TRUE(window.enabled);
    controller->Connect();
    EXPECT_TRUE(window.TimerRunning(kTimerDisconnect));
}

TEST_F(ControllerTest, StartupFailureDisconnects) {
    Connect();
    Emit(Notification::kStartupFailed);
    EXPECT_TRUE(window.StatusShown(u"Initialize failed"));
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_TRUE(window.enabled);
}

TEST_F(ControllerTest, StatusTimeoutShowsTheOperatorAndPollsTheSignalWhileOnlineAndIdle) {
    GoOnline();
    controller->ShowStatus(u"something");
    EXPECT_EQ(window.timers.at(kTimerStatusTimeout), 15000);
    script->operatorText = u"45406";
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_EQ(window.status, u"SmarTone");
    EXPECT_EQ(script->signalRequests, 1);
    EXPECT_TRUE(window.TimerRunning(kTimerStatusTimeout));  // keeps polling

    script->operatorText = u"No network";
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_EQ(window.status, u"No network");

    // While busy the status text stays.
    controller->OnBusyMessage(1, 1);
    controller->ShowStatus(u"busy text");
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_EQ(window.status, u"busy text");
}

TEST_F(ControllerTest, EngineCallbackOnlyPostsToTheWindowThread) {
    Connect();
    std::thread dispatcher([this] { script->callback(Notification::kOperator); });
    dispatcher.join();
    EXPECT_FALSE(controller->IsOnline());
    window.Pump();
    EXPECT_TRUE(controller->IsOnline());

    // Notifications a torn-down engine posted are dropped.
    LinkEngine::Callback old = script->callback;
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    old(Notification::kStartupFailed);
    window.Pump();
    EXPECT_FALSE(window.TimerRunning(kTimerDisconnect));
}

// ---- the after-connect sequence ----

TEST_F(ControllerTest, AfterConnectFollowsTheSynchronisationSettings) {
    WriteFolder(FolderId::Outbox, {Message(u"111", u"queued", u"")});
    constexpr Notification kRead = Notification::kPhonebookRead;
    constexpr Notification kWritten = Notification::kPhonebookWritten;
    struct Case {
        bool syncSms, syncPhonebook, readPhonebook;
        std::vector<std::string> atOnline;          // jobs started when the operator is reported
        std::optional<Notification> phonebookDone;  // then this notification
        std::vector<std::string> afterPhonebook;
        std::u16string status;  // shown at the operator report
    };
    const Case cases[] = {
        {false, false, true, {"send"}, std::nullopt, {}, u"LDTA"},
        {true, false, true, {"list 4"}, std::nullopt, {}, u"Loading SMS..."},
        {false, true, true, {"read phonebook"}, kRead, {"send"}, u"Loading SIM phonebook..."},
        {true, true, true, {"read phonebook"}, kRead, {"list 4"}, u"Loading SIM phonebook..."},
        {false, true, false, {"write phonebook"}, kWritten, {"send"}, u"Write SIM phonebook..."},
        {true, true, false, {"write phonebook"}, kWritten, {"list 4"}, u"Write SIM phonebook..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(
            std::vector<bool>{c.syncSms, c.syncPhonebook, c.readPhonebook}));
        window.settings.syncSms = c.syncSms;
        window.settings.syncSimPhonebook = c.syncPhonebook;
        window.settings.readSimPhonebook = c.readPhonebook;
        script->calls.clear();
        GoOnline();
        EXPECT_EQ(script->calls, c.atOnline);
        EXPECT_TRUE(window.StatusShown(c.status));
        if (c.phonebookDone) {
            EXPECT_FALSE(window.enabled);
            script->calls.clear();
            Emit(*c.phonebookDone);
            EXPECT_EQ(script->calls, c.afterPhonebook);
        }
        if (c.syncSms) {
            EXPECT_FALSE(window.enabled);
            script->calls.clear();
            Emit(Notification::kListingFinished);
            // The Outbox run starts once the window is idle again: no beep.
            EXPECT_EQ(script->calls, std::vector<std::string>{"send"});
        }
        EXPECT_EQ(window.beeps, 0);
        EXPECT_FALSE(window.enabled);  // the Outbox run holds the busy state
        controller->OnBusyMessage(0, 1);
        controller->Connect();
        ASSERT_TRUE(window.Fire(kTimerDisconnect));
        window.Pump();
    }
}

TEST_F(ControllerTest, ListingRebuildsTheInboxAndAFailedListingSaysSo) {
    window.settings.syncSms = true;
    WriteFolder(FolderId::Inbox, {Message(u"999", u"gone from the SIM")});
    script->listing = {Message(u"111", u"one", u"REC UNREAD", 1),
                       Message(u"222", u"two", u"REC READ", 2)};
    GoOnline();
    Emit(Notification::kListingFinished);
    const std::vector<SmsRecord> inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(inbox[0].number, u"111");
    EXPECT_EQ(inbox[1].index, 2);
    EXPECT_EQ(window.tab, 0);
    ASSERT_EQ(window.rows.size(), 2u);
    EXPECT_EQ(window.rows[0].icon, kIconUnread);
    EXPECT_EQ(window.rows[1].icon, kIconRead);
    EXPECT_TRUE(window.enabled);

    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    GoOnline();
    Emit(Notification::kListingFailed);
    ASSERT_EQ(window.messageBoxes.size(), 1u);
    EXPECT_EQ(window.messageBoxes[0], ui_text::kCouldNotReadSimMessages);
    EXPECT_EQ(window.rows.size(), 2u);  // the Inbox from its file
    EXPECT_TRUE(window.enabled);
}

// ---- folders ----

TEST_F(ControllerTest, ShowAndOpenMarkReadOnce) {
    WriteFolder(FolderId::Inbox, {Message(u"111", u"hello", u"REC UNREAD", 4)});
    controller->ShowFolder(0);
    ASSERT_EQ(window.rows.size(), 1u);
    EXPECT_EQ(window.rows[0].date, u"1/5/24 10:00:00");
    EXPECT_EQ(window.status, u"1 SMS Message");
    EXPECT_TRUE(window.replyForwardShown);
    EXPECT_FALSE(window.editShown);
    EXPECT_EQ(window.shownFolders.back(), 0);

    controller->OpenMessage(0);
    EXPECT_EQ(window.detailBody, u"hello");
    EXPECT_EQ(window.detailNumber, u"111");
    EXPECT_EQ(window.rows[0].icon, kIconRead);
    EXPECT_EQ(ReadFolder(FolderId::Inbox)[0].status, u"REC READ");

    // Opening it again writes nothing.
    std::filesystem::remove(data.path() / "smsin.acr");
    controller->OpenMessage(0);
    EXPECT_FALSE(std::filesystem::exists(data.path() / "smsin.acr"));

    WriteFolder(FolderId::Draft, {});
    controller->ShowFolder(3);
    EXPECT_FALSE(window.replyForwardShown);
    EXPECT_TRUE(window.editShown);
    EXPECT_EQ(window.status, u"0 SMS Message");
}

TEST_F(ControllerTest, DeleteFromSentTakesOneTickedRowPerStep) {
    WriteFolder(FolderId::Sent, {Message(u"1", u"a"), Message(u"2", u"b"), Message(u"3", u"c"),
                                 Message(u"4", u"d")});
    controller->ShowFolder(2);
    window.TickRowsWithData({0, 2, 3});
    controller->DeleteTicked();
    EXPECT_EQ(window.timers.at(kTimerDeleteStep), 100);
    EXPECT_EQ(ReadFolder(FolderId::Sent).size(), 3u);
    ASSERT_TRUE(window.Fire(kTimerDeleteStep));
    EXPECT_EQ(ReadFolder(FolderId::Sent).size(), 2u);
    ASSERT_TRUE(window.Fire(kTimerDeleteStep));
    ASSERT_TRUE(window.Fire(kTimerDeleteStep));  // finds nothing more
    EXPECT_FALSE(window.TimerRunning(kTimerDeleteStep));
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"2");
    EXPECT_TRUE(window.enabled);
    EXPECT_TRUE(script->deletes.empty());

    // Nothing ticked: ends at once.
    controller->DeleteTicked();
    window.Pump();
    EXPECT_FALSE(window.TimerRunning(kTimerDeleteStep));
    EXPECT_TRUE(window.enabled);
}

TEST_F(ControllerTest, DeleteFromTheInboxDeletesOnTheSimOnlyWhileOnline) {
    WriteFolder(FolderId::Inbox,
                {Message(u"1", u"a", u"REC READ", 7), Message(u"2", u"b", u"REC READ", 9)});
    controller->ShowFolder(0);
    window.TickRowsWithData({1});
    controller->DeleteTicked();  // offline: nothing
    window.Pump();
    EXPECT_EQ(ReadFolder(FolderId::Inbox).size(), 2u);
    EXPECT_TRUE(window.enabled);

    GoOnline();
    controller->ShowFolder(0);
    window.TickRowsWithData({1});
    controller->DeleteTicked();
    window.Pump();
    EXPECT_EQ(window.timers.at(kTimerDeleteStep), 2000);
    EXPECT_EQ(script->deletes, std::vector<int>{9});
    ASSERT_TRUE(window.Fire(kTimerDeleteStep));
    EXPECT_EQ(ReadFolder(FolderId::Inbox).size(), 1u);

    // The engine refusing every time: "Delete failed", nothing removed.
    window.TickRowsWithData({0});
    script->acceptDelete = false;
    controller->DeleteTicked();
    window.Pump();
    EXPECT_TRUE(window.StatusShown(u"Delete failed"));
    EXPECT_EQ(ReadFolder(FolderId::Inbox).size(), 1u);
    EXPECT_TRUE(window.enabled);
}

TEST_F(ControllerTest, CopyAndMove) {
    struct Case {
        FolderId source, target;
        std::u16string status;  // of the copy
        bool move;
    };
    const Case cases[] = {
        {FolderId::Inbox, FolderId::Outbox, u"STO UNSENT", false},
        {FolderId::Inbox, FolderId::Saved, u"REC READ", false},
        {FolderId::Sent, FolderId::Draft, u"REC READ", false},
        {FolderId::Saved, FolderId::Inbox, u"REC UNREAD", false},
        {FolderId::Outbox, FolderId::Draft, u"REC READ", true},
        {FolderId::Draft, FolderId::Outbox, u"STO UNSENT", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.source) * 10 + static_cast<int>(c.target));
        WriteFolder(c.source, {Message(u"1", u"a"), Message(u"2", u"b"), Message(u"3", u"c")});
        WriteFolder(c.target, {Message(u"9", u"old")});
        controller->ShowFolder(static_cast<int>(c.source));
        window.TickRowsWithData({0, 2});
        window.saveToFolder = static_cast<int>(c.target);
        controller->CopyTicked();
        while (window.Fire(kTimerCopyStep)) {
        }
        const std::vector<SmsRecord> target = ReadFolder(c.target);
        ASSERT_EQ(target.size(), 3u);
        EXPECT_EQ(target[1].number, u"1");
        EXPECT_EQ(target[2].number, u"3");
        EXPECT_EQ(target[2].status, c.status);
        const std::vector<SmsRecord> source = ReadFolder(c.source);
        ASSERT_EQ(source.size(), c.move ? 1u : 3u);
        EXPECT_EQ(window.tab, static_cast<int>(c.target));
    }
}

TEST_F(ControllerTest, MoveIntoAFullFolderKeepsTheSource) {
    WriteFolder(FolderId::Draft, std::vector<SmsRecord>(kFolderSlots, Message(u"9", u"full")));
    WriteFolder(FolderId::Outbox, {Message(u"1", u"keep me")});
    controller->ShowFolder(1);
    window.TickRowsWithData({0});
    window.saveToFolder = 3;
    controller->CopyTicked();
    while (window.Fire(kTimerCopyStep)) {
    }
    ASSERT_EQ(ReadFolder(FolderId::Outbox).size(), 1u);
    EXPECT_EQ(ReadFolder(FolderId::Draft).size(), static_cast<size_t>(kFolderSlots));
}

TEST_F(ControllerTest, CopyStopsWhenAnotherFolderIsShown) {
    WriteFolder(FolderId::Outbox, {Message(u"1", u"a"), Message(u"2", u"b")});
    WriteFolder(FolderId::Saved, {Message(u"7", u"saved 1"), Message(u"8", u"saved 2")});
    controller->ShowFolder(1);
    window.TickRowsWithData({0, 1});
    window.saveToFolder = 3;
    controller->CopyTicked();  // moves the first to Draft
    controller->ShowFolder(4);
    window.TickRowsWithData({0, 1});
    while (window.Fire(kTimerCopyStep)) {
    }
    EXPECT_EQ(ReadFolder(FolderId::Saved).size(), 2u);
    EXPECT_EQ(ReadFolder(FolderId::Outbox).size(), 1u);
    EXPECT_EQ(ReadFolder(FolderId::Draft).size(), 1u);
}

TEST_F(ControllerTest, SaveComposedChecksItsFieldsAndFilesTheMessage) {
    window.saveToFolder = 3;
    controller->SaveComposed();
    window.recipients = u"111";
    controller->SaveComposed();
    EXPECT_EQ(window.messageBoxes,
              (std::vector<UiText>{ui_text::kInvalidPhoneNumber, ui_text::kPleaseInputMessage}));

    window.composeText = u"draft text";
    controller->SetPage(kPageCompose);
    controller->SaveComposed();
    const std::vector<SmsRecord> draft = ReadFolder(FolderId::Draft);
    ASSERT_EQ(draft.size(), 1u);
    EXPECT_EQ(draft[0].status, u"STO UNSENT");
    EXPECT_EQ(draft[0].index, -1);
    EXPECT_EQ(draft[0].number, u"111");
    EXPECT_EQ(draft[0].time.size(), 17u);
    EXPECT_EQ(controller->Page(), kPageMessages);
    EXPECT_EQ(window.tab, 3);
}

TEST_F(ControllerTest, ReplyForwardAndEdit) {
    WriteFolder(FolderId::Inbox, {Message(u"111", u"a\r\nb")});
    controller->ShowFolder(0);
    controller->OpenMessage(0);
    window.selected = 0;

    controller->Reply();
    EXPECT_EQ(window.recipients, u"111");
    EXPECT_EQ(window.composeText, u"> a\r\n> b");
    EXPECT_EQ(controller->Page(), kPageCompose);

    controller->Forward();
    EXPECT_EQ(window.recipients, u"");
    EXPECT_EQ(window.composeText, u"> a\r\n> b");

    controller->EditMessage();
    EXPECT_EQ(window.recipients, u"111");
    EXPECT_EQ(window.composeText, u"a\r\nb");

    // Reply only from the Inbox and Save folders.
    WriteFolder(FolderId::Sent, {Message(u"222", u"sent")});
    controller->ShowFolder(2);
    controller->OpenMessage(0);
    window.selected = 0;
    window.recipients.clear();
    controller->Reply();
    EXPECT_EQ(window.recipients, u"");
}

// ---- sending ----

class SendTest : public ControllerTest {
  protected:
    void Send(std::u16string recipients, std::u16string text) {
        window.recipients = std::move(recipients);
        window.composeText = std::move(text);
        controller->SendComposed();
        window.Pump();
    }
    std::vector<std::u16string> TextRecipients() const {
        std::vector<std::u16string> numbers;
        for (const auto& sent : script->texts)
            numbers.push_back(sent.first);
        return numbers;
    }
    void Confirm(int reference) {
        script->reference = reference;
        Emit(Notification::kMessageSent);
    }
};

TEST_F(SendTest, SendNeedsRecipientsTextAndAConnection) {
    Send(u"", u"x");
    Send(u"111", u"");
    Send(u"111", u"x");
    EXPECT_EQ(window.messageBoxes,
              (std::vector<UiText>{ui_text::kInvalidPhoneNumber, ui_text::kPleaseInputMessage,
                                   ui_text::kPleaseConnectFirst}));
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
}

TEST_F(SendTest, TwoRecipientsAreServedOneATickAndTheMessageMovesToSentAfterTheLast) {
    GoOnline();
    Send(u"111;222", u"hello");
    EXPECT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});
    EXPECT_EQ(script->texts[0].second, u"hello");
    EXPECT_EQ(window.timers.at(kTimerOutboxStep), 10000);
    EXPECT_EQ(window.tab, 2);
    EXPECT_FALSE(window.enabled);

    Confirm(17);
    EXPECT_TRUE(window.StatusShown(u"SMS no. 17"));
    std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].number, u"222");  // only who is still to be served

    ASSERT_TRUE(window.Fire(kTimerOutboxStep));
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222"}));
    EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());
    Confirm(18);
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"111;222");
    EXPECT_EQ(sent[0].extra, u"");
    EXPECT_EQ(window.status, u"Send complete");

    ASSERT_TRUE(window.Fire(kTimerOutboxStep));
    EXPECT_FALSE(window.TimerRunning(kTimerOutboxStep));
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(script->texts.size(), 2u);
}

TEST_F(SendTest, AFailureEndsTheRunAndNoRecipientIsServedTwice) {
    struct Case {
        int failAt;     // 0 or 1: which submission fails
        bool reported;  // "+CMS ERROR" (55) or no confirmation at all
        std::u16string left;
    };
    for (const Case& c : {Case{0, true, u"111;222"}, Case{0, false, u"111;222"},
                          Case{1, true, u"222"}, Case{1, false, u"222"}}) {
        SCOPED_TRACE(c.failAt * 2 + c.reported);
        std::filesystem::remove(data.path() / "smsout.acr");
        script->texts.clear();
        GoOnline();
        Send(u"111;222", u"hello");
        if (c.failAt == 1) {
            Confirm(1);
            ASSERT_TRUE(window.Fire(kTimerOutboxStep));
        }
        window.statusTexts.clear();
        if (c.reported) Emit(Notification::kCmsSendFailed);
        ASSERT_TRUE(window.Fire(kTimerOutboxStep));
        EXPECT_TRUE(window.StatusShown(u"Send failed"));
        EXPECT_FALSE(window.TimerRunning(kTimerOutboxStep));
        EXPECT_TRUE(window.enabled);
        EXPECT_EQ(script->texts.size(), static_cast<size_t>(c.failAt + 1));
        std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
        ASSERT_EQ(outbox.size(), 1u);
        EXPECT_EQ(outbox[0].number, c.left);
        EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());

        // The next run resumes with who is left, and Sent gets everyone.
        script->texts.clear();
        controller->StartOutboxRun();
        window.Pump();
        for (int round = 0; round < 3 && !ReadFolder(FolderId::Outbox).empty(); ++round) {
            Confirm(2);
            window.Fire(kTimerOutboxStep);
        }
        window.Fire(kTimerOutboxStep);
        EXPECT_FALSE(window.TimerRunning(kTimerOutboxStep));
        const std::vector<std::u16string> resumed =
            c.failAt == 0 ? std::vector<std::u16string>{u"111", u"222"}
                          : std::vector<std::u16string>{u"222"};
        EXPECT_EQ(TextRecipients(), resumed);
        const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].number, u"111;222");
        std::filesystem::remove(data.path() / "smssent.acr");
        controller->Connect();
        ASSERT_TRUE(window.Fire(kTimerDisconnect));
    }
}

TEST_F(SendTest, AnyCmsErrorWhileASendWaitsIsASendFailure) {
    GoOnline();
    Emit(Notification::kCmsOther);  // nothing waits: not ours
    EXPECT_FALSE(window.StatusShown(u"Send failed"));
    Send(u"111;222", u"x");
    Emit(Notification::kCmsNoServiceCentre);
    EXPECT_TRUE(window.StatusShown(u"Send failed"));
    ASSERT_TRUE(window.Fire(kTimerOutboxStep));
    EXPECT_FALSE(window.TimerRunning(kTimerOutboxStep));
    EXPECT_EQ(script->texts.size(), 1u);
}

TEST_F(SendTest, AFailureReportedBeforeARunDoesNotEndIt) {
    GoOnline();
    Emit(Notification::kCmsSendFailed);  // e.g. left over from an earlier session's send
    Send(u"111", u"x");
    Confirm(3);
    EXPECT_EQ(ReadFolder(FolderId::Sent).size(), 1u);
}

TEST_F(SendTest, AMessageTheOutboxCannotHoldStaysOnTheComposePage) {
    WriteFolder(FolderId::Outbox, std::vector<SmsRecord>(kFolderSlots, Message(u"1", u"full")));
    script->acceptSend = false;
    GoOnline();
    script->acceptSend = true;
    controller->SetPage(kPageCompose);
    window.pages.clear();
    Send(u"111", u"not lost");
    EXPECT_EQ(window.beeps, 1);
    EXPECT_EQ(controller->Page(), kPageCompose);
    EXPECT_TRUE(window.pages.empty());
    EXPECT_TRUE(script->texts.empty());
}

TEST_F(SendTest, TheNewestOutboxMessageGoesFirst) {
    WriteFolder(FolderId::Outbox, {Message(u"1", u"older", u""), Message(u"2", u"newer", u"")});
    GoOnline();  // SyncSMS off: the Outbox run starts at once
    ASSERT_EQ(script->texts.size(), 1u);
    EXPECT_EQ(script->texts[0].second, u"newer");
    Confirm(1);
    ASSERT_TRUE(window.Fire(kTimerOutboxStep));
    EXPECT_EQ(script->texts[1].second, u"older");
    Confirm(2);
    EXPECT_EQ(ReadFolder(FolderId::Sent).size(), 2u);
    EXPECT_EQ(window.status, u"Send complete");
}

TEST_F(SendTest, RecipientListsSplitOnlyAtSemicolons) {
    GoOnline();
    Send(u"111 ; , 222", u"x");
    Confirm(1);
    ASSERT_TRUE(window.Fire(kTimerOutboxStep));
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111 ", u"222"}));
}

TEST_F(SendTest, EngineRefusalEndsTheRunQuietlyAndKeepsTheMessage) {
    GoOnline();
    script->acceptSend = false;
    Send(u"111", u"x");
    EXPECT_FALSE(window.TimerRunning(kTimerOutboxStep));
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(ReadFolder(FolderId::Outbox).size(), 1u);
    EXPECT_FALSE(window.StatusShown(u"Send failed"));
}

TEST_F(SendTest, PictureMessageSendsEverySegmentToEachRecipient) {
    WriteFolder(FolderId::Outbox, {Message(u"5", u"waiting", u"")});
    script->acceptSend = false;  // keep the Outbox run from starting at connect
    GoOnline();
    script->acceptSend = true;
    window.Pump();

    controller->ToggleComposeMode();
    EXPECT_EQ(window.composeMode, ComposeMode::kPicture);
    window.pictureEmpty = false;
    window.pictureHex = std::u16string(504, u'A');
    window.recipients = u"111;222";
    controller->SendComposed();
    window.Pump();
    ASSERT_EQ(script->built.size(), 1u);
    EXPECT_EQ(script->built[0].first, PictureKind::kPictureMessage);
    EXPECT_EQ(script->built[0].second.size(), 504u);
    for (int tick = 0; tick < 5; ++tick) {
        Confirm(tick);
        ASSERT_TRUE(window.Fire(kTimerSmartStep));
    }
    Confirm(9);
    EXPECT_EQ(window.status, u"Send complete");
    ASSERT_TRUE(window.Fire(kTimerSmartStep));
    EXPECT_FALSE(window.TimerRunning(kTimerSmartStep));
    EXPECT_TRUE(window.enabled);
    const std::vector<std::pair<std::u16string, int>> expected = {
        {u"111", 1}, {u"111", 2}, {u"111", 3}, {u"222", 1}, {u"222", 2}, {u"222", 3}};
    EXPECT_EQ(script->segments, expected);
    // The smart run's confirmations never touch the Outbox.
    ASSERT_EQ(ReadFolder(FolderId::Outbox).size(), 1u);
    EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());

    // An operator logo takes 252 digits.
    controller->SelectPictureKind(1);
    EXPECT_EQ(window.pictureEditorKind, PictureKind::kOperatorLogo);
    window.recipients = u"111";
    controller->SendComposed();
    window.Pump();
    EXPECT_EQ(script->built.back().first, PictureKind::kOperatorLogo);
    EXPECT_EQ(script->built.back().second.size(), 252u);
}

TEST_F(SendTest, AFailedSegmentEndsTheSmartRun) {
    GoOnline();
    window.Pump();
    controller->ToggleComposeMode();
    window.pictureEmpty = false;
    window.pictureHex = std::u16string(504, u'0');
    window.recipients = u"111;222";
    controller->SendComposed();
    window.Pump();
    Confirm(1);
    ASSERT_TRUE(window.Fire(kTimerSmartStep));  // segment 2, never confirmed
    ASSERT_TRUE(window.Fire(kTimerSmartStep));
    EXPECT_TRUE(window.StatusShown(u"Send failed"));
    EXPECT_FALSE(window.TimerRunning(kTimerSmartStep));
    EXPECT_EQ(script->segments.size(), 2u);
    EXPECT_TRUE(window.enabled);
}

// ---- phonebook ----

TEST_F(ControllerTest, OfflinePhonebookEditsReachTheSimAtTheNextConnect) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 5);
    initial.AddEntry(u"Ann", u"111");
    ASSERT_EQ(initial.SaveFile(), 1);
    controller->Phonebook().Load();

    ASSERT_EQ(controller->Phonebook().Add(u"Bob", u"+222"), 1);
    controller->Phonebook().AfterChange();  // offline: into the file
    window.Pump();
    PhonebookTable file;
    file.LoadFile();
    EXPECT_EQ(file.Entries()[1].name, u"Bob");
    EXPECT_EQ(file.Entries()[1].changed, 1);

    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = false;
    GoOnline();
    EXPECT_EQ(script->calls, std::vector<std::string>{"write phonebook"});
    // The engine's table was loaded from the file before the write.
    EXPECT_EQ(script->phonebook.Entries()[1].name, u"Bob");
    script->phonebook.MarkWritten(0);
    script->phonebook.MarkWritten(1);
    Emit(Notification::kPhonebookWritten);
    file.LoadFile();
    EXPECT_EQ(file.Entries()[1].changed, 0);

    // Online edits go to the SIM while "SyncSIMPbk" is on, holding the busy state until done.
    controller->SetPage(kPagePhonebook);
    controller->OnBusyMessage(0, 1);
    ASSERT_EQ(controller->Phonebook().Update(1, u"Ann B", u"111"), 1);
    controller->Phonebook().AfterChange();
    window.Pump();
    EXPECT_FALSE(window.enabled);
    EXPECT_EQ(script->phonebookWrites, 2);
    Emit(Notification::kPhonebookWritten);
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(window.phonebookRefreshes, 1);

    // A refused write frees the window and keeps the change pending in the file.
    script->acceptPhonebookWrite = false;
    ASSERT_EQ(controller->Phonebook().Delete(2), 1);
    controller->Phonebook().AfterChange();
    window.Pump();
    EXPECT_TRUE(window.enabled);
    file.LoadFile();
    EXPECT_EQ(file.Entries()[1].changed, 1);
    EXPECT_TRUE(file.Entries()[1].IsEmpty());

    // After a disconnect the offline table shows the engine's last state.
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_EQ(controller->Phonebook().Entries()[0].name, u"Ann B");
}

TEST_F(ControllerTest, APhonebookJobThatNeverEndsFreesTheWindow) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 5);
    initial.AddEntry(u"Ann", u"111");
    ASSERT_EQ(initial.SaveFile(), 1);
    window.settings.syncSms = true;
    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = true;
    GoOnline();
    script->calls.clear();
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_FALSE(window.enabled);  // a read may take 21 s
    EXPECT_TRUE(script->calls.empty());
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_TRUE(window.StatusShown(u"The SIM phonebook did not answer"));
    EXPECT_EQ(script->calls, std::vector<std::string>{"list 4"});  // the sequence goes on
    PhonebookTable file;
    file.LoadFile();
    EXPECT_EQ(file.Entries()[0].name, u"Ann");  // not replaced by a partial read
    Emit(Notification::kListingFinished);
    EXPECT_TRUE(window.enabled);

    // A write the engine never finishes: the window is freed, the change stays pending.
    controller->SetPage(kPagePhonebook);
    ASSERT_EQ(controller->Phonebook().Add(u"Bob", u"222"), 1);
    controller->Phonebook().AfterChange();
    window.Pump();
    EXPECT_FALSE(window.enabled);
    for (int tick = 0; tick < 2; ++tick)
        ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(window.phonebookRefreshes, 1);
    file.LoadFile();
    EXPECT_EQ(file.Entries()[1].name, u"Bob");
    EXPECT_EQ(file.Entries()[1].changed, 1);
}

TEST_F(ControllerTest, ReadingTheSimReplacesOfflineEdits) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 3);
    initial.AddEntry(u"Local", u"111");
    ASSERT_EQ(initial.SaveFile(), 1);
    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = true;
    GoOnline();
    EXPECT_EQ(script->calls, std::vector<std::string>{"read phonebook"});
    script->phonebook.SetLimits(20, 14, 3);
    script->phonebook.StoreFromSim(1, u"From SIM", u"999");
    Emit(Notification::kPhonebookRead);
    PhonebookTable file;
    file.LoadFile();
    EXPECT_EQ(file.Entries()[0].name, u"From SIM");
    EXPECT_EQ(file.Entries()[0].changed, 0);
}

}  // namespace
}  // namespace telvane
