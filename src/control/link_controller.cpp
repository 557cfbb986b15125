#include "control/link_controller.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <utility>

#include "control/modem_link.h"
#include "control/operator_label.h"
#include "control/ui_strings.h"
#include "platform/text.h"
#include "store/list_date.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;

// The listing mode that asks for every stored message, and the delete mode for one index.
constexpr int kListAll = 4;
constexpr int kDeleteOne = 0;

constexpr int kInbox = static_cast<int>(FolderId::Inbox);
constexpr int kOutbox = static_cast<int>(FolderId::Outbox);
constexpr int kSent = static_cast<int>(FolderId::Sent);
constexpr int kDraft = static_cast<int>(FolderId::Draft);
constexpr int kSaved = static_cast<int>(FolderId::Saved);

const std::u16string kUnread = u"REC UNREAD";
const std::u16string kRead = u"REC READ";
const std::u16string kUnsent = u"STO UNSENT";

FolderId Folder(int folder) {
    return static_cast<FolderId>(folder);
}

bool IsRecipientSeparator(char16_t c) {
    return c == u';' || c == u',' || c == u' ' || c == u'\t';
}

void TrimLeadingSeparators(std::u16string& list) {
    size_t start = 0;
    while (start < list.size() && IsRecipientSeparator(list[start]))
        ++start;
    list.erase(0, start);
}

// Takes the first recipient off a ";"-separated list.  Only ';' separates; a comma or blank
// inside an entry belongs to the number.
std::u16string TakeRecipient(std::u16string& list) {
    TrimLeadingSeparators(list);
    const size_t separator = list.find(u';');
    std::u16string recipient = list.substr(0, separator);
    if (separator == std::u16string::npos) {
        list.clear();
    } else {
        list.erase(0, separator + 1);
        TrimLeadingSeparators(list);
    }
    return recipient;
}

std::u16string Quoted(const std::u16string& body) {
    std::u16string quoted = u"> ";
    for (char16_t c : body) {
        quoted += c;
        if (c == u'\n') quoted += u"> ";
    }
    return quoted;
}

std::u16string Decimal(int value) {
    return Widen(std::to_string(value));
}

// A message every recipient already has (kept in the Outbox while Sent was full) is not sent.
int HighestUnservedPosition(const FolderTable& table) {
    for (int position = kFolderSlots - 1; position >= 0; --position) {
        if (table.IsUsed(position) && !table.entries[position].record.number.empty()) {
            return position;
        }
    }
    return -1;
}

}  // namespace

LinkController::LinkController(WindowInterface& window, Timing timing,
                               LinkEngineFactory engineFactory)
    : window_(window),
      timing_(timing),
      engineFactory_(engineFactory ? std::move(engineFactory)
                                   : [timing] { return MakeModemLink(timing); }),
      alive_(std::make_shared<std::atomic<bool>>(true)),
      phonebook_(*this) {
    ShowStatus(kUnknownOperatorLabel);
}

LinkController::~LinkController() {
    // The window is being destroyed around us: leave its controls alone.
    alive_->store(false);
    online_ = false;
    engine_.reset();
}

int64_t LinkController::Scaled(int64_t ms) const {
    return timing_.ScaledMilliseconds(ms);
}

void LinkController::StartTimer(int timerId, int64_t ms) {
    window_.StartTimer(timerId, Scaled(ms));
}

void LinkController::PostBusy(bool busy) {
    std::shared_ptr<std::atomic<bool>> alive = alive_;
    window_.Post([this, alive, busy] {
        if (alive->load()) OnBusyMessage(busy ? 1 : 0, 1);
    });
}

void LinkController::OnBusyMessage(int wParam, int lParam) {
    if (wParam == 0) {
        busy_ = false;
        window_.SetWindowEnabled(true);
        if (window_.WaitCursorShown()) window_.SetWaitCursor(false);
    } else {
        busy_ = true;
        window_.SetWindowEnabled(false);
        if (!window_.WaitCursorShown() && lParam != 0) window_.SetWaitCursor(true);
    }
}

void LinkController::ShowStatus(const std::u16string& text) {
    window_.KillTimer(kTimerStatusTimeout);
    window_.SetStatusText(text);
    StartTimer(kTimerStatusTimeout, 15000);
}

