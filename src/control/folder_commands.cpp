#include "control/folder_commands.h"

#include <algorithm>
#include <string>
#include <utility>

#include "codec/message_joiner.h"
#include "control/delivery_reports.h"
#include "control/inbox_merge.h"
#include "control/outbox_run.h"
#include "platform/text.h"
#include "store/list_date.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;
// The delete mode for one index.
constexpr int kDeleteOne = 0;
// Between tries of a delete the engine refused because its last one was still ending.
constexpr int64_t kDeleteRetryMs = 20;

constexpr int kInbox = static_cast<int>(FolderId::Inbox);
constexpr int kSent = static_cast<int>(FolderId::Sent);
constexpr int kOutbox = static_cast<int>(FolderId::Outbox);
constexpr int kDraft = static_cast<int>(FolderId::Draft);
constexpr int kSaved = static_cast<int>(FolderId::Saved);
constexpr FolderTableKind kShown = FolderTableKind::kShown;
constexpr FolderTableKind kTransfer = FolderTableKind::kTransfer;

const std::u16string kUnread = u"REC UNREAD";
const std::u16string kRead = u"REC READ";
const std::u16string kUnsent = u"STO UNSENT";

FolderId Folder(int folder) {
    return static_cast<FolderId>(folder);
}

std::u16string Quoted(const std::u16string& body) {
    std::u16string quoted = u"> ";
    for (char16_t c : body) {
        quoted += c;
        if (c == u'\n') quoted += u"> ";
    }
    return quoted;
}

// In the Inbox, what the SIM keeps as written on the phone stands apart from what arrived.
int RowIcon(int folder, const std::u16string& status) {
    if (status == kUnread) return kIconUnread;
    if (folder == kInbox && status.starts_with(u"STO")) return kIconOutgoing;
    return kIconRead;
}

}  // namespace

void FolderCommands::ShowFolder(int folder) {
    host_.Window().SelectFolderTab(folder);
    LoadFolder(host_, store_, kShown, Folder(folder));
    FillMessageList();
    host_.Window().FolderShown(folder);
}

void FolderCommands::FillMessageList() {
    WindowInterface& window = host_.Window();
    window.SetDetail({}, {}, {});
    window.ClearMessageList();
    int rows = 0;
    const FolderTable& table = store_.Shown();
    const int folder = window.CurrentFolderTab();
    for (int position = 0; position < kFolderSlots; ++position) {
        if (!table.IsUsed(position)) continue;
        const SmsRecord& record = table.entries[position].record;
        window.AppendMessageRow(RowIcon(folder, record.status), record.number,
                                FormatListDate(record.time), TextWithSendFailure(record), position);
        ++rows;
    }
    window.SortMessageListByTime();
    host_.ShowStatus(Widen(std::to_string(rows)) + u" SMS " + LoadUiString(ui_text::kMessage));
    window.ShowFolderButtons(folder == kInbox || folder == kSaved, folder == kDraft);
}

void FolderCommands::OpenMessage(int row) {
    WindowInterface& window = host_.Window();
    if (row < 0 || row >= window.MessageRowCount()) return;
    const int position = window.MessageRowData(row);
    SmsRecord* record = store_.ShownRecord(position);
    if (record == nullptr) return;
    window.SetDetail(record->number, FormatListDate(record->time), record->text);
    const std::u16string delivery = DeliverySummary(*record);
    if (!delivery.empty()) window.SetDetailStatus(delivery);
    if (record->status == kUnread) {
        // Only the folder file remembers it; the SIM's own status stays.
        record->status = kRead;
        if (SaveFolder(host_, store_, kShown, Folder(window.CurrentFolderTab()))) {
            window.SetMessageRowIcon(row, kIconRead);
        } else {
            record->status = kUnread;
        }
    }
}

namespace {

// The merged Inbox in the form the store rebuilds the Inbox from.
class MergedListing : public MessageListing {
  public:
    explicit MergedListing(const FolderTable& table) {
        for (const FolderEntry& entry : table.entries)
            if (entry.slot >= 0) records_.push_back(entry.record);
    }
    int32_t ListingSize() const override { return static_cast<int32_t>(records_.size()); }
    SmsRecord ListingEntry(int32_t position) const override {
        if (position < 0 || position >= ListingSize()) return SmsRecord{};
        return records_[static_cast<size_t>(position)];
    }

  private:
    std::vector<SmsRecord> records_;
};

std::u16string MissingMarker() {
    return LoadUiString(ui_text::kPartMissing);
}

std::u16string WithCount(UiText text, int first, int second = 0) {
    std::u16string out = LoadUiString(text);
    for (const auto& [mark, value] : {std::pair{u"%1", first}, std::pair{u"%2", second}}) {
        const size_t at = out.find(mark);
        if (at != std::u16string::npos) out.replace(at, 2, Widen(std::to_string(value)));
    }
    return out;
}

}  // namespace

