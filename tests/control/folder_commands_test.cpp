// The folder commands of the message page on real folder files.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "codec/message_joiner.h"
#include "controller_fixture.h"

namespace telvane {
namespace {

using testing::ControllerTest;
using testing::FilesCannotGrow;
using testing::Message;
using testing::ReadFolder;
using testing::WriteFolder;

struct PartText {
    int32_t sequence;
    int32_t index;
    std::u16string text;
};

// A long message of `total` parts as the Inbox keeps it, joined from those given.
SmsRecord JoinedMessage(std::u16string number, std::vector<PartText> given, int32_t total = 0,
                        std::u16string status = u"REC READ", int32_t reference = 42) {
    if (total == 0) total = given.back().sequence;
    std::vector<SmsPart> parts;
    for (const PartText& p : given) {
        SmsPart part{Message(number, p.text, status, p.index),
                     ConcatInfo{reference, 8, total, p.sequence}};
        parts.push_back(part);
    }
    return JoinParts(parts).front().record;
}

// ---- folders ----

TEST_F(ControllerTest, ShowAndOpenMarkReadOnce) {
    WriteFolder(FolderId::Inbox, {Message(u"111", u"hello", u"REC UNREAD", 4)});
    controller->Folders().ShowFolder(0);
    ASSERT_EQ(window.rows.size(), 1u);
    EXPECT_EQ(window.rows[0].date, u"1/5/24 10:00:00");
    EXPECT_EQ(window.status, u"1 SMS Message");
    EXPECT_TRUE(window.replyForwardShown);
    EXPECT_FALSE(window.editShown);
    EXPECT_EQ(window.shownFolders.back(), 0);

    controller->Folders().OpenMessage(0);
    EXPECT_EQ(window.detailBody, u"hello");
    EXPECT_EQ(window.detailNumber, u"111");
    EXPECT_EQ(window.rows[0].icon, kIconRead);
    EXPECT_EQ(ReadFolder(FolderId::Inbox)[0].status, u"REC READ");

    // Opening it again writes nothing.
    std::filesystem::remove(data.path() / "smsin.acr");
    controller->Folders().OpenMessage(0);
    EXPECT_FALSE(std::filesystem::exists(data.path() / "smsin.acr"));

    WriteFolder(FolderId::Draft, {});
    controller->Folders().ShowFolder(3);
    EXPECT_FALSE(window.replyForwardShown);
    EXPECT_TRUE(window.editShown);
    EXPECT_EQ(window.status, u"0 SMS Message");
}

// ---- long messages ----

TEST_F(ControllerTest, LongMessagesJoinInTheListingLiveAndAfterAReconnect) {
    const auto part = [](int32_t index, const char16_t* number, ConcatInfo concat,
                         const char16_t* text, const char16_t* status = u"REC UNREAD") {
        return SmsPart{Message(number, text, status, index), concat};
    };
    const auto list = [&](const std::vector<SmsPart>& parts) {
        script->listing.clear();
        script->concat.clear();
        for (const SmsPart& p : parts) {
            script->listing.push_back(p.record);
            if (p.concat) script->concat[p.record.index] = *p.concat;
        }
    };
    const auto inboxRecord = [&](const std::u16string& number) {
        for (const SmsRecord& r : ReadFolder(FolderId::Inbox))
            if (r.number == number) return r;
        return SmsRecord{};
    };
    window.settings.syncSms = true;
    // Stored in reverse order, a plain message between, and one of three parts.
    list({part(5, u"+111", {7, 8, 2, 2}, u"world", u"REC READ"),
          SmsPart{Message(u"+333", u"short", u"REC READ", 6), std::nullopt},
          part(4, u"+111", {7, 8, 2, 1}, u"Hello ", u"REC READ"),
          part(9, u"+222", {1, 8, 3, 1}, u"Part one ")});
    GoOnline();
    Emit(Notification::kListingFinished);
    ASSERT_EQ(ReadFolder(FolderId::Inbox).size(), 3u);
    EXPECT_EQ(window.rows.size(), 3u);
    SmsRecord hello = inboxRecord(u"+111");
    EXPECT_EQ(hello.text, u"Hello world");
    EXPECT_EQ(hello.index, 4);
    EXPECT_EQ(SimIndexes(hello), (std::vector<int32_t>{4, 5}));
    SmsRecord partial = inboxRecord(u"+222");
    EXPECT_EQ(partial.text, u"Part one [part 2 of 3 missing][part 3 of 3 missing]");
    EXPECT_EQ(partial.status, u"REC UNREAD");

    // Read here; then part 2 arrives: the message is unread again, one row still.
    controller->Folders().OpenMessage(window.FindMessageRow(2));
    EXPECT_EQ(inboxRecord(u"+222").status, u"REC READ");
    const SmsPart two = part(10, u"+222", {1, 8, 3, 2}, u"two ");
    script->arrived = {two};
    Emit(Notification::kMessageArrived);
    partial = inboxRecord(u"+222");
    EXPECT_EQ(partial.text, u"Part one two [part 3 of 3 missing]");
    EXPECT_EQ(partial.status, u"REC UNREAD");
    EXPECT_EQ(SimIndexes(partial), (std::vector<int32_t>{9, 10}));
    EXPECT_EQ(window.rows.size(), 3u);
    EXPECT_EQ(window.rows[static_cast<size_t>(window.FindMessageRow(2))].text, partial.text);
    script->arrived = {two};  // announced twice
    Emit(Notification::kMessageArrived);
    EXPECT_EQ(inboxRecord(u"+222"), partial);

    // Reconnect: the listing (the SIM now says read) keeps it unread; part 3 arrives live.
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    list({part(4, u"+111", {7, 8, 2, 1}, u"Hello ", u"REC READ"),
          part(5, u"+111", {7, 8, 2, 2}, u"world", u"REC READ"),
          part(9, u"+222", {1, 8, 3, 1}, u"Part one ", u"REC READ"),
          part(10, u"+222", {1, 8, 3, 2}, u"two ", u"REC READ")});
    GoOnline();
    Emit(Notification::kListingFinished);
    EXPECT_EQ(inboxRecord(u"+222").status, u"REC UNREAD");
    EXPECT_EQ(inboxRecord(u"+111").status, u"REC READ");
    script->arrived = {part(11, u"+222", {1, 8, 3, 3}, u"three")};
    Emit(Notification::kMessageArrived);
    partial = inboxRecord(u"+222");
    EXPECT_EQ(partial.text, u"Part one two three");
    EXPECT_EQ(SimIndexes(partial), (std::vector<int32_t>{9, 10, 11}));
    EXPECT_EQ(ReadFolder(FolderId::Inbox).size(), 2u);
}

TEST_F(ControllerTest, WhatTheSimKeepsAsOursShowsAsOutgoingInTheInbox) {
    const std::vector<SmsRecord> records = {
        Message(u"1", u"a", u"REC UNREAD"), Message(u"2", u"b", u"REC READ"),
        Message(u"3", u"c", u"STO SENT"), Message(u"4", u"d", u"STO UNSENT")};
    WriteFolder(FolderId::Inbox, records);
    WriteFolder(FolderId::Sent, records);
    for (int folder : {0, 2}) {
        controller->Folders().ShowFolder(folder);
        std::map<std::u16string, int> icons;
        for (const auto& row : window.rows)
            icons[row.number] = row.icon;
        const int ours = folder == 0 ? kIconOutgoing : kIconRead;
        EXPECT_EQ(icons, (std::map<std::u16string, int>{
                             {u"1", kIconUnread}, {u"2", kIconRead}, {u"3", ours}, {u"4", ours}}))
            << folder;
    }
}

TEST_F(ControllerTest, DeleteFromAFolderTakesEveryTickedRowAtOnce) {
    WriteFolder(FolderId::Sent, {Message(u"1", u"a"), Message(u"2", u"b"), Message(u"3", u"c"),
                                 Message(u"4", u"d")});
    controller->Folders().ShowFolder(2);
    window.TickRowsWithData({0, 2, 3});
    controller->Folders().DeleteTicked();
    window.Pump();
    EXPECT_FALSE(window.TimerRunning(kTimerDeleteStep));
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"2");
    EXPECT_EQ(window.rows.size(), 1u);
    EXPECT_TRUE(window.enabled);
    EXPECT_TRUE(script->deletes.empty());

