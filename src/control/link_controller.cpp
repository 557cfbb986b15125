#include "control/link_controller.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>

#include "control/modem_link.h"
#include "control/operator_label.h"
#include "control/recipients.h"
#include "control/ui_strings.h"
#include "platform/files.h"
#include "platform/modem_manager_client.h"
#include "platform/port_holder.h"
#include "platform/serial_devices.h"
#include "platform/text.h"
#include "platform/uucp_lock.h"
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

// How often a lost modem's device is looked for.
constexpr int64_t kReconnectPollMs = 1000;

// An inhibition ended on `worker` wherever its last reference goes: the end is a bus call that
// a slow ModemManager may hold up for seconds.
std::shared_ptr<ModemManagerInhibition> EndingOn(OrderedWorker worker,
                                                 std::unique_ptr<ModemManagerInhibition> held) {
    if (!held) return nullptr;
    return std::shared_ptr<ModemManagerInhibition>(
        held.release(), [worker](ModemManagerInhibition* inhibition) mutable {
            worker.Add([inhibition] { delete inhibition; });
        });
}

constexpr int kInbox = static_cast<int>(FolderId::Inbox);
constexpr int kOutbox = static_cast<int>(FolderId::Outbox);
constexpr int kSent = static_cast<int>(FolderId::Sent);

}  // namespace

LinkController::LinkController(WindowInterface& window, Timing timing,
                               LinkEngineFactory engineFactory)
    : window_(window),
      timing_(timing),
      engineFactory_(engineFactory ? std::move(engineFactory)
                                   : [timing] { return MakeModemLink(timing); }),
      alive_(std::make_shared<std::atomic<bool>>(true)),
      tables_(*this),
      folders_(*this),
      outbox_(*this),
      smart_(*this),
      phonebook_(*this),
      history_(std::make_unique<HistoryFeed>(static_cast<ControllerHost&>(*this), DataFolder())) {
    mailbox_->window = &window_;
    tables_.SetHistory(history_.get());
    ShowStatus(kUnknownOperatorLabel);
}