void FolderCommands::RefreshInbox(const std::vector<SmsPart>& listed, int simHolds) {
    // What the user did here is in the Inbox's file, not in the listing.
    LoadFolder(host_, store_, kShown, FolderId::Inbox);
    std::vector<SmsRecord> messages;
    for (JoinedMessage& joined : JoinParts(listed, MissingMarker()))
        messages.push_back(std::move(joined.record));
    const InboxMerge merge = MergeInbox(store_.Shown(), messages);
    if (store_.RefreshInboxFromModem(MergedListing(merge.inbox)) == 0)
        host_.ReportFileError(ui_text::kSaveFailed, store_.LastError());
    ShowFolder(kInbox);
    // A full listing may stop short of what the SIM holds.
    const int partsListed = static_cast<int>(listed.size());
    int notShown = merge.notShown;
    if (partsListed >= kFolderSlots && simHolds > partsListed) notShown += simHolds - partsListed;
    if (notShown > 0) host_.ShowStatus(WithCount(ui_text::kMoreOnSim, notShown));
}

void FolderCommands::AddArrived(const std::vector<SmsPart>& messages) {
    if (messages.empty()) return;
    // A store of its own: the shown folder and a run in progress keep their tables.
    MessageStore inbox;
    LoadFolder(host_, inbox, kShown, FolderId::Inbox);
    FolderTable table = inbox.Shown();
    bool added = false;
    for (const SmsPart& message : messages) {
        // A full Inbox leaves it on the SIM for the next listing.
        const Arrival arrival = AddArrivedPart(table, message, MissingMarker());
        if (arrival.position < 0 || !arrival.changed) continue;
        added = true;
        const SmsRecord& record = table.entries[static_cast<size_t>(arrival.position)].record;
        host_.ShowStatus(LoadUiString(ui_text::kNewMessage) + u": " + record.number);
        host_.Window().NotifyDesktop(LoadUiString(ui_text::kNewMessage),
                                     record.number + u"\n" + message.record.text);
    }
    if (!added) return;
    // Positions stay put: rows of the shown Inbox keep naming their records.
    for (int position = 0; position < kFolderSlots; ++position) {
        const FolderEntry& entry = table.entries[static_cast<size_t>(position)];
        if (entry.slot < 0) continue;
        if (SmsRecord* held = inbox.ShownRecord(position)) {
            *held = entry.record;
        } else {
            // The lowest free slot, this one, as in `table`.
            inbox.AddShown(entry.record);
        }
    }
    if (!SaveFolder(host_, inbox, kShown, FolderId::Inbox)) return;
    WindowInterface& window = host_.Window();
    // The list shows it at once when the Inbox is the folder shown (a run on it reloads itself).
    if (window.CurrentFolderTab() == kInbox && !host_.Busy()) {
        LoadFolder(host_, store_, kShown, FolderId::Inbox);
        FillMessageList();
        host_.ShowStatus(LoadUiString(ui_text::kNewMessage) + u": " +
                         messages.back().record.number);
    }
}

void FolderCommands::ApplyStatusReports(const std::vector<StatusReport>& reports) {
    if (reports.empty()) return;
    // A store of its own: the shown folder and a run in progress keep their tables.
    MessageStore sent;
    LoadFolder(host_, sent, kShown, FolderId::Sent);
    FolderTable table = sent.Shown();
    std::vector<ReportMatch> matches;
    for (const StatusReport& report : reports)
        if (std::optional<ReportMatch> match = ApplyStatusReport(table, report))
            matches.push_back(std::move(*match));
    if (matches.empty()) return;
    for (const ReportMatch& match : matches)
        *sent.ShownRecord(match.position) =
            table.entries[static_cast<size_t>(match.position)].record;
    if (!SaveFolder(host_, sent, kShown, FolderId::Sent)) return;
    const ReportMatch& last = matches.back();
    host_.ShowStatus(LoadUiString(last.state == DeliveryState::kDelivered
                                      ? ui_text::kDelivered
                                      : ui_text::kNotDelivered) +
                     u": " + last.number);
    WindowInterface& window = host_.Window();
    if (window.CurrentFolderTab() == kSent && !host_.Busy() && !deleteRun_) {
        LoadFolder(host_, store_, kShown, FolderId::Sent);
        FillMessageList();
    }
}

// ---- delete ----

