#include "control/outbox_run.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "codec/pdu_codec.h"
#include "codec/phone_number.h"
#include "control/delivery_state.h"
#include "control/recipients.h"
#include "platform/text.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;
// The status of a message some recipient did not get, followed by who and why.
constexpr std::u16string_view kFailedStatus = u"FAILED: ";

// What a message in the Outbox keeps in its spare field while it is sent: the whole recipient
// list (Sent shows it), the concatenation reference once it has one (a resend to a recipient
// uses it again, so that the phone can still join the parts), and the delivery entries of the
// recipients served.  One to a line; an older record holds the list alone.
struct Progress {
    std::u16string recipients;
    std::optional<int32_t> reference;
    bool sixteenBit = false;
    std::u16string reports;
    // Recipients whose submission went out with no answer: the network may have taken it, so
    // no run sends to them until the user moves the message to the Outbox again.
    std::u16string unconfirmed;
};

constexpr std::u16string_view kRef8 = u"ref8=";
constexpr std::u16string_view kRef16 = u"ref16=";
constexpr std::u16string_view kReports = u"reports=";
constexpr std::u16string_view kUnconfirmed = u"unconfirmed=";

Progress ParseProgress(std::u16string_view extra) {
    Progress progress;
    size_t end = extra.find(u'\n');
    progress.recipients = std::u16string(extra.substr(0, end));
    while (end != std::u16string_view::npos) {
        extra.remove_prefix(end + 1);
        end = extra.find(u'\n');
        const std::u16string_view line = extra.substr(0, end);
        if (line.starts_with(kRef8) || line.starts_with(kRef16)) {
            progress.sixteenBit = line.starts_with(kRef16);
            const std::u16string_view digits =
                line.substr(progress.sixteenBit ? kRef16.size() : kRef8.size());
            progress.reference = ReadNumber(digits) & (progress.sixteenBit ? 0xFFFF : 0xFF);
        } else if (line.starts_with(kReports)) {
            progress.reports = std::u16string(line.substr(kReports.size()));
        } else if (line.starts_with(kUnconfirmed)) {
            progress.unconfirmed = std::u16string(line.substr(kUnconfirmed.size()));
        }
    }
    return progress;
}

std::u16string FormatProgress(const Progress& progress) {
    std::u16string extra = progress.recipients;
    if (progress.reference) {
        extra += u'\n';
        extra += progress.sixteenBit ? kRef16 : kRef8;
        extra += Widen(std::to_string(*progress.reference));
    }
    if (!progress.reports.empty()) {
        extra += u'\n';
        extra += kReports;
        extra += progress.reports;
    }
    if (!progress.unconfirmed.empty()) {
        extra += u'\n';
        extra += kUnconfirmed;
        extra += progress.unconfirmed;
    }
    return extra;
}

std::vector<std::u16string> SplitRecipients(std::u16string list) {
    std::vector<std::u16string> recipients;
    while (!list.empty()) {
        std::u16string recipient = TakeRecipient(list);
        if (!recipient.empty()) recipients.push_back(std::move(recipient));
    }
    return recipients;
}

// The list without the first entry that is `recipient`.
std::u16string WithoutRecipient(const std::u16string& list, const std::u16string& recipient) {
    std::u16string rest;
    bool removed = false;
    for (const std::u16string& entry : SplitRecipients(list)) {
        if (!removed && entry == recipient) {
            removed = true;
            continue;
        }
        if (!rest.empty()) rest += u';';
        rest += entry;
    }
    return rest;
}

// Who a run may send the message to: its recipients still to be served, less those whose
// submission was not confirmed.
std::vector<std::u16string> SendableRecipients(const SmsRecord& record) {
    std::vector<std::u16string> recipients = SplitRecipients(record.number);
    for (const std::u16string& held : SplitRecipients(ParseProgress(record.extra).unconfirmed)) {
        const auto at = std::find(recipients.begin(), recipients.end(), held);
        if (at != recipients.end()) recipients.erase(at);
    }
    return recipients;
}