void LinkController::StatusTimeout() {
    if (engine_ && phonebookJob_ != PhonebookJob::None && --phonebookTicksLeft_ <= 0) {
        PhonebookJobLost();
    }
    if (!engine_ || busy_) return;
    window_.SetStatusText(OperatorLabel(engine_->OperatorText(), online_));
    if (online_) engine_->RequestSignalQuality();
}

// ---- connecting ----

void LinkController::Connect() {
    if (busy_) {
        window_.Beep();
        return;
    }
    if (engine_) {
        StartTimer(kTimerDisconnect, 100);
        return;
    }
    page_ = kPageMessages;
    window_.ApplyPage(page_);
    PostBusy(true);
    engine_ = engineFactory_ ? engineFactory_() : nullptr;
    if (!engine_) {
        window_.SetStatusText(LoadUiString(ui_text::kInitializeFailed));
        PostBusy(false);
        return;
    }
    ++engineGeneration_;
    ShowStatus(LoadUiString(ui_text::kConnecting));
    StartTimer(kTimerOpenPort, 1000);
}

void LinkController::OpenPort() {
    window_.KillTimer(kTimerOpenPort);
    if (!engine_) return;
    // "COM3" or "COM3:"; the whole number counts, so that COM10 is not taken for COM1.
    const std::u16string port = window_.Settings().port;
    const int number = port.size() > 3 ? ReadNumber(std::u16string_view(port).substr(3)) : 0;

    const int generation = engineGeneration_;
    std::shared_ptr<std::atomic<bool>> alive = alive_;
    WindowInterface* window = &window_;
    LinkEngine::Callback callback = [this, window, alive, generation](Notification notification) {
        if (!alive->load()) return;
        window->Post([this, alive, generation, notification] {
            if (alive->load() && generation == engineGeneration_ && engine_)
                OnEngineEvent(notification);
        });
    };

    if (engine_->Open(number, std::move(callback)) == 0) {
        const std::string reason = engine_->OpenError();
        Teardown();
        // After the teardown's "Offline", so that the failure and its reason stay on the
        // status line.
        window_.SetStatusText(reason.empty() ? LoadUiString(ui_text::kInitializeFailed)
                                             : LoadUiString(ui_text::kInitializeFailed) + u": " +
                                                   Utf8ToU16(reason));
        PostBusy(false);
        if (!reason.empty())
            window_.ShowMessageText(LoadUiString(ui_text::kInitializeFailed) + u"\n" +
                                    Utf8ToU16(reason));
        return;
    }
    outboxSlot_ = -1;
    sendFailed_ = false;
    ApplyServiceCentre();
}

void LinkController::ApplyServiceCentre() {
    if (!engine_) return;
    const ControllerSettings settings = window_.Settings();
    engine_->SetServiceCentre(settings.autoServiceCentre ? std::u16string()
                                                         : settings.serviceCentre);
}

void LinkController::Disconnect() {
    window_.KillTimer(kTimerDisconnect);
    online_ = false;
    window_.SetSignalLevel(0);
    // Runs end with the link rather than at their next tick.
    if (outboxRunning_) EndOutboxRun();
    if (smartRunning_) {
        segmentNumber_ = 1;
        segmentCount_ = 0;
        EndSmartRun();
    }
    Teardown();
    phonebook_.Load();
    PostBusy(false);
}

void LinkController::Teardown() {
    if (engine_) {
        // Its destructor joins the dispatcher; the callback only posts, so nothing waits on us.
        engine_.reset();
    }
    awaiting_ = Run::None;
    phonebookJob_ = PhonebookJob::None;
    ShowStatus(LoadUiString(ui_text::kOffline));
}

// ---- engine notifications ----

