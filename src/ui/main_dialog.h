// The one window: the frame, the command bar and the pages behind it (SMS, Compose, Phonebook,
// Settings, About).  Implements the controller's window interface with Qt by handing each call
// to the page that owns the control.
#pragma once

#include <QDialog>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "contacts/contacts_store.h"
#include "control/link_controller.h"
#include "control/window_interface.h"
#include "telvane_version.h"
#include "ui/number_names.h"
#include "ui/settings_page.h"

class QAction;
class QKeyEvent;
class QTimer;
class QToolBar;
class QTreeWidget;

namespace telvane {

class AboutPage;
class ComposePage;
class ConversationsView;
class Page;
class ListView;
class ModemPage;
class UssdPage;
class PhonebookPage;
class PictureEditor;
class SettingsStore;
class SmsPage;
class UdevMonitor;
struct CannedNode;

struct MainDialogOptions {
    qreal scale = 0;                     // 0: from TELVANE_SCALE, the settings or the screen
    std::filesystem::path settingsFile;  // empty: SettingsStore::DefaultFile()
    std::filesystem::path sysRoot = "/sys";
    std::filesystem::path devRoot = "/dev";
    std::filesystem::path contactsFolder;  // empty: the data folder's contacts
    // Makes the engine at each Connect (tests: a modem on a pty at a small time scale).
    LinkEngineFactory engineFactory;
    double timeScale = 1.0;
    // The port to take when none is set yet (./run's simulated modem).
    std::string defaultPort;
    // Replace the modal boxes (tests record the texts, and answer the questions).
    std::function<void(const QString&)> messageBox;
    std::function<bool(const QString&)> confirm;
    // Replaces the beep of a refused command or input (tests count them).
    std::function<void()> beep;
};

class MainDialog : public QDialog, public WindowInterface {
    Q_OBJECT

  public:
    static constexpr int kLogicalWidth = 240;
    static constexpr int kClientHeight = 268;
    static constexpr int kCommandBarHeight = 26;
    static constexpr int kVersionMajor = ::telvane::kVersionMajor;
    static constexpr int kVersionMinor = ::telvane::kVersionMinor;
    static constexpr int kMaxPorts = SettingsPage::kMaxPorts;
    static inline const std::string kSettingsKey = "Software\\Nubo\\Telvane\\Settings";
    static inline const std::string kPortsKey = "Software\\Nubo\\Telvane\\Ports";

