// The one window: every control of the 240 x 320 layout, grouped into pages behind a command
// bar.  Implements the controller's window interface with Qt.
#pragma once

#include <QDialog>
#include <QPointer>
#include <array>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "canned/canned_tree.h"
#include "contacts/contacts_store.h"
#include "control/link_controller.h"
#include "control/window_interface.h"
#include "telvane_version.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabBar;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace telvane {

class PictureEditor;
class SettingsStore;
class SortableList;

struct PortEntry {
    std::string name;          // "COM3"
    std::string path;          // the device's stable path
    std::string friendlyName;  // vendor and model
};

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
    // Replaces the modal message box (tests record the texts instead of clicking them away).
    std::function<void(const QString&)> messageBox;
};

class MainDialog : public QDialog, public WindowInterface {
    Q_OBJECT

  public:
    static constexpr int kLogicalWidth = 240;
    static constexpr int kClientHeight = 268;
    static constexpr int kCommandBarHeight = 26;
    static constexpr int kVersionMajor = ::telvane::kVersionMajor;
    static constexpr int kVersionMinor = ::telvane::kVersionMinor;
    static constexpr int kMaxPorts = 7;
    static inline const std::string kSettingsKey = "Software\\Nubo\\Telvane\\Settings";
    static inline const std::string kPortsKey = "Software\\Nubo\\Telvane\\Ports";