// The newest message that still has a recipient, and that this run is not done with.  A
// message every recipient already has (kept while Sent was full) is not sent.
int NextUnservedPosition(const FolderTable& table, const std::set<int>& finished) {
    for (int position = kFolderSlots - 1; position >= 0; --position) {
        if (table.IsUsed(position) && !SendableRecipients(table.entries[position].record).empty() &&
            !finished.contains(position)) {
            return position;
        }
    }
    return -1;
}

// The record as Sent keeps it: with everyone it was written to, and the parts' delivery states
// when reports were asked for.
SmsRecord AsSent(SmsRecord record) {
    const Progress progress = ParseProgress(record.extra);
    if (!progress.recipients.empty()) record.number = progress.recipients;
    record.extra = progress.reports;
    if (!SendFailureOf(record).empty()) record.status.clear();
    return record;
}

}  // namespace

std::u16string UnconfirmedOf(const SmsRecord& record) {
    return ParseProgress(record.extra).unconfirmed;
}

void ReleaseUnconfirmed(SmsRecord& record) {
    Progress progress = ParseProgress(record.extra);
    if (progress.unconfirmed.empty()) return;
    progress.unconfirmed.clear();
    record.extra = FormatProgress(progress);
}

std::u16string SendFailureOf(const SmsRecord& record) {
    if (!record.status.starts_with(kFailedStatus)) return {};
    return record.status.substr(kFailedStatus.size());
}

std::u16string SendStateOf(const SmsRecord& record) {
    std::u16string state;
    const std::u16string unconfirmed = UnconfirmedOf(record);
    if (!unconfirmed.empty()) state = unconfirmed + u": " + LoadUiString(ui_text::kNotConfirmed);
    const std::u16string failure = SendFailureOf(record);
    if (!failure.empty())
        state += (state.empty() ? u"" : u"\r\n") + LoadUiString(ui_text::kSendFailed) + u" (" +
                 failure + u")";
    return state;
}

std::u16string TextWithSendFailure(const SmsRecord& record) {
    const std::u16string state = SendStateOf(record);
    if (state.empty()) return record.text;
    return state + u"\r\n" + record.text;
}

void OutboxRun::StartLater() {
    host_.PostTask([this] { Start(); });
}

void OutboxRun::Start() {
    FolderTables& tables = host_.Tables();
    if (!running_) {
        // Read again unless it holds what its file lacks (a confirmation whose save failed).
        static_cast<void>(tables.Reload(FolderId::Outbox));
        static_cast<void>(tables.Reload(FolderId::Sent));
    }
    MoveServedToSent();
    const FolderTable& outbox = tables.Table(FolderId::Outbox);
    if (NextUnservedPosition(outbox, {}) < 0) return;
    if (host_.Busy() || host_.SendRunActive()) {
        host_.Window().Beep();
        return;
    }
    host_.PostBusy(BusyHolder::kOutboxRun, true);
    slot_ = -1;
    queue_.clear();
    finished_.clear();
    runFailures_.clear();
    sendsStarted_ = 0;
    sendsTotal_ = 0;
    for (int position = 0; position < kFolderSlots; ++position) {
        if (outbox.IsUsed(position))
            sendsTotal_ +=
                static_cast<int>(SendableRecipients(outbox.entries[position].record).size());
    }
    running_ = true;
    Next();
}

void OutboxRun::Stop() {
    if (!running_) return;
    // The link went down under a send: its answer will never come, and the network may have
    // the message.  Held back rather than sent again by the next run.
    if (awaiting_ != 0) {
        awaiting_ = 0;
        (void)HoldUnconfirmed(LoadUiString(ui_text::kLinkLost));
    }
    End();
}

void OutboxRun::Next() {
    if (!SubmitNext()) End();
}