void LinkController::OnEngineEvent(Notification notification) {
    switch (notification) {
        case Notification::kStartupFailed:
            ShowStatus(LoadUiString(ui_text::kInitializeFailed));
            if (engine_) {
                StartTimer(kTimerDisconnect, 100);
            } else {
                PostBusy(false);
            }
            break;
        case Notification::kPhonebookRead:
            phonebookJob_ = PhonebookJob::None;
            SaveEnginePhonebook();
            PostBusy(false);
            AfterConnect(AfterConnectStep::kMessages);
            break;
        case Notification::kPhonebookWritten:
            phonebookJob_ = PhonebookJob::None;
            SaveEnginePhonebook();
            window_.SetStatusText(OperatorLabel(engine_->OperatorText(), online_));
            PostBusy(false);
            if (page_ == kPagePhonebook) window_.RefreshPhonebookPage();
            if (page_ == kPageMessages) AfterConnect(AfterConnectStep::kMessages);
            break;
        case Notification::kSignalChanged:
            window_.SetSignalLevel(engine_->SignalLevel());
            break;
        case Notification::kOperator: {
            PostBusy(false);
            const bool wasOnline = online_;
            online_ = true;
            ShowStatus(OperatorLabel(engine_->OperatorText(), online_));
            // A later operator report only refreshes the label.
            if (!wasOnline) AfterConnect(AfterConnectStep::kPhonebook);
            break;
        }
        case Notification::kMessageSent:
            OnSubmitted();
            break;
        case Notification::kListingFinished:
            store_.RefreshInboxFromModem(engine_->Listing());
            ShowFolder(kInbox);
            PostBusy(false);
            // Queued behind the idle message, so the run finds the window no longer busy.
            StartOutboxRunLater();
            break;
        case Notification::kListingFailed:
            ShowFolder(kInbox);
            PostBusy(false);
            window_.ShowMessageBox(ui_text::kCouldNotReadSimMessages);
            break;
        case Notification::kCmeError:
            PostBusy(false);
            break;
        case Notification::kCmsOther:
        case Notification::kCmsInvalidIndex:
        case Notification::kCmsNoServiceCentre:
        case Notification::kCmsNotAllowed:
        case Notification::kCmsSendFailed:
            OnSendFailed(notification);
            break;
        // Nothing the window shows depends on these.
        case Notification::kStopping:
        case Notification::kStarted:
        case Notification::kRegistered:
        case Notification::kNotRegistered:
        case Notification::kRinging:
        case Notification::kHungUp:
        case Notification::kCallerNumber:
        case Notification::kCallConnected:
        case Notification::kMessageWritten:
        case Notification::kStoredMessageSent:
        case Notification::kNewMessage:
        case Notification::kMessageRead:
        case Notification::kReadFailed:
        case Notification::kDeleted:
        case Notification::kSendDone:
        case Notification::kWriteDone:
        case Notification::kStoreSendDone:
        case Notification::kToolkitInfo:
        case Notification::kToolkitAccepted:
        case Notification::kToolkitFailed:
        case Notification::kToolkitEnded:
        case Notification::kToolkitTimedOut:
        case Notification::kSimReady:
        case Notification::kNoSim:
        case Notification::kWindOther:
        case Notification::kWindSimRemoved:
        case Notification::kWindSimInserted:
        case Notification::kWindRinging:
        case Notification::kWindReadyNoSim:
        case Notification::kWindReady:
        case Notification::kWindCallCreated:
        case Notification::kWindCallReleased:
            break;
    }
}

void LinkController::SaveEnginePhonebook() {
    const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
    engine_->Phonebook().SaveFile();
}

void LinkController::AfterConnect(AfterConnectStep step) {
    if (!engine_) return;
    const ControllerSettings settings = window_.Settings();
    if (step == AfterConnectStep::kPhonebook) {
        if (settings.syncSimPhonebook) {
            PostBusy(true);
            ShowStatus(settings.readSimPhonebook ? LoadUiString(ui_text::kLoadingSimPhonebook)
                                                 : LoadUiString(ui_text::kWritingSimPhonebook));
            if (phonebook_.Synchronise() != 0) return;  // resumes at notification 4 or 5
            // The engine would not take the job: the file keeps the pending changes.
            PostBusy(false);
        } else {
            const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
            engine_->Phonebook().LoadFile();
        }
    }
    if (settings.syncSms) {
        if (online_) {
            PostBusy(true);
            ShowStatus(LoadUiString(ui_text::kLoadingSms));
            // Refused while the last listing's worker is still winding down, after its end
            // notification was posted: nothing else would free the window.
            if (engine_->ListMessages(kListAll) == 0) PostBusy(false);
        }
    } else {
        StartOutboxRunLater();
    }
}

// ---- phonebook cache host ----

PhonebookTable* LinkController::OnlinePhonebook() {
    return online_ && engine_ ? &engine_->Phonebook() : nullptr;
}

int LinkController::StartPhonebookRead() {
    if (!engine_ || engine_->ReadPhonebook() == 0) return 0;
    // The read takes at most about 21 s.
    phonebookJob_ = PhonebookJob::Read;
    phonebookTicksLeft_ = 3;
    return 1;
}