    explicit MainDialog(MainDialogOptions options = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // A control by its template id (1012 ... 1070) or command id (1071 ... 1079).
    QWidget* Control(int id) const;
    QAction* CommandAction(int id) const;
    qreal Scale() const { return scale_; }
    int Page() const { return controller_->Page(); }
    LinkController& Controller() { return *controller_; }
    ContactsStore& Contacts() { return contacts_; }
    const QFont& CurrentUiFont() const;

    // Commands of the bar and the buttons, as a click would run them.
    void Command(int id);
    // A window timer tick: 11024 ... 11031 go to the controller, others change nothing.
    void TimerFired(int timerId);
    bool TimerRunning(int timerId) const;
    // A click on a heading of the shared list.
    void HeaderClicked(int column);

    // Settings.
    void LoadSettings();
    void DetectPorts();
    void ShowSettingsValues();
    void LabelSettingsPage();
    void StoreSettings();
    const std::vector<PortEntry>& Ports() const { return ports_; }
    SettingsStore& Store() { return *store_; }

    // Language change after the settings were confirmed.
    void ApplyLanguage();

    // Compose page.
    void SetMessageText(const std::u16string& text);
    void UpdateCounter(const std::u16string& text);
    // Puts a text into the message box as it stands, with its coding's limit on the counter.
    void ShowMessageBody(const std::u16string& text);
    int MessageLimit() const { return messageLimit_; }
    PictureEditor* Picture() const { return pictureEditor_; }
    // The recipients after picking: `lines` are the list's (number, ticked) pairs in order.
    static std::u16string PickRecipients(std::u16string recipients,
                                         const std::vector<std::pair<std::u16string, bool>>& lines);
    static bool IsAmongRecipients(const std::u16string& recipients, const std::u16string& number);
    const CannedNode& CannedTree() const { return cannedTree_; }
    QTreeWidget* CannedTreeWidget() const;

    // WindowInterface.
    void Post(std::function<void()> task) override;
    void StartTimer(int timerId, int64_t periodMs) override;
    void KillTimer(int timerId) override;
    void SetWindowEnabled(bool enabled) override;
    void SetWaitCursor(bool shown) override;
    bool WaitCursorShown() const override { return waitCursor_; }
    void SetStatusText(const std::u16string& text) override;
    void SetSignalLevel(int level) override;
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
    void SetDetail(const std::u16string& number, const std::u16string& time,
                   const std::u16string& body) override;
    std::u16string DetailNumber() const override;
    std::u16string DetailBody() const override;
    int SaveToFolder() const override;
    std::u16string RecipientText() const override;
    void SetRecipientText(const std::u16string& text) override;
    std::u16string ComposeText() const override { return composeText_; }
    void SetComposeText(const std::u16string& text) override { composeText_ = text; }
    void ApplyComposeMode(telvane::ComposeMode mode, telvane::PictureKind kind) override;
    void RebuildPictureEditor(telvane::PictureKind kind) override;
    bool PictureIsEmpty() const override;
    std::u16string PictureHex() const override;
    ControllerSettings Settings() const override;

    int ComposeMode() const { return static_cast<int>(controller_->CurrentComposeMode()); }
    int PictureKind() const { return static_cast<int>(controller_->CurrentPictureKind()); }
    bool AllChecked() const { return allChecked_; }
    bool CannedTreeShown() const { return cannedTreeShown_; }
    bool Picking() const { return picking_; }
    int PhonebookSource() const { return static_cast<int>(controller_->CurrentPhonebookSource()); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void CreateControls();
    void CreateCommandBar();
    void Place(QWidget* w, int x, int y, int width, int height);
    // A control of a page: its string pair (0, 0 for none) and its place in the layout.
    struct PageControl {
        QWidget* w;
        int chineseId, englishId;
        int x, y, width, height;
    };
    void LabelAndPlace(std::initializer_list<PageControl> controls);
    void PlaceTabs(int x, int y, int width, int height);
    void ApplyFonts();
    void LabelButtons();
    void LabelToolTips();
    void HideAllPages();

    void ShowSmsPage(bool show);
    void ShowPhonebookPage(bool show);
    void ShowComposePage(bool show);
    void ShowSettingsPage(bool show);
    void ShowAboutPage(bool show);
    void BuildFolderTabs();
    void BuildMessageColumns();
    void FillSaveToTargets();
    void BuildPhonebookTabs();
    void BuildPhonebookColumns();
    void LabelEntryPanel();
    void ShowEntryPanel(bool show);

    void OnCheckAll();
    void OnListClicked();
    void OnTabChanged(int index);
    void OnDeleteCommand();
    void PressKey(int key, Qt::KeyboardModifiers modifiers);
    void OnMessageBoxChanged();
    void OnCannedButton();
    void OnCannedTreeSelection();
    void OnCannedLibraryChosen(int index);
    void FillCannedTree();
    void OnAddress();
    void OnPickOkay();
    void OnPickCancel();
    void OnLogoText();
    void OnPictureKind(int index);
    void OnSend();
    void OnSaveToCompose();
    void OnReplyOrForward(bool reply);
    void OnEditDraft();
    void OnSettingsOkay();
    void OnSettingsCancel();
    void SetCheckAllImage();
    void GoToPage(int page);
    void DeleteCheckedEntries();
    void OnEntryEdit();
    void OnEntryAdd();
    void OnEntryOkay();
    void FillEntryPanel(const QString& name, const QString& number, const QString& index);
    void ShowMessage(const QString& text);

    MainDialogOptions options_;
    qreal scale_ = 1.0;
    std::unique_ptr<SettingsStore> store_;
    QFont chineseFont_;
    QFont latinFont_;
    std::unique_ptr<LinkController> controller_;
    ContactsStore contacts_;
    int page_ = 0;  // the page the controls were last laid out for

    // Settings fields.
    std::vector<PortEntry> ports_;
    std::u16string port_;
    bool autoServiceCentre_ = true;
    std::u16string serviceCentre_;
    int language_ = 0;
    bool syncSms_ = true;
    bool syncSimPhonebook_ = false;
    bool readSimPhonebook_ = true;

    int shownItem_ = -1;
    std::array<int, 5> folderOfSaveToLine_{};
    bool allChecked_ = false;
    std::u16string composeText_;
    bool cannedTreeShown_ = false;
    bool cannedTreeRebuilding_ = false;
    int messageLimit_ = 160;
    bool restoringText_ = false;
    bool picking_ = false;
    bool waitCursor_ = false;
    CannedNode cannedTree_;
    std::map<int, QTimer*> timers_;

    std::map<int, QWidget*> controls_;
    std::map<int, QAction*> actions_;
    QWidget* client_ = nullptr;
    QToolBar* commandBar_ = nullptr;
    QTabBar* tabs_ = nullptr;                  // 1012
    SortableList* list_ = nullptr;             // 1013
    QPushButton* reply_ = nullptr;             // 1014
    QPushButton* forward_ = nullptr;           // 1015
    QPushButton* saveTo_ = nullptr;            // 1016
    QComboBox* target_ = nullptr;              // 1017
    QPlainTextEdit* messageBox_ = nullptr;     // 1018
    QLabel* number_ = nullptr;                 // 1019
    QLabel* time_ = nullptr;                   // 1020
    QProgressBar* signal_ = nullptr;           // 1021
    QLabel* status_ = nullptr;                 // 1022
    QLabel* toLabel_ = nullptr;                // 1023
    QLineEdit* recipients_ = nullptr;          // 1024
    QPushButton* address_ = nullptr;           // 1025
    QLabel* counter_ = nullptr;                // 1026
    QPushButton* canned_ = nullptr;            // 1027
    QPushButton* send_ = nullptr;              // 1028
    QTreeWidget* cannedTreeWidget_ = nullptr;  // 1029
    QPushButton* edit_ = nullptr;              // 1030
    QPushButton* cancel_ = nullptr;            // 1031
    QLabel* portLabel_ = nullptr;              // 1032
    QComboBox* portBox_ = nullptr;             // 1033
    QLabel* operatorLabel_ = nullptr;          // 1034
    QCheckBox* autoDetect_ = nullptr;          // 1035
    QLabel* centreLabel_ = nullptr;            // 1036
    QLineEdit* centre_ = nullptr;              // 1037
    QLabel* syncLabel_ = nullptr;              // 1038
    QCheckBox* syncSmsBox_ = nullptr;          // 1039
    QCheckBox* syncPbkBox_ = nullptr;          // 1040
    QLabel* languageLabel_ = nullptr;          // 1041
    QComboBox* languageBox_ = nullptr;         // 1042
    QPushButton* okay_ = nullptr;              // 1043
    QPushButton* settingsCancel_ = nullptr;    // 1044
    QPushButton* add_ = nullptr;               // 1046
    QLabel* nameLabel_ = nullptr;              // 1052
    QLabel* phoneLabel_ = nullptr;             // 1053
    QLabel* noLabel_ = nullptr;                // 1054
    QLineEdit* nameEdit_ = nullptr;            // 1055
    QLineEdit* numberEdit_ = nullptr;          // 1056
    QLineEdit* noEdit_ = nullptr;              // 1057
    QPushButton* entryOkay_ = nullptr;         // 1058
    QPushButton* entryCancel_ = nullptr;       // 1059
    QToolButton* checkAll_ = nullptr;          // 1060
    QRadioButton* readPbk_ = nullptr;          // 1062
    QRadioButton* writePbk_ = nullptr;         // 1063
    QPushButton* logoText_ = nullptr;          // 1064
    QPushButton* invert_ = nullptr;            // 1065
    QLabel* aboutPicture_ = nullptr;           // 1066
    QPushButton* about_ = nullptr;             // 1067
    QLabel* aboutText_ = nullptr;              // 1068
    QComboBox* library_ = nullptr;             // 1069
    PictureEditor* pictureEditor_ = nullptr;   // 1070
};

}  // namespace telvane
