#include "ui/main_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "control/ui_strings.h"
#include "platform/settings_store.h"
#include "platform/timing.h"
#include "ui/icons.h"
#include "ui/picture_editor.h"
#include "ui/sortable_list.h"
#include "ui/ui_scale.h"

namespace telvane {

namespace {

QString Ui(int chineseId, int englishId) {
    return QString::fromStdU16String(LoadUiString(chineseId, englishId));
}

// Tabs as small as their texts, as on the handheld, so that five folder names fit in either
// language.
class CompactTabStyle : public QProxyStyle {
  public:
    explicit CompactTabStyle(qreal scale) : scale_(scale) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return qRound(8 * scale_);
        if (metric == PM_TabBarTabVSpace) return qRound(4 * scale_);
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

  private:
    qreal scale_;
};

constexpr int kFirstTimer = 11024;
constexpr int kLastTimer = 11031;

// Command bar: id, tool-tip pair, image.
struct CommandButton {
    int id;
    int chineseId;
    int englishId;
    Icon icon;
};
constexpr CommandButton kCommands[] = {
    {1071, 1, 2, Icon::kCompose},     {1072, 3, 4, Icon::kCopy},
    {1073, 5, 6, Icon::kPaste},       {1074, 7, 8, Icon::kCut},
    {1075, 9, 10, Icon::kDelete},     {1076, 11, 12, Icon::kSms},
    {1077, 13, 14, Icon::kPhonebook}, {1078, 15, 16, Icon::kSettings},
    {1079, 17, 18, Icon::kConnect},
};

}  // namespace

MainDialog::MainDialog(MainDialogOptions options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)), contacts_(options_.contactsFolder) {
    setWindowTitle("Telvane");
    store_ = std::make_unique<SettingsStore>(
        options_.settingsFile.empty() ? SettingsStore::DefaultFile() : options_.settingsFile);
    if (options_.scale > 0) {
        scale_ = options_.scale;
    } else {
        QScreen* screen = QGuiApplication::primaryScreen();
        int height = screen ? screen->availableGeometry().height() : 0;
        unsigned stored = store_->GetNumber(kSettingsKey, "Scale").value_or(0);
        scale_ = ChooseScale(height, kClientHeight + kCommandBarHeight + 26, stored);
    }
    chineseFont_ = ChineseUiFont(scale_);
    latinFont_ = LatinUiFont(scale_);

    // Start-up, in the order the rest of the window relies on.
    setWindowIcon(MakeIcon(Icon::kWindow));
    CreateControls();
    controller_ =
        std::make_unique<LinkController>(*this, Timing(options_.timeScale), options_.engineFactory);
    controller_->Phonebook().Load();
    LoadSettings();
    DetectPorts();
    ShowSettingsValues();
    contacts_.Initialize();
    SetLanguage(language_);
    allChecked_ = false;
    cannedTreeRebuilding_ = false;
    for (const auto& name : ListCannedLibraries())
        library_->addItem(QString::fromStdU16String(name));
    CreateCommandBar();
    LabelButtons();
    toLabel_->setText(Ui(45, 46));
    signal_->setRange(0, 5);
    signal_->setValue(0);
    LabelSettingsPage();
    int chimsg = library_->findText("chimsg");
    if (chimsg >= 0) library_->setCurrentIndex(chimsg);
    FillCannedTree();
    LabelEntryPanel();
    RebuildPictureEditor(controller_->CurrentPictureKind());
    pictureEditor_->hide();
    GoToPage(kPageMessages);
}

MainDialog::~MainDialog() {
    // The controller disconnects while the controls still exist.
    for (auto& [id, timer] : timers_)
        timer->stop();
    controller_.reset();
    if (waitCursor_) QApplication::restoreOverrideCursor();
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    // The window is the whole program: Escape in a box must not close it.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainDialog::GoToPage(int page) {
    controller_->SetPage(page);
    ApplyPage(page);
}

const QFont& MainDialog::CurrentUiFont() const {
    return chineseUi ? chineseFont_ : latinFont_;
}

