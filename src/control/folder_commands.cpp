#include "control/folder_commands.h"

#include <string>

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

constexpr int kInbox = static_cast<int>(FolderId::Inbox);
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

}  // namespace

void FolderCommands::RefreshInbox(const MessageListing& listing, int simHolds) {
    // What the user did here is in the Inbox's file, not in the listing.
    LoadFolder(host_, store_, kShown, FolderId::Inbox);
    std::vector<SmsRecord> listed;
    for (int32_t i = 0; i < listing.ListingSize(); ++i)
        listed.push_back(listing.ListingEntry(i));
    const InboxMerge merge = MergeInbox(store_.Shown(), listed);
    if (store_.RefreshInboxFromModem(MergedListing(merge.inbox)) == 0)
        host_.ReportFileError(ui_text::kSaveFailed, store_.LastError());
    ShowFolder(kInbox);
    // A full listing may stop short of what the SIM holds.
    int notShown = merge.notShown;
    if (listing.ListingSize() >= kFolderSlots && simHolds > listing.ListingSize())
        notShown += simHolds - listing.ListingSize();
    if (notShown > 0) {
        std::u16string text = LoadUiString(ui_text::kMoreOnSim);
        const size_t mark = text.find(u"%1");
        if (mark != std::u16string::npos) text.replace(mark, 2, Widen(std::to_string(notShown)));
        host_.ShowStatus(text);
    }
}

void FolderCommands::AddArrived(const std::vector<SmsRecord>& messages) {
    if (messages.empty()) return;
    // A store of its own: the shown folder and a copy run in progress keep their tables.
    MessageStore inbox;
    LoadFolder(host_, inbox, kShown, FolderId::Inbox);
    bool added = false;
    for (const SmsRecord& message : messages) {
        FolderTable table = inbox.Shown();
        const int32_t position = AddArrivedMessage(table, message);
        if (position < 0) continue;  // the Inbox is full: it stays on the SIM for the next listing
        if (table.usedCount == inbox.Shown().usedCount) continue;  // it is there already
        inbox.AddShown(table.entries[static_cast<size_t>(position)].record);
        added = true;
        host_.ShowStatus(LoadUiString(ui_text::kNewMessage) + u": " + message.number);
        host_.Window().NotifyDesktop(LoadUiString(ui_text::kNewMessage),
                                     message.number + u"\n" + message.text);
    }
    if (!added || !SaveFolder(host_, inbox, kShown, FolderId::Inbox)) return;
    WindowInterface& window = host_.Window();
    // The list shows it at once when the Inbox is the folder shown (a run on it reloads itself).
    if (window.CurrentFolderTab() == kInbox && !host_.Busy()) {
        LoadFolder(host_, store_, kShown, FolderId::Inbox);
        FillMessageList();
        host_.ShowStatus(LoadUiString(ui_text::kNewMessage) + u": " + messages.back().number);
    }
}

// ---- delete ----

void FolderCommands::DeleteTicked() {
    if (host_.Busy()) {
        host_.Window().Beep();
        return;
    }
    host_.PostBusy(true);
    sourceFolder_ = host_.Window().CurrentFolderTab();
    if (DeleteStep()) {
        ShowFolder(host_.Window().CurrentFolderTab());
        host_.PostBusy(false);
    } else {
        host_.StartTimer(kTimerDeleteStep, sourceFolder_ == kInbox ? 2000 : 100);
    }
}

void FolderCommands::DeleteTick() {
    if (!DeleteStep()) return;
    host_.Window().KillTimer(kTimerDeleteStep);
    ShowFolder(host_.Window().CurrentFolderTab());
    host_.PostBusy(false);
}

bool FolderCommands::DeleteStep() {
    WindowInterface& window = host_.Window();
    const int folder = window.CurrentFolderTab();
    LoadFolder(host_, store_, kShown, Folder(folder));
    cursor_ = -1;
    const int rows = window.MessageRowCount();
    do {
        ++cursor_;
    } while (cursor_ < rows && !window.IsMessageRowTicked(cursor_));
    if (cursor_ >= rows) return true;

    host_.ShowStatus(LoadUiString(ui_text::kPleaseWait));
    const int position = window.MessageRowData(cursor_);
    if (folder == kInbox && store_.Shown().IsUsed(position)) {
        LinkEngine* engine = host_.Engine();
        if (!host_.Online() || engine == nullptr) return true;
        const int simIndex = store_.Shown().entries[position].record.index;
        bool started = false;
        for (int attempt = 0; attempt < kStartAttempts && !started; ++attempt) {
            started = engine->DeleteMessages(kDeleteOne, simIndex) != 0;
        }
        if (!started) {
            host_.ShowStatus(LoadUiString(ui_text::kDeleteFailed));
            return true;
        }
    }
    store_.RemoveShown(position);
    // Not saved: the run ends and the folder is shown again from its file, row and all.
    if (!SaveFolder(host_, store_, kShown, Folder(folder))) return true;
    window.RemoveMessageRow(cursor_);
    return false;
}

// ---- copy and move ----

void FolderCommands::CopyTicked() {
    if (host_.Busy()) {
        host_.Window().Beep();
        return;
    }
    const int target = host_.Window().SaveToFolder();
    if (target < 0) {
        host_.Window().Beep();
        return;
    }
    cursor_ = -1;
    targetFolder_ = target;
    sourceFolder_ = host_.Window().CurrentFolderTab();
    if (CopyStep()) {
        ShowFolder(targetFolder_);
        host_.PostBusy(false);
    } else {
        host_.StartTimer(kTimerCopyStep, sourceFolder_ == kOutbox ? 2000 : 100);
    }
}

void FolderCommands::CopyTick() {
    if (!CopyStep()) return;
    host_.Window().KillTimer(kTimerCopyStep);
    ShowFolder(targetFolder_);
    host_.PostBusy(false);
}

bool FolderCommands::CopyStep() {
    WindowInterface& window = host_.Window();
    // The window stays usable during a copy: once another folder is shown its rows no longer
    // name records of the source.
    if (window.CurrentFolderTab() != sourceFolder_) return true;
    const int rows = window.MessageRowCount();
    int position = -1;
    for (++cursor_; cursor_ < rows; ++cursor_) {
        if (!window.IsMessageRowTicked(cursor_)) continue;
        position = window.MessageRowData(cursor_);
        if (store_.Shown().IsUsed(position)) break;
    }
    if (cursor_ >= rows) return true;

    SmsRecord copy = store_.Shown().entries[position].record;
    host_.ShowStatus(LoadUiString(ui_text::kPleaseWait));
    if (targetFolder_ == kInbox) copy.status = kUnread;
    if (targetFolder_ == kOutbox) copy.status = kUnsent;

    LoadFolder(host_, store_, kTransfer, Folder(targetFolder_));
    // A full target takes nothing; the copy goes on with the next row.
    if (store_.AddTransfer(copy) == 0) return false;
    if (!SaveFolder(host_, store_, kTransfer, Folder(targetFolder_))) return true;
    const bool move = (sourceFolder_ == kOutbox && targetFolder_ == kDraft) ||
                      (sourceFolder_ == kDraft && targetFolder_ == kOutbox);
    // A move leaves its source only once the target holds the record.
    if (move) {
        store_.RemoveShown(position);
        if (!SaveFolder(host_, store_, kShown, Folder(sourceFolder_))) return true;
        window.RemoveMessageRow(cursor_);
        cursor_ = -1;
    }
    return false;
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