int LinkController::StartPhonebookWrite() {
    if (!engine_) return 0;
    int changed = 0;
    {
        const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
        for (const PhonebookEntry& entry : engine_->Phonebook().Entries())
            changed += entry.changed;
    }
    if (engine_->WritePhonebook() == 0) return 0;
    // 200 ms a changed entry; the status timeout ticks every 15 s.
    phonebookJob_ = PhonebookJob::Write;
    phonebookTicksLeft_ = 2 + (changed * 200 + 1000) / 15000;
    return 1;
}

void LinkController::PhonebookJobLost() {
    // The engine reports no event when a phonebook job fails; without this the window would
    // stay disabled for good.  A partial read is not saved over the file; a partial write is,
    // so that the entries not written stay marked.
    const bool wasWrite = phonebookJob_ == PhonebookJob::Write;
    phonebookJob_ = PhonebookJob::None;
    if (wasWrite) {
        SaveEnginePhonebook();
    } else {
        // Show what the file holds rather than a half-read table.
        const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
        engine_->Phonebook().LoadFile();
    }
    ShowStatus(LoadUiString(ui_text::kSimPhonebookNoAnswer));
    PostBusy(false);
    if (page_ == kPagePhonebook) window_.RefreshPhonebookPage();
    if (page_ == kPageMessages) AfterConnect(AfterConnectStep::kMessages);
}

ControllerSettings LinkController::CurrentSettings() const {
    return window_.Settings();
}

// ---- timers ----

void LinkController::OnTimer(int timerId) {
    switch (timerId) {
        case kTimerOpenPort:
            OpenPort();
            break;
        case kTimerDisconnect:
            Disconnect();
            break;
        case kTimerDeleteStep:
            if (DeleteStep()) EndDeleteRun();
            break;
        case kTimerCopyStep:
            if (CopyStep()) EndCopyRun();
            break;
        case kTimerStatusTimeout:
            StatusTimeout();
            break;
        case kTimerOutboxStep:
            if (!outboxRunning_) {
                window_.KillTimer(kTimerOutboxStep);
            } else if (OutboxStep()) {
                EndOutboxRun();
            }
            break;
        case kTimerSmartStep:
            if (!smartRunning_) {
                window_.KillTimer(kTimerSmartStep);
            } else if (SmartStep()) {
                EndSmartRun();
            }
            break;
        default:
            break;
    }
}

// ---- folders ----

void LinkController::ShowFolder(int folder) {
    window_.SelectFolderTab(folder);
    store_.LoadShown(Folder(folder));
    FillMessageList();
    window_.FolderShown(folder);
}

void LinkController::FillMessageList() {
    window_.SetDetail({}, {}, {});
    window_.ClearMessageList();
    int rows = 0;
    const FolderTable& table = store_.Shown();
    for (int position = 0; position < kFolderSlots; ++position) {
        if (!table.IsUsed(position)) continue;
        const SmsRecord& record = table.entries[position].record;
        window_.AppendMessageRow(record.status == kUnread ? kIconUnread : kIconRead, record.number,
                                 FormatListDate(record.time), record.text, position);
        ++rows;
    }
    window_.SortMessageListByTime();
    ShowStatus(Decimal(rows) + u" SMS " + LoadUiString(ui_text::kMessage));
    const int folder = window_.CurrentFolderTab();
    window_.ShowFolderButtons(folder == kInbox || folder == kSaved, folder == kDraft);
}

void LinkController::OpenMessage(int row) {
    if (row < 0 || row >= window_.MessageRowCount()) return;
    const int position = window_.MessageRowData(row);
    SmsRecord* record = store_.ShownRecord(position);
    if (record == nullptr) return;
    window_.SetDetail(record->number, FormatListDate(record->time), record->text);
    if (record->status == kUnread) {
        // Only the folder file remembers it; the SIM's own status stays.
        record->status = kRead;
        window_.SetMessageRowIcon(row, kIconRead);
        store_.SaveShown(Folder(window_.CurrentFolderTab()));
    }
}