bool OutboxRun::SubmitNext() {
    for (;;) {
        if (!host_.Online() || host_.Engine() == nullptr) return false;
        const FolderTable& outbox = host_.Tables().Table(FolderId::Outbox);
        if (slot_ >= 0 && !outbox.IsUsed(slot_)) slot_ = -1;
        if (slot_ < 0) {
            slot_ = NextUnservedPosition(outbox, finished_);
            if (slot_ < 0) return false;
            queue_ = SendableRecipients(outbox.entries[slot_].record);
        }
        SmsRecord record = outbox.entries[slot_].record;
        if (queue_.empty()) {
            // This run is done with the message: it goes to Sent once everyone has it, and
            // otherwise waits, marked, for the next run.
            const int position = slot_;
            finished_.insert(position);
            slot_ = -1;
            if (record.number.empty() && !MoveToSent(position, record, true)) return false;
            continue;
        }

        const PhoneNumber number = NormalisePhoneNumber(queue_.front());
        if (!number.ok()) {
            if (!MarkFailed(number.Reason())) return false;
            continue;
        }
        const ControllerSettings settings = host_.Window().Settings();
        SubmitOptions options;
        options.statusReport = settings.deliveryReports;
        if (MeasureParts(record.text).messages > 1) {
            Progress progress = ParseProgress(record.extra);
            if (!progress.reference) {
                const SubmitOptions fresh = host_.NextConcatReference();
                progress.reference = fresh.reference;
                progress.sixteenBit = fresh.sixteenBitReference;
                if (progress.recipients.empty()) progress.recipients = record.number;
                record.extra = FormatProgress(progress);
                // Kept before the first part goes out, so that a resend after a crash uses it.
                if (!Record(record)) return false;
            }
            options.reference = *progress.reference;
            options.sixteenBitReference = progress.sixteenBit;
        }
        ShowProgress();
        for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
            const JobHandle job = host_.RunJob(
                [&number, &record, &options](LinkEngine& link, JobDone done) {
                    return link.SendTextMessage(number.number, record.text, options,
                                                std::move(done));
                },
                [this](const JobResult& result) { SendEnded(result); });
            if (job) {
                awaiting_ = job.id;
                sentTo_ = number.number;
                reportsAsked_ = options.statusReport;
                return true;
            }
        }
        // The engine would not take it: the run ends quietly, the message stays.
        return false;
    }
}

void OutboxRun::ShowProgress() {
    ++sendsStarted_;
    if (sendsTotal_ < sendsStarted_) sendsTotal_ = sendsStarted_;
    host_.ShowStatus(FormatUiString(ui_text::kSendingCount, {Widen(std::to_string(sendsStarted_)),
                                                             Widen(std::to_string(sendsTotal_))}));
}

void OutboxRun::End() {
    running_ = false;
    slot_ = -1;
    queue_.clear();
    if (!runFailures_.empty()) {
        host_.ShowStatus(LoadUiString(ui_text::kSendFailed));
        host_.Window().ShowMessageText(LoadUiString(ui_text::kSomeNotSent) + u"\n" + runFailures_);
    } else if (sendsStarted_ > 0) {
        if (NextUnservedPosition(host_.Tables().Table(FolderId::Outbox), {}) < 0)
            host_.ShowStatus(LoadUiString(ui_text::kSendComplete));
    }
    host_.PostBusy(BusyHolder::kOutboxRun, false);
}

void OutboxRun::MoveServedToSent() {
    const FolderTable& outbox = host_.Tables().Table(FolderId::Outbox);
    for (int position = 0; position < kFolderSlots; ++position) {
        if (!outbox.IsUsed(position) || !outbox.entries[position].record.number.empty()) continue;
        if (!MoveToSent(position, outbox.entries[position].record, false)) return;
    }
}

bool OutboxRun::MoveToSent(int position, const SmsRecord& served, bool show) {
    // Until Sent takes it, it waits in the Outbox with no recipient left, neither lost nor sent
    // again.  Sent may hold it already: its Outbox copy outlived a failed save.
    FolderTables& tables = host_.Tables();
    const SmsRecord record = AsSent(served);
    if (!SentHolds(record)) {
        bool full = false;
        const bool saved = tables.Change(FolderId::Sent, [&](FolderTable& sent) {
            full = sent.Add(record) == 0;
            return !full;
        });
        if (full) {
            host_.Window().Beep();
            host_.ShowStatus(LoadUiString(ui_text::kSentFull));
            return true;
        }
        if (!saved) return false;
    }
    // Sent holds it: the Outbox lets it go.  A failed save leaves it gone here, unsaved, and a
    // later move finds it in Sent.
    tables.Table(FolderId::Outbox).Remove(position);
    if (!tables.Save(FolderId::Outbox)) return false;
    if (show) host_.ShowFolder(static_cast<int>(FolderId::Sent));
    return true;
}

