// The one object between the window and the modem: connecting and disconnecting, the status
// line, the busy state, the timers, and routing the engine's notifications to the part they
// concern: the folder commands, the Outbox run, the smart-message run or the phonebook cache.
//
// Everything here runs on the window thread.  The engine's callback only posts the notification
// to the window (WindowInterface::Post); the controller acts on it when the window hands it
// back, so the folder tables and the window's controls are touched by one thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "control/controller_host.h"
#include "control/folder_commands.h"
#include "control/history_feed.h"
#include "control/link_engine.h"
#include "control/outbox_run.h"
#include "control/phonebook_cache.h"
#include "control/smart_run.h"
#include "control/window_interface.h"
#include "platform/ordered_worker.h"
#include "platform/timing.h"

namespace telvane {

class ModemManagerInhibition;

class LinkController : private ControllerHost, private PhonebookCacheHost {
  public:
    // `timing` scales every timer period, as it scales the engine's pauses.  The factory makes
    // the engine at each Connect; null makes the product's ModemEngine with the same timing.
    explicit LinkController(WindowInterface& window, Timing timing = Timing(),
                            LinkEngineFactory engineFactory = nullptr);
    LinkController(WindowInterface& window, double timeScale,
                   LinkEngineFactory engineFactory = nullptr)
        : LinkController(window, Timing(timeScale), std::move(engineFactory)) {}
    ~LinkController() override;

    LinkController(const LinkController&) = delete;
    LinkController& operator=(const LinkController&) = delete;

    // The Connect/Disconnect command; until the link is up (the operator reported) it cancels
    // the connect under way, even while busy.
    void Connect();
    // A tick of one of the controller's timers (11024..11031).
    void OnTimer(int timerId);
    // The window's own busy message (1 busy, 0 idle); `lParam` nonzero shows the wait cursor.
    void OnBusyMessage(int wParam, int lParam);
    // After the settings were saved, and at each connect: the SMS centre from the settings,
    // cleaned, to the engine; a centre that is no number is refused and the user told.
    void ApplyServiceCentre();

    // A query of the window's own (the modem's information, USSD): started on the engine and
    // ended on the window's thread like every job; a zero handle without a connection.
    JobHandle RunQuery(const JobStarter& start, JobEnded ended) {
        return online_ ? RunJob(start, std::move(ended)) : JobHandle{};
    }
    // The operator, or the network's state in words where it is not the home network.
    std::u16string NetworkLabel() const;
    // A status text, replaced by the operator label 15 seconds later.
    void ShowStatus(const std::u16string& text) override;

    // The compose page's Send: a text goes to the Outbox and the Outbox run starts; a picture
    // starts the smart-message run.
    void SendComposed();
    void ToggleComposeMode();
    // A line of the picture-kind drop-down.
    void SelectPictureKind(int line);

    // Plain accessors.
    int Page() const { return page_; }
    void SetPage(int page) { page_ = page; }
    bool IsOnline() const { return online_; }
    bool IsBusy() const { return busy_; }
    bool HasEngine() const { return engine_ != nullptr; }
    // ModemManager was asked about the chosen port and has not answered yet.
    bool AwaitingModemManager() const { return modemManagerAsked_ != 0; }
    ComposeMode CurrentComposeMode() const { return composeMode_; }
    PictureKind CurrentPictureKind() const { return pictureKind_; }
    PhonebookSource CurrentPhonebookSource() const { return phonebookSource_; }
    void SetPhonebookSource(PhonebookSource source) { phonebookSource_ = source; }
    EntryPanelMode CurrentEntryPanelMode() const { return entryPanelMode_; }
    void SetEntryPanelMode(EntryPanelMode mode) { entryPanelMode_ = mode; }

    // The parts the window drives directly.
    FolderCommands& Folders() { return folders_; }
    OutboxRun& Outbox() { return outbox_; }
    PhonebookCache& Phonebook() { return phonebook_; }
    // The message history's feed; null when the history was not started.
    HistoryFeed* History() { return history_.get(); }