void LinkController::DeleteTicked() {
    if (busy_) {
        window_.Beep();
        return;
    }
    PostBusy(true);
    sourceFolder_ = window_.CurrentFolderTab();
    if (DeleteStep()) {
        ShowFolder(window_.CurrentFolderTab());
        PostBusy(false);
    } else {
        StartTimer(kTimerDeleteStep, sourceFolder_ == kInbox ? 2000 : 100);
    }
}

bool LinkController::DeleteStep() {
    const int folder = window_.CurrentFolderTab();
    store_.LoadShown(Folder(folder));
    cursor_ = -1;
    const int rows = window_.MessageRowCount();
    do {
        ++cursor_;
    } while (cursor_ < rows && !window_.IsMessageRowTicked(cursor_));
    if (cursor_ >= rows) return true;

    ShowStatus(LoadUiString(ui_text::kPleaseWait));
    const int position = window_.MessageRowData(cursor_);
    if (folder == kInbox && store_.Shown().IsUsed(position)) {
        if (!online_ || !engine_) return true;
        const int simIndex = store_.Shown().entries[position].record.index;
        bool started = false;
        for (int attempt = 0; attempt < kStartAttempts && !started; ++attempt) {
            started = engine_->DeleteMessages(kDeleteOne, simIndex) != 0;
        }
        if (!started) {
            ShowStatus(LoadUiString(ui_text::kDeleteFailed));
            return true;
        }
    }
    window_.RemoveMessageRow(cursor_);
    store_.RemoveShown(position);
    store_.SaveShown(Folder(folder));
    return false;
}

void LinkController::EndDeleteRun() {
    window_.KillTimer(kTimerDeleteStep);
    ShowFolder(window_.CurrentFolderTab());
    PostBusy(false);
}

void LinkController::CopyTicked() {
    if (busy_) {
        window_.Beep();
        return;
    }
    const int target = window_.SaveToFolder();
    if (target < 0) {
        window_.Beep();
        return;
    }
    cursor_ = -1;
    targetFolder_ = target;
    sourceFolder_ = window_.CurrentFolderTab();
    if (CopyStep()) {
        ShowFolder(targetFolder_);
        PostBusy(false);
    } else {
        StartTimer(kTimerCopyStep, sourceFolder_ == kOutbox ? 2000 : 100);
    }
}

bool LinkController::CopyStep() {
    // The window stays usable during a copy: once another folder is shown its rows no longer
    // name records of the source.
    if (window_.CurrentFolderTab() != sourceFolder_) return true;
    const int rows = window_.MessageRowCount();
    int position = -1;
    for (++cursor_; cursor_ < rows; ++cursor_) {
        if (!window_.IsMessageRowTicked(cursor_)) continue;
        position = window_.MessageRowData(cursor_);
        if (store_.Shown().IsUsed(position)) break;
    }
    if (cursor_ >= rows) return true;

    SmsRecord copy = store_.Shown().entries[position].record;
    ShowStatus(LoadUiString(ui_text::kPleaseWait));
    if (targetFolder_ == kInbox) copy.status = kUnread;
    if (targetFolder_ == kOutbox) copy.status = kUnsent;

    store_.LoadTransfer(Folder(targetFolder_));
    const bool stored =
        store_.AddTransfer(copy) != 0 && store_.SaveTransfer(Folder(targetFolder_)) != 0;
    const bool move = (sourceFolder_ == kOutbox && targetFolder_ == kDraft) ||
                      (sourceFolder_ == kDraft && targetFolder_ == kOutbox);
    // A move leaves its source only once the target holds the record.
    if (move && stored) {
        window_.RemoveMessageRow(cursor_);
        store_.RemoveShown(position);
        store_.SaveShown(Folder(sourceFolder_));
        cursor_ = -1;
    }
    return false;
}

void LinkController::EndCopyRun() {
    window_.KillTimer(kTimerCopyStep);
    ShowFolder(targetFolder_);
    PostBusy(false);
}

void LinkController::SaveComposed() {
    if (busy_) {
        window_.Beep();
        return;
    }
    const std::u16string recipients = window_.RecipientText();
    if (recipients.empty()) {
        window_.ShowMessageBox(ui_text::kInvalidPhoneNumber);
        return;
    }
    const std::u16string body = window_.ComposeText();
    if (body.empty()) {
        window_.ShowMessageBox(ui_text::kPleaseInputMessage);
        return;
    }
    const int folder = window_.SaveToFolder();
    if (folder < 0) {
        window_.Beep();
        return;
    }
    SmsRecord record;
    record.index = -1;
    record.status = kUnsent;
    record.number = recipients;
    record.time = MakeLocalTimeStamp();
    record.text = body;
    store_.LoadShown(Folder(folder));
    if (store_.AddShown(record) == 0 || store_.SaveShown(Folder(folder)) == 0) {
        // Not stored (folder full, or its file cannot be written): stay with the message.
        window_.Beep();
        return;
    }
    page_ = kPageMessages;
    window_.ApplyPage(page_);
    ShowFolder(folder);
}