    explicit MainDialog(MainDialogOptions options = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // A control by its template id (1012 ... 1070), looked up on the page shown first.
    QWidget* Control(int id) const;
    // A command-bar button by its command id (1071 ... 1079).
    QAction* CommandAction(CommandId id) const;
    qreal Scale() const { return scale_; }
    int Page() const { return controller_->Page(); }
    LinkController& Controller() { return *controller_; }
    ContactsStore& Contacts() { return contacts_; }
    const QFont& CurrentUiFont() const;

    // Compose, Phonebook and About are made when first shown or asked for, so that the first
    // paint does not wait for them.
    SmsPage* Sms() const { return sms_; }
    ComposePage* Compose() const;
    PhonebookPage* Phonebook() const;
    SettingsPage* SettingsView() const { return settings_; }
    AboutPage* About() const;
    // The conversations and the history's search, in a window of their own (made at first use).
    ConversationsView* ShowConversations();
    // The modem's page and the USSD page (dialogs over the window), made when first opened.
    ModemPage* ShowModemPage();
    UssdPage* ShowUssdPage();

    // Commands of the bar and the buttons, as a click would run them.
    void Command(CommandId id);
    // A window timer tick: 11024 ... 11031 go to the controller, others change nothing.
    void TimerFired(int timerId);
    bool TimerRunning(int timerId) const;
    // A click on a heading of the shown list.
    void HeaderClicked(int column);
    // The ticked messages of the shown folder, or the selected one, become unread again.
    void MarkUnread();
    // The shown folder as CSV, the SIM phonebook and the contacts as vCards; false when the
    // file could not be written (the user was told why).
    bool ExportFolder(const std::filesystem::path& path);
    bool ExportPhonebook(const std::filesystem::path& path);

    const std::vector<PortEntry>& Ports() const;
    SettingsStore& Store() { return *store_; }

    // Compose page.
    void SetMessageText(const std::u16string& text);
    int MessageLimit() const;
    PictureEditor* Picture() const;
    const CannedNode& CannedTree() const;
    QTreeWidget* CannedTreeWidget() const;

    // WindowInterface.
    void Post(std::function<void()> task) override;
    void StartTimer(int timerId, int64_t periodMs) override;
    void KillTimer(int timerId) override;
    void SetWindowEnabled(bool enabled) override;
    void SetConnectCancels(bool cancels) override;
    void SetWaitCursor(bool shown) override;
    bool WaitCursorShown() const override { return waitCursor_; }
    void SetStatusText(const std::u16string& text) override;
    void SetSignalLevel(int level) override;
    void SetSignalRssi(int rssi) override;
    void Beep() override;
    void ShowMessageBox(UiText text) override;
    void ShowMessageText(const std::u16string& text) override;
    void ApplyPage(int page) override;
    void RefreshPhonebookPage() override;
    void SelectFolderTab(int folder) override;
    int CurrentFolderTab() const override;
    void FolderShown(int folder) override;
    void ShowFolderButtons(bool replyAndForward, bool edit) override;
    void ClearMessageList() override;
    void AppendMessageRow(int icon, const std::u16string& number, const std::u16string& date,
                          const std::u16string& text, int itemData) override;
    void SortMessageListByTime() override;
    int MessageRowCount() const override;
    bool IsMessageRowTicked(int row) const override;
    int MessageRowData(int row) const override;
    int SelectedMessageRow() const override;
    int FindMessageRow(int itemData) const override;
    void RemoveMessageRow(int row) override;
    void SetMessageRowIcon(int row, int icon) override;
    void SetMessageRowMark(int row, const std::u16string& mark, const std::u16string& tip) override;
    void SetDetail(const std::u16string& number, const std::u16string& time,
                   const std::u16string& body) override;
    void SetDetailStatus(const std::u16string& text) override;
    std::u16string DetailNumber() const override;
    std::u16string DetailBody() const override;
    int SaveToFolder() const override;
    std::u16string RecipientText() const override;
    void SetRecipientText(const std::u16string& text) override;
    std::u16string ComposeText() const override;
    void SetComposeText(const std::u16string& text) override;
    void ApplyComposeMode(ComposeMode mode, PictureKind kind) override;
    void RebuildPictureEditor(PictureKind kind) override;
    bool PictureIsEmpty() const override;
    std::u16string PictureHex() const override;
    ControllerSettings Settings() const override;
    std::optional<uint32_t> KeptNumber(std::string_view name) const override;
    bool KeepNumber(std::string_view name, uint32_t value) override;
    // main_dialog_live.cpp
    void NotifyDesktop(const std::u16string& summary, const std::u16string& body) override;
    std::u16string NameOf(const std::u16string& number) const override;
    std::optional<SimCodes> AskSimCodes(bool puk, int attemptsLeft, bool wrongCode) override;
    void ShowDetectedServiceCentre(const std::u16string& number) override;
    bool AskToFreePort(const std::u16string& text, bool offerModemManager) override;

    ComposeMode CurrentComposeMode() const { return controller_->CurrentComposeMode(); }
    PictureKind CurrentPictureKind() const { return controller_->CurrentPictureKind(); }
    bool AllChecked() const;
    bool CannedTreeShown() const;
    bool Picking() const { return picking_; }
    PhonebookSource CurrentPhonebookSource() const { return controller_->CurrentPhonebookSource(); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Runs the oldest task Post() queued; invoked by name, once per task.
    Q_INVOKABLE void RunPosted();
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;

    void CreatePages();
    void MakeCompose();
    void MakePhonebook();
    void MakeAbout();
    // The pages made so far.
    std::vector<telvane::Page*> Pages() const;
    void AddPage(telvane::Page* page);
    void CreateCommandBar();
    void LabelCommandBar();
    void StyleCommandBar();
    // The client area, its pages and the command bar at the window's size.
    void PlaceClient();
    void ScaleApplicationStyle();
    void ApplyFonts();
    void ShowOnly(QWidget* page);
    telvane::Page* ShownPage() const;
    void GoToPage(int page);
    void ApplyLanguage();
    static std::string FolderWidthsName(int folder);
    void RestoreWindow();
    void RememberWindow();
    void ChooseCannedLibrary();

    void OnDeleteCommand();
    // How many rows a command on the list acts on: the ticked ones, else the highlighted one.
    static int ActedCount(const ListView* list);
    void MarkDeliveries();
    // Copy, Paste and Cut on the focused widget: a text box's selection, or a list's ticked
    // rows (the selected one when none is ticked).
    void EditCommand(CommandId id);
    void EditList(ListView* list, CommandId id);
    // The focused widget of this window, or its own focus while it is not active.
    QWidget* FocusedWidget() const;
    void OpenFirstTicked();
    void OnReply();
    void OnSend();
    void OnLogoText();
    void OnPictureKind(PictureKind kind);
    void OnAddress();
    void OnPickDone(bool okay);
    void OnSettingsOkay();
    void RebuildNames();
    ConversationsView* MakeConversations(QWidget* parent);
    bool WriteExport(const std::filesystem::path& path, const std::string& bytes);
    void AskAndExport(bool folder);

    void ShowMessage(const QString& text);
    bool Confirm(const QString& question);
    // The busy state and the cancellable connect onto the controls.
    void ApplyEnabled();
    // Keeps the Settings page's port list current as modems come and go (main_dialog_live.cpp).
    void WatchPorts();

    MainDialogOptions options_;
    qreal scale_ = 1.0;
    std::unique_ptr<SettingsStore> store_;
    QFont chineseFont_;
    QFont latinFont_;
    std::unique_ptr<LinkController> controller_;
    ContactsStore contacts_;
    NumberNames names_;
    int page_ = 0;  // the page the window last showed
    bool picking_ = false;
    bool waitCursor_ = false;
    bool windowEnabled_ = true;
    bool connectCancels_ = false;
    std::map<int, QTimer*> timers_;
    std::map<CommandId, QAction*> actions_;
    std::unique_ptr<UdevMonitor> udev_;

    QWidget* client_ = nullptr;
    QToolBar* commandBar_ = nullptr;
    SmsPage* sms_ = nullptr;
    ComposePage* compose_ = nullptr;
    PhonebookPage* phonebook_ = nullptr;
    SettingsPage* settings_ = nullptr;
    AboutPage* about_ = nullptr;
    ConversationsView* conversations_ = nullptr;
    ConversationsView* sideConversations_ = nullptr;  // in the SMS page's wide layout
    ModemPage* modem_ = nullptr;
    UssdPage* ussd_ = nullptr;
};

}  // namespace telvane