  private:
    // Where the work after the link came up resumes: from the phonebook transfer, or from the
    // messages once the phonebook is done.
    enum class AfterConnectStep { kPhonebook, kMessages };

    // ControllerHost
    WindowInterface& Window() override { return window_; }
    LinkEngine* Engine() override { return engine_.get(); }
    bool Online() const override { return online_; }
    bool Busy() const override { return busy_; }
    bool SendRunActive() const override { return outbox_.Running() || smart_.Running(); }
    void StartTimer(int timerId, int64_t ms) override;
    void PostBusy(BusyHolder holder, bool busy) override;
    JobHandle RunJob(const JobStarter& start, JobEnded ended) override;
    void PostTask(std::function<void()> task) override;
    void GoToPage(UiPage page) override;
    FolderTables& Tables() override { return tables_; }
    void ShowFolder(int folder) override { folders_.ShowFolder(folder); }
    void ReportFileError(UiText what, const std::string& reason) override;
    SubmitOptions NextConcatReference() override;
    void ReportLoadProblems() override;

    // PhonebookCacheHost
    PhonebookTable* OnlinePhonebook(std::unique_lock<std::mutex>& lock) override;
    bool PhonebookOnline() override { return online_ && engine_ != nullptr; }
    [[nodiscard]] int StartPhonebookRead() override;
    [[nodiscard]] int StartPhonebookWrite() override;
    ControllerSettings CurrentSettings() const override;

    void OpenPort();
    // The port opened, once ModemManager was asked to let go of it where it manages it.
    void OpenEngine();
    // The port would not open: who holds it is said, and ModemManager may be asked to let go.
    void TellOpenFailure(const std::string& reason);
    // ModemManager is asked (on modemManagerWorker_) to let go of the chosen device; `asked`:
    // the user asked for it, and the connect is tried again once it did.  Else the answer goes
    // on with the connect of this engine.
    void FreeFromModemManager(bool asked);
    void OnModemManagerAnswer(int request, int generation, bool asked,
                              std::shared_ptr<ModemManagerInhibition> inhibition,
                              const std::string& refusal);
    void Disconnect();
    // After a lost link: is the device back?  Reconnects when it is.
    void ReconnectTick();
    void StopAwaitingReturn();
    bool DevicePresent() const;
    // The link closed before it came up, and the status line says so.
    void CancelConnect();
    void Teardown();
    void OnEngineEvent(Notification notification);
    // A holder's or a job's busy state changed: the window follows whether any is left.
    void SetBusy(BusyHolder holder, bool busy, bool cursor = true);
    void UpdateBusy(bool cursor = true);
    void AfterConnect(AfterConnectStep step);
    void OnListingEnded(const JobResult& result);
    void OnPhonebookReadEnded(const JobResult& result);
    // With the phonebook transfer off and no offline copy yet, the SIM's phonebook is read once
    // for the senders' names and kept as the offline copy: nothing goes to the SIM, the
    // settings stay.
    // False when it is not wanted or the engine refused it.
    bool StartNamesRead();
    void OnNamesReadEnded(const JobResult& result);
    // `held`: entries held back from the write, their numbers refused.
    void OnPhonebookWriteEnded(const JobResult& result, const std::vector<PhonebookRefusal>& held);
    // Before a phonebook write: every changed number in the normaliser's form; an entry whose
    // number it refuses is taken out of the write (its changed mark cleared) and returned.
    std::vector<PhonebookRefusal> HoldBackRefusedNumbers();
    void RestoreHeldBack(const std::vector<PhonebookRefusal>& held);
    // The engine's phonebook to and from its file, a failure reported.  The table is copied
    // under the engine's lock; the file is written outside it.
    [[nodiscard]] bool SaveEnginePhonebook();
    [[nodiscard]] bool SavePhonebookTable(const PhonebookTable& table);
    [[nodiscard]] bool LoadEnginePhonebook();
    // After a phonebook write the SIM refused entries of: which, and why.
    void TellPhonebookRefusals(const std::vector<PhonebookRefusal>& refusals);
    void StatusTimeout();
    // What TakeLoadProblems() holds: the last on the status line, all in one message box.
    void ShowLoadProblems();
    // The SIM asked for a code: the user is asked, and a code given reconnects with it.
    void AskForSimCodes(bool puk, int attemptsLeft, bool wrongCode);

