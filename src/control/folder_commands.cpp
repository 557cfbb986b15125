#include "control/folder_commands.h"

#include <algorithm>
#include <string>
#include <utility>

#include "codec/message_joiner.h"
#include "control/delivery_reports.h"
#include "control/history_feed.h"
#include "control/inbox_merge.h"
#include "control/more_messages.h"
#include "control/outbox_run.h"
#include "platform/text.h"
#include "store/list_date.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;
// The delete mode for one index.
// Between tries of a delete the engine refused because its last one was still ending.
constexpr int64_t kDeleteRetryMs = 20;

constexpr int kInbox = static_cast<int>(FolderId::Inbox);
constexpr int kSent = static_cast<int>(FolderId::Sent);
constexpr int kOutbox = static_cast<int>(FolderId::Outbox);
constexpr int kDraft = static_cast<int>(FolderId::Draft);
constexpr int kSaved = static_cast<int>(FolderId::Saved);

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

FolderTable& FolderCommands::Shown() {
    return host_.Tables().Table(Folder(host_.Window().CurrentFolderTab()));
}

void FolderCommands::ShowFolder(int folder) {
    host_.Window().SelectFolderTab(folder);
    // The file may have changed outside (another copy, a restore); what it could not give is
    // told by the load.
    static_cast<void>(host_.Tables().Reload(Folder(folder)));
    FillMessageList();
    host_.Window().FolderShown(folder);
}

void FolderCommands::FillMessageList() {
    WindowInterface& window = host_.Window();
    window.SetDetail({}, {}, {});
    window.ClearMessageList();
    int rows = 0;
    const FolderTable& table = Shown();
    const int folder = window.CurrentFolderTab();
    for (int position = 0; position < kFolderSlots; ++position) {
        if (!table.IsUsed(position)) continue;
        const SmsRecord& record = table.entries[position].record;
        window.AppendMessageRow(RowIcon(folder, record.status), record.number,
                                FormatListDate(record.time), TextWithSendFailure(record), position);
        ++rows;
    }
    // Before the sort, which fits the columns to what they show.
    if (folder == kInbox) MarkStores(table);
    window.SortMessageListByTime();
    host_.ShowStatus(Widen(std::to_string(rows)) + u" SMS " + LoadUiString(ui_text::kMessage));
    window.ShowFolderButtons(folder == kInbox || folder == kSaved, folder == kDraft);
}

void FolderCommands::MarkStores(const FolderTable& inbox) {
    WindowInterface& window = host_.Window();
    for (int position = 0; position < kFolderSlots; ++position) {
        if (!inbox.IsUsed(position)) continue;
        // The listing tells where each message is; the Inbox's file does not keep it.
        const std::optional<std::string> store = StoreOf(inbox.entries[position].record);
        if (!store || store->empty() || *store == "SM") continue;
        const std::u16string name = Widen(*store);
        const std::u16string tip = *store == "ME" ? LoadUiString(ui_text::kInPhoneMemory)
                                                  : FormatUiString(ui_text::kInStoreMemory, {name});
        window.SetMessageRowMark(window.FindMessageRow(position), name, tip);
    }
}

void FolderCommands::OpenMessage(int row) {
    WindowInterface& window = host_.Window();
    if (row < 0 || row >= window.MessageRowCount()) return;
    const int position = window.MessageRowData(row);
    const FolderId folder = Folder(window.CurrentFolderTab());
    SmsRecord* record = host_.Tables().Record(folder, position);
    if (record == nullptr) return;
    window.SetDetail(record->number, FormatListDate(record->time), record->text);
    const std::u16string sendState = SendStateOf(*record);
    const std::u16string delivery = DeliverySummary(*record);
    if (!sendState.empty() || !delivery.empty())
        window.SetDetailStatus(sendState + (sendState.empty() || delivery.empty() ? u"" : u"\r\n") +
                               delivery);
    if (record->status == kUnread) {
        // Only the folder file remembers it; the SIM's own status stays.
        const bool saved = host_.Tables().Change(folder, [position](FolderTable& table) {
            table.entries[static_cast<size_t>(position)].record.status = kRead;
            return true;
        });
        if (saved) window.SetMessageRowIcon(row, kIconRead);
    }
}