    // Nothing ticked: ends at once.
    controller->Folders().DeleteTicked();
    window.Pump();
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(ReadFolder(FolderId::Sent).size(), 1u);
}

TEST_F(ControllerTest, DeleteFromTheInboxGoesPartByPartAsTheModemConfirms) {
    // A three-part message at 3, 8 and 4 (part 2 of 4 never came), and two plain ones.
    const SmsRecord joined =
        JoinedMessage(u"+222", {{1, 3, u"one "}, {3, 8, u"three "}, {4, 4, u"four"}});
    WriteFolder(FolderId::Inbox,
                {Message(u"1", u"a", u"REC READ", 7), joined, Message(u"3", u"c", u"REC READ", 9)});
    controller->Folders().ShowFolder(0);
    window.TickRowsWithData({0, 1});
    controller->Folders().DeleteTicked();  // offline: nothing
    window.Pump();
    EXPECT_EQ(ReadFolder(FolderId::Inbox).size(), 3u);
    EXPECT_TRUE(script->deletes.empty());
    EXPECT_TRUE(window.enabled);

    GoOnlineListingTheInbox();
    controller->Folders().ShowFolder(0);
    window.TickRowsWithData({0, 1});
    controller->Folders().DeleteTicked();
    window.Pump();
    EXPECT_FALSE(window.enabled);
    EXPECT_EQ(window.status, u"Deleting 1 of 2");
    const std::vector<int> expected = {7, 3, 8, 4};
    for (size_t i = 1; i <= expected.size(); ++i) {
        // One delete at a time, each after the last one's answer.
        EXPECT_EQ(script->deletes, std::vector<int>(expected.begin(), expected.begin() + i));
        Emit(Notification::kDeleted);
    }
    EXPECT_TRUE(window.StatusShown(u"Deleting 2 of 2"));
    const std::vector<SmsRecord> inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].index, 9);
    EXPECT_EQ(window.rows.size(), 1u);
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(script->deletes.size(), 4u);
}

