// The Outbox run and the smart-message run against a scripted engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/outbox_run.h"
#include "controller_fixture.h"

namespace telvane {
namespace {

using testing::ControllerTest;
using testing::FilesCannotGrow;
using testing::Message;
using testing::ReadFolder;
using testing::WriteFolder;

// More than one message in 7-bit: two parts.
const std::u16string kLongText(200, u'x');

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
    // The engine got every part of the last send through, with these message references.
    void Done(std::vector<int> references = {1}) {
        script->sentReferences = std::move(references);
        script->reference = script->sentReferences.back();
        Emit(Notification::kMessageSent);
        Emit(Notification::kSendDone);
    }
    void Fail(std::string reason) {
        script->lastFailure = std::move(reason);
        Emit(Notification::kSendFailed);
    }
    // A controller of a new session (the program restarted), with the same settings.
    void Restart() {
        controller.reset();
        controller = std::make_unique<LinkController>(
            window, Timing(1.0), [s = script] { return std::make_unique<testing::FakeEngine>(s); });
        window.controller = controller.get();
        window.Pump();
    }
};

TEST_F(SendTest, SendNeedsRecipientsAndText) {
    Send(u"", u"x");
    Send(u"111", u"");
    EXPECT_EQ(window.messageBoxes,
              (std::vector<UiText>{ui_text::kInvalidPhoneNumber, ui_text::kPleaseInputMessage}));
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
}

// Offline, a text waits in the Outbox and goes when the link comes up; a picture, which never
// goes through the Outbox, still needs the link.
TEST_F(SendTest, OfflineSendWaitsInTheOutboxForTheNextConnection) {
    Send(u"111", u"later");
    EXPECT_TRUE(window.messageBoxes.empty());
    std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].number, u"111");
    EXPECT_EQ(outbox[0].text, u"later");
    EXPECT_TRUE(window.StatusShown(u"In the Outbox: it goes at the next connection"));
    EXPECT_EQ(window.tab, static_cast<int>(FolderId::Outbox));
    EXPECT_TRUE(script->texts.empty());

    controller->ToggleComposeMode();
    window.pictureEmpty = false;
    Send(u"111", u"");
    EXPECT_EQ(window.messageBoxes, std::vector<UiText>{ui_text::kPleaseConnectFirst});
    controller->ToggleComposeMode();

    GoOnline();
    window.Pump();
    ASSERT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});
    EXPECT_EQ(script->texts[0].second, u"later");
}

TEST_F(SendTest, EachRecipientIsSentAsSoonAsTheOneBeforeIsDone) {
    GoOnline();
    Send(u"111;222", u"hello");
    EXPECT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});
    EXPECT_EQ(script->texts[0].second, u"hello");
    EXPECT_TRUE(window.StatusShown(u"Sending 1 of 2"));
    EXPECT_EQ(window.tab, 2);
    EXPECT_FALSE(window.enabled);

    Done({17});
    EXPECT_TRUE(window.StatusShown(u"SMS no. 17"));
    std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].number, u"222");  // only who is still to be served
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222"}));
    EXPECT_TRUE(window.StatusShown(u"Sending 2 of 2"));
    EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());
    EXPECT_FALSE(window.enabled);

    Done({18});
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"111;222");
    EXPECT_EQ(sent[0].extra, u"");
    EXPECT_EQ(window.status, u"Send complete");
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(script->texts.size(), 2u);

    // A late or stray report belongs to no run.
    Emit(Notification::kSendDone);
    EXPECT_EQ(script->texts.size(), 2u);
}

// A recipient whose send failed is marked with the reason and left for the next run; the
// message's other recipients and every other message still go out, and the next run sends only
// to who is left.
TEST_F(SendTest, AFailureIsMarkedAndSkippedAndNothingIsSentTwice) {
    WriteFolder(FolderId::Outbox,
                {Message(u"333", u"older", u""), Message(u"111;000;222", u"newer", u"")});
    script->acceptSend = false;
    GoOnline();
    script->acceptSend = true;
    controller->Outbox().Start();
    window.Pump();
    ASSERT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111"}));
    Fail("+CMS ERROR: 500 (unknown error)");
    const std::u16string reason = u"111: +CMS ERROR: 500 (unknown error)";
    EXPECT_TRUE(window.StatusShown(u"Send failed: " + reason));
    Done();
    Done();
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"000", u"222", u"333"}));
    Done();
    EXPECT_TRUE(window.enabled);
    ASSERT_EQ(window.messageTexts.size(), 1u);
    EXPECT_NE(window.messageTexts[0].find(reason), std::u16string::npos);

    std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].number, u"111");
    EXPECT_EQ(SendFailureOf(outbox[0]), reason);
    EXPECT_EQ(ReadFolder(FolderId::Sent).size(), 1u);
    // The Outbox shows why.
    controller->Folders().ShowFolder(static_cast<int>(FolderId::Outbox));
    ASSERT_EQ(window.rows.size(), 1u);
    EXPECT_EQ(window.rows[0].text, u"Send failed (" + reason + u")\r\nnewer");

    script->texts.clear();
    controller->Outbox().Start();
    window.Pump();
    Done();
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111"}));
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].number, u"111;000;222");
    EXPECT_EQ(sent[1].status, u"");
    EXPECT_EQ(window.status, u"Send complete");
}