QWidget* MainDialog::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QAction* MainDialog::CommandAction(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QTreeWidget* MainDialog::CannedTreeWidget() const {
    return cannedTreeWidget_;
}

void MainDialog::Place(QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(Scaled(scale_, x, y, width, height));
}

void MainDialog::LabelAndPlace(std::initializer_list<PageControl> controls) {
    for (const PageControl& c : controls) {
        c.w->setFont(CurrentUiFont());
        if (c.chineseId) c.w->setProperty("text", Ui(c.chineseId, c.englishId));
        Place(c.w, c.x, c.y, c.width, c.height);
    }
}

// The tab strip's rectangle holds its tabs along the bottom edge; the list sits above them.
void MainDialog::PlaceTabs(int x, int y, int width, int height) {
    Place(tabs_, x, y + height - 21, width, 21);
}

void MainDialog::CreateControls() {
    client_ = new QWidget(this);
    client_->setGeometry(Scaled(scale_, 0, 0, kLogicalWidth, kClientHeight));
    auto add = [this](int id, QWidget* w) {
        w->setObjectName(QString("c%1").arg(id));
        w->hide();
        controls_[id] = w;
        return w;
    };
    tabs_ = static_cast<QTabBar*>(add(1012, new QTabBar(client_)));
    // Owned by the window and created after the client area, so it outlives the tab strip.
    auto* tabStyle = new CompactTabStyle(scale_);
    tabStyle->setParent(this);
    tabs_->setStyle(tabStyle);
    tabs_->setShape(QTabBar::RoundedSouth);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    tabs_->setUsesScrollButtons(false);
    list_ = static_cast<SortableList*>(add(1013, new SortableList(client_)));
    list_->setIconSize(QSize(qRound(16 * scale_), qRound(16 * scale_)));
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    reply_ = static_cast<QPushButton*>(add(1014, new QPushButton(client_)));
    forward_ = static_cast<QPushButton*>(add(1015, new QPushButton(client_)));
    saveTo_ = static_cast<QPushButton*>(add(1016, new QPushButton(client_)));
    target_ = static_cast<QComboBox*>(add(1017, new QComboBox(client_)));
    messageBox_ = static_cast<QPlainTextEdit*>(add(1018, new QPlainTextEdit(client_)));
    messageBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageBox_->setTabChangesFocus(true);
    number_ = static_cast<QLabel*>(add(1019, new QLabel(client_)));
    time_ = static_cast<QLabel*>(add(1020, new QLabel(client_)));
    time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    signal_ = static_cast<QProgressBar*>(add(1021, new QProgressBar(client_)));
    signal_->setTextVisible(false);
    status_ = static_cast<QLabel*>(add(1022, new QLabel(client_)));
    toLabel_ = static_cast<QLabel*>(add(1023, new QLabel(client_)));
    recipients_ = static_cast<QLineEdit*>(add(1024, new QLineEdit(client_)));
    address_ = static_cast<QPushButton*>(add(1025, new QPushButton(client_)));
    counter_ = static_cast<QLabel*>(add(1026, new QLabel(client_)));
    canned_ = static_cast<QPushButton*>(add(1027, new QPushButton(client_)));
    send_ = static_cast<QPushButton*>(add(1028, new QPushButton(client_)));
    cannedTreeWidget_ = static_cast<QTreeWidget*>(add(1029, new QTreeWidget(client_)));
    cannedTreeWidget_->setHeaderHidden(true);
    cannedTreeWidget_->setRootIsDecorated(true);
    edit_ = static_cast<QPushButton*>(add(1030, new QPushButton(client_)));
    cancel_ = static_cast<QPushButton*>(add(1031, new QPushButton(client_)));
    portLabel_ = static_cast<QLabel*>(add(1032, new QLabel(client_)));
    portBox_ = static_cast<QComboBox*>(add(1033, new QComboBox(client_)));
    operatorLabel_ = static_cast<QLabel*>(add(1034, new QLabel(client_)));
    autoDetect_ = static_cast<QCheckBox*>(add(1035, new QCheckBox(client_)));
    centreLabel_ = static_cast<QLabel*>(add(1036, new QLabel(client_)));
    centre_ = static_cast<QLineEdit*>(add(1037, new QLineEdit(client_)));
    syncLabel_ = static_cast<QLabel*>(add(1038, new QLabel(client_)));
    syncSmsBox_ = static_cast<QCheckBox*>(add(1039, new QCheckBox(client_)));
    syncPbkBox_ = static_cast<QCheckBox*>(add(1040, new QCheckBox(client_)));
    languageLabel_ = static_cast<QLabel*>(add(1041, new QLabel(client_)));
    languageBox_ = static_cast<QComboBox*>(add(1042, new QComboBox(client_)));
    okay_ = static_cast<QPushButton*>(add(1043, new QPushButton(client_)));
    settingsCancel_ = static_cast<QPushButton*>(add(1044, new QPushButton(client_)));
    add_ = static_cast<QPushButton*>(add(1046, new QPushButton(client_)));
    nameLabel_ = static_cast<QLabel*>(add(1052, new QLabel(client_)));
    phoneLabel_ = static_cast<QLabel*>(add(1053, new QLabel(client_)));
    noLabel_ = static_cast<QLabel*>(add(1054, new QLabel(client_)));
    nameEdit_ = static_cast<QLineEdit*>(add(1055, new QLineEdit(client_)));
    numberEdit_ = static_cast<QLineEdit*>(add(1056, new QLineEdit(client_)));
    noEdit_ = static_cast<QLineEdit*>(add(1057, new QLineEdit(client_)));
    entryOkay_ = static_cast<QPushButton*>(add(1058, new QPushButton(client_)));
    entryCancel_ = static_cast<QPushButton*>(add(1059, new QPushButton(client_)));
    checkAll_ = static_cast<QToolButton*>(add(1060, new QToolButton(client_)));
    checkAll_->setAutoRaise(true);
    checkAll_->setFocusPolicy(Qt::NoFocus);
    readPbk_ = static_cast<QRadioButton*>(add(1062, new QRadioButton(client_)));
    writePbk_ = static_cast<QRadioButton*>(add(1063, new QRadioButton(client_)));
    logoText_ = static_cast<QPushButton*>(add(1064, new QPushButton(client_)));
    invert_ = static_cast<QPushButton*>(add(1065, new QPushButton(client_)));
    aboutPicture_ = static_cast<QLabel*>(add(1066, new QLabel(client_)));
    about_ = static_cast<QPushButton*>(add(1067, new QPushButton(client_)));
    aboutText_ = static_cast<QLabel*>(add(1068, new QLabel(client_)));
    aboutText_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    aboutText_->setWordWrap(true);
    library_ = static_cast<QComboBox*>(add(1069, new QComboBox(client_)));
    for (QPushButton* b :
         {reply_, forward_, saveTo_, address_, canned_, send_, edit_, cancel_, okay_,
          settingsCancel_, add_, entryOkay_, entryCancel_, logoText_, invert_, about_}) {
        b->setAutoDefault(false);
    }
    SetCheckAllImage();

    connect(list_, &SortableList::HeaderClicked, this, &MainDialog::HeaderClicked);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &MainDialog::OnListClicked);
    connect(tabs_, &QTabBar::currentChanged, this, &MainDialog::OnTabChanged);
    connect(checkAll_, &QToolButton::clicked, this, &MainDialog::OnCheckAll);
    connect(messageBox_, &QPlainTextEdit::textChanged, this, &MainDialog::OnMessageBoxChanged);
    connect(canned_, &QPushButton::clicked, this, &MainDialog::OnCannedButton);
    connect(cannedTreeWidget_, &QTreeWidget::itemSelectionChanged, this,
            &MainDialog::OnCannedTreeSelection);
    connect(library_, &QComboBox::activated, this, &MainDialog::OnCannedLibraryChosen);
    connect(address_, &QPushButton::clicked, this, &MainDialog::OnAddress);
    connect(cancel_, &QPushButton::clicked, this, &MainDialog::OnPickCancel);
    connect(logoText_, &QPushButton::clicked, this, &MainDialog::OnLogoText);
    connect(target_, &QComboBox::activated, this, &MainDialog::OnPictureKind);
    connect(send_, &QPushButton::clicked, this, &MainDialog::OnSend);
    connect(saveTo_, &QPushButton::clicked, this, [this] {
        if (page_ == kPageCompose) {
            OnSaveToCompose();
        } else if (page_ == kPageMessages) {
            controller_->Folders().CopyTicked();
        }
    });
    connect(reply_, &QPushButton::clicked, this, [this] { OnReplyOrForward(true); });
    connect(forward_, &QPushButton::clicked, this, [this] { OnReplyOrForward(false); });
    connect(edit_, &QPushButton::clicked, this, [this] {
        if (picking_) {
            OnPickOkay();
        } else if (page_ == kPageMessages) {
            OnEditDraft();
        } else if (page_ == kPagePhonebook) {
            OnEntryEdit();
        }
    });
    connect(invert_, &QPushButton::clicked, this, [this] {
        if (pictureEditor_) pictureEditor_->ToggleInvert();
    });
    connect(autoDetect_, &QCheckBox::clicked, this,
            [this](bool checked) { centre_->setReadOnly(checked); });
    connect(syncPbkBox_, &QCheckBox::clicked, this, [this](bool checked) {
        readPbk_->setEnabled(checked);
        writePbk_->setEnabled(checked);
    });
    connect(okay_, &QPushButton::clicked, this, [this] {
        if (page_ == kPageAbout) {
            GoToPage(kPageSettings);
        } else {
            OnSettingsOkay();
        }
    });
    connect(settingsCancel_, &QPushButton::clicked, this, &MainDialog::OnSettingsCancel);
    connect(about_, &QPushButton::clicked, this, [this] { GoToPage(kPageAbout); });
    connect(add_, &QPushButton::clicked, this, &MainDialog::OnEntryAdd);
    connect(entryOkay_, &QPushButton::clicked, this, &MainDialog::OnEntryOkay);
    connect(entryCancel_, &QPushButton::clicked, this, [this] {
        ShowEntryPanel(false);
        ShowPhonebookPage(true);
    });
}