// SIM indexes count only for the connection that saw them: with no listing, an Inbox record of
// an earlier session leaves the folder alone, and its index, now another message's, is never
// deleted; a message that arrived in this connection is deleted on the SIM.
TEST_F(ControllerTest, ADeleteNeverSendsASimIndexOfAnEarlierConnection) {
    WriteFolder(FolderId::Inbox, {Message(u"111", u"old", u"REC READ", 1)});
    GoOnline();
    script->arrived = {SmsPart{Message(u"222", u"new", u"REC UNREAD", 1), std::nullopt}};
    Emit(Notification::kMessageArrived);
    controller->Folders().ShowFolder(0);
    window.TickRowsWithData({0});
    controller->Folders().DeleteTicked();
    window.Pump();
    EXPECT_TRUE(script->deletes.empty());
    std::vector<SmsRecord> inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].text, u"new");
    EXPECT_TRUE(window.enabled);

    // A new connection has not seen index 1 yet.
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    GoOnline();
    controller->Folders().ShowFolder(0);
    script->arrived = {SmsPart{Message(u"222", u"new", u"REC UNREAD", 1), std::nullopt}};
    Emit(Notification::kMessageArrived);
    window.TickRowsWithData({1});
    controller->Folders().DeleteTicked();
    window.Pump();
    EXPECT_EQ(script->deletes, std::vector<int>{1});
    Emit(Notification::kDeleted);
    EXPECT_TRUE(ReadFolder(FolderId::Inbox).empty());
}

TEST_F(ControllerTest, AFailedDeleteKeepsWhatIsStillOnTheSim) {
    WriteFolder(FolderId::Inbox, {JoinedMessage(u"+222", {{1, 3, u"one "}, {2, 8, u"two"}}),
                                  Message(u"3", u"c", u"REC READ", 9)});
    GoOnlineListingTheInbox();
    controller->Folders().ShowFolder(0);
    window.TickRowsWithData({0, 1});
    controller->Folders().DeleteTicked();
    window.Pump();
    Emit(Notification::kDeleted);       // part 1
    Emit(Notification::kDeleteFailed);  // part 2 stays
    EXPECT_TRUE(window.StatusShown(u"Delete failed"));
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(script->deletes, (std::vector<int>{3, 8}));
    std::vector<SmsRecord> inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(inbox[0].text, u"[part 1 of 2 missing]two");
    EXPECT_EQ(SimIndexes(inbox[0]), std::vector<int32_t>{8});
    EXPECT_EQ(inbox[0].index, 8);

    // The engine refusing every time: "Delete failed", nothing removed.
    script->acceptDelete = false;
    window.TickRowsWithData({1});
    controller->Folders().DeleteTicked();
    window.Pump();
    int retries = 0;
    while (window.Fire(kTimerDeleteStep))
        ++retries;
    EXPECT_GT(retries, 0);
    EXPECT_TRUE(window.StatusShown(u"Delete failed"));
    EXPECT_EQ(ReadFolder(FolderId::Inbox).size(), 2u);
    EXPECT_TRUE(window.enabled);

    // The link going mid-run ends it with what the modem confirmed.
    script->acceptDelete = true;
    window.TickRowsWithData({0, 1});
    controller->Folders().DeleteTicked();
    window.Pump();
    Emit(Notification::kDeleted);
    Emit(Notification::kStartupFailed);  // the link dropped
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].index, 9);
    EXPECT_TRUE(window.enabled);
    EXPECT_FALSE(controller->Folders().DeleteRunning());
}

