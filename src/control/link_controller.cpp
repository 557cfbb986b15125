#include "control/link_controller.h"

#include <atomic>
#include <iterator>
#include <string>
#include <utility>

#include "control/modem_link.h"
#include "control/operator_label.h"
#include "control/recipients.h"
#include "control/ui_strings.h"
#include "platform/text.h"
#include "store/list_date.h"

namespace telvane {

namespace {

// A problem a load or save found, for the user: the file, and what of it was kept.
std::u16string DescribeFileProblem(const LoadReport& problem) {
    const std::u16string file = Utf8ToU16(problem.file.string());
    if (!problem.error.empty())
        return FormatUiString(ui_text::kFileUnreadable, {Utf8ToU16(problem.error)});
    if (!problem.keptAs.empty())
        return FormatUiString(ui_text::kDamagedOriginalKept,
                              {file, Utf8ToU16(problem.keptAs.string())});
    return FormatUiString(ui_text::kFileDamaged,
                          {file, Widen(std::to_string(problem.recordsRead)),
                           Utf8ToU16(problem.file.filename().string()) + u".damaged-<time>"});
}

// The listing mode that asks for every stored message.
constexpr int kListAll = 4;

// Connect waits for nothing the modem does; the window only needs a frame to show it.
constexpr int64_t kOpenPortDelayMs = 20;

constexpr int kInbox = static_cast<int>(FolderId::Inbox);
constexpr int kSent = static_cast<int>(FolderId::Sent);

}  // namespace

LinkController::LinkController(WindowInterface& window, Timing timing,
                               LinkEngineFactory engineFactory)
    : window_(window),
      timing_(timing),
      engineFactory_(engineFactory ? std::move(engineFactory)
                                   : [timing] { return MakeModemLink(timing); }),
      alive_(std::make_shared<std::atomic<bool>>(true)),
      folders_(*this),
      outbox_(*this, submissions_),
      smart_(*this, submissions_),
      phonebook_(*this) {
    ShowStatus(kUnknownOperatorLabel);
}

LinkController::~LinkController() {
    // The window is being destroyed around us: leave its controls alone.
    alive_->store(false);
    online_ = false;
    engine_.reset();
}

void LinkController::StartTimer(int timerId, int64_t ms) {
    window_.StartTimer(timerId, timing_.ScaledMilliseconds(ms));
}

void LinkController::PostTask(std::function<void()> task) {
    std::shared_ptr<std::atomic<bool>> alive = alive_;
    window_.Post([alive, task = std::move(task)] {
        if (alive->load()) task();
    });
}

void LinkController::PostBusy(bool busy) {
    PostTask([this, busy] { OnBusyMessage(busy ? 1 : 0, 1); });
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

void LinkController::GoToPage(UiPage page) {
    page_ = page;
    window_.ApplyPage(page_);
}

void LinkController::ShowStatus(const std::u16string& text) {
    window_.KillTimer(kTimerStatusTimeout);
    window_.SetStatusText(text);
    StartTimer(kTimerStatusTimeout, 15000);
}

void LinkController::ReportFileError(UiText what, const std::string& reason) {
    // The loaders keep their own account of each file, told once.
    if (what == ui_text::kLoadFailed) {
        ReportLoadProblems();
        return;
    }
    const std::u16string text =
        reason.empty() ? LoadUiString(what) : LoadUiString(what) + u": " + Utf8ToU16(reason);
    ShowStatus(text);
    window_.ShowMessageText(text);
}

void LinkController::ReportLoadProblems() {
    // Behind the work that loaded, so that its own status text (a folder's count) does not
    // replace the problem's.
    if (loadProblemsPosted_) return;
    loadProblemsPosted_ = true;
    PostTask([this] {
        loadProblemsPosted_ = false;
        ShowLoadProblems();
    });
}

void LinkController::ShowLoadProblems() {
    const std::vector<LoadReport> problems = TakeLoadProblems();
    if (problems.empty()) return;
    std::u16string all;
    std::u16string last;
    for (const LoadReport& problem : problems) {
        last = DescribeFileProblem(problem);
        all += all.empty() ? last : u"\n" + last;
    }
    ShowStatus(last);
    window_.ShowMessageText(all);
}

void LinkController::StatusTimeout() {
    // Loads the controller did not make itself (the window's, a run's record update).
    ReportLoadProblems();
    if (engine_ && phonebookJob_ != PhonebookJob::None && --phonebookTicksLeft_ <= 0) {
        PhonebookJobLost();
    }
    if (!engine_ || busy_) return;
    window_.SetStatusText(OperatorLabel(engine_->OperatorText(), online_));
    if (online_) engine_->RequestSignalQuality();
}

// ---- connecting ----

void LinkController::Connect() {
    // Until the link is up, Connect cancels it, busy or not.
    if (engine_ && !online_) {
        CancelConnect();
        return;
    }
    if (busy_) {
        window_.Beep();
        return;
    }
    if (engine_) {
        StartTimer(kTimerDisconnect, 100);
        return;
    }
    GoToPage(kPageMessages);
    PostBusy(true);
    engine_ = engineFactory_ ? engineFactory_() : nullptr;
    if (!engine_) {
        window_.SetStatusText(LoadUiString(ui_text::kInitializeFailed));
        PostBusy(false);
        return;
    }
    ++engineGeneration_;
    startupReason_.reset();
    failureText_.clear();
    window_.SetConnectCancels(true);
    ShowStatus(LoadUiString(ui_text::kConnecting));
    // Only long enough for the window to draw "Connecting" before the port is opened.
    StartTimer(kTimerOpenPort, kOpenPortDelayMs);
}

void LinkController::CancelConnect() {
    window_.KillTimer(kTimerOpenPort);
    // What the start-up said so far no longer matters: the user ended it.
    startupReason_.reset();
    failureText_.clear();
    simCodeRequest_.reset();
    Disconnect();
    window_.SetStatusText(LoadUiString(ui_text::kConnectCancelled));
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

    simCodeRequest_.reset();
    codesGiven_ = simCodes_.has_value();
    if (simCodes_) {
        engine_->SetSimCodes(simCodes_->pin, simCodes_->puk);
        simCodes_.reset();
    }
    if (engine_->Open(number, std::move(callback)) == 0) {
        const std::string reason = engine_->OpenError();
        Teardown();
        window_.SetConnectCancels(false);
        // After the teardown's "Offline", so that the failure and its reason stay on the
        // status line.
        const std::u16string failed = LoadUiString(ui_text::kInitializeFailed);
        window_.SetStatusText(reason.empty() ? failed : failed + u": " + Utf8ToU16(reason));
        PostBusy(false);
        if (!reason.empty()) window_.ShowMessageText(failed + u"\n" + Utf8ToU16(reason));
        return;
    }
    outbox_.Forget();
    submissions_.Reset();
    ApplyServiceCentre();
}

void LinkController::ApplyServiceCentre() {
    const ControllerSettings settings = window_.Settings();
    if (settings.autoServiceCentre) {
        if (engine_) engine_->SetServiceCentre(std::u16string());
        return;
    }
    const PhoneNumber centre = NormaliseServiceCentre(settings.serviceCentre);
    if (!centre.ok()) {
        // Nothing of it goes into a PDU: the centre stored on the SIM stays in use, and the
        // user hears why (also offline, right after the settings were saved).
        const std::u16string text =
            FormatUiString(ui_text::kInvalidServiceCentre, {centre.Reason()});
        ShowStatus(text);
        window_.ShowMessageText(text);
        if (engine_) engine_->SetServiceCentre(std::u16string());
        return;
    }
    if (engine_) engine_->SetServiceCentre(centre.number);
}

void LinkController::Disconnect() {
    window_.KillTimer(kTimerDisconnect);
    online_ = false;
    window_.SetSignalLevel(0);
    // The next modem (or SIM) may hold another centre: a stale one is not shown as detected.
    window_.ShowDetectedServiceCentre(std::u16string());
    // Runs end with the link rather than at their next tick.
    outbox_.Stop();
    smart_.Stop();
    folders_.StopRuns();
    Teardown();
    window_.SetConnectCancels(false);
    phonebook_.Load();
    PostBusy(false);
    if (!failureText_.empty()) {
        // Kept over the teardown's "Offline": without an engine no label replaces it.
        window_.SetStatusText(failureText_);
        if (failureBox_) window_.ShowMessageText(failureText_);
        failureText_.clear();
    }
    if (simCodeRequest_) {
        // Behind the idle message, so that the reconnect finds the window free.
        const SimCodeRequest request = *simCodeRequest_;
        simCodeRequest_.reset();
        PostTask([this, request] {
            AskForSimCodes(request.puk, request.attemptsLeft, request.wrongCode);
        });
    }
}

void LinkController::AskForSimCodes(bool puk, int attemptsLeft, bool wrongCode) {
    if (engine_) return;
    // A refused PIN is said, and never sent again by itself.
    if (wrongCode) ShowStatus(LoadUiString(ui_text::kWrongPin));
    std::optional<SimCodes> codes = window_.AskSimCodes(puk, attemptsLeft, wrongCode);
    if (!codes) {
        ShowStatus(LoadUiString(puk ? ui_text::kSimNeedsPuk : ui_text::kEnterSimPin));
        return;
    }
    simCodes_ = std::move(codes);
    Connect();
}

void LinkController::Teardown() {
    if (engine_) {
        // Its destructor joins the dispatcher; the callback only posts, so nothing waits on us.
        engine_.reset();
    }
    submissions_.Forget(SendRun::kOutbox);
    submissions_.Forget(SendRun::kSmart);
    phonebookJob_ = PhonebookJob::None;
    ShowStatus(LoadUiString(ui_text::kOffline));
}

// ---- engine notifications ----

void LinkController::OnEngineEvent(Notification notification) {
    switch (notification) {
        case Notification::kStartupFailed: {
            // The reason came just before; a link lost after start-up is no failed start.
            const std::u16string failed = LoadUiString(ui_text::kInitializeFailed);
            if (!startupReason_)
                failureText_ = failed;
            else if (online_)
                failureText_ = LoadUiString(*startupReason_);
            else
                failureText_ = failed + u": " + LoadUiString(*startupReason_);
            // The PIN dialog that follows says it better than a box would.
            failureBox_ = !simCodeRequest_;
            ShowStatus(failureText_);
            if (engine_) {
                StartTimer(kTimerDisconnect, 100);
            } else {
                PostBusy(false);
            }
            break;
        }
        case Notification::kModemSilent:
            startupReason_ = ui_text::kModemSilent;
            break;
        case Notification::kNotAModem:
            startupReason_ = ui_text::kNotAModem;
            break;
        case Notification::kSimNotReady:
            startupReason_ = ui_text::kSimNotReady;
            break;
        case Notification::kNoSim:
            startupReason_ = ui_text::kNoSim;
            break;
        case Notification::kLinkLost:
            startupReason_ = ui_text::kLinkLost;
            break;
        case Notification::kPhonebookRead:
            phonebookJob_ = PhonebookJob::None;
            SaveEnginePhonebook();
            PostBusy(false);
            AfterConnect(AfterConnectStep::kMessages);
            break;
        // A write with refused entries ends the job too; they stay marked changed.
        case Notification::kPhonebookWritten:
        case Notification::kPhonebookWriteFailed:
            phonebookJob_ = PhonebookJob::None;
            // A failed save keeps its reason on the status line.
            if (SaveEnginePhonebook())
                window_.SetStatusText(OperatorLabel(engine_->OperatorText(), online_));
            PostBusy(false);
            if (page_ == kPagePhonebook) window_.RefreshPhonebookPage();
            if (notification == Notification::kPhonebookWriteFailed) TellPhonebookRefusals();
            if (page_ == kPageMessages) AfterConnect(AfterConnectStep::kMessages);
            break;
        case Notification::kSignalChanged:
            window_.SetSignalLevel(engine_->SignalLevel());
            break;
        case Notification::kStarted:
            window_.ShowDetectedServiceCentre(engine_->DetectedServiceCentre());
            break;
        case Notification::kOperator: {
            PostBusy(false);
            const bool wasOnline = online_;
            online_ = true;
            window_.SetConnectCancels(false);
            ShowStatus(OperatorLabel(engine_->OperatorText(), online_));
            // A later operator report only refreshes the label.
            if (!wasOnline) AfterConnect(AfterConnectStep::kPhonebook);
            break;
        }
        case Notification::kMessageSent:
            ShowStatus(LoadUiString(ui_text::kSmsNumber) + u" " +
                       Widen(std::to_string(engine_->MessageReference())));
            break;
        case Notification::kSendDone:
        case Notification::kSendFailed:
            OnSendEnded(notification == Notification::kSendDone);
            break;
        case Notification::kListingFinished:
            folders_.RefreshInbox(engine_->ListedParts(), engine_->StoreUsed());
            PostBusy(false);
            // Queued behind the idle message, so the run finds the window no longer busy.
            outbox_.StartLater();
            break;
        case Notification::kListingFailed:
            folders_.ShowFolder(kInbox);
            PostBusy(false);
            window_.ShowMessageBox(ui_text::kCouldNotReadSimMessages);
            break;
        case Notification::kCmeError:
            PostBusy(false);
            // Still starting, the modem found no network: say so now rather than at the next
            // label.
            if (!online_ && engine_->OperatorText() == u"No network")
                ShowStatus(LoadUiString(ui_text::kNotRegistered));
            break;
        case Notification::kMessageArrived:
            folders_.AddArrived(engine_->TakeArrivedMessages());
            break;
        case Notification::kDeleted:
        case Notification::kDeleteFailed:
            folders_.Deleted(notification == Notification::kDeleted);
            break;
        case Notification::kStatusReport:
            folders_.ApplyStatusReports(engine_->TakeStatusReports());
            break;
        case Notification::kSimPinRequired:
        case Notification::kSimPukRequired: {
            const bool puk = notification == Notification::kSimPukRequired;
            simCodeRequest_ = SimCodeRequest{
                puk, puk ? engine_->PukAttempts() : engine_->PinAttempts(), codesGiven_ && !puk};
            codesGiven_ = false;
            startupReason_ = puk ? ui_text::kSimNeedsPuk : ui_text::kEnterSimPin;
            break;
        }
        case Notification::kCmsOther:
        case Notification::kCmsInvalidIndex:
        case Notification::kCmsNoServiceCentre:
        case Notification::kCmsNotAllowed:
        case Notification::kCmsSendFailed:
            OnSendFailed(notification);
            break;
        // Nothing the window shows depends on these; a failed job is still found out by its
        // missing success.
        case Notification::kWriteFailed:
        case Notification::kStoreSendFailed:
        case Notification::kPhonebookReadFailed:
        case Notification::kStopping:
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
        case Notification::kWriteDone:
        case Notification::kStoreSendDone:
        case Notification::kToolkitInfo:
        case Notification::kToolkitAccepted:
        case Notification::kToolkitFailed:
        case Notification::kToolkitEnded:
        case Notification::kToolkitTimedOut:
        case Notification::kSimReady:
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

void LinkController::OnSendEnded(bool done) {
    // The run goes on at once: the engine reports a send's end only once it takes the next.
    const std::u16string reason = done ? std::u16string() : Utf8ToU16(engine_->LastFailure());
    switch (submissions_.Take()) {
        case SendRun::kOutbox:
            if (done) {
                outbox_.Confirmed(engine_->SentReferences());
            } else {
                outbox_.Failed(reason);
            }
            break;
        case SendRun::kSmart:
            if (done) {
                smart_.Confirmed();
            } else {
                smart_.Failed(reason);
            }
            break;
        case SendRun::kNone:
            break;
    }
}

void LinkController::OnSendFailed(Notification notification) {
    // The send's own failure report follows, with the reason.
    (void)notification;
    if (submissions_.Awaiting()) ShowStatus(LoadUiString(ui_text::kSendFailed));
}

SubmitOptions LinkController::NextConcatReference() {
    const bool sixteenBit = window_.Settings().sixteenBitReference;
    const uint32_t modulus = sixteenBit ? 0x10000u : 0x100u;
    if (!lastConcatReference_) lastConcatReference_ = window_.KeptNumber(kConcatReferenceName);
    const uint32_t next = (lastConcatReference_.value_or(0) + 1) % modulus;
    lastConcatReference_ = next;
    // A failed save keeps the reference in memory: it still increases while the program runs.
    window_.KeepNumber(kConcatReferenceName, next);
    SubmitOptions options;
    options.reference = static_cast<int32_t>(next);
    options.sixteenBitReference = sixteenBit;
    return options;
}

void LinkController::TellPhonebookRefusals() {
    std::u16string list;
    // Taken before the table's lock: PhonebookRefusals() takes that lock itself.
    const std::vector<PhonebookRefusal> refusals = engine_->PhonebookRefusals();
    {
        const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
        const std::vector<PhonebookEntry>& entries = engine_->Phonebook().Entries();
        for (const PhonebookRefusal& refusal : refusals) {
            std::u16string name;
            if (refusal.position >= 1 && static_cast<size_t>(refusal.position) <= entries.size())
                name = ShownNumber(entries[static_cast<size_t>(refusal.position - 1)].name);
            list += u"\n" + Widen(std::to_string(refusal.position)) +
                    (name.empty() ? u"" : u" " + name) + u": " + Utf8ToU16(refusal.reason);
        }
    }
    const std::u16string text = LoadUiString(ui_text::kPhonebookEntriesRefused);
    ShowStatus(text);
    window_.ShowMessageText(text + list);
}

bool LinkController::SaveEnginePhonebook() {
    std::string error;
    bool saved = false;
    {
        const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
        saved = engine_->Phonebook().SaveFile() != 0;
        if (!saved) error = engine_->Phonebook().LastError();
    }
    ReportLoadProblems();
    if (!saved) ReportFileError(ui_text::kSaveFailed, error);
    return saved;
}

bool LinkController::LoadEnginePhonebook() {
    bool loaded = false;
    {
        const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
        loaded = engine_->Phonebook().LoadFile() != 0;
    }
    ReportLoadProblems();
    return loaded;
}

void LinkController::AfterConnect(AfterConnectStep step) {
    if (!engine_) return;
    const ControllerSettings settings = window_.Settings();
    if (step == AfterConnectStep::kPhonebook) {
        if (settings.syncSimPhonebook) {
            PostBusy(true);
            ShowStatus(settings.readSimPhonebook ? LoadUiString(ui_text::kLoadingSimPhonebook)
                                                 : LoadUiString(ui_text::kWritingSimPhonebook));
            if (phonebook_.Synchronise() != 0) return;  // resumes when the job reports
            // The engine would not take the job: the file keeps the pending changes.
            PostBusy(false);
        } else {
            LoadEnginePhonebook();
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
        outbox_.StartLater();
    }
}

// ---- phonebook cache host ----

PhonebookTable* LinkController::OnlinePhonebook(std::unique_lock<std::mutex>& lock) {
    if (!online_ || !engine_) return nullptr;
    lock = engine_->LockPhonebook();
    return &engine_->Phonebook();
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
        LoadEnginePhonebook();
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
            folders_.DeleteTick();
            break;
        case kTimerStatusTimeout:
            StatusTimeout();
            break;
        default:
            break;
    }
}

// ---- compose page ----

void LinkController::SendComposed() {
    // Only numbers the modem can take are queued: one that cannot be sent would hold up the
    // run, and nothing the user did not type may be dialled.
    const CheckedRecipients checked = CheckRecipients(window_.RecipientText());
    if (!checked.refused.empty()) {
        window_.ShowMessageText(RefusedNumberText(checked.refused, checked.why));
        return;
    }
    if (!checked.ok()) {
        window_.ShowMessageBox(ui_text::kInvalidPhoneNumber);
        return;
    }
    const std::u16string& recipients = checked.numbers;
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
    switch (composeMode_) {
        case ComposeMode::kText: {
            SmsRecord record;
            record.index = -1;
            record.number = recipients;
            record.time = MakeLocalTimeStamp();
            record.text = window_.ComposeText();
            MessageStore store;
            LoadFolder(*this, store, FolderTableKind::kTransfer, FolderId::Outbox);
            if (store.AddTransfer(record) == 0) {
                // The Outbox is full: stay with the message.
                window_.Beep();
                return;
            }
            // Not stored: stay with the message; the error says why.
            if (!SaveFolder(*this, store, FolderTableKind::kTransfer, FolderId::Outbox)) return;
            outbox_.Start();
            folders_.EditedDraftQueued();
            GoToPage(kPageMessages);
            folders_.ShowFolder(kSent);
            break;
        }
        case ComposeMode::kPicture: {
            // An operator logo is 72 x 14 pixels, the other kinds 72 x 28.
            const size_t digits = pictureKind_ == PictureKind::kOperatorLogo ? 252 : 504;
            smart_.Start(recipients, pictureKind_, window_.PictureHex().substr(0, digits));
            GoToPage(kPageMessages);
            break;
        }
    }
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
