// The Outbox run and the smart-message run against a scripted engine.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "controller_fixture.h"

namespace telvane {
namespace {

using testing::ControllerTest;
using testing::FilesCannotGrow;
using testing::Message;
using testing::ReadFolder;
using testing::WriteFolder;

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
        controller->Outbox().Start();
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
    // Each entry is cleaned before it is queued: the blank around it is no part of the number.
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222"}));
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

TEST_F(SendTest, ARecipientWhoseConfirmationCannotBeSavedStopsTheRun) {
    GoOnline();
    Send(u"111;222", u"hello");
    ASSERT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});
    {
        FilesCannotGrow full;
        Confirm(1);
    }
    EXPECT_TRUE(SaveFailureShown("smsout.acr")) << U16ToUtf8(window.status);
    EXPECT_FALSE(window.TimerRunning(kTimerOutboxStep));
    EXPECT_TRUE(window.enabled);
    // Sending on would serve 111 again from the file.
    EXPECT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});
}

}  // namespace
}  // namespace telvane
