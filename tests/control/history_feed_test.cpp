// The history fed by the controller: what the SIM lists, what arrives, what is sent and saved.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "controller_fixture.h"
#include "history/history_db.h"
#include "platform/files.h"

namespace telvane::testing {
namespace {

class HistoryFeedTest : public ControllerTest {
  protected:
    // Every message of the history, once the writer is done with what was queued.
    std::vector<HistoryMessage> Stored() {
        EXPECT_TRUE(controller->History()->Writer().WaitIdle(kHangCeiling));
        HistoryDb db;
        EXPECT_TRUE(db.Open(data.path() / kHistoryFileName, HistoryAccess::kRead))
            << db.LastError();
        return db.AllMessages();
    }
    std::vector<std::u16string> StoredTexts() {
        std::vector<std::u16string> texts;
        for (const HistoryMessage& m : Stored())
            texts.push_back(m.text);
        return texts;
    }
    void List(std::vector<SmsRecord> records) {
        script->listing = std::move(records);
        script->concat.clear();
        window.settings.syncSms = true;
        if (controller->HasEngine()) {
            controller->Connect();
            ASSERT_TRUE(window.Fire(kTimerDisconnect));
        }
        GoOnline();
        Emit(Notification::kListingFinished);
    }
    void Restart() {
        controller.reset();
        controller = std::make_unique<LinkController>(
            window, Timing(1.0), [s = script] { return std::make_unique<FakeEngine>(s); });
        window.controller = controller.get();
        window.Pump();
    }
};

TEST_F(HistoryFeedTest, KeepsWhatTheSimListsArrivesIsSentAndSavedOnceEach) {
    SmsRecord fromSim = Message(u"+886912345678", u"from the SIM", u"REC UNREAD", 1);
    fromSim.time = u"26/12/01,08:00:00+32";
    for (int i = 0; i < 3; ++i)
        List({fromSim});
    EXPECT_EQ(StoredTexts(), std::vector<std::u16string>{u"from the SIM"});

    // Deleted from the SIM: gone from the Inbox, still in the history.
    List({});
    EXPECT_TRUE(ReadFolder(FolderId::Inbox).empty());
    EXPECT_EQ(StoredTexts(), std::vector<std::u16string>{u"from the SIM"});

    SmsRecord arrived = Message(u"0912345678", u"arrived", u"REC UNREAD", 2);
    arrived.time = u"26/12/01,09:00:00+32";
    script->arrived = {SmsPart{arrived, std::nullopt}};
    Emit(Notification::kMessageArrived);
    script->arrived = {SmsPart{arrived, std::nullopt}};  // announced twice
    Emit(Notification::kMessageArrived);

    window.recipients = u"0912345678;0922000111";
    window.composeText = u"sent to two";
    controller->SendComposed();
    window.Pump();
    for (int reference : {7, 8}) {
        script->sentReferences = {reference};
        script->reference = reference;
        Emit(Notification::kMessageSent);
        Emit(Notification::kSendDone);
    }
    ASSERT_EQ(ReadFolder(FolderId::Sent).size(), 1u);

    controller->SetPage(kPageCompose);
    window.recipients = u"0933000333";
    window.composeText = u"kept for later";
    window.saveToFolder = static_cast<int>(FolderId::Saved);
    controller->Folders().SaveComposed();
    window.Pump();

    const std::vector<HistoryMessage> stored = Stored();
    std::vector<std::pair<std::u16string, std::u16string>> seen;
    for (const HistoryMessage& m : stored)
        seen.emplace_back(m.number, m.text);
    EXPECT_THAT(seen,
                ::testing::UnorderedElementsAre(
                    std::pair<std::u16string, std::u16string>{u"+886912345678", u"from the SIM"},
                    std::pair<std::u16string, std::u16string>{u"0912345678", u"arrived"},
                    std::pair<std::u16string, std::u16string>{u"0912345678", u"sent to two"},
                    std::pair<std::u16string, std::u16string>{u"0922000111", u"sent to two"},
                    std::pair<std::u16string, std::u16string>{u"0933000333", u"kept for later"}));
    for (const HistoryMessage& m : stored) {
        const bool in = m.text == u"from the SIM" || m.text == u"arrived";
        EXPECT_EQ(m.direction, in ? HistoryDirection::kIn : HistoryDirection::kOut)
            << U16ToUtf8(m.text);
    }

    // One person however the number is written: the SIM's message, the arrival and the reply.
    HistoryDb db;
    ASSERT_TRUE(db.Open(data.path() / kHistoryFileName, HistoryAccess::kRead));
    auto person = db.ConversationOf(u"0912345678");
    ASSERT_TRUE(person.has_value());
    EXPECT_EQ(person->count, 3);

    // A restart reads nothing twice.
    Restart();
    EXPECT_EQ(Stored().size(), stored.size());
}

TEST_F(HistoryFeedTest, TheFoldersAreLoadedWhenTheHistoryIsFirstMade) {
    controller.reset();
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(data.path() / (std::string(kHistoryFileName) + suffix));
    WriteFolder(FolderId::Inbox, {Message(u"111", u"in the inbox")});
    WriteFolder(FolderId::Sent, {Message(u"222;333", u"in sent", u"STO SENT")});
    WriteFolder(FolderId::Saved, {Message(u"444", u"in saved")});
    WriteFolder(FolderId::Draft, {Message(u"555", u"a draft", u"STO UNSENT")});
    WriteFolder(FolderId::Outbox, {Message(u"666", u"not sent yet", u"STO UNSENT")});
    Restart();
    EXPECT_THAT(StoredTexts(), ::testing::UnorderedElementsAre(u"in the inbox", u"in sent",
                                                               u"in sent", u"in saved"));
}

TEST_F(HistoryFeedTest, ADamagedHistoryIsKeptAsideAndTheUserTold) {
    controller.reset();
    const std::filesystem::path file = data.path() / kHistoryFileName;
    std::filesystem::remove(data.path() / (std::string(kHistoryFileName) + "-wal"));
    std::filesystem::remove(data.path() / (std::string(kHistoryFileName) + "-shm"));
    ASSERT_TRUE(WriteFileAtomic(file, std::string(4096, '\x42')));
    Restart();
    ASSERT_TRUE(controller->History()->Writer().WaitIdle(kHangCeiling));
    window.Pump();
    ASSERT_FALSE(window.messageTexts.empty());
    EXPECT_NE(window.messageTexts.back().find(u"kept as"), std::u16string::npos)
        << U16ToUtf8(window.messageTexts.back());
    bool kept = false;
    for (const auto& entry : std::filesystem::directory_iterator(data.path()))
        kept |= entry.path().filename().string().starts_with("history.sqlite.damaged-");
    EXPECT_TRUE(kept);
    EXPECT_TRUE(Stored().empty());
}

}  // namespace
}  // namespace telvane::testing