void MainDialog::CreateCommandBar() {
    commandBar_ = new QToolBar(this);
    commandBar_->setObjectName("commandBar");
    commandBar_->setMovable(false);
    commandBar_->setFloatable(false);
    commandBar_->setIconSize(QSize(qRound(16 * scale_), qRound(16 * scale_)));
    commandBar_->setGeometry(Scaled(scale_, 0, kClientHeight, kLogicalWidth, kCommandBarHeight));
    for (const CommandButton& c : kCommands) {
        QAction* action = commandBar_->addAction(MakeIcon(c.icon), QString());
        action->setObjectName(QString("c%1").arg(c.id));
        connect(action, &QAction::triggered, this, [this, id = c.id] { Command(id); });
        actions_[c.id] = action;
    }
    LabelToolTips();
    setFixedSize(Scaled(scale_, 0, 0, kLogicalWidth, kClientHeight + kCommandBarHeight).size());
}

void MainDialog::LabelToolTips() {
    for (const CommandButton& c : kCommands) {
        QString tip = Ui(c.chineseId, c.englishId).left(255);
        actions_[c.id]->setText(tip);
        actions_[c.id]->setToolTip(tip);
    }
    if (commandBar_) commandBar_->setFont(CurrentUiFont());
}

void MainDialog::ApplyFonts() {
    for (auto& [id, w] : controls_)
        w->setFont(CurrentUiFont());
    // The list keeps a Latin-capable face for numbers and times but follows the language.
    list_->header()->setFont(CurrentUiFont());
}