void LinkController::Reply() {
    const int folder = window_.CurrentFolderTab();
    if ((folder != kInbox && folder != kSaved) || window_.SelectedMessageRow() < 0) return;
    window_.SetRecipientText(window_.DetailNumber());
    window_.SetComposeText(Quoted(window_.DetailBody()));
    page_ = kPageCompose;
    window_.ApplyPage(page_);
}

void LinkController::Forward() {
    const int folder = window_.CurrentFolderTab();
    if ((folder != kInbox && folder != kSaved) || window_.SelectedMessageRow() < 0) return;
    window_.SetRecipientText({});
    window_.SetComposeText(Quoted(window_.DetailBody()));
    page_ = kPageCompose;
    window_.ApplyPage(page_);
}

void LinkController::EditMessage() {
    if (window_.SelectedMessageRow() < 0) return;
    window_.SetRecipientText(window_.DetailNumber());
    window_.SetComposeText(window_.DetailBody());
    page_ = kPageCompose;
    window_.ApplyPage(page_);
}

// ---- sending ----

void LinkController::SendComposed() {
    const std::u16string recipients = window_.RecipientText();
    if (recipients.empty()) {
        window_.ShowMessageBox(ui_text::kInvalidPhoneNumber);
        return;
    }
    const bool empty = composeMode_ == ComposeMode::kText ? window_.ComposeText().empty()
                                                          : window_.PictureIsEmpty();
    if (empty) {
        window_.ShowMessageBox(ui_text::kPleaseInputMessage);
        return;
    }
    if (!online_) {
        window_.ShowMessageBox(ui_text::kPleaseConnectFirst);
        return;
    }
    if (composeMode_ == ComposeMode::kText) {
        SmsRecord record;
        record.index = -1;
        record.number = recipients;
        record.time = MakeLocalTimeStamp();
        record.text = window_.ComposeText();
        store_.LoadTransfer(FolderId::Outbox);
        if (store_.AddTransfer(record) == 0 || store_.SaveTransfer(FolderId::Outbox) == 0) {
            // Not stored (Outbox full, or its file cannot be written): stay with the message.
            window_.Beep();
            return;
        }
        StartOutboxRun();
        page_ = kPageMessages;
        window_.ApplyPage(page_);
        ShowFolder(kSent);
    } else {
        // An operator logo is 72 x 14 pixels, the other kinds 72 x 28.
        const size_t digits = pictureKind_ == PictureKind::kOperatorLogo ? 252 : 504;
        StartSmartRun(recipients, window_.PictureHex().substr(0, digits));
        page_ = kPageMessages;
        window_.ApplyPage(page_);
    }
}

void LinkController::StartOutboxRunLater() {
    std::shared_ptr<std::atomic<bool>> alive = alive_;
    window_.Post([this, alive] {
        if (alive->load()) StartOutboxRun();
    });
}

void LinkController::StartOutboxRun() {
    MoveServedToSent();
    store_.LoadTransfer(FolderId::Outbox);
    if (HighestUnservedPosition(store_.Transfer()) < 0) return;
    if (busy_ || outboxRunning_ || smartRunning_) {
        window_.Beep();
        return;
    }
    PostBusy(true);
    ClearSmsRecord(working_);
    outboxSlot_ = -1;
    // A failure reported before this run belongs to no message of it.
    sendFailed_ = false;
    awaiting_ = Run::None;
    outboxRunning_ = true;
    if (OutboxStep()) {
        EndOutboxRun();
    } else {
        StartTimer(kTimerOutboxStep, 10000);
    }
}

bool LinkController::TakeSubmissionFailure(Run run) {
    const bool unconfirmed = awaiting_ == run;
    const bool failed = sendFailed_ || unconfirmed;
    // The engine reports no event when a send never got its "OK": the missing confirmation
    // is the failure.
    if (unconfirmed && !sendFailed_) ShowStatus(LoadUiString(ui_text::kSendFailed));
    sendFailed_ = false;
    awaiting_ = Run::None;
    return failed;
}