// A submission that got no answer may have reached the network: its recipient is held back,
// shown as not confirmed, and sent again only once the user moves the message into the Outbox.
// The line drops while a send waits for the network's answer: that answer never comes, so the
// recipient is not confirmed and the next connection does not send to it again.
TEST_F(SendTest, ASendCutByALostLinkIsNotSentAgain) {
    GoOnline();
    Send(u"111", u"hello");
    ASSERT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});
    Emit(Notification::kLinkLost);
    Emit(Notification::kStartupFailed);
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    window.Pump();
    EXPECT_FALSE(controller->HasEngine());
    std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(UnconfirmedOf(outbox[0]), u"111");
    GoOnline();
    EXPECT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});  // not again
    EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());
}

TEST_F(SendTest, ANotConfirmedRecipientIsHeldBackUntilTheUserSendsItAgain) {
    GoOnline();
    Send(u"111;222", u"hello");
    script->failedStatus = JobStatus::kNotConfirmed;
    Fail("no answer to +CMGS");
    Done();
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222"}));
    EXPECT_TRUE(window.enabled);
    std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].number, u"111");
    EXPECT_EQ(UnconfirmedOf(outbox[0]), u"111");
    EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());

    // Shown as such in the list and the reading pane.
    controller->Folders().ShowFolder(static_cast<int>(FolderId::Outbox));
    ASSERT_EQ(window.rows.size(), 1u);
    EXPECT_TRUE(window.rows[0].text.starts_with(u"111: not confirmed"))
        << U16ToUtf8(window.rows[0].text);
    controller->Folders().OpenMessage(0);
    EXPECT_TRUE(window.detailStatus.starts_with(u"111: not confirmed"));

    // Later runs, in this program or the next, leave it.
    controller->Outbox().Start();
    window.Pump();
    Restart();
    GoOnline();
    controller->Outbox().Start();
    window.Pump();
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222"}));

    // The user's word: to Draft and back into the Outbox.
    controller->Folders().ShowFolder(static_cast<int>(FolderId::Outbox));
    window.TickRowsWithData({0});
    window.saveToFolder = static_cast<int>(FolderId::Draft);
    controller->Folders().CopyTicked();
    window.TickRowsWithData({0});
    window.saveToFolder = static_cast<int>(FolderId::Outbox);
    controller->Folders().CopyTicked();
    script->failedStatus = JobStatus::kFailed;
    controller->Outbox().Start();
    window.Pump();
    Done();
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222", u"111"}));
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
}

// A list queued before numbers were checked (an older Outbox file) is cleaned at the send, and
// an entry that is no number never reaches the modem.
TEST_F(SendTest, NumbersQueuedUncheckedAreCleanedOrRefusedAtTheSend) {
    WriteFolder(FolderId::Outbox, {Message(u"+886-922-333-444;(02) 8765-4321 ; , 0912\x1b"
                                           u"AT;x1",
                                           u"x", u"")});
    GoOnline();
    Done();
    Done();  // then 0912<Esc>AT is refused, and the message waits for the next run
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"+886922333444", u"0287654321"}));
    EXPECT_TRUE(window.enabled);
    const std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].number,
              u"0912\x1b"
              u"AT;x1");
    EXPECT_FALSE(SendFailureOf(outbox[0]).empty());
}