void FolderCommands::DeleteTicked() {
    WindowInterface& window = host_.Window();
    if (host_.Busy() || deleteRun_) {
        window.Beep();
        return;
    }
    host_.PostBusy(BusyHolder::kDeleteRun, true);
    DeleteRun run;
    run.folder = window.CurrentFolderTab();
    LoadFolder(host_, store_, kShown, Folder(run.folder));
    for (int row = 0; row < window.MessageRowCount(); ++row) {
        const int position = window.MessageRowData(row);
        if (window.IsMessageRowTicked(row) && store_.Shown().IsUsed(position))
            run.positions.push_back(position);
    }
    // Inbox messages live on the SIM: offline, nothing is deleted.
    const bool onSim = run.folder == kInbox && !run.positions.empty();
    if (onSim && (!host_.Online() || host_.Engine() == nullptr)) {
        ShowFolder(run.folder);
        host_.PostBusy(BusyHolder::kDeleteRun, false);
        return;
    }
    deleteRun_ = std::move(run);
    if (!onSim) {
        for (; deleteRun_->record < deleteRun_->positions.size(); ++deleteRun_->record)
            RemoveCurrent();
        return FinishDelete(false);
    }
    deleteRun_->sim = SimIndexes(store_.Shown().entries[deleteRun_->positions[0]].record);
    DeleteNext();
}

void FolderCommands::DeleteNext() {
    DeleteRun& run = *deleteRun_;
    while (run.done >= run.sim.size()) {
        // A record made here has no place on the SIM: it only leaves the folder.
        RemoveCurrent();
        if (++run.record >= run.positions.size()) return FinishDelete(false);
        run.sim = SimIndexes(store_.Shown().entries[run.positions[run.record]].record);
        run.done = 0;
    }
    if (host_.Engine() == nullptr) return FinishDelete(true);
    const int32_t index = run.sim[run.done];
    const JobHandle job = host_.RunJob(
        [index](LinkEngine& engine, JobDone done) {
            return engine.DeleteMessages(kDeleteOne, index, std::move(done));
        },
        [this](const JobResult& result) { Deleted(result.Ok()); });
    if (!job) {
        // The last delete's worker may still be leaving after its answer came.
        if (++run.refusals >= kStartAttempts) return FinishDelete(true);
        host_.StartTimer(kTimerDeleteStep, kDeleteRetryMs);
        return;
    }
    run.refusals = 0;
    run.waiting = true;
    host_.ShowStatus(WithCount(ui_text::kDeletingCount, static_cast<int>(run.record) + 1,
                               static_cast<int>(run.positions.size())));
}

void FolderCommands::DeleteTick() {
    host_.Window().KillTimer(kTimerDeleteStep);
    if (deleteRun_ && !deleteRun_->waiting) DeleteNext();
}

void FolderCommands::Deleted(bool ok) {
    if (!deleteRun_ || !deleteRun_->waiting) return;
    DeleteRun& run = *deleteRun_;
    run.waiting = false;
    if (ok) {
        ++run.done;
        return DeleteNext();
    }
    if (run.done > 0) {
        // Some parts are gone: the message keeps the rest, the gone ones marked missing as the
        // next listing would show them.
        const int position = run.positions[run.record];
        SmsRecord* record = store_.ShownRecord(position);
        if (record != nullptr) {
            const std::vector<int32_t> gone(run.sim.begin(),
                                            run.sim.begin() + static_cast<ptrdiff_t>(run.done));
            std::vector<SmsPart> kept;
            for (SmsPart& part : SplitJoined(*record))
                if (std::find(gone.begin(), gone.end(), part.record.index) == gone.end())
                    kept.push_back(std::move(part));
            std::vector<JoinedMessage> joined = JoinParts(kept, MissingMarker());
            if (joined.size() == 1) {
                const std::u16string status = record->status;
                *record = std::move(joined.front().record);
                record->status = status;
            }
        }
    }
    FinishDelete(true);
}

void FolderCommands::StopRuns() {
    if (!deleteRun_) return;
    host_.Window().KillTimer(kTimerDeleteStep);
    FinishDelete(true);
}

void FolderCommands::RemoveCurrent() {
    const int position = deleteRun_->positions[deleteRun_->record];
    store_.RemoveShown(position);
    WindowInterface& window = host_.Window();
    const int row = window.FindMessageRow(position);
    if (row >= 0) window.RemoveMessageRow(row);
}

void FolderCommands::FinishDelete(bool failed) {
    const int folder = deleteRun_->folder;
    deleteRun_.reset();
    host_.Window().KillTimer(kTimerDeleteStep);
    // Messages gone from the SIM leave the file too; a failed save keeps its reason shown.
    const bool saved = SaveFolder(host_, store_, kShown, Folder(folder));
    ShowFolder(host_.Window().CurrentFolderTab());
    if (failed && saved) host_.ShowStatus(LoadUiString(ui_text::kDeleteFailed));
    host_.PostBusy(BusyHolder::kDeleteRun, false);
}