bool LinkController::OutboxStep() {
    if (TakeSubmissionFailure(Run::Outbox)) return true;
    store_.LoadTransfer(FolderId::Outbox);
    const FolderTable& outbox = store_.Transfer();
    if (outbox.usedCount == 0 || !online_ || !engine_) return true;

    // Stay with the message being served; then the newest that still has a recipient.
    if (outboxSlot_ < 0 || !outbox.IsUsed(outboxSlot_)) {
        outboxSlot_ = HighestUnservedPosition(outbox);
        if (outboxSlot_ < 0) return true;
    }
    working_ = outbox.entries[outboxSlot_].record;
    ShowStatus(LoadUiString(ui_text::kPleaseWait));

    // The saved record holds only the recipients not yet confirmed, so its first one is next.
    const std::u16string text = working_.text;
    const std::u16string recipient = TakeRecipient(working_.number);
    if (recipient.empty()) {
        ShowStatus(LoadUiString(ui_text::kSendFailed));
        return true;
    }
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (engine_->SendTextMessage(recipient, text) != 0) {
            awaiting_ = Run::Outbox;
            return false;
        }
    }
    return true;
}

void LinkController::MoveServedToSent() {
    store_.LoadTransfer(FolderId::Outbox);
    std::vector<SmsRecord> served;
    std::vector<int> positions;
    for (int position = 0; position < kFolderSlots; ++position) {
        const FolderTable& outbox = store_.Transfer();
        if (!outbox.IsUsed(position) || !outbox.entries[position].record.number.empty()) continue;
        SmsRecord sent = outbox.entries[position].record;
        sent.number = sent.extra;
        sent.extra.clear();
        served.push_back(std::move(sent));
        positions.push_back(position);
    }
    if (served.empty()) return;
    store_.LoadTransfer(FolderId::Sent);
    size_t moved = 0;
    while (moved < served.size() && store_.AddTransfer(served[moved]) != 0)
        ++moved;
    if (moved == 0 || store_.SaveTransfer(FolderId::Sent) == 0) return;
    store_.LoadTransfer(FolderId::Outbox);
    for (size_t i = 0; i < moved; ++i)
        store_.RemoveTransfer(positions[i]);
    store_.SaveTransfer(FolderId::Outbox);
}

void LinkController::EndOutboxRun() {
    window_.KillTimer(kTimerOutboxStep);
    outboxRunning_ = false;
    outboxSlot_ = -1;
    ClearSmsRecord(working_);
    if (awaiting_ == Run::Outbox) awaiting_ = Run::None;
    PostBusy(false);
}

void LinkController::ConfirmOutboxRecipient() {
    store_.LoadTransfer(FolderId::Outbox);
    if (outboxSlot_ < 0 || !store_.Transfer().IsUsed(outboxSlot_)) return;
    SmsRecord record = store_.Transfer().entries[outboxSlot_].record;
    std::u16string remaining = record.number;
    TakeRecipient(remaining);

    if (remaining.empty()) {
        // The last recipient: the message goes to Sent with everyone it was written to.
        SmsRecord sent = record;
        if (!sent.extra.empty()) {
            sent.number = sent.extra;
            sent.extra.clear();
        }
        store_.LoadTransfer(FolderId::Sent);
        if (store_.AddTransfer(sent) == 0 || store_.SaveTransfer(FolderId::Sent) == 0) {
            // Sent cannot take it: the message stays in the Outbox with no recipient left, so
            // that it is neither lost nor sent again; a later run moves it once there is room.
            if (record.extra.empty()) record.extra = record.number;
            record.number.clear();
            auto scratch = std::make_unique<MessageStore>();
            scratch->LoadShown(FolderId::Outbox);
            if (SmsRecord* stored = scratch->ShownRecord(outboxSlot_)) {
                *stored = record;
                scratch->SaveShown(FolderId::Outbox);
            }
            outboxSlot_ = -1;
            window_.Beep();
            ShowStatus(LoadUiString(ui_text::kSentFull));
            return;
        }
        store_.LoadTransfer(FolderId::Outbox);
        store_.RemoveTransfer(outboxSlot_);
        store_.SaveTransfer(FolderId::Outbox);
        outboxSlot_ = -1;
        ShowFolder(kSent);
        if (store_.Transfer().usedCount == 0) ShowStatus(LoadUiString(ui_text::kSendComplete));
        return;
    }

    // Keep only who is still to be served, at once, so that no later run sends to anyone twice;
    // `extra` (never shown) remembers the full list for Sent.
    if (record.extra.empty()) record.extra = record.number;
    record.number = remaining;
    auto scratch = std::make_unique<MessageStore>();
    scratch->LoadShown(FolderId::Outbox);
    if (SmsRecord* stored = scratch->ShownRecord(outboxSlot_)) {
        *stored = record;
        scratch->SaveShown(FolderId::Outbox);
    }
}

