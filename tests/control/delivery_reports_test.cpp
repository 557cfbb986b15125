// Status reports matched to the Sent messages they report on, and what the window shows of them.
#include "control/delivery_reports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller_fixture.h"

namespace telvane {
namespace {

using testing::ControllerTest;
using testing::Message;
using testing::ReadFolder;
using testing::WriteFolder;

SmsRecord Sent(std::u16string time, std::u16string extra) {
    SmsRecord r = Message(u"+886912345678;0955000111", u"hi", u"STO SENT");
    r.time = std::move(time);
    r.extra = std::move(extra);
    return r;
}

TEST(DeliveryReports, RecipientsCompareByTheirDigits) {
    EXPECT_TRUE(SameRecipient(u"+886912345678", u"+886912345678"));
    EXPECT_TRUE(SameRecipient(u"0912345678", u"+886912345678"));  // country code added
    EXPECT_TRUE(SameRecipient(u"5550100", u"5550100"));
    EXPECT_FALSE(SameRecipient(u"+886912345678", u"+886912345679"));
    EXPECT_FALSE(SameRecipient(u"100", u"5550100"));  // short numbers compare whole
    EXPECT_FALSE(SameRecipient(u"", u""));
}

TEST(DeliveryReports, TheNewestPendingEntryOfTheReferenceAndNumberTakesTheReport) {
    FolderTable sent;
    sent.Add(Sent(u"26/12/01,10:00:00", u"+886912345678|17|pending"));  // an older round of MRs
    sent.Add(Sent(u"26/12/09,10:00:00",
                  u"+886912345678|17|pending;+886912345678|18|pending;0955000111|19|pending"));
    sent.Add(Sent(u"26/12/10,10:00:00", u"parts 1/8/2 1:4:3"));  // no delivery entries
    sent.Add(Sent(u"26/12/11,10:00:00", u""));
    struct Case {
        StatusReport report;
        int32_t position;  // -1: nothing changes
        DeliveryState state;
    } cases[] = {
        {{18, u"+886912345678", 0x00, u""}, 1, DeliveryState::kDelivered},
        {{18, u"+886912345678", 0x00, u""}, -1, DeliveryState::kDelivered},  // already settled
        {{19, u"+886955000111", 0x41, u""}, 1, DeliveryState::kFailed},
        {{17, u"+886912345678", 0x20, u""}, -1, DeliveryState::kPending},  // still trying
        {{17, u"+886955000111", 0x00, u""}, -1, DeliveryState::kPending},  // another number
        {{17, u"+886912345678", 0x00, u""}, 1, DeliveryState::kDelivered},
        {{17, u"+886912345678", 0x60, u""}, 0, DeliveryState::kFailed},
        {{99, u"+886912345678", 0x00, u""}, -1, DeliveryState::kPending},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report.reference);
        const std::optional<ReportMatch> match = ApplyStatusReport(sent, c.report);
        ASSERT_EQ(match.has_value(), c.position >= 0);
        if (!match) continue;
        EXPECT_EQ(match->position, c.position);
        EXPECT_EQ(match->state, c.state);
    }
    EXPECT_EQ(sent.entries[0].record.extra, u"+886912345678|17|failed");
    EXPECT_EQ(sent.entries[1].record.extra,
              u"+886912345678|17|delivered;+886912345678|18|delivered;0955000111|19|failed");
    EXPECT_EQ(sent.entries[2].record.extra, u"parts 1/8/2 1:4:3");
}

TEST(DeliveryReports, SummaryPerRecipient) {
    SetLanguage(0);
    struct Case {
        std::u16string extra, summary;
    } cases[] = {
        {u"", u""},
        {u"not entries", u""},
        {u"+886912345678|1|delivered;+886912345678|2|delivered", u"+886912345678: Delivered"},
        {u"+886912345678|1|delivered;+886912345678|2|pending", u"+886912345678: Pending"},
        {u"+886912345678|1|failed;+886912345678|2|pending;5550100|3|delivered",
         u"+886912345678: Failed; 5550100: Delivered"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeliverySummary(Sent(u"", c.extra)), c.summary) << U16ToUtf8(c.extra);
}

TEST_F(ControllerTest, AStatusReportMarksItsSentMessage) {
    WriteFolder(FolderId::Sent,
                {Sent(u"26/12/09,10:00:00", u"+886912345678|17|pending;0955000111|18|pending")});
    GoOnline();
    controller->Folders().ShowFolder(2);
    controller->Folders().OpenMessage(0);
    EXPECT_EQ(window.detailStatus, u"+886912345678: Pending; 0955000111: Pending");

    script->reports = {{17, u"+886912345678", 0, u"26/12/09,10:00:05"},
                       {200, u"+886912345678", 0, u""}};  // nothing of ours
    Emit(Notification::kStatusReport);
    EXPECT_EQ(ReadFolder(FolderId::Sent)[0].extra,
              u"+886912345678|17|delivered;0955000111|18|pending");
    EXPECT_TRUE(window.StatusShown(u"Delivered: +886912345678"));
    controller->Folders().OpenMessage(0);
    EXPECT_EQ(window.detailStatus, u"+886912345678: Delivered; 0955000111: Pending");

    script->reports = {{18, u"+886955000111", 0x45, u""}};
    Emit(Notification::kStatusReport);
    controller->Folders().OpenMessage(0);
    EXPECT_EQ(window.detailStatus, u"+886912345678: Delivered; 0955000111: Failed");
    EXPECT_TRUE(window.StatusShown(u"Failed: 0955000111"));
}

}  // namespace
}  // namespace telvane