// ---- copy and move ----

void FolderCommands::CopyTicked() {
    WindowInterface& window = host_.Window();
    if (host_.Busy()) {
        window.Beep();
        return;
    }
    const int target = window.SaveToFolder();
    if (target < 0) {
        window.Beep();
        return;
    }
    const int source = window.CurrentFolderTab();
    const bool move =
        (source == kOutbox && target == kDraft) || (source == kDraft && target == kOutbox);
    LoadFolder(host_, store_, kShown, Folder(source));
    LoadFolder(host_, store_, kTransfer, Folder(target));
    std::vector<int> moved;
    for (int row = 0; row < window.MessageRowCount(); ++row) {
        const int position = window.MessageRowData(row);
        if (!window.IsMessageRowTicked(row) || !store_.Shown().IsUsed(position)) continue;
        SmsRecord copy = store_.Shown().entries[static_cast<size_t>(position)].record;
        if (target == kInbox) copy.status = kUnread;
        if (target == kOutbox) copy.status = kUnsent;
        // A full target takes nothing; the copy goes on with the next row.
        if (store_.AddTransfer(copy) == 0) continue;
        if (move) moved.push_back(position);
    }
    // A move leaves its source only once the target holds the records.
    if (SaveFolder(host_, store_, kTransfer, Folder(target)) && !moved.empty()) {
        for (int position : moved)
            store_.RemoveShown(position);
        SaveFolder(host_, store_, kShown, Folder(source));
    }
    ShowFolder(target);
}

// ---- compose page ----

void FolderCommands::SaveComposed() {
    WindowInterface& window = host_.Window();
    if (host_.Busy()) {
        window.Beep();
        return;
    }
    const std::u16string recipients = window.RecipientText();
    if (recipients.empty()) {
        window.ShowMessageBox(ui_text::kInvalidPhoneNumber);
        return;
    }
    const std::u16string body = window.ComposeText();
    if (body.empty()) {
        window.ShowMessageBox(ui_text::kPleaseInputMessage);
        return;
    }
    const int folder = window.SaveToFolder();
    if (folder < 0) {
        window.Beep();
        return;
    }
    SmsRecord record;
    record.index = -1;
    record.status = kUnsent;
    record.number = recipients;
    record.time = MakeLocalTimeStamp();
    record.text = body;
    LoadFolder(host_, store_, kShown, Folder(folder));
    if (store_.AddShown(record) == 0) {
        // The folder is full: stay with the message.
        window.Beep();
        return;
    }
    // Not stored: stay with the message; the error says why.
    if (!SaveFolder(host_, store_, kShown, Folder(folder))) return;
    host_.GoToPage(kPageMessages);
    ShowFolder(folder);
}

void FolderCommands::Reply() {
    WindowInterface& window = host_.Window();
    const int folder = window.CurrentFolderTab();
    if ((folder != kInbox && folder != kSaved) || window.SelectedMessageRow() < 0) return;
    editedDraft_.reset();
    window.SetRecipientText(window.DetailNumber());
    window.SetComposeText(Quoted(window.DetailBody()));
    host_.GoToPage(kPageCompose);
}

void FolderCommands::Forward() {
    WindowInterface& window = host_.Window();
    const int folder = window.CurrentFolderTab();
    if ((folder != kInbox && folder != kSaved) || window.SelectedMessageRow() < 0) return;
    editedDraft_.reset();
    window.SetRecipientText({});
    window.SetComposeText(Quoted(window.DetailBody()));
    host_.GoToPage(kPageCompose);
}

void FolderCommands::EditMessage() {
    WindowInterface& window = host_.Window();
    const int row = window.SelectedMessageRow();
    if (row < 0) return;
    editedDraft_.reset();
    if (window.CurrentFolderTab() == kDraft) {
        const int position = window.MessageRowData(row);
        if (const SmsRecord* record = store_.ShownRecord(position)) {
            editedDraft_ = EditedDraft{position, *record};
        }
    }
    window.SetRecipientText(window.DetailNumber());
    window.SetComposeText(window.DetailBody());
    host_.GoToPage(kPageCompose);
}

void FolderCommands::EditedDraftQueued() {
    if (!editedDraft_) return;
    const EditedDraft draft = std::move(*editedDraft_);
    editedDraft_.reset();
    MessageStore drafts;
    // A damaged file is not written over: what could not be read would be lost.
    if (!LoadFolder(host_, drafts, kShown, FolderId::Draft)) return;
    const FolderTable& table = drafts.Shown();
    if (!table.IsUsed(draft.position) || table.entries[draft.position].record != draft.record) {
        return;
    }
    drafts.RemoveShown(draft.position);
    SaveFolder(host_, drafts, kShown, FolderId::Draft);
}

}  // namespace telvane