void MainDialog::LabelButtons() {
    ApplyFonts();
    reply_->setText(Ui(31, 32));
    forward_->setText(Ui(33, 34));
    saveTo_->setText(Ui(35, 36));
    address_->setText(Ui(13, 14));
    canned_->setText(Ui(47, 48));
    send_->setText(Ui(49, 50));
    cancel_->setText(Ui(61, 62));
    add_->setText(Ui(106, 107));
    logoText_->setText(ComposeMode() == 0 ? Ui(151, 152) : Ui(153, 154));
    invert_->setText(Ui(155, 156));
}

void MainDialog::HideAllPages() {
    ShowSmsPage(false);
    ShowPhonebookPage(false);
    ShowComposePage(false);
    ShowSettingsPage(false);
    ShowAboutPage(false);
    ShowEntryPanel(false);
}

void MainDialog::ApplyPage(int page) {
    page_ = page;
    picking_ = false;
    switch (page) {
        case kPageMessages:
            allChecked_ = false;
            HideAllPages();
            BuildFolderTabs();
            BuildMessageColumns();
            ShowSmsPage(true);
            break;
        case kPagePhonebook:
            allChecked_ = false;
            HideAllPages();
            BuildPhonebookTabs();
            BuildPhonebookColumns();
            ShowPhonebookPage(true);
            break;
        case kPageCompose:
            HideAllPages();
            ShowComposePage(true);
            break;
        case kPageSettings:
            HideAllPages();
            ShowSettingsPage(true);
            break;
        case kPageAbout:
            HideAllPages();
            ShowAboutPage(true);
            break;
        default:
            break;
    }
    SetCheckAllImage();
}