void LinkController::OnSubmitted() {
    const int reference = engine_->MessageReference();
    ShowStatus(LoadUiString(ui_text::kSmsNumber) + u" " + Decimal(reference));
    const Run run = awaiting_;
    awaiting_ = Run::None;
    if (run == Run::Outbox) {
        ConfirmOutboxRecipient();
    } else if (run == Run::Smart) {
        if (segmentCount_ == 0) ShowStatus(LoadUiString(ui_text::kSendComplete));
    }
}

void LinkController::OnSendFailed(Notification notification) {
    // A send failure always counts; any other "+CMS ERROR:" fails only a submission that waits.
    if (notification != Notification::kCmsSendFailed && awaiting_ == Run::None) return;
    sendFailed_ = true;
    ShowStatus(LoadUiString(ui_text::kSendFailed));
}

void LinkController::StartSmartRun(const std::u16string& recipients,
                                   const std::u16string& pictureHex) {
    if (!online_ || !engine_) return;
    if (busy_ || outboxRunning_ || smartRunning_) {
        window_.Beep();
        return;
    }
    PostBusy(true);
    segmentCount_ = engine_->BuildSmartMessage(pictureKind_, pictureHex);
    ClearSmsRecord(working_);
    working_.number = recipients;
    TrimLeadingSeparators(working_.number);
    segmentNumber_ = 1;
    sendFailed_ = false;
    awaiting_ = Run::None;
    smartRunning_ = true;
    if (SmartStep()) {
        EndSmartRun();
    } else {
        StartTimer(kTimerSmartStep, 10000);
    }
}

bool LinkController::SmartStep() {
    const auto finish = [this] {
        segmentNumber_ = 1;
        segmentCount_ = 0;
        return true;
    };
    // A failed segment would leave its recipient with a message that never completes.
    if (TakeSubmissionFailure(Run::Smart)) return finish();
    if (segmentCount_ == 0 || working_.number.empty() || !online_ || !engine_) return finish();
    ShowStatus(LoadUiString(ui_text::kPleaseWait));

    std::u16string rest = working_.number;
    const std::u16string recipient = TakeRecipient(rest);
    bool started = false;
    for (int attempt = 0; attempt < kStartAttempts && !started; ++attempt) {
        started = engine_->SendSmartSegment(recipient, segmentNumber_) != 0;
    }
    if (!started) return finish();
    awaiting_ = Run::Smart;

    if (segmentNumber_ == segmentCount_) {
        segmentNumber_ = 1;
        if (rest.empty()) {
            ClearSmsRecord(working_);
            segmentCount_ = 0;
        } else {
            working_.number = rest;
        }
    } else {
        ++segmentNumber_;
    }
    return false;
}

void LinkController::EndSmartRun() {
    window_.KillTimer(kTimerSmartStep);
    smartRunning_ = false;
    if (awaiting_ == Run::Smart) awaiting_ = Run::None;
    PostBusy(false);
}

void LinkController::ToggleComposeMode() {
    composeMode_ = composeMode_ == ComposeMode::kText ? ComposeMode::kPicture : ComposeMode::kText;
    window_.ApplyComposeMode(composeMode_, pictureKind_);
}

void LinkController::SelectPictureKind(int line) {
    constexpr PictureKind kLines[] = {PictureKind::kPictureMessage, PictureKind::kOperatorLogo,
                                      PictureKind::kScreenSaver};
    if (composeMode_ != ComposeMode::kPicture || line < 0 || line >= std::ssize(kLines)) return;
    pictureKind_ = kLines[line];
    window_.RebuildPictureEditor(pictureKind_);
}

}  // namespace telvane