TEST_F(SendTest, LongMessagesTakeAnIncreasingReferenceThatOutlivesTheProgram) {
    struct Case {
        bool sixteenBit;
        std::optional<uint32_t> kept;
        int first, second;
    } cases[] = {
        {false, std::nullopt, 1, 2},
        {false, 254, 255, 0},
        {true, 255, 256, 257},
        {true, 0xFFFF, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        window.settings.sixteenBitReference = c.sixteenBit;
        window.kept.clear();
        if (c.kept) window.kept["ConcatRef"] = *c.kept;
        script->textOptions.clear();
        Restart();
        GoOnline();
        Send(u"111", kLongText);
        Done({1, 2});
        Send(u"111", u"short: no reference taken");
        Done();
        Restart();  // the next reference comes from the settings
        GoOnline();
        Send(u"111", kLongText);
        Done({3, 4});
        ASSERT_EQ(script->textOptions.size(), 3u);
        EXPECT_EQ(script->textOptions[0].reference, c.first);
        EXPECT_EQ(script->textOptions[2].reference, c.second);
        EXPECT_EQ(script->textOptions[0].sixteenBitReference, c.sixteenBit);
        EXPECT_EQ(window.kept["ConcatRef"], static_cast<uint32_t>(c.second));
        std::filesystem::remove(data.path() / "smssent.acr");
    }
}

// A resend of a long message to a recipient it failed for uses the reference its parts already
// went out with, so that the phone can still join them; so does a run after a crash.
TEST_F(SendTest, AResendOfALongMessageKeepsItsReference) {
    GoOnline();
    Send(u"111;222", kLongText);
    Fail("part 2 of 2 not sent: no answer");
    // 222 still goes in this run, with the same reference.
    ASSERT_EQ(script->textOptions.size(), 2u);
    const int reference = script->textOptions[0].reference;
    EXPECT_EQ(script->texts[1].first, u"222");
    EXPECT_EQ(script->textOptions[1].reference, reference);
    Done({5, 6});

    // The next run: the new message with a new reference, then the resend to 111.
    Send(u"333", kLongText);
    ASSERT_EQ(script->textOptions.size(), 3u);
    EXPECT_NE(script->textOptions[2].reference, reference);
    Done({7, 8});
    ASSERT_EQ(script->textOptions.size(), 4u);
    EXPECT_EQ(script->texts[3].first, u"111");
    EXPECT_EQ(script->textOptions[3].reference, reference);

    // The program ended while those parts went out: the record kept the reference.
    Restart();
    GoOnline();
    ASSERT_EQ(script->textOptions.size(), 5u);
    EXPECT_EQ(script->texts[4].first, u"111");
    EXPECT_EQ(script->textOptions[4].reference, reference);
    Done({9, 10});
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].number, u"111;222");
}

TEST_F(SendTest, DeliveryReportsAreAskedForAndEachPartIsPendingInSent) {
    for (const bool reports : {false, true}) {
        SCOPED_TRACE(reports);
        window.settings.deliveryReports = reports;
        script->textOptions.clear();
        GoOnline();
        Send(u"111;+886922", kLongText);
        Done({5, 6});
        Done({7, 8});
        ASSERT_EQ(script->textOptions.size(), 2u);
        EXPECT_EQ(script->textOptions[0].statusReport, reports);
        const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].number, u"111;+886922");
        EXPECT_EQ(sent[0].extra, reports ? u"111|5|pending;111|6|pending;"
                                           u"+886922|7|pending;+886922|8|pending"
                                         : u"");
        std::filesystem::remove(data.path() / "smssent.acr");
        controller->Connect();
        ASSERT_TRUE(window.Fire(kTimerDisconnect));
    }
}

TEST_F(SendTest, MessagesServedInAnEarlierVersionStillMoveToSent) {
    SmsRecord served = Message(u"", u"served", u"");
    served.extra = u"111;222";  // the whole list, as kept while it was sent
    WriteFolder(FolderId::Outbox, {served});
    GoOnline();
    EXPECT_TRUE(script->texts.empty());
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"111;222");
    EXPECT_EQ(sent[0].extra, u"");
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
    Done();
    ASSERT_EQ(script->texts.size(), 2u);
    EXPECT_EQ(script->texts[1].second, u"older");
    Done();
    EXPECT_EQ(ReadFolder(FolderId::Sent).size(), 2u);
    EXPECT_EQ(window.status, u"Send complete");
}

TEST_F(SendTest, RecipientListsSplitOnlyAtSemicolons) {
    GoOnline();
    Send(u"111 ; , 222", u"x");
    Done();
    // Each entry is cleaned before it is queued: the blank around it is no part of the number.
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222"}));
}

TEST_F(SendTest, EngineRefusalEndsTheRunQuietlyAndKeepsTheMessage) {
    GoOnline();
    script->acceptSend = false;
    Send(u"111", u"x");
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(ReadFolder(FolderId::Outbox).size(), 1u);
    EXPECT_FALSE(window.StatusShown(u"Send failed"));
}

TEST_F(SendTest, ARecipientWhoseConfirmationCannotBeSavedStopsTheRun) {
    GoOnline();
    Send(u"111;222", u"hello");
    ASSERT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});
    {
        FilesCannotGrow full;
        Done();
    }
    EXPECT_TRUE(SaveFailureShown("smsout.acr")) << U16ToUtf8(window.status);
    EXPECT_TRUE(window.enabled);
    // Sending on would serve 111 again from the file.
    EXPECT_EQ(TextRecipients(), std::vector<std::u16string>{u"111"});

    // The next run goes on from what was sent, not from the older file; Sent gets it once, also
    // when the last save of the Outbox fails again.
    controller->Outbox().Start();
    window.Pump();
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222"}));
    {
        FilesCannotGrow full;
        Done();
    }
    EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());
    controller->Outbox().Start();
    window.Pump();
    EXPECT_EQ(TextRecipients(), (std::vector<std::u16string>{u"111", u"222"}));
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"111;222");
}