// --- SMS page ---------------------------------------------------------------------------

void MainDialog::ShowSmsPage(bool show) {
    QWidget* controls[] = {tabs_,   list_,   number_, time_,   messageBox_, reply_,   forward_,
                           saveTo_, target_, status_, signal_, counter_,    checkAll_};
    if (!show) {
        for (QWidget* w : controls)
            w->hide();
        return;
    }
    PlaceTabs(12, 139, 213, 128);
    Place(list_, 12, 141, 213, 104);
    Place(number_, 12, 18, 98, 22);
    Place(time_, 122, 18, 103, 22);
    Place(messageBox_, 12, 37, 213, 78);
    messageBox_->setReadOnly(true);
    Place(reply_, 12, 117, 49, 22);
    Place(forward_, 61, 117, 49, 22);
    Place(saveTo_, 110, 117, 49, 22);
    Place(target_, 159, 117, 66, 20);
    Place(edit_, 12, 117, 49, 22);
    Place(status_, 12, 2, 98, 14);
    Place(signal_, 125, 3, 50, 10);
    Place(counter_, 178, 3, 50, 18);
    Place(checkAll_, 15, 145, 16, 16);
    for (QWidget* w : controls)
        w->show();
    edit_->setText(Ui(57, 58));
    bool replyShown = CurrentFolderTab() == 0 || CurrentFolderTab() == 4;
    ShowFolderButtons(replyShown, CurrentFolderTab() == 3);
    checkAll_->raise();
}

void MainDialog::BuildFolderTabs() {
    const QSignalBlocker block(tabs_);
    tabs_->setFont(CurrentUiFont());
    while (tabs_->count())
        tabs_->removeTab(0);
    tabs_->addTab(Ui(21, 22));
    tabs_->addTab(Ui(23, 24));
    tabs_->addTab(Ui(25, 26));
    tabs_->addTab(Ui(27, 28));
    tabs_->addTab(Ui(29, 30));
    tabs_->setCurrentIndex(0);
}