namespace {

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

// Who wrote, as the user knows them: the name, else the number.
std::u16string SenderOf(const WindowInterface& window, const std::u16string& number) {
    std::u16string name = window.NameOf(number);
    return name.empty() ? number : name;
}

// Every part of the record's message is here.
bool IsWhole(const SmsRecord& record) {
    const std::optional<PartsNote> note = ParsePartsNote(record.extra);
    if (!note) return true;
    if (static_cast<int>(note->segments.size()) != note->concat.total) return false;
    return std::all_of(note->segments.begin(), note->segments.end(),
                       [](const JoinedSegment& segment) { return segment.index >= 0; });
}

}  // namespace

void FolderCommands::SawOnSim(const std::vector<SmsPart>& parts) {
    for (const SmsPart& part : parts)
        if (part.record.index >= 0)
            simSenders_[{part.record.store, part.record.index}] = {part.record.number,
                                                                   part.record.time};
}

std::optional<std::string> FolderCommands::StoreOf(const SmsRecord& record) const {
    if (!record.store.empty()) return record.store;
    const std::vector<int32_t> indexes = SimIndexes(record);
    if (indexes.empty()) return std::nullopt;
    std::vector<std::string> holding, sameTime;
    for (const auto& entry : simSenders_) {
        // Named, not bound: clang 14 lets no lambda capture a structured binding.
        const auto& key = entry.first;
        const auto& seen = entry.second;
        if (key.second != indexes.front() || seen.number != record.number) continue;
        const bool all = std::all_of(indexes.begin(), indexes.end(), [&](int32_t index) {
            const auto other = simSenders_.find({key.first, index});
            return other != simSenders_.end() && other->second.number == record.number;
        });
        if (!all) continue;
        holding.push_back(key.first);
        if (seen.time == record.time) sameTime.push_back(key.first);
    }
    if (holding.size() == 1) return holding.front();
    // The same sender at the same index of two stores: the time tells, or nothing is deleted
    // there (the message shows again at the next listing rather than another one going).
    if (sameTime.size() == 1) return sameTime.front();
    return std::nullopt;
}

std::vector<int32_t> FolderCommands::TrustedIndexes(const SmsRecord& record,
                                                    const std::string& store) const {
    std::vector<int32_t> trusted;
    for (const int32_t index : SimIndexes(record)) {
        const auto seen = simSenders_.find({store, index});
        if (seen != simSenders_.end() && seen->second.number == record.number)
            trusted.push_back(index);
    }
    return trusted;
}

void FolderCommands::RefreshInbox(const std::vector<SmsPart>& listed, int simHolds) {
    // The listing is what the SIM holds now: the indexes of earlier ones mean nothing.
    simSenders_.clear();
    SawOnSim(listed);
    // What the user did here is in the Inbox's file, not in the listing.
    FolderTables& tables = host_.Tables();
    static_cast<void>(tables.Reload(FolderId::Inbox));
    std::vector<SmsRecord> messages;
    for (JoinedMessage& joined : JoinParts(listed, MissingMarker()))
        messages.push_back(std::move(joined.record));
    // The history keeps every listed message, also those beyond what the Inbox holds.
    if (HistoryFeed* history = tables.History()) history->Listed(messages);
    FolderTable& inbox = tables.Table(FolderId::Inbox);
    const InboxMerge merge = MergeInbox(inbox, messages);
    // In the merged order, from the first position, as the listing gave them.
    inbox.Clear();
    for (const FolderEntry& entry : merge.inbox.entries)
        if (entry.slot >= 0) inbox.Add(entry.record);
    // A failed save keeps the merged Inbox here, unsaved, and says why.
    static_cast<void>(tables.Save(FolderId::Inbox));
    ShowFolder(kInbox);
    // A full listing may stop short of what the SIM holds (the count is the SIM's store's).
    const auto onSim = std::count_if(listed.begin(), listed.end(), [](const SmsPart& part) {
        return part.record.store.empty() || part.record.store == "SM";
    });
    const int unlisted = static_cast<int>(listed.size()) >= kFolderSlots && simHolds > onSim
                             ? simHolds - static_cast<int>(onSim)
                             : 0;
    const std::u16string more = MoreMessagesText(merge.notShownStores, unlisted);
    if (!more.empty()) host_.ShowStatus(more);
}

