// The one object between the window and the modem: connecting and disconnecting, the status line,
// what happens after the link comes up, the folder commands and sending.
//
// Everything here runs on the window thread.  The engine's callback only posts the notification
// code to the window (WindowInterface::Post); the controller acts on it when the window hands it
// back, so the folder tables and the window's controls are touched by one thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "codec/sms_record.h"
#include "control/link_engine.h"
#include "control/phonebook_cache.h"
#include "control/window_interface.h"
#include "platform/timing.h"
#include "store/message_store.h"

namespace telvane {

class LinkController : private PhonebookCacheHost {
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

    // The Connect/Disconnect command.
    void Connect();
    // A tick of one of the controller's timers (11024..11031).
    void OnTimer(int timerId);
    // The busy message, as posted by the controller itself.
    void OnBusyMessage(int wParam, int lParam);
    // After the settings were saved.
    void ApplyServiceCentre();

    // A status text, replaced by the operator label 15 seconds later.
    void ShowStatus(const std::u16string& text);

    // Folder commands of the message page.
    void ShowFolder(int folder);
    void FillMessageList();
    void OpenMessage(int row);
    void DeleteTicked();
    void CopyTicked();
    void SaveComposed();
    void Reply();
    void Forward();
    void EditMessage();

    // Sending.
    void SendComposed();
    void StartOutboxRun();
    void StartSmartRun(const std::u16string& recipients, const std::u16string& pictureHex);
    void ToggleComposeMode();
    void SelectPictureKind(int line);

    // Plain accessors.
    int Page() const { return page_; }
    void SetPage(int page) { page_ = page; }
    bool IsOnline() const { return online_; }
    bool IsBusy() const { return busy_; }
    bool HasEngine() const { return engine_ != nullptr; }
    ComposeMode CurrentComposeMode() const { return composeMode_; }
    PictureKind CurrentPictureKind() const { return pictureKind_; }
    PhonebookSource CurrentPhonebookSource() const { return phonebookSource_; }
    void SetPhonebookSource(PhonebookSource source) { phonebookSource_ = source; }
    EntryPanelMode CurrentEntryPanelMode() const { return entryPanelMode_; }
    void SetEntryPanelMode(EntryPanelMode mode) { entryPanelMode_ = mode; }

    MessageStore& Store() { return store_; }
    PhonebookCache& Phonebook() { return phonebook_; }

  private:
    // Which run a submission belongs to, so that the two runs never act on each other's
    // confirmations.
    enum class Run { None, Outbox, Smart };
    // Where the work after the link came up resumes: from the phonebook transfer, or from the
    // messages once the phonebook is done.
    enum class AfterConnectStep { kPhonebook, kMessages };

    // PhonebookCacheHost
    PhonebookTable* OnlinePhonebook() override;
    int StartPhonebookRead() override;
    int StartPhonebookWrite() override;
    ControllerSettings CurrentSettings() const override;
    void PostBusy(bool busy) override;

    int64_t Scaled(int64_t ms) const;
    void StartTimer(int timerId, int64_t ms);
    void OpenPort();
    void Disconnect();
    void Teardown();
    void OnEngineEvent(Notification notification);
    void AfterConnect(AfterConnectStep step);
    void SaveEnginePhonebook();
    void PhonebookJobLost();
    void StatusTimeout();
    void StartOutboxRunLater();

    bool DeleteStep();
    bool CopyStep();
    void EndDeleteRun();
    void EndCopyRun();

    bool OutboxStep();
    bool SmartStep();
    void EndOutboxRun();
    void MoveServedToSent();
    void EndSmartRun();
    void OnSubmitted();
    void OnSendFailed(Notification notification);
    bool TakeSubmissionFailure(Run run);
    void ConfirmOutboxRecipient();

    WindowInterface& window_;
    Timing timing_;
    LinkEngineFactory engineFactory_;

    std::unique_ptr<LinkEngine> engine_;
    // Tells posted work whether the controller still exists.
    std::shared_ptr<std::atomic<bool>> alive_;
    // Increases with each engine, so that codes a torn-down engine posted are dropped.
    int engineGeneration_ = 0;

    MessageStore store_;
    PhonebookCache phonebook_;

    int page_ = kPageMessages;
    PhonebookSource phonebookSource_ = PhonebookSource::kSim;
    EntryPanelMode entryPanelMode_ = EntryPanelMode::kEdit;
    bool busy_ = false;
    bool online_ = false;

    ComposeMode composeMode_ = ComposeMode::kText;
    PictureKind pictureKind_ = PictureKind::kPictureMessage;

    // Multi-item folder commands.
    int cursor_ = -1;
    int sourceFolder_ = 0;
    int targetFolder_ = 0;

    // Sending.
    bool sendFailed_ = false;
    int outboxSlot_ = -1;
    SmsRecord working_;
    int segmentCount_ = 0;
    int segmentNumber_ = 1;
    // The submission the engine took and has not confirmed yet.
    Run awaiting_ = Run::None;
    bool outboxRunning_ = false;
    // A phonebook read or write the engine took and has not reported done, and how many status
    // timeouts it may still take.
    enum class PhonebookJob { None, Read, Write };
    PhonebookJob phonebookJob_ = PhonebookJob::None;
    int phonebookTicksLeft_ = 0;
    bool smartRunning_ = false;
};

}  // namespace telvane