void MainDialog::BuildMessageColumns() {
    shownItem_ = -1;
    SetMessageText(u"");
    list_->clear();
    list_->setColumnCount(4);
    list_->setHeaderLabels({"", Ui(37, 38), Ui(39, 40), Ui(41, 42)});
    const int widths[] = {38, 80, 80, 80};
    for (int c = 0; c < 4; ++c) {
        list_->setColumnWidth(c, qRound(widths[c] * scale_));
        list_->SetSortMark(c, SortableList::kNoMark);
    }
    for (int c = 0; c < 4; ++c) {
        list_->headerItem()->setTextAlignment(
            c, (c == 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    list_->SetSortMark(2, SortableList::kMarkDescending);
    controller_->Folders().ShowFolder(CurrentFolderTab());
}

void MainDialog::FillSaveToTargets() {
    struct Line {
        int chineseId, englishId, folder;
    };
    static const std::vector<Line> kTargets[5] = {
        {{29, 30, 4}}, {{27, 28, 3}}, {{29, 30, 4}}, {{23, 24, 1}, {29, 30, 4}}, {{27, 28, 3}}};
    target_->clear();
    folderOfSaveToLine_.fill(-1);
    int tab = std::clamp(CurrentFolderTab(), 0, 4);
    int line = 0;
    for (const Line& l : kTargets[tab]) {
        target_->addItem(Ui(l.chineseId, l.englishId));
        folderOfSaveToLine_[line++] = l.folder;
    }
    target_->setCurrentIndex(0);
}

void MainDialog::SetCheckAllImage() {
    checkAll_->setIcon(MakeIcon(allChecked_ ? Icon::kCheckAll : Icon::kCheckNone));
    checkAll_->setIconSize(QSize(qRound(14 * scale_), qRound(14 * scale_)));
    checkAll_->setProperty("allChecked", allChecked_);
}

void MainDialog::OnCheckAll() {
    allChecked_ = !allChecked_;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        list_->topLevelItem(i)->setCheckState(0, allChecked_ ? Qt::Checked : Qt::Unchecked);
    }
    SetCheckAllImage();
    checkAll_->update();
}

void MainDialog::OnListClicked() {
    QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;
    int itemData = SortableList::ItemData(selected.first());
    if (itemData == shownItem_) return;
    shownItem_ = itemData;
    if (page_ == kPageMessages) {
        controller_->Folders().OpenMessage(list_->indexOfTopLevelItem(selected.first()));
    }
}

void MainDialog::HeaderClicked(int column) {
    if (page_ == kPageMessages) {
        if (column != 2) return;
        list_->SetSortMark(1, SortableList::kNoMark);
        list_->SetSortMark(3, SortableList::kNoMark);
        bool ascending = list_->GetSortMark(2) != SortableList::kMarkAscending;
        list_->SetSortMark(
            2, ascending ? SortableList::kMarkAscending : SortableList::kMarkDescending);
        list_->SortByTime(2, ascending, 0, -1);
        return;
    }
    if (page_ != kPagePhonebook && page_ != kPageCompose) return;
    if (column < 1 || column > 3) return;
    bool ascending = list_->GetSortMark(column) != SortableList::kMarkAscending;
    for (int c = 1; c <= 3; ++c) {
        if (c != column) list_->SetSortMark(c, SortableList::kNoMark);
    }
    list_->SetSortMark(column,
                       ascending ? SortableList::kMarkAscending : SortableList::kMarkDescending);
    if (column == 1) {
        list_->SortByNumber(1, ascending, 0, -1);
    } else {
        list_->SortByText(column, ascending, 0, -1);
    }
}

void MainDialog::OnTabChanged(int index) {
    if (page_ == kPageMessages) {
        allChecked_ = false;
        SetCheckAllImage();
        if (index >= 0) controller_->Folders().ShowFolder(index);
    } else if (page_ == kPagePhonebook || picking_) {
        BuildPhonebookColumns();
    }
}

// --- About ------------------------------------------------------------------------------

void MainDialog::ShowAboutPage(bool show) {
    if (!show) {
        aboutPicture_->hide();
        aboutText_->hide();
        if (page_ != kPageSettings) okay_->hide();
        return;
    }
    aboutText_->setFont(CurrentUiFont());
    aboutText_->setText(QString::asprintf("Version %d.%02d", kVersionMajor, kVersionMinor) +
                        "\n\n" + QString::fromUtf8("Copyright \u00A9 2026 the Telvane developers"));
    Place(aboutPicture_, 0, 10, 240, 97);
    aboutPicture_->setPixmap(AboutPicture(240, 97, devicePixelRatioF() * scale_));
    aboutPicture_->setScaledContents(true);
    Place(aboutText_, 10, 120, 220, 150);
    aboutPicture_->show();
    aboutText_->show();
    okay_->show();
}

// --- Commands ---------------------------------------------------------------------------

void MainDialog::Command(int id) {
    switch (id) {
        case 1071:
            if (page_ == kPageCompose && !picking_) {
                composeText_.clear();
                SetMessageText(u"");
                recipients_->clear();
                if (pictureEditor_) pictureEditor_->Clear();
            }
            GoToPage(kPageCompose);
            break;
        case 1072:
            PressKey(Qt::Key_C, Qt::ControlModifier);
            break;
        case 1073:
            PressKey(Qt::Key_V, Qt::ControlModifier);
            break;
        case 1074:
            PressKey(Qt::Key_X, Qt::ControlModifier);
            break;
        case 1075:
            OnDeleteCommand();
            break;
        case 1076:
            GoToPage(kPageMessages);
            break;
        case 1077:
            GoToPage(kPagePhonebook);
            break;
        case 1078:
            GoToPage(kPageSettings);
            break;
        case 1079:
            controller_->Connect();
            break;
        default:
            break;
    }
}

void MainDialog::PressKey(int key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = focusWidget();  // the window's own focus while it is not active
    if (!target) return;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

void MainDialog::OnDeleteCommand() {
    switch (page_) {
        case kPageMessages:
            controller_->Folders().DeleteTicked();
            break;
        case kPagePhonebook:
            DeleteCheckedEntries();
            break;
        default:
            // Pages without check boxes never delete stored data.
            PressKey(Qt::Key_Delete, Qt::NoModifier);
            break;
    }
}

// --- WindowInterface ----------------------------------------------------------------------

void MainDialog::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void MainDialog::StartTimer(int timerId, int64_t periodMs) {
    QTimer*& timer = timers_[timerId];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timerId] { TimerFired(timerId); });
    }
    timer->start(static_cast<int>(std::clamp<int64_t>(periodMs, 0, INT32_MAX)));
}