void FolderCommands::AddArrived(const std::vector<SmsPart>& messages) {
    if (messages.empty()) return;
    SawOnSim(messages);
    // The Inbox's one table: a delete or an open under way works on the same records.
    FolderTables& tables = host_.Tables();
    FolderTable& inbox = tables.Table(FolderId::Inbox);
    bool added = false;
    for (const SmsPart& message : messages) {
        // A full Inbox leaves it on the SIM for the next listing.
        const Arrival arrival = AddArrivedPart(inbox, message, MissingMarker());
        if (arrival.position < 0 || !arrival.changed) continue;
        added = true;
        const SmsRecord& record = inbox.entries[static_cast<size_t>(arrival.position)].record;
        const std::u16string sender = SenderOf(host_.Window(), record.number);
        host_.ShowStatus(LoadUiString(ui_text::kNewMessage) + u": " + sender);
        // A long message is announced once, whole, not from the middle of a sentence.
        if (IsWhole(record))
            host_.Window().NotifyDesktop(LoadUiString(ui_text::kNewMessage),
                                         sender + u"\n" + record.text);
    }
    if (!added) return;
    // A failed save keeps the message here, unsaved: the next save of the Inbox writes it.
    if (!tables.Save(FolderId::Inbox)) return;
    WindowInterface& window = host_.Window();
    // The list shows it at once when the Inbox is the folder shown (a run on it refills it).
    if (window.CurrentFolderTab() == kInbox && !host_.Busy() && !deleteRun_) {
        FillMessageList();
        host_.ShowStatus(LoadUiString(ui_text::kNewMessage) + u": " +
                         SenderOf(window, messages.back().record.number));
    }
}

void FolderCommands::ApplyStatusReports(const std::vector<StatusReport>& reports) {
    if (reports.empty()) return;
    std::vector<ReportMatch> matches;
    const bool saved = host_.Tables().Change(FolderId::Sent, [&](FolderTable& table) {
        for (const StatusReport& report : reports)
            if (std::optional<ReportMatch> match = ApplyStatusReport(table, report))
                matches.push_back(std::move(*match));
        return !matches.empty();
    });
    if (!saved) return;
    const ReportMatch& last = matches.back();
    host_.ShowStatus(LoadUiString(last.state == DeliveryState::kDelivered
                                      ? ui_text::kDelivered
                                      : ui_text::kNotDelivered) +
                     u": " + last.number);
    WindowInterface& window = host_.Window();
    if (window.CurrentFolderTab() == kSent && !host_.Busy() && !deleteRun_) FillMessageList();
}