    WindowInterface& window_;
    Timing timing_;
    LinkEngineFactory engineFactory_;

    std::unique_ptr<LinkEngine> engine_;
    // Tells posted work whether the controller still exists.
    std::shared_ptr<std::atomic<bool>> alive_;
    // Increases with each engine, so that notifications a torn-down engine posted are dropped.
    int engineGeneration_ = 0;

    // Before the parts that use it.
    FolderTables tables_;
    FolderCommands folders_;
    OutboxRun outbox_;
    SmartRun smart_;
    PhonebookCache phonebook_;
    // After the tables, which hand it each saved folder.
    std::unique_ptr<HistoryFeed> history_;

    int page_ = kPageMessages;
    PhonebookSource phonebookSource_ = PhonebookSource::kSim;
    EntryPanelMode entryPanelMode_ = EntryPanelMode::kEdit;
    bool busy_ = false;
    bool online_ = false;
    // What keeps the window busy: holders, and the jobs that run on the line.
    std::set<BusyHolder> busyHolders_;
    std::set<JobId> runningJobs_;

    ComposeMode composeMode_ = ComposeMode::kText;
    PictureKind pictureKind_ = PictureKind::kPictureMessage;

    // The last load failure reported in a message box, so that a damaged file read at every
    // tick does not bring one up each time.
    std::string lastLoadError_;
    // The last concatenation reference given out; read from the settings at first use.
    std::optional<uint32_t> lastConcatReference_;
    // A ShowLoadProblems is posted and has not run yet.
    bool loadProblemsPosted_ = false;

    // What the SIM asked for at the last start-up, and the codes the user gave for the next
    // one (handed to the engine once).
    struct SimCodeRequest {
        bool puk = false;
        int attemptsLeft = -1;
        bool wrongCode = false;
    };
    std::optional<SimCodeRequest> simCodeRequest_;

    // Why the start-up failed, as the engine said just before kStartupFailed; the text that
    // failure put on the status line, kept there after the disconnect; and whether it also
    // gets a message box.
    std::optional<UiText> startupReason_;
    std::u16string failureText_;
    bool failureBox_ = true;
    std::optional<SimCodes> simCodes_;
    // This connect carries codes the user gave: a SIM that asks again refused them.
    bool codesGiven_ = false;
    // The SIM's phonebook was read for names once in this run.
    bool namesRead_ = false;

    // The device the link was opened on, as the serial-device table resolved the port.
    std::string devicePath_;
    // The link was lost while up: the disconnect that follows decides what comes next.
    bool lostWhileOnline_ = false;
    // Waiting for a lost modem to return, and whether the connect under way is the one its
    // return started (the user's own connect ends the wait).
    bool awaitingReturn_ = false;
    bool automaticConnect_ = false;
    // ModemManager kept off the device for the session, and across a wait for its return.  Its
    // end is a bus call, made on modemManagerWorker_ wherever the last reference goes.
    std::shared_ptr<ModemManagerInhibition> inhibition_;
    // ModemManager's calls, in order (an end before the next begin), off the window thread.
    // Their answers reach the window through the mailbox, closed when the controller goes:
    // such a call may outlive the window.
    OrderedWorker modemManagerWorker_;
    struct Mailbox {
        std::mutex mutex;
        WindowInterface* window = nullptr;
    };
    std::shared_ptr<Mailbox> mailbox_ = std::make_shared<Mailbox>();
    // The answer the controller waits for (0: none); a later question makes an earlier answer
    // moot.
    int modemManagerAsked_ = 0;
    int modemManagerRequests_ = 0;
    // The port number being opened while ModemManager is asked.
    int openNumber_ = 0;
    // ModemManager's refusal at this connect, told with the open's outcome in one box.
    std::u16string pendingRefusal_;
};

}  // namespace telvane