void MainDialog::KillTimer(int timerId) {
    if (auto it = timers_.find(timerId); it != timers_.end()) it->second->stop();
}

bool MainDialog::TimerRunning(int timerId) const {
    auto it = timers_.find(timerId);
    return it != timers_.end() && it->second->isActive();
}

void MainDialog::TimerFired(int timerId) {
    if (timerId < kFirstTimer || timerId > kLastTimer) return;
    controller_->OnTimer(timerId);
}

void MainDialog::SetWindowEnabled(bool enabled) {
    setEnabled(enabled);
}

void MainDialog::SetWaitCursor(bool shown) {
    if (shown == waitCursor_) return;
    waitCursor_ = shown;
    if (shown) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainDialog::SetStatusText(const std::u16string& text) {
    // The line is narrow: the whole text, such as why a port could not be opened, is its tip.
    status_->setText(QString::fromStdU16String(text));
    status_->setToolTip(status_->text());
}

void MainDialog::SetSignalLevel(int level) {
    signal_->setValue(std::clamp(level, 0, 5));
}

void MainDialog::Beep() {
    QApplication::beep();
}

void MainDialog::ShowMessage(const QString& text) {
    if (options_.messageBox) {
        options_.messageBox(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, "Telvane", text, QMessageBox::NoButton, this);
    box.setFont(CurrentUiFont());
    box.addButton(Ui(59, 60), QMessageBox::AcceptRole);
    box.exec();
}

void MainDialog::ShowMessageBox(UiText text) {
    ShowMessage(Ui(text.chinese, text.english));
}

void MainDialog::ShowMessageText(const std::u16string& text) {
    ShowMessage(QString::fromStdU16String(text));
}

void MainDialog::SelectFolderTab(int folder) {
    if (folder >= 0 && folder < tabs_->count()) tabs_->setCurrentIndex(folder);
}

int MainDialog::CurrentFolderTab() const {
    return tabs_->currentIndex();
}

void MainDialog::FolderShown(int) {
    FillSaveToTargets();
    bool replyShown = CurrentFolderTab() == 0 || CurrentFolderTab() == 4;
    ShowFolderButtons(replyShown, CurrentFolderTab() == 3);
}

void MainDialog::ShowFolderButtons(bool replyAndForward, bool edit) {
    if (page_ != kPageMessages) return;
    reply_->setVisible(replyAndForward);
    forward_->setVisible(replyAndForward);
    edit_->setText(Ui(57, 58));
    edit_->setVisible(edit);
}

void MainDialog::ClearMessageList() {
    list_->clear();
    shownItem_ = -1;
}

void MainDialog::AppendMessageRow(int icon, const std::u16string& number,
                                  const std::u16string& date, const std::u16string& text,
                                  int itemData) {
    QString body = QString::fromStdU16String(text);
    body.replace("\r\n", " ").replace('\n', ' ');
    auto* item = new QTreeWidgetItem(list_, QStringList{"", QString::fromStdU16String(number),
                                                        QString::fromStdU16String(date), body});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setIcon(0, MakeIcon(icon == kIconUnread ? Icon::kUnread : Icon::kRead));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    SortableList::SetItemData(item, itemData);
}

void MainDialog::SortMessageListByTime() {
    list_->SortByTime(2, list_->GetSortMark(2) == SortableList::kMarkAscending, 0, -1);
}

int MainDialog::MessageRowCount() const {
    return list_->topLevelItemCount();
}

bool MainDialog::IsMessageRowTicked(int row) const {
    QTreeWidgetItem* item = list_->topLevelItem(row);
    return item && item->checkState(0) == Qt::Checked;
}

int MainDialog::MessageRowData(int row) const {
    return SortableList::ItemData(list_->topLevelItem(row));
}

int MainDialog::SelectedMessageRow() const {
    QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.first());
}

int MainDialog::FindMessageRow(int itemData) const {
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (SortableList::ItemData(list_->topLevelItem(i)) == itemData) return i;
    }
    return -1;
}