void FolderCommands::MarkUnread(const std::vector<int>& rows) {
    WindowInterface& window = host_.Window();
    if (host_.Busy()) {
        window.Beep();
        return;
    }
    const FolderId folder = Folder(window.CurrentFolderTab());
    FolderTables& tables = host_.Tables();
    // A damaged file is not written over: what could not be read would be lost.
    if (!tables.Reload(folder)) return;
    const bool saved = tables.Change(folder, [&](FolderTable& table) {
        bool changed = false;
        for (int row : rows) {
            if (row < 0 || row >= window.MessageRowCount()) continue;
            const int position = window.MessageRowData(row);
            // Only received messages have an unread state.
            if (!table.IsUsed(position)) continue;
            SmsRecord& record = table.entries[static_cast<size_t>(position)].record;
            if (record.status != kRead) continue;
            record.status = kUnread;
            changed = true;
        }
        return changed;
    });
    if (saved) FillMessageList();
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
    // The rows name positions of the folder's one table, as the list was filled from it.
    const FolderTable& table = Shown();
    for (int row = 0; row < window.MessageRowCount(); ++row) {
        const int position = window.MessageRowData(row);
        if (window.IsMessageRowTicked(row) && table.IsUsed(position))
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
    const SmsRecord& first = table.entries[deleteRun_->positions[0]].record;
    const std::optional<std::string> store = StoreOf(first);
    deleteRun_->store = store.value_or(std::string());
    deleteRun_->sim = store ? TrustedIndexes(first, *store) : std::vector<int32_t>{};
    DeleteNext();
}

void FolderCommands::DeleteNext() {
    DeleteRun& run = *deleteRun_;
    while (run.done >= run.sim.size()) {
        // A record made here, or one this connection has not seen on the SIM, only leaves the
        // folder.
        RemoveCurrent();
        if (++run.record >= run.positions.size()) return FinishDelete(false);
        const SmsRecord* next =
            host_.Tables().Record(Folder(run.folder), run.positions[run.record]);
        const std::optional<std::string> store =
            next != nullptr ? StoreOf(*next) : std::optional<std::string>();
        run.store = store.value_or(std::string());
        run.sim = store ? TrustedIndexes(*next, *store) : std::vector<int32_t>{};
        run.done = 0;
    }
    if (host_.Engine() == nullptr) return FinishDelete(true);
    const int32_t index = run.sim[run.done];
    const JobHandle job = host_.RunJob(
        [index, store = run.store](LinkEngine& engine, JobDone done) {
            return engine.DeleteStoredMessage(store, index, std::move(done));
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
        simSenders_.erase({run.store, run.sim[run.done]});
        ++run.done;
        return DeleteNext();
    }
    if (run.done > 0) {
        // Some parts are gone: the message keeps the rest, the gone ones marked missing as the
        // next listing would show them.
        const int position = run.positions[run.record];
        SmsRecord* record = host_.Tables().Record(Folder(run.folder), position);
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
    host_.Tables().Table(Folder(deleteRun_->folder)).Remove(position);
    WindowInterface& window = host_.Window();
    const int row = window.FindMessageRow(position);
    if (row >= 0) window.RemoveMessageRow(row);
}

void FolderCommands::FinishDelete(bool failed) {
    const int folder = deleteRun_->folder;
    deleteRun_.reset();
    host_.Window().KillTimer(kTimerDeleteStep);
    // Messages gone from the SIM leave the file too; a failed save keeps its reason shown, and
    // the table keeps them gone for the next save.
    const bool saved = host_.Tables().Save(Folder(folder));
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
    FolderTables& tables = host_.Tables();
    std::vector<int> moved;
    std::vector<SmsRecord> copies;
    const FolderTable& from = tables.Table(Folder(source));
    for (int row = 0; row < window.MessageRowCount(); ++row) {
        const int position = window.MessageRowData(row);
        if (!window.IsMessageRowTicked(row) || !from.IsUsed(position)) continue;
        SmsRecord copy = from.entries[static_cast<size_t>(position)].record;
        if (target == kInbox) copy.status = kUnread;
        if (target == kOutbox) {
            // Into the Outbox by the user's hand: recipients held back unconfirmed go again.
            copy.status = kUnsent;
            ReleaseUnconfirmed(copy);
        }
        copies.push_back(std::move(copy));
        if (move) moved.push_back(position);
    }
    // Nothing to copy: the user stays where the messages are.
    if (copies.empty()) {
        window.Beep();
        return;
    }
    if (target != source) static_cast<void>(tables.Reload(Folder(target)));
    size_t taken = 0;
    const bool saved = tables.Change(Folder(target), [&](FolderTable& to) {
        // A full target takes nothing more; what it took is saved.
        while (taken < copies.size() && to.Add(copies[taken]) != 0)
            ++taken;
        return taken > 0;
    });
    // A move leaves its source only once the target holds the records.
    if (saved && !moved.empty()) {
        moved.resize(std::min(moved.size(), taken));
        // A failed save keeps them in the source too: in two folders rather than in none.
        static_cast<void>(tables.Change(Folder(source), [&](FolderTable& table) {
            for (int position : moved)
                table.Remove(position);
            return true;
        }));
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
    // What else was filed there since (another copy of the program) stays.
    static_cast<void>(host_.Tables().Reload(Folder(folder)));
    bool full = false;
    const bool saved = host_.Tables().Change(Folder(folder), [&](FolderTable& table) {
        full = table.Add(record) == 0;
        return !full;
    });
    // Full, or not stored (the error says why): stay with the message.
    if (full) window.Beep();
    if (!saved) return;
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
        if (const SmsRecord* record = host_.Tables().Record(FolderId::Draft, position)) {
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
    FolderTables& tables = host_.Tables();
    // A damaged file is not written over: what could not be read would be lost.
    if (!tables.Reload(FolderId::Draft)) return;
    // A failed save keeps the draft, and says why.
    static_cast<void>(tables.Change(FolderId::Draft, [&](FolderTable& table) {
        if (!table.IsUsed(draft.position) ||
            table.entries[static_cast<size_t>(draft.position)].record != draft.record)
            return false;
        table.Remove(draft.position);
        return true;
    }));
}

}  // namespace telvane
