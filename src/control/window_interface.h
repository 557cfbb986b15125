// Everything the link controller needs from the main window.  The Qt window implements it; the
// tests implement it with a recording fake.  Every call is made on the window thread, except
// Post, which any thread may call.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "control/ui_strings.h"

namespace telvane {

// The command bar's commands, by the ids the window gives their buttons.
enum class CommandId : int {
    kCompose = 1071,
    kCopy = 1072,
    kPaste = 1073,
    kCut = 1074,
    kDelete = 1075,
    kMessages = 1076,
    kPhonebook = 1077,
    kSettings = 1078,
    kConnect = 1079,
};

// What the compose page writes: a text message or a picture.
enum class ComposeMode : int { kText = 0, kPicture = 1 };

// The kinds of picture, in the order of the compose page's drop-down.
enum class PictureKind : int { kPictureMessage = 0, kOperatorLogo = 1, kScreenSaver = 2 };

// Which list the phonebook page shows, by the page's tab: the SIM's or the contacts folder's.
enum class PhonebookSource : int { kSim = 0, kContacts = 1 };

// What the phonebook page's entry panel does on Okay.
enum class EntryPanelMode : int { kEdit = 0, kAdd = 1 };

// Timer ids the controller starts on the window; the window hands their ticks back through
// LinkController::OnTimer.  11030 belongs to the window itself.
enum ControllerTimer : int {
    kTimerOpenPort = 11024,
    kTimerDisconnect = 11025,
    kTimerDeleteStep = 11026,
    kTimerStatusTimeout = 11028,
    // While waiting for a lost modem to return: is its device back?
    kTimerReconnect = 11027,
};

// Pages of the main window, as the controller's `page` holds them.
enum UiPage : int {
    kPageMessages = 0,
    kPagePhonebook = 1,
    kPageCompose = 2,
    kPageSettings = 3,
    kPageAbout = 5,
};

// List icons of the message list.
inline constexpr int kIconUnread = 0;
inline constexpr int kIconRead = 1;
inline constexpr int kIconOutgoing = 2;  // the SIM keeps it as one of ours (STO SENT/UNSENT)

// The settings the controller reads, as the settings page keeps them.
struct ControllerSettings {
    std::u16string port;               // "COM1" .. "COM4" (a trailing ':' is allowed)
    bool autoServiceCentre = true;     // AutoSC
    std::u16string serviceCentre;      // SC
    bool syncSms = true;               // SyncSMS
    bool syncSimPhonebook = false;     // SyncSIMPbk
    bool readSimPhonebook = true;      // ReadSIMPbk
    bool deliveryReports = false;      // DeliveryReports: submissions ask for a status report
    bool sixteenBitReference = false;  // ConcatRef16: long messages use 16-bit references
    bool reconnectOnReturn = true;     // ReconnectOnReturn: a lost modem is reconnected when back
};

// The settings value that keeps the last concatenation reference across restarts.
inline constexpr std::string_view kConcatReferenceName = "ConcatRef";

// What the user gave when the SIM asked for a code: its PIN, or its PUK and a new PIN.
struct SimCodes {
    std::string pin;
    std::string puk;  // empty unless the SIM asked for its PUK
};

class WindowInterface {
  public:
    virtual ~WindowInterface() = default;

    // Runs `task` later on the window thread, in posting order.  Safe from any thread; the
    // engine's callback uses it so that no controller work runs on the dispatcher thread.
    virtual void Post(std::function<void()> task) = 0;

    // Timers: a started timer fires every `periodMs` until killed; starting a running id
    // restarts it with the new period.  The period is already scaled by the controller's Timing.
    virtual void StartTimer(int timerId, int64_t periodMs) = 0;
    virtual void KillTimer(int timerId) = 0;

    // Busy state: the whole window disabled, with the wait cursor.
    virtual void SetWindowEnabled(bool enabled) = 0;
    // While true, a connect is under way and the Connect command cancels it: the window keeps
    // that one command usable (labelled Cancel) even while it is otherwise disabled.
    virtual void SetConnectCancels(bool cancels) { (void)cancels; }
    virtual void SetWaitCursor(bool shown) = 0;
    virtual bool WaitCursorShown() const = 0;

    // Status line (label 1022) and the signal bar (1021, 0..5).
    virtual void SetStatusText(const std::u16string& text) = 0;
    virtual void SetSignalLevel(int level) = 0;
    // The last +CSQ rssi (0-31; -1 not known), for the signal bar's tool tip.
    virtual void SetSignalRssi(int rssi) { (void)rssi; }

    // The information sound of a refused command.
    virtual void Beep() = 0;
    // Modal message box with an interface text.
    virtual void ShowMessageBox(UiText text) = 0;
    // Modal message box with a free text, for reasons the string table cannot hold (why a port
    // could not be opened).
    virtual void ShowMessageText(const std::u16string& text) = 0;

    // Pages: show the page the controller now holds (ApplyPage).
    virtual void ApplyPage(int page) = 0;
    // Redraws the phonebook page from the phonebook cache.
    virtual void RefreshPhonebookPage() = 0;