void MainDialog::RemoveMessageRow(int row) {
    if (row < 0 || row >= list_->topLevelItemCount()) return;
    delete list_->takeTopLevelItem(row);
}

void MainDialog::SetMessageRowIcon(int row, int icon) {
    if (QTreeWidgetItem* item = list_->topLevelItem(row)) {
        item->setIcon(0, MakeIcon(icon == kIconUnread ? Icon::kUnread : Icon::kRead));
    }
}

void MainDialog::SetDetail(const std::u16string& number, const std::u16string& time,
                           const std::u16string& body) {
    number_->setText(QString::fromStdU16String(number));
    time_->setText(QString::fromStdU16String(time));
    // A stored message is shown whole, however long; only texts being written are cut.
    ShowMessageBody(body);
}

std::u16string MainDialog::DetailNumber() const {
    return number_->text().toStdU16String();
}

std::u16string MainDialog::DetailBody() const {
    return messageBox_->toPlainText().replace("\n", "\r\n").toStdU16String();
}

int MainDialog::SaveToFolder() const {
    int line = target_->currentIndex();
    if (line < 0 || line >= static_cast<int>(folderOfSaveToLine_.size())) return -1;
    return folderOfSaveToLine_[line];
}

std::u16string MainDialog::RecipientText() const {
    return recipients_->text().toStdU16String();
}

void MainDialog::SetRecipientText(const std::u16string& text) {
    recipients_->setText(QString::fromStdU16String(text));
}

ControllerSettings MainDialog::Settings() const {
    ControllerSettings s;
    s.port = port_;
    s.autoServiceCentre = autoServiceCentre_;
    s.serviceCentre = serviceCentre_;
    s.syncSms = syncSms_;
    s.syncSimPhonebook = syncSimPhonebook_;
    s.readSimPhonebook = readSimPhonebook_;
    return s;
}

}  // namespace telvane