// A message that arrives while a delete or an open works on the Inbox stays in its file: both
// change the same table, and neither saves an older copy over the arrival.
TEST_F(ControllerTest, AnArrivalDuringADeleteOrAnOpenStaysInTheInbox) {
    for (const bool deleting : {true, false}) {
        SCOPED_TRACE(deleting ? "delete" : "open during the Outbox run");
        SetUp();
        WriteFolder(FolderId::Inbox, {Message(u"1", u"old", u"REC READ", 1),
                                      Message(u"2", u"unread", u"REC UNREAD", 2)});
        WriteFolder(FolderId::Outbox, {});
        GoOnlineListingTheInbox();
        controller->Folders().ShowFolder(0);
        if (deleting) {
            window.TickRowsWithData({0});
            controller->Folders().DeleteTicked();
        } else {
            window.recipients = u"555";
            window.composeText = u"out";
            controller->SendComposed();
            controller->Folders().ShowFolder(0);
        }
        window.Pump();
        script->arrived = {SmsPart{Message(u"3", u"new", u"REC UNREAD", 3), std::nullopt}};
        Emit(Notification::kMessageArrived);
        if (deleting) {
            ASSERT_EQ(script->deletes, std::vector<int>{1});
            Emit(Notification::kDeleted);
        } else {
            ASSERT_TRUE(controller->Outbox().Running());
            controller->Folders().OpenMessage(window.FindMessageRow(1));
        }
        std::vector<std::u16string> texts;
        for (const SmsRecord& record : ReadFolder(FolderId::Inbox))
            texts.push_back(record.text);
        const std::vector<std::u16string> expected =
            deleting ? std::vector<std::u16string>{u"unread", u"new"}
                     : std::vector<std::u16string>{u"old", u"unread", u"new"};
        EXPECT_EQ(texts, expected);
    }
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
        controller->Folders().ShowFolder(static_cast<int>(c.source));
        window.TickRowsWithData({0, 2});
        window.saveToFolder = static_cast<int>(c.target);
        controller->Folders().CopyTicked();
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
    controller->Folders().ShowFolder(1);
    window.TickRowsWithData({0});
    window.saveToFolder = 3;
    controller->Folders().CopyTicked();
    ASSERT_EQ(ReadFolder(FolderId::Outbox).size(), 1u);
    EXPECT_EQ(ReadFolder(FolderId::Draft).size(), static_cast<size_t>(kFolderSlots));
}

// Nothing ticked or highlighted: the user hears it and stays with the folder's messages.
TEST_F(ControllerTest, SaveToWithNothingChosenStaysInTheFolder) {
    WriteFolder(FolderId::Draft, {Message(u"1", u"draft")});
    controller->Folders().ShowFolder(3);
    window.saveToFolder = 4;
    const size_t shown = window.shownFolders.size();
    controller->Folders().CopyTicked();
    EXPECT_EQ(window.beeps, 1);
    EXPECT_EQ(window.shownFolders.size(), shown);
    EXPECT_EQ(window.tab, 3);
    EXPECT_TRUE(ReadFolder(FolderId::Saved).empty());
}

TEST_F(ControllerTest, SaveComposedChecksItsFieldsAndFilesTheMessage) {
    window.saveToFolder = 3;
    controller->Folders().SaveComposed();
    window.recipients = u"111";
    controller->Folders().SaveComposed();
    EXPECT_EQ(window.messageBoxes,
              (std::vector<UiText>{ui_text::kInvalidPhoneNumber, ui_text::kPleaseInputMessage}));

    window.composeText = u"draft text";
    controller->SetPage(kPageCompose);
    controller->Folders().SaveComposed();
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
    controller->Folders().ShowFolder(0);
    controller->Folders().OpenMessage(0);
    window.selected = 0;

    controller->Folders().Reply();
    EXPECT_EQ(window.recipients, u"111");
    EXPECT_EQ(window.composeText, u"> a\r\n> b");
    EXPECT_EQ(controller->Page(), kPageCompose);

    controller->Folders().Forward();
    EXPECT_EQ(window.recipients, u"");
    EXPECT_EQ(window.composeText, u"> a\r\n> b");

    controller->Folders().EditMessage();
    EXPECT_EQ(window.recipients, u"111");
    EXPECT_EQ(window.composeText, u"a\r\nb");

    // Reply only from the Inbox and Save folders.
    WriteFolder(FolderId::Sent, {Message(u"222", u"sent")});
    controller->Folders().ShowFolder(2);
    controller->Folders().OpenMessage(0);
    window.selected = 0;
    window.recipients.clear();
    controller->Folders().Reply();
    EXPECT_EQ(window.recipients, u"");
}