class SmartSendTest : public SendTest {
  protected:
    void SendPicture(std::u16string recipients) {
        controller->ToggleComposeMode();
        window.pictureEmpty = false;
        window.pictureHex = std::u16string(504, u'A');
        window.recipients = std::move(recipients);
        controller->SendComposed();
        window.Pump();
    }
};

TEST_F(SmartSendTest, EverySegmentGoesToEachRecipientInTurnAndTheMessageIsKeptInSent) {
    WriteFolder(FolderId::Outbox, {Message(u"5", u"waiting", u"")});
    script->acceptSend = false;  // keep the Outbox run from starting at connect
    GoOnline();
    script->acceptSend = true;
    SendPicture(u"111;222");
    ASSERT_EQ(script->built.size(), 1u);
    EXPECT_EQ(script->built[0].first, PictureKind::kPictureMessage);
    EXPECT_EQ(script->built[0].second.size(), 504u);
    EXPECT_TRUE(window.StatusShown(u"Sending 1 of 6"));
    for (int segment = 0; segment < 6; ++segment)
        Done({segment});
    EXPECT_EQ(window.status, u"Send complete");
    EXPECT_TRUE(window.enabled);
    const std::vector<std::pair<std::u16string, int>> expected = {
        {u"111", 1}, {u"111", 2}, {u"111", 3}, {u"222", 1}, {u"222", 2}, {u"222", 3}};
    EXPECT_EQ(script->segments, expected);
    // The smart run's reports never touch the Outbox.
    ASSERT_EQ(ReadFolder(FolderId::Outbox).size(), 1u);
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"111;222");
    EXPECT_EQ(sent[0].text, u"PictureMsg");

    // An operator logo takes 252 digits.
    controller->SelectPictureKind(1);
    EXPECT_EQ(window.pictureEditorKind, PictureKind::kOperatorLogo);
    window.recipients = u"111";
    controller->SendComposed();
    window.Pump();
    EXPECT_EQ(script->built.back().first, PictureKind::kOperatorLogo);
    EXPECT_EQ(script->built.back().second.size(), 252u);
}

// A run the engine will not take, or a logo without the network's numeric code, ends with the
// reason: never "Send complete", never a logo for network 000/00.
TEST_F(SmartSendTest, WhatCannotBeSentEndsFailedWithTheReason) {
    GoOnline();
    script->acceptSend = false;
    SendPicture(u"111;222");
    EXPECT_EQ(window.status, u"Send failed");
    EXPECT_FALSE(window.StatusShown(u"Send complete"));
    ASSERT_EQ(window.messageTexts.size(), 1u);
    EXPECT_NE(window.messageTexts[0].find(u"111: the modem did not take the message"),
              std::u16string::npos);
    EXPECT_NE(window.messageTexts[0].find(u"222: the modem did not take the message"),
              std::u16string::npos);
    EXPECT_TRUE(ReadFolder(FolderId::Sent).empty());
    EXPECT_TRUE(window.enabled);

    script->acceptSend = true;
    script->operatorText = u"LDTA";  // a name, no code
    controller->SelectPictureKind(1);
    window.recipients = u"111";
    controller->SendComposed();
    window.Pump();
    EXPECT_EQ(script->built.size(), 1u);  // the picture above only: no logo was built
    EXPECT_TRUE(script->segments.empty());
    ASSERT_EQ(window.messageTexts.size(), 2u);
    EXPECT_NE(window.messageTexts[1].find(u"numeric code"), std::u16string::npos);
    EXPECT_TRUE(window.enabled);
}

TEST_F(SmartSendTest, AFailedSegmentEndsOnlyThatRecipientsAttempt) {
    GoOnline();
    SendPicture(u"111;222");
    Done();
    Fail("not sent: +CMS ERROR: 38 (network out of order)");  // 111's segment 2
    for (int segment = 0; segment < 3; ++segment)
        Done();
    const std::vector<std::pair<std::u16string, int>> expected = {
        {u"111", 1}, {u"111", 2}, {u"222", 1}, {u"222", 2}, {u"222", 3}};
    EXPECT_EQ(script->segments, expected);
    EXPECT_TRUE(window.enabled);
    ASSERT_EQ(window.messageTexts.size(), 1u);
    EXPECT_NE(window.messageTexts[0].find(u"111: not sent: +CMS ERROR: 38"), std::u16string::npos);
    const std::vector<SmsRecord> sent = ReadFolder(FolderId::Sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"222");
}

}  // namespace
}  // namespace telvane