LinkController::~LinkController() {
    // The window is being destroyed around us: leave its controls alone.
    alive_->store(false);
    {
        std::lock_guard lock(mailbox_->mutex);
        mailbox_->window = nullptr;
    }
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

void LinkController::PostBusy(BusyHolder holder, bool busy) {
    PostTask([this, holder, busy] { SetBusy(holder, busy); });
}

void LinkController::OnBusyMessage(int wParam, int lParam) {
    SetBusy(BusyHolder::kWindow, wParam != 0, lParam != 0);
}

void LinkController::SetBusy(BusyHolder holder, bool busy, bool cursor) {
    if (busy)
        busyHolders_.insert(holder);
    else
        busyHolders_.erase(holder);
    UpdateBusy(cursor);
}

void LinkController::UpdateBusy(bool cursor) {
    const bool busy = !busyHolders_.empty() || !runningJobs_.empty();
    if (!busy) {
        busy_ = false;
        window_.SetWindowEnabled(true);
        if (window_.WaitCursorShown()) window_.SetWaitCursor(false);
    } else {
        busy_ = true;
        window_.SetWindowEnabled(false);
        if (!window_.WaitCursorShown() && cursor) window_.SetWaitCursor(true);
    }
}

JobHandle LinkController::RunJob(const JobStarter& start, JobEnded ended) {
    if (!engine_) return {};
    const int generation = engineGeneration_;
    std::shared_ptr<std::atomic<bool>> alive = alive_;
    WindowInterface* window = &window_;
    auto owner = std::make_shared<JobEnded>(std::move(ended));
    JobDone done = [this, alive, window, generation, owner](const JobResult& result) {
        if (!alive->load()) return;
        window->Post([this, alive, generation, owner, result] {
            if (!alive->load()) return;
            // A job of an engine torn down since was forgotten with it.
            if (generation != engineGeneration_ || !engine_) return;
            runningJobs_.erase(result.id);
            UpdateBusy();
            if (*owner) (*owner)(result);
        });
    };
    const JobHandle handle = start(*engine_, std::move(done));
    // Its end is posted to this thread, so it comes after this.
    if (handle) {
        runningJobs_.insert(handle.id);
        UpdateBusy();
    }
    return handle;
}

void LinkController::GoToPage(UiPage page) {
    page_ = page;
    window_.ApplyPage(page_);
}

std::u16string LinkController::NetworkLabel() const {
    const std::u16string label = OperatorLabel(engine_->OperatorText(), online_);
    if (!online_) return label;
    switch (engine_->RegistrationState()) {
        case Registration::kRoaming:
            return FormatUiString(ui_text::kRoaming, {label});
        case Registration::kSearching:
            return LoadUiString(ui_text::kSearchingNetwork);
        case Registration::kDenied:
            return LoadUiString(ui_text::kRegistrationDenied);
        case Registration::kNone:
            return LoadUiString(ui_text::kNoRegistration);
        case Registration::kHome:
        case Registration::kUnknown:
            break;
    }
    return label;
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
    if (!engine_ || busy_) return;
    window_.SetStatusText(NetworkLabel());
    if (online_) engine_->RequestSignalQuality();
}

// ---- connecting ----

void LinkController::Connect() {
    // The user's own Connect ends a wait for a lost modem.
    if (!std::exchange(automaticConnect_, false)) StopAwaitingReturn();
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
    PostBusy(BusyHolder::kConnect, true);
    engine_ = engineFactory_ ? engineFactory_() : nullptr;
    if (!engine_) {
        window_.SetStatusText(LoadUiString(ui_text::kInitializeFailed));
        PostBusy(BusyHolder::kConnect, false);
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
    openNumber_ = port.size() > 3 ? ReadNumber(std::u16string_view(port).substr(3)) : 0;
    devicePath_ = SerialDeviceTable::Instance()
                      .Resolve("COM" + std::to_string(openNumber_))
                      .value_or(std::string());
    // The open waits for ModemManager's answer, the window does not.
    if (!inhibition_ && !devicePath_.empty()) {
        FreeFromModemManager(false);
        return;
    }
    OpenEngine();
}

void LinkController::OpenEngine() {
    if (!engine_) return;
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
    if (engine_->Open(openNumber_, std::move(callback)) == 0) {
        TellOpenFailure(engine_->OpenError());
        return;
    }
    if (!pendingRefusal_.empty()) window_.ShowMessageText(std::exchange(pendingRefusal_, {}));
    outbox_.Forget();
    folders_.ForgetSimIndexes();
    ApplyServiceCentre();
}

void LinkController::TellOpenFailure(const std::string& reason) {
    Teardown();
    window_.SetConnectCancels(false);
    PostBusy(BusyHolder::kConnect, false);
    const std::u16string refusal = std::exchange(pendingRefusal_, {});
    if (awaitingReturn_) {
        // Back, but not ready yet (or taken by another program meanwhile): the wait goes on.
        inhibition_.reset();
        window_.SetStatusText(LoadUiString(ui_text::kWaitingForModem));
        StartTimer(kTimerReconnect, kReconnectPollMs);
        return;
    }
    inhibition_.reset();
    // After the teardown's "Offline", so that the failure and its reason stay on the status
    // line.
    const std::u16string failed = LoadUiString(ui_text::kInitializeFailed);
    const std::optional<PortHolder> holder =
        devicePath_.empty() ? std::nullopt : FindPortHolder(devicePath_, LockFolders());
    if (holder) {
        const std::u16string text = FormatUiString(
            ui_text::kPortInUse,
            {Utf8ToU16(devicePath_), Utf8ToU16(holder->name), Widen(std::to_string(holder->pid))});
        window_.SetStatusText(failed + u": " + text);
        // Asking again what ModemManager just refused would not help.
        const bool offer = holder->name == "ModemManager" && refusal.empty();
        if (window_.AskToFreePort(refusal.empty() ? text : text + u"\n\n" + refusal, offer) &&
            offer)
            PostTask([this] { FreeFromModemManager(true); });
        return;
    }
    window_.SetStatusText(reason.empty() ? failed : failed + u": " + Utf8ToU16(reason));
    std::u16string box = reason.empty() ? std::u16string() : failed + u"\n" + Utf8ToU16(reason);
    if (!refusal.empty()) box += box.empty() ? refusal : u"\n\n" + refusal;
    if (!box.empty()) window_.ShowMessageText(box);
}

void LinkController::FreeFromModemManager(bool asked) {
    if (devicePath_.empty() || (asked && engine_)) return;
    const int request = ++modemManagerRequests_;
    modemManagerAsked_ = request;
    const int generation = engineGeneration_;
    modemManagerWorker_.Add([this, worker = modemManagerWorker_, mailbox = mailbox_, alive = alive_,
                             path = devicePath_, request, generation, asked] {
        ModemManagerInhibition::Outcome outcome = ModemManagerInhibition::Outcome::kNotManaged;
        std::string refusal;
        std::shared_ptr<ModemManagerInhibition> inhibition =
            EndingOn(worker, ModemManagerInhibition::Begin(path, outcome, refusal));
        std::lock_guard lock(mailbox->mutex);
        // A controller gone meanwhile leaves the inhibition to end here.
        if (mailbox->window == nullptr) return;
        mailbox->window->Post([this, alive, request, generation, asked,
                               inhibition = std::move(inhibition), refusal]() mutable {
            if (alive->load())
                OnModemManagerAnswer(request, generation, asked, std::move(inhibition), refusal);
        });
    });
}

void LinkController::OnModemManagerAnswer(int request, int generation, bool asked,
                                          std::shared_ptr<ModemManagerInhibition> inhibition,
                                          const std::string& refusal) {
    if (request != modemManagerAsked_) return;
    modemManagerAsked_ = 0;
    // The connect this answer was for was cancelled, or another began: the inhibition, if any,
    // ends as it goes out of scope.
    if (!asked && (generation != engineGeneration_ || !engine_)) return;
    if (asked && engine_) return;
    if (inhibition) {
        inhibition_ = std::move(inhibition);
        if (asked) Connect();
    } else if (!refusal.empty()) {
        const std::u16string text =
            FormatUiString(ui_text::kModemManagerRefused, {Utf8ToU16(refusal)});
        ShowStatus(text);
        // At a connect it goes into one box with what the open found.
        if (asked)
            window_.ShowMessageText(text);
        else
            pendingRefusal_ = text;
    }
    if (!asked) OpenEngine();
}

bool LinkController::DevicePresent() const {
    return !devicePath_.empty() && ::access(devicePath_.c_str(), F_OK) == 0;
}

void LinkController::StopAwaitingReturn() {
    window_.KillTimer(kTimerReconnect);
    if (!awaitingReturn_) return;
    awaitingReturn_ = false;
    if (!engine_) inhibition_.reset();
}

void LinkController::ReconnectTick() {
    window_.KillTimer(kTimerReconnect);
    if (!awaitingReturn_ || engine_) return;
    if (!DevicePresent() || busy_) {
        StartTimer(kTimerReconnect, kReconnectPollMs);
        return;
    }
    automaticConnect_ = true;
    Connect();
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
    folders_.ForgetSimIndexes();
    Teardown();
    window_.SetConnectCancels(false);
    phonebook_.Load();
    PostBusy(BusyHolder::kConnect, false);
    if (std::exchange(lostWhileOnline_, false)) {
        // Decided now rather than at the loss: a pulled modem's device goes a moment later.
        // An unplugged modem, or one awaited, is no error to acknowledge.
        if (!devicePath_.empty() && !DevicePresent()) {
            failureText_ = LoadUiString(ui_text::kModemUnplugged);
            failureBox_ = false;
        }
        // A pseudo-terminal's number goes to the next one any program opens: it names no device.
        const bool recycledName = devicePath_.rfind("/dev/pts/", 0) == 0;
        if (window_.Settings().reconnectOnReturn && !recycledName) awaitingReturn_ = true;
    }
    // The SIM asks for a code: the user's answer reconnects, not the wait.
    if (simCodeRequest_) StopAwaitingReturn();
    if (awaitingReturn_) failureBox_ = false;
    const std::u16string failure = failureText_;
    if (!failureText_.empty()) {
        // Kept over the teardown's "Offline": without an engine no label replaces it.
        window_.SetStatusText(failureText_);
        if (failureBox_) window_.ShowMessageText(failureText_);
        failureText_.clear();
    }
    if (awaitingReturn_) {
        const std::u16string waiting = LoadUiString(ui_text::kWaitingForModem);
        window_.SetStatusText(failure.empty() ? waiting : failure + u" — " + waiting);
        StartTimer(kTimerReconnect, kReconnectPollMs);
    } else {
        inhibition_.reset();
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
    // Their ends will not come: the engine that ran them is gone.
    runningJobs_.clear();
    UpdateBusy();
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
            lostWhileOnline_ = online_ && startupReason_ == ui_text::kLinkLost;
            ShowStatus(failureText_);
            if (engine_) {
                StartTimer(kTimerDisconnect, 100);
            } else {
                PostBusy(BusyHolder::kConnect, false);
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
        case Notification::kSignalChanged:
            window_.SetSignalLevel(engine_->SignalLevel());
            window_.SetSignalRssi(engine_->Rssi());
            break;
        // The network's state shows at once, unless a run's progress is on the line.
        case Notification::kRegistered:
        case Notification::kNotRegistered:
            if (online_ && !busy_) window_.SetStatusText(NetworkLabel());
            break;
        case Notification::kStarted:
            window_.ShowDetectedServiceCentre(engine_->DetectedServiceCentre());
            break;
        case Notification::kOperator: {
            PostBusy(BusyHolder::kConnect, false);
            const bool wasOnline = online_;
            online_ = true;
            StopAwaitingReturn();
            window_.SetConnectCancels(false);
            ShowStatus(NetworkLabel());
            // A later operator report only refreshes the label.
            if (!wasOnline) AfterConnect(AfterConnectStep::kPhonebook);
            break;
        }
        case Notification::kCmeError:
            // Whatever command it answered ended its own job; still starting, the modem found no
            // network: say so now rather than at the next label.
            if (!online_ && engine_->OperatorText() == u"No network")
                ShowStatus(LoadUiString(ui_text::kNotRegistered));
            break;
        case Notification::kMessageArrived:
            folders_.AddArrived(engine_->TakeArrivedMessages());
            break;
        case Notification::kStatusReport:
            folders_.ApplyStatusReports(engine_->TakeStatusReports());
            break;
        // Their results go to whoever started the job.
        case Notification::kInformation:
        case Notification::kUssd:
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
        // A job's end, and the errors that ended one, reach the job's owner with its result.
        case Notification::kPhonebookRead:
        case Notification::kPhonebookReadFailed:
        case Notification::kPhonebookWritten:
        case Notification::kPhonebookWriteFailed:
        case Notification::kMessageSent:
        case Notification::kSendDone:
        case Notification::kSendFailed:
        case Notification::kListingFinished:
        case Notification::kListingFailed:
        case Notification::kDeleted:
        case Notification::kDeleteFailed:
        case Notification::kCmsOther:
        case Notification::kCmsInvalidIndex:
        case Notification::kCmsNoServiceCentre:
        case Notification::kCmsNotAllowed:
        case Notification::kCmsSendFailed:
        // Nothing the window shows depends on these.
        case Notification::kWriteFailed:
        case Notification::kStoreSendFailed:
        case Notification::kStopping:
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

void LinkController::TellPhonebookRefusals(const std::vector<PhonebookRefusal>& refusals) {
    std::vector<PhonebookEntry> entries;
    {
        const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
        entries = engine_->Phonebook().Entries();
    }
    std::u16string list;
    for (const PhonebookRefusal& refusal : refusals) {
        std::u16string name;
        if (refusal.position >= 1 && static_cast<size_t>(refusal.position) <= entries.size())
            name = ShownNumber(entries[static_cast<size_t>(refusal.position - 1)].name);
        list += u"\n" + Widen(std::to_string(refusal.position)) +
                (name.empty() ? u"" : u" " + name) + u": " + Utf8ToU16(refusal.reason);
    }
    const std::u16string text = LoadUiString(ui_text::kPhonebookEntriesRefused);
    ShowStatus(text);
    window_.ShowMessageText(text + list);
}

bool LinkController::SaveEnginePhonebook() {
    PhonebookTable copy;
    {
        const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
        copy = engine_->Phonebook();
    }
    return SavePhonebookTable(copy);
}

bool LinkController::SavePhonebookTable(const PhonebookTable& table) {
    PhonebookTable copy = table;
    const bool saved = copy.SaveFile() != 0;
    ReportLoadProblems();
    if (!saved) ReportFileError(ui_text::kSaveFailed, copy.LastError());
    return saved;
}

bool LinkController::LoadEnginePhonebook() {
    PhonebookTable loaded;
    const bool read = loaded.LoadFile() != 0;
    {
        const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
        engine_->Phonebook() = std::move(loaded);
    }
    ReportLoadProblems();
    return read;
}

void LinkController::OnPhonebookReadEnded(const JobResult& result) {
    if (result.Ok() && result.phonebook) {
        // A failed save says why and keeps it on the status line; the read stays in use.
        static_cast<void>(SavePhonebookTable(*result.phonebook));
    } else {
        // The offline copy stays as it was, and the engine's table with it; a damaged file is
        // told by the load.
        static_cast<void>(LoadEnginePhonebook());
        const std::u16string text =
            LoadUiString(ui_text::kSimPhonebookNoAnswer) + u": " + Utf8ToU16(result.reason);
        ShowStatus(text);
        window_.ShowMessageText(text);
    }
    if (page_ == kPagePhonebook) window_.RefreshPhonebookPage();
    AfterConnect(AfterConnectStep::kMessages);
}

std::vector<PhonebookRefusal> LinkController::HoldBackRefusedNumbers() {
    std::vector<PhonebookRefusal> held;
    const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
    PhonebookTable& table = engine_->Phonebook();
    const std::vector<PhonebookEntry> entries = table.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const PhonebookEntry& entry = entries[i];
        if (!entry.changed || entry.number.empty()) continue;
        const auto position = static_cast<int32_t>(i);
        const PhoneNumber number = NormalisePhoneNumber(entry.number);
        if (number.ok()) {
            if (number.number != entry.number)
                table.UpdateEntry(position + 1, entry.name, number.number);
            continue;
        }
        table.SetChanged(position, false);
        held.push_back({position + 1, U16ToUtf8(RefusedNumberText(entry.number, number))});
    }
    return held;
}

void LinkController::RestoreHeldBack(const std::vector<PhonebookRefusal>& held) {
    if (held.empty() || !engine_) return;
    const std::unique_lock<std::mutex> lock = engine_->LockPhonebook();
    for (const PhonebookRefusal& refusal : held)
        engine_->Phonebook().SetChanged(refusal.position - 1, true);
}

void LinkController::OnPhonebookWriteEnded(const JobResult& result,
                                           const std::vector<PhonebookRefusal>& held) {
    // Entries whose numbers were refused stay pending, unwritten, as the SIM's refusals do.
    RestoreHeldBack(held);
    std::vector<PhonebookRefusal> refusals = held;
    refusals.insert(refusals.end(), result.refusals.begin(), result.refusals.end());
    const bool ok = result.Ok() && held.empty();
    // A write with refused entries ends too; they stay marked changed.  A failed save keeps its
    // reason on the status line.
    if (SaveEnginePhonebook() && ok) window_.SetStatusText(NetworkLabel());
    if (page_ == kPagePhonebook) window_.RefreshPhonebookPage();
    if (!ok) TellPhonebookRefusals(refusals);
    if (page_ == kPageMessages) AfterConnect(AfterConnectStep::kMessages);
}

void LinkController::OnListingEnded(const JobResult& result) {
    if (result.Ok()) {
        folders_.RefreshInbox(result.listing, engine_->StoreUsed());
    } else {
        // The Inbox keeps what it had; the Outbox still goes out.
        folders_.ShowFolder(kInbox);
        const std::u16string text =
            LoadUiString(ui_text::kCouldNotReadSimMessages) + u"\n" + Utf8ToU16(result.reason);
        ShowStatus(LoadUiString(ui_text::kCouldNotReadSimMessages));
        window_.ShowMessageText(text);
    }
    // Queued behind the idle state, so the run finds the window no longer busy.
    outbox_.StartLater();
}

bool LinkController::StartNamesRead() {
    if (namesRead_) return false;
    // Only where no offline copy was ever kept: one that exists holds what the user made of it
    // (every entry deleted, edits still to go), which the SIM's contents must not replace.
    std::error_code error;
    if (std::filesystem::exists(PhonebookFilePath(), error) || error) return false;
    namesRead_ = true;
    ShowStatus(LoadUiString(ui_text::kLoadingSimPhonebook));
    const JobHandle read = RunJob(
        [](LinkEngine& engine, JobDone done) { return engine.ReadPhonebook(std::move(done)); },
        [this](const JobResult& result) { OnNamesReadEnded(result); });
    return static_cast<bool>(read);
}

void LinkController::OnNamesReadEnded(const JobResult& result) {
    if (result.Ok() && result.phonebook) {
        // Kept as the offline copy, so that senders have their names offline too and the next
        // connection need not read again.
        static_cast<void>(SavePhonebookTable(*result.phonebook));
    } else {
        // The user asked for nothing: a SIM that does not answer only leaves the names out.
        static_cast<void>(LoadEnginePhonebook());
    }
    if (page_ == kPagePhonebook) window_.RefreshPhonebookPage();
    AfterConnect(AfterConnectStep::kMessages);
}

void LinkController::AfterConnect(AfterConnectStep step) {
    if (!engine_) return;
    const ControllerSettings settings = window_.Settings();
    if (step == AfterConnectStep::kPhonebook) {
        if (settings.syncSimPhonebook) {
            ShowStatus(settings.readSimPhonebook ? LoadUiString(ui_text::kLoadingSimPhonebook)
                                                 : LoadUiString(ui_text::kWritingSimPhonebook));
            // Resumes when the job ends; a job the engine would not take leaves the file's
            // pending changes for the next connection.
            if (phonebook_.Synchronise() != 0) return;
        } else {
            // A damaged file is told by the load; what could be read is used.
            if (LoadEnginePhonebook() && StartNamesRead()) return;
        }
    }
    if (settings.syncSms) {
        if (online_) {
            ShowStatus(LoadUiString(ui_text::kLoadingSms));
            const JobHandle listing =
                RunJob([](LinkEngine& engine,
                          JobDone done) { return engine.ListMessages(kListAll, std::move(done)); },
                       [this](const JobResult& result) { OnListingEnded(result); });
            if (!listing) outbox_.StartLater();
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
    const JobHandle read = RunJob(
        [](LinkEngine& engine, JobDone done) { return engine.ReadPhonebook(std::move(done)); },
        [this](const JobResult& result) { OnPhonebookReadEnded(result); });
    return read ? 1 : 0;
}

int LinkController::StartPhonebookWrite() {
    if (!engine_) return 0;
    const std::vector<PhonebookRefusal> held = HoldBackRefusedNumbers();
    const JobHandle write = RunJob(
        [](LinkEngine& engine, JobDone done) { return engine.WritePhonebook(std::move(done)); },
        [this, held](const JobResult& result) { OnPhonebookWriteEnded(result, held); });
    if (!write) RestoreHeldBack(held);
    return write ? 1 : 0;
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
        case kTimerReconnect:
            ReconnectTick();
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
    // A picture is sent by a run of its own, never from the Outbox.
    if (!online_ && composeMode_ == ComposeMode::kPicture) {
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
            // The file as it is now, unless the run holds a change it lacks.
            if (!SendRunActive()) static_cast<void>(tables_.Reload(FolderId::Outbox));
            bool full = false;
            const bool queued = tables_.Change(FolderId::Outbox, [&](FolderTable& outbox) {
                full = outbox.Add(record) == 0;
                return !full;
            });
            // Full, or not stored (the error says why): stay with the message.
            if (full) window_.Beep();
            if (!queued) return;
            folders_.EditedDraftQueued();
            GoToPage(kPageMessages);
            if (!online_) {
                // The Outbox run starts at the next connect.
                folders_.ShowFolder(kOutbox);
                ShowStatus(LoadUiString(ui_text::kQueuedForNextConnection));
                break;
            }
            outbox_.Start();
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