    // Folder tabs of the message page; the tab index is the folder number (0 Inbox .. 4 Save).
    virtual void SelectFolderTab(int folder) = 0;
    virtual int CurrentFolderTab() const = 0;
    // After a folder was shown: refill the Save-To drop-down for it and refresh the page.
    virtual void FolderShown(int folder) = 0;
    // Reply and Forward buttons, and the Edit button of the message page.
    virtual void ShowFolderButtons(bool replyAndForward, bool edit) = 0;

    // Message list (1013).  Rows are addressed by their current row number; each carries the
    // table position of its record as item data.
    virtual void ClearMessageList() = 0;
    virtual void AppendMessageRow(int icon, const std::u16string& number,
                                  const std::u16string& date, const std::u16string& text,
                                  int itemData) = 0;
    // Sorts all rows by the time column in the direction of the column's sort mark.
    virtual void SortMessageListByTime() = 0;
    virtual int MessageRowCount() const = 0;
    virtual bool IsMessageRowTicked(int row) const = 0;
    virtual int MessageRowData(int row) const = 0;
    virtual int SelectedMessageRow() const = 0;          // -1 when none
    virtual int FindMessageRow(int itemData) const = 0;  // -1 when none
    virtual void RemoveMessageRow(int row) = 0;
    virtual void SetMessageRowIcon(int row, int icon) = 0;
    // A short mark beside the icon ("ME": kept in the phone, not on the SIM) and its tip.
    virtual void SetMessageRowMark(int row, const std::u16string& mark, const std::u16string& tip) {
        (void)row, (void)mark, (void)tip;
    }

    // Detail area of the message page: number (1019), time (1020), body (1018).
    virtual void SetDetail(const std::u16string& number, const std::u16string& time,
                           const std::u16string& body) = 0;
    // A line under the detail for what the message's delivery reports said; empty: none.
    virtual void SetDetailStatus(const std::u16string& text) { (void)text; }
    virtual std::u16string DetailNumber() const = 0;
    virtual std::u16string DetailBody() const = 0;

    // Save-To drop-down (1017): the folder of the selected line, -1 when no line is selected.
    virtual int SaveToFolder() const = 0;

    // Compose page: recipients (1024) and message text (1018, kept as composeText).
    virtual std::u16string RecipientText() const = 0;
    virtual void SetRecipientText(const std::u16string& text) = 0;
    virtual std::u16string ComposeText() const = 0;
    virtual void SetComposeText(const std::u16string& text) = 0;
    // Rebuilds the compose controls for a mode: the toggle's label, the drop-down's lines
    // (folders, or picture kinds with `pictureKind` selected), and which controls show.
    virtual void ApplyComposeMode(ComposeMode composeMode, PictureKind pictureKind) = 0;
    // Replaces the picture editor by one for `pictureKind` and shows it.
    virtual void RebuildPictureEditor(PictureKind pictureKind) = 0;
    virtual bool PictureIsEmpty() const = 0;
    // The picture's bits as upper-case hex, 504 digits (72 x 28 pixels).
    virtual std::u16string PictureHex() const = 0;

    virtual ControllerSettings Settings() const = 0;
    // A number the controller keeps in the settings across restarts; nullopt when none is
    // stored.  KeepNumber is false when it could not be stored.
    virtual std::optional<uint32_t> KeptNumber(std::string_view name) const {
        (void)name;
        return std::nullopt;
    }
    virtual bool KeepNumber(std::string_view name, uint32_t value) {
        (void)name;
        (void)value;
        return false;
    }

    // Live link.  A desktop notification where the desktop has a service for them; nothing
    // otherwise.
    virtual void NotifyDesktop(const std::u16string& summary, const std::u16string& body) {
        (void)summary;
        (void)body;
    }
    // The name the phonebook or the contacts give `number`; empty when none.
    virtual std::u16string NameOf(const std::u16string& number) const {
        (void)number;
        return {};
    }
    // Asks for the SIM's PIN (or, `puk`, its PUK and a new PIN), showing `attemptsLeft` when it
    // is not -1; `wrongCode`: the PIN given last was refused.  Nothing when the user cancels.
    virtual std::optional<SimCodes> AskSimCodes(bool puk, int attemptsLeft, bool wrongCode) {
        (void)puk;
        (void)attemptsLeft;
        (void)wrongCode;
        return std::nullopt;
    }
    // The SMS centre the connected modem holds, for the settings to show under Auto Detect;
    // empty when it is not known or the link is down.  Never stored as the user's centre.
    virtual void ShowDetectedServiceCentre(const std::u16string& number) { (void)number; }
    // Another program holds the port: `text` names it.  With `offerModemManager` (the holder is
    // ModemManager) the user may ask it to let go: true when they did.
    virtual bool AskToFreePort(const std::u16string& text, bool offerModemManager) {
        (void)offerModemManager;
        ShowMessageText(text);
        return false;
    }
};

}  // namespace telvane