bool OutboxRun::SentHolds(const SmsRecord& record) {
    for (const FolderEntry& entry : host_.Tables().Table(FolderId::Sent).entries)
        if (entry.slot >= 0 && entry.record == record) return true;
    return false;
}

bool OutboxRun::Record(const SmsRecord& record) {
    // Kept in the table even when its save fails: the run stops, and no later run in this
    // program sends to the recipient struck off.
    FolderTables& tables = host_.Tables();
    SmsRecord* held = tables.Record(FolderId::Outbox, slot_);
    if (held == nullptr) return false;
    *held = record;
    return tables.Save(FolderId::Outbox);
}

void OutboxRun::Confirmed(const std::vector<int>& references) {
    if (!running_) return;
    const SmsRecord* held = host_.Tables().Record(FolderId::Outbox, slot_);
    if (held == nullptr || queue_.empty()) return Next();
    SmsRecord record = *held;
    const std::u16string recipient = queue_.front();
    queue_.erase(queue_.begin());

    // Who is still to be served is saved at once, so that no later run sends to anyone twice.
    Progress progress = ParseProgress(record.extra);
    if (progress.recipients.empty()) progress.recipients = record.number;
    if (reportsAsked_) {
        for (const int reference : references)
            AppendDeliveryEntry(progress.reports,
                                {sentTo_, reference & 0xFF, DeliveryState::kPending});
    }
    record.number = WithoutRecipient(record.number, recipient);
    record.extra = FormatProgress(progress);
    if (!Record(record)) return End();
    Next();
}

void OutboxRun::SendEnded(const JobResult& result) {
    awaiting_ = 0;
    if (result.Ok()) {
        if (!result.references.empty())
            host_.ShowStatus(LoadUiString(ui_text::kSmsNumber) + u" " +
                             Widen(std::to_string(result.references.back())));
        return Confirmed(std::vector<int>(result.references.begin(), result.references.end()));
    }
    if (result.status == JobStatus::kNotConfirmed) return NotConfirmed(Utf8ToU16(result.reason));
    Failed(Utf8ToU16(result.reason));
}

void OutboxRun::NotConfirmed(const std::u16string& reason) {
    if (!running_) return;
    if (!HoldUnconfirmed(reason)) return End();
    Next();
}

bool OutboxRun::HoldUnconfirmed(const std::u16string& reason) {
    const SmsRecord* held = host_.Tables().Record(FolderId::Outbox, slot_);
    if (held == nullptr || queue_.empty()) return true;
    SmsRecord record = *held;
    const std::u16string recipient = queue_.front();
    queue_.erase(queue_.begin());
    const std::u16string line = recipient + u": " + LoadUiString(ui_text::kNotConfirmed) +
                                (reason.empty() ? u"" : u" (" + reason + u")");
    host_.ShowStatus(line);
    runFailures_ += (runFailures_.empty() ? u"" : u"\n") + line;
    // Held back, in the saved record, before anything else is sent.
    Progress progress = ParseProgress(record.extra);
    if (progress.recipients.empty()) progress.recipients = record.number;
    progress.unconfirmed += (progress.unconfirmed.empty() ? u"" : u";") + recipient;
    record.extra = FormatProgress(progress);
    return Record(record);
}

void OutboxRun::Failed(const std::u16string& reason) {
    if (!running_) return;
    if (slot_ < 0 || queue_.empty()) return Next();
    if (!MarkFailed(reason)) return End();
    Next();
}

bool OutboxRun::MarkFailed(const std::u16string& reason) {
    // The recipient waits for the next run; the message's other recipients are still served.
    const std::u16string recipient = queue_.front();
    queue_.erase(queue_.begin());
    const std::u16string line = recipient + u": " + reason;
    host_.ShowStatus(LoadUiString(ui_text::kSendFailed) + u": " + line);
    runFailures_ += (runFailures_.empty() ? u"" : u"\n") + line;

    // The recipient stays in the record; the reason is kept with it, for the Outbox to show.
    const SmsRecord* held = host_.Tables().Record(FolderId::Outbox, slot_);
    if (held == nullptr) return true;
    SmsRecord record = *held;
    record.status = std::u16string(kFailedStatus) + line;
    return Record(record);
}

}  // namespace telvane