TEST_F(ControllerTest, AnEditedDraftLeavesDraftOnceItsMessageIsQueued) {
    GoOnline();
    auto editDraft = [&](const std::u16string& text) {
        controller->Folders().ShowFolder(3);
        window.selected = -1;
        for (size_t row = 0; row < window.rows.size(); ++row) {
            if (window.rows[row].text == text) window.selected = static_cast<int>(row);
        }
        ASSERT_GE(window.selected, 0);
        controller->Folders().OpenMessage(window.selected);
        controller->Folders().EditMessage();
        ASSERT_EQ(window.composeText, text);
    };
    auto send = [&](const std::u16string& text) {
        window.composeText = text;
        controller->SendComposed();
        window.Pump();
    };
    auto drafts = [&] {
        std::vector<std::u16string> texts;
        for (const SmsRecord& record : ReadFolder(FolderId::Draft))
            texts.push_back(record.text);
        return texts;
    };
    WriteFolder(FolderId::Draft,
                {Message(u"111", u"one"), Message(u"222", u"two"), Message(u"333", u"three")});

    editDraft(u"two");
    send(u"two, edited");
    EXPECT_EQ(drafts(), (std::vector<std::u16string>{u"one", u"three"}));
    ASSERT_EQ(ReadFolder(FolderId::Outbox).size(), 1u);

    // A fresh message started after the edit is not the draft.
    editDraft(u"one");
    controller->Folders().ForgetEditedDraft();
    send(u"something else");
    // A draft that changed since it was opened stays.
    editDraft(u"three");
    std::vector<SmsRecord> changed = ReadFolder(FolderId::Draft);
    for (SmsRecord& record : changed) {
        if (record.text == u"three") record.text = u"three, changed elsewhere";
    }
    WriteFolder(FolderId::Draft, changed);
    send(u"three, edited");
    EXPECT_EQ(drafts(), (std::vector<std::u16string>{u"one", u"three, changed elsewhere"}));
}

// ---- files that cannot be written ----

TEST_F(ControllerTest, AMessageMarkedReadStaysUnreadWhenItsFolderCannotBeSaved) {
    WriteFolder(FolderId::Inbox, {Message(u"111", u"hello", u"REC UNREAD", 4)});
    controller->Folders().ShowFolder(0);
    {
        FilesCannotGrow full;
        controller->Folders().OpenMessage(0);
    }
    EXPECT_EQ(window.detailBody, u"hello");
    EXPECT_EQ(window.rows[0].icon, kIconUnread);
    EXPECT_TRUE(SaveFailureShown("smsin.acr")) << U16ToUtf8(window.status);
    EXPECT_EQ(ReadFolder(FolderId::Inbox)[0].status, u"REC UNREAD");

    // The table kept it unread too: the next open saves it.
    controller->Folders().OpenMessage(0);
    EXPECT_EQ(window.rows[0].icon, kIconRead);
    EXPECT_EQ(ReadFolder(FolderId::Inbox)[0].status, u"REC READ");
}

TEST_F(ControllerTest, FailedSavesOfComposedAndCopiedMessagesSaySoAndKeepThePage) {
    WriteFolder(FolderId::Draft, {Message(u"1", u"kept", u"STO UNSENT")});
    controller->SetPage(kPageCompose);
    window.recipients = u"111";
    window.composeText = u"draft text";
    window.saveToFolder = 3;
    {
        FilesCannotGrow full;
        controller->Folders().SaveComposed();
    }
    EXPECT_TRUE(SaveFailureShown("smsdraft.acr")) << U16ToUtf8(window.status);
    EXPECT_TRUE(window.pages.empty());  // still composing
    EXPECT_EQ(controller->Page(), kPageCompose);
    EXPECT_EQ(ReadFolder(FolderId::Draft).size(), 1u);

    // A move from Draft to the Outbox: the run stops at the failed save, the source keeps it.
    controller->Folders().ShowFolder(3);
    window.TickRowsWithData({0});
    window.saveToFolder = 1;
    {
        FilesCannotGrow full;
        controller->Folders().CopyTicked();
        window.Pump();
    }
    EXPECT_TRUE(SaveFailureShown("smsout.acr")) << U16ToUtf8(window.status);
    EXPECT_EQ(ReadFolder(FolderId::Draft).size(), 1u);
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
}

}  // namespace
}  // namespace telvane
