#include "ui/main_dialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>

#include "control/delivery_reports.h"
#include "control/delivery_state.h"
#include "platform/files.h"
#include "platform/settings_store.h"
#include "platform/text.h"
#include "platform/timing.h"
#include "platform/udev_monitor.h"
#include "ui/compose_page.h"
#include "ui/conversations_view.h"
#include "ui/export_files.h"
#include "ui/icons.h"
#include "ui/list_view.h"
#include "ui/modem_page.h"
#include "ui/phonebook_page.h"
#include "ui/picture_editor.h"
#include "ui/scaled_style.h"
#include "ui/settings_page.h"
#include "ui/sms_page.h"
#include "ui/ui_scale.h"
#include "ui/ui_text.h"
#include "ui/ussd_page.h"

namespace telvane {

namespace {

constexpr int kFirstTimer = 11024;
constexpr int kLastTimer = 11031;

// Command bar: id, name (the tool tip), image, shortcut.
struct CommandButton {
    CommandId id;
    UiText name;
    Icon icon;
    QKeyCombination key;
};
const CommandButton kCommands[] = {
    {CommandId::kCompose, ui_text::kCompose, Icon::kCompose, Qt::CTRL | Qt::Key_N},
    {CommandId::kCopy, ui_text::kCopy, Icon::kCopy, Qt::CTRL | Qt::Key_C},
    {CommandId::kPaste, ui_text::kPaste, Icon::kPaste, Qt::CTRL | Qt::Key_V},
    {CommandId::kCut, ui_text::kCut, Icon::kCut, Qt::CTRL | Qt::Key_X},
    {CommandId::kDelete, ui_text::kDelete, Icon::kDelete, QKeyCombination(Qt::Key_Delete)},
    {CommandId::kMessages, ui_text::kSms, Icon::kSms, Qt::CTRL | Qt::Key_1},
    {CommandId::kPhonebook, ui_text::kPhonebook, Icon::kPhonebook, Qt::CTRL | Qt::Key_2},
    {CommandId::kSettings, ui_text::kSettings, Icon::kSettings, Qt::CTRL | Qt::Key_3},
    {CommandId::kConnect, ui_text::kConnect, Icon::kConnect, Qt::CTRL | Qt::Key_K},
};

constexpr WindowText kDeleteSimMessages{"從智能卡刪除 %1 則短訊？",
                                        "Delete %1 messages from the SIM?"};
constexpr WindowText kDeleteSimMessage{"從智能卡刪除 1 則短訊？", "Delete 1 message from the SIM?"};
constexpr WindowText kDeleteMessages{"從%2刪除 %1 則短訊？", "Delete %1 messages from %2?"};
constexpr WindowText kDeleteMessage{"從%2刪除 1 則短訊？", "Delete 1 message from %2?"};
constexpr WindowText kDeleteSimEntries{"從智能卡電話簿刪除 %1 個項目？",
                                       "Delete %1 entries from the SIM phonebook?"};
constexpr WindowText kDeleteSimEntry{"從智能卡電話簿刪除 1 個項目？",
                                     "Delete 1 entry from the SIM phonebook?"};
constexpr WindowText kDeleteContacts{"刪除 %1 個連絡人？", "Delete %1 contacts?"};
constexpr WindowText kDeleteContact{"刪除 1 個連絡人？", "Delete 1 contact?"};
constexpr WindowText kExportFolderTitle{"匯出資料夾", "Export folder"};
constexpr WindowText kExportPhonebookTitle{"匯出電話簿", "Export phonebook"};

// The folder names as their tabs show them.
QString FolderName(int folder) {
    return Ui(kFolderNames[std::clamp(folder, 0, 4)]);
}

QString CountQuestion(int count, const WindowText& one, const WindowText& many) {
    return count == 1 ? Ui(one) : Ui(many).arg(count);
}

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
    ScaleApplicationStyle();

    // Start-up, in the order the rest of the window relies on.
    setWindowIcon(MakeIcon(Icon::kWindow));
    CreatePages();
    controller_ =
        std::make_unique<LinkController>(*this, Timing(options_.timeScale), options_.engineFactory);
    // The SIM phonebook and the contacts name the senders of the first folder shown.
    controller_->Phonebook().Load();
    // Messages enter the history under the name the window shows them with at that moment
    // (names_ follows the SIM phonebook and the contacts).
    controller_->History()->SetNames(
        [this](const std::u16string& number) { return names_.Find(number); });
    settings_->DetectPorts();
    settings_->ShowValues();
    WatchPorts();
    // Without a contacts folder the page lists no contacts; the SIM's still work.
    static_cast<void>(contacts_.Initialize());
    CreateCommandBar();
    ApplyFonts();
    settings_->Relabel();
    RestoreWindow();
    if (settings_->ConnectAtStart() && !settings_->Values().port.empty()) {
        // After the window is up, so that the first paint does not wait for the port.
        QTimer::singleShot(0, this, [this] {
            if (!controller_->IsOnline()) controller_->Connect();
        });
    }
}

MainDialog::~MainDialog() {
    RememberWindow();
    // The controller disconnects while the controls still exist.
    for (auto& [id, timer] : timers_)
        timer->stop();
    controller_.reset();
    if (waitCursor_) QApplication::restoreOverrideCursor();
}

void MainDialog::CreatePages() {
    client_ = new QWidget(this);
    client_->setObjectName("client");
    client_->setGeometry(Scaled(scale_, 0, 0, kLogicalWidth, kClientHeight));
    // The settings hold the language, so that the pages are made in its face: a face set on
    // the client afterwards would go through every control again.
    auto message = [this](const QString& text) { ShowMessage(text); };
    settings_ = new SettingsPage(*store_, options_, message, scale_, client_);
    settings_->Load();
    SetLanguage(settings_->Language());
    client_->setFont(CurrentUiFont());
    sms_ = new SmsPage(scale_, client_);
    AddPage(settings_);
    AddPage(sms_);

    connect(sms_, &SmsPage::SignalClicked, this, [this] { ShowModemPage(); });
    connect(sms_, &SmsPage::ConversationsChosen, this, [this] {
        if (sideConversations_ == nullptr) {
            sideConversations_ = MakeConversations(sms_);
            sms_->SetConversationsView(sideConversations_);
        }
        sideConversations_->Reload();
    });
    connect(sms_, &SmsPage::FolderChosen, this, [this](int folder) {
        if (page_ == kPageMessages) controller_->Folders().ShowFolder(folder);
    });
    connect(sms_, &SmsPage::RowOpened, this, [this](int row) {
        if (page_ == kPageMessages) controller_->Folders().OpenMessage(row);
    });
    connect(sms_, &SmsPage::ReplyClicked, this, &MainDialog::OnReply);
    connect(sms_, &SmsPage::ForwardClicked, this, [this] {
        OpenFirstTicked();
        controller_->Folders().Forward();
    });
    connect(sms_, &SmsPage::SaveToClicked, this, [this] { controller_->Folders().CopyTicked(); });
    connect(sms_, &SmsPage::MarkUnreadClicked, this, &MainDialog::MarkUnread);
    connect(sms_, &SmsPage::ExportClicked, this, [this] { AskAndExport(true); });
    auto* conversations =
        new QAction(QString::fromStdU16String(LoadUiString(ui_text::kConversations)), this);
    conversations->setObjectName("showConversations");
    sms_->List()->addAction(conversations);
    connect(conversations, &QAction::triggered, this, [this] { ShowConversations(); });
    connect(sms_, &SmsPage::EditClicked, this, [this] {
        if (CurrentFolderTab() == FolderTab(FolderId::Draft)) controller_->Folders().EditMessage();
    });
    connect(settings_, &SettingsPage::OkayClicked, this, &MainDialog::OnSettingsOkay);
    connect(settings_, &SettingsPage::CancelClicked, this, [this] { GoToPage(kPageMessages); });
    connect(settings_, &SettingsPage::AboutClicked, this, [this] { GoToPage(kPageAbout); });
    connect(settings_, &SettingsPage::ModemClicked, this, [this] { ShowModemPage(); });
    connect(settings_, &SettingsPage::UssdClicked, this, [this] { ShowUssdPage(); });
}

void MainDialog::AddPage(telvane::Page* page) {
    page->setGeometry(client_->rect());
    page->hide();
    page->setEnabled(windowEnabled_ || page == sms_);
}

std::vector<telvane::Page*> MainDialog::Pages() const {
    std::vector<telvane::Page*> pages;
    for (telvane::Page* page :
         std::initializer_list<telvane::Page*>{sms_, compose_, phonebook_, settings_, about_}) {
        if (page) pages.push_back(page);
    }
    return pages;
}

ComposePage* MainDialog::Compose() const {
    if (!compose_) const_cast<MainDialog*>(this)->MakeCompose();
    return compose_;
}

PhonebookPage* MainDialog::Phonebook() const {
    if (!phonebook_) const_cast<MainDialog*>(this)->MakePhonebook();
    return phonebook_;
}

AboutPage* MainDialog::About() const {
    if (!about_) const_cast<MainDialog*>(this)->MakeAbout();
    return about_;
}

void MainDialog::MakeCompose() {
    compose_ = new ComposePage(scale_, client_);
    AddPage(compose_);
    connect(compose_, &ComposePage::SendClicked, this, &MainDialog::OnSend);
    connect(compose_, &ComposePage::SaveClicked, this,
            [this] { controller_->Folders().SaveComposed(); });
    connect(compose_, &ComposePage::AddressClicked, this, &MainDialog::OnAddress);
    connect(compose_, &ComposePage::InputRefused, this, &MainDialog::Beep);
    connect(compose_, &ComposePage::LogoTextClicked, this, &MainDialog::OnLogoText);
    connect(compose_, &ComposePage::PictureKindChosen, this, &MainDialog::OnPictureKind);
    connect(compose_, &ComposePage::LibraryChosen, this, [this](const QString& name) {
        if (std::string error;
            !store_->SetText(kSettingsKey, "CannedLibrary", name.toStdU16String(), &error))
            ShowMessageText(LoadUiString(ui_text::kSaveFailed) + u": " + Utf8ToU16(error));
    });
    compose_->Relabel(controller_->CurrentComposeMode());
    compose_->SetSixteenBitReference(settings_->Values().sixteenBitReference);
    ChooseCannedLibrary();
    compose_->RebuildPicture(controller_->CurrentPictureKind());
    compose_->Picture()->hide();
}

void MainDialog::MakePhonebook() {
    phonebook_ = new PhonebookPage(*this, scale_, client_);
    AddPage(phonebook_);
    connect(phonebook_, &PhonebookPage::ExportClicked, this, [this] { AskAndExport(false); });
    connect(phonebook_, &PhonebookPage::PickOkay, this, [this] { OnPickDone(true); });
    connect(phonebook_, &PhonebookPage::PickCancel, this, [this] { OnPickDone(false); });
    if (auto widths = store_->GetText(kSettingsKey, "PhonebookColumns")) {
        phonebook_->List()->SetChosenWidths(QString::fromStdU16String(*widths));
    }
    phonebook_->Relabel();
}

void MainDialog::MakeAbout() {
    about_ = new AboutPage(scale_, client_);
    AddPage(about_);
    connect(about_, &AboutPage::OkayClicked, this, [this] { GoToPage(kPageSettings); });
}

void MainDialog::CreateCommandBar() {
    commandBar_ = new QToolBar(this);
    commandBar_->setObjectName("commandBar");
    commandBar_->setFont(CurrentUiFont());
    commandBar_->setMovable(false);
    commandBar_->setFloatable(false);
    commandBar_->setIconSize(QSize(qRound(16 * scale_), qRound(16 * scale_)));
    commandBar_->setGeometry(Scaled(scale_, 0, kClientHeight, kLogicalWidth, kCommandBarHeight));
    for (const CommandButton& c : kCommands) {
        QAction* action = commandBar_->addAction(MakeIcon(c.icon), QString());
        action->setObjectName(QString("c%1").arg(static_cast<int>(c.id)));
        action->setShortcut(QKeySequence(c.key));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, id = c.id] { Command(id); });
        actions_[c.id] = action;
    }
    // Not on the bar: opens the SMS page's search row.
    auto* search = new QAction(this);
    search->setObjectName("search");
    search->setShortcut(QKeySequence::Find);
    connect(search, &QAction::triggered, this, [this] {
        if (page_ != kPageMessages) GoToPage(kPageMessages);
        sms_->ToggleSearch();
    });
    addAction(search);
    LabelCommandBar();
    const QSize first =
        Scaled(scale_, 0, 0, kLogicalWidth, kClientHeight + kCommandBarHeight).size();
    setMinimumSize(first);
    resize(first);
    setSizeGripEnabled(true);
}

void MainDialog::LabelCommandBar() {
    for (const CommandButton& c : kCommands) {
        QAction* action = actions_[c.id];
        const UiText text =
            c.id == CommandId::kConnect && connectCancels_ ? ui_text::kCancel : c.name;
        const QString name = Ui(text).left(255);
        action->setText(name);
        // The tip names the button and its key.
        action->setToolTip(
            QString("%1 (%2)").arg(name, action->shortcut().toString(QKeySequence::NativeText)));
    }
    StyleCommandBar();
}

void MainDialog::StyleCommandBar() {
    // Each command's name beside its image, where the window has room for all of them.
    const bool wide = width() >= Scaled(scale_, 0, 0, telvane::Page::kWideWidth, 0).width();
    Qt::ToolButtonStyle style = Qt::ToolButtonIconOnly;
    if (wide) {
        // A name beside an image adds the name and a gap to the button: measured, not laid out.
        int need = qRound(8 * scale_);
        const bool named = commandBar_->toolButtonStyle() == Qt::ToolButtonTextBesideIcon;
        for (QAction* action : commandBar_->actions()) {
            QWidget* button = commandBar_->widgetForAction(action);
            if (!button) continue;
            need += button->sizeHint().width();
            if (!named)
                need +=
                    button->fontMetrics().horizontalAdvance(action->text()) + qRound(4 * scale_);
        }
        if (need <= width()) style = Qt::ToolButtonTextBesideIcon;
    }
    commandBar_->setToolButtonStyle(style);
}

void MainDialog::ScaleApplicationStyle() {
    // Menus, tips, message and file dialogs, tick boxes and scroll bars are drawn at the
    // window's scale too.  The desktop's own style stays underneath.
    static const QString desktopStyle = QApplication::style()->name();
    const auto* scaled = qobject_cast<ScaledStyle*>(QApplication::style());
    if (scaled ? scaled->Scale() == scale_ : scale_ == 1.0) return;
    QApplication::setStyle(new ScaledStyle(scale_, QStyleFactory::create(desktopStyle)));
}

void MainDialog::ApplyFonts() {
    QApplication::setFont(CurrentUiFont());
    QToolTip::setFont(CurrentUiFont());
    client_->setFont(CurrentUiFont());
    if (commandBar_) commandBar_->setFont(CurrentUiFont());
    sms_->ApplyListFont(CurrentUiFont());
}

void MainDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceClient();
}

void MainDialog::PlaceClient() {
    const int bar = Scaled(scale_, 0, 0, 0, kCommandBarHeight).height();
    client_->setGeometry(0, 0, width(), std::max(0, height() - bar));
    for (telvane::Page* page : Pages())
        page->setGeometry(client_->rect());
    if (commandBar_) {
        commandBar_->setGeometry(0, height() - bar, width(), bar);
        StyleCommandBar();
    }
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    // The window is the whole program: Escape in a box must not close it.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Each folder's column widths under a name of its own: widths stored under the one name of
// earlier versions held what the longest entries had made of them, not the user's choice.
std::string MainDialog::FolderWidthsName(int folder) {
    return "SmsColumns" + std::to_string(folder);
}

void MainDialog::RestoreWindow() {
    for (int folder = 0; folder < 5; ++folder) {
        if (auto widths = store_->GetText(kSettingsKey, FolderWidthsName(folder)))
            sms_->SetFolderWidths(folder, QString::fromStdU16String(*widths));
    }
    // A window the user made larger comes back at that size, on the page left last.
    const unsigned w = store_->GetNumber(kSettingsKey, "WindowWidth").value_or(0);
    const unsigned h = store_->GetNumber(kSettingsKey, "WindowHeight").value_or(0);
    if (w > 0 && h > 0 && w <= 16384 && h <= 16384) {
        resize(QSize(int(w), int(h)).expandedTo(minimumSize()));
        // A hidden window gets its resize event only when shown: the first page would be laid
        // out, its list filled and its columns fitted at the first size, then all again.
        PlaceClient();
    }
    // And where it was, when a screen still shows its title bar there.
    const auto x = store_->GetNumber(kSettingsKey, "WindowX");
    const auto y = store_->GetNumber(kSettingsKey, "WindowY");
    if (x && y) {
        const QPoint place(static_cast<int32_t>(*x), static_cast<int32_t>(*y));
        const QRect title(place, QSize(width(), Scaled(scale_, 0, 0, 0, 20).height()));
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QRect shown = screen->availableGeometry().intersected(title);
            if (shown.width() >= std::min(width(), Scaled(scale_, 0, 0, 60, 0).width()) &&
                shown.height() > 0) {
                move(place);
                break;
            }
        }
    }
    int page =
        static_cast<int>(store_->GetNumber(kSettingsKey, "LastPage").value_or(kPageMessages));
    if (page == kPageAbout) page = kPageSettings;
    if (page != kPagePhonebook && page != kPageCompose && page != kPageSettings) {
        page = kPageMessages;
    }
    GoToPage(page);
}

void MainDialog::RememberWindow() {
    // The window is closing: a size and columns not remembered cost the user nothing to ask
    // about.
    std::vector<std::pair<std::string, SettingsStore::Value>> values = {
        {"WindowWidth", static_cast<uint32_t>(width())},
        {"WindowHeight", static_cast<uint32_t>(height())},
        {"WindowX", static_cast<uint32_t>(pos().x())},
        {"WindowY", static_cast<uint32_t>(pos().y())},
        {"LastPage", static_cast<uint32_t>(page_)}};
    // A list never shown this time has no columns: the widths stored earlier stay.
    for (int folder = 0; folder < 5; ++folder) {
        const QString widths = sms_->FolderWidths(folder);
        if (!widths.isEmpty())
            values.emplace_back(FolderWidthsName(folder), widths.toStdU16String());
    }
    if (phonebook_ && phonebook_->List()->Model().columnCount() > 0)
        values.emplace_back("PhonebookColumns", phonebook_->List()->WidthsText().toStdU16String());
    static_cast<void>(store_->SetValues(kSettingsKey, values));
}

void MainDialog::ChooseCannedLibrary() {
    // The library follows the interface language until the user picks one.
    if (auto stored = store_->GetText(kSettingsKey, "CannedLibrary"); stored && !stored->empty()) {
        Compose()->ChooseLibrary(QString::fromStdU16String(*stored));
        return;
    }
    Compose()->ChooseLibrary(chineseUi ? "chimsg" : "english");
}

void MainDialog::GoToPage(int page) {
    controller_->SetPage(page);
    ApplyPage(page);
}

const QFont& MainDialog::CurrentUiFont() const {
    return chineseUi ? chineseFont_ : latinFont_;
}

telvane::Page* MainDialog::ShownPage() const {
    for (telvane::Page* page : Pages()) {
        if (page->isVisibleTo(client_)) return page;
    }
    return nullptr;
}

QWidget* MainDialog::Control(int id) const {
    const QString name = QString("c%1").arg(id);
    if (telvane::Page* shown = ShownPage()) {
        if (auto* w = shown->findChild<QWidget*>(name)) return w;
    }
    // Pages in their fixed order, so that an id two pages share finds the same control; a page
    // not made yet is made for the search.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            Compose();
            Phonebook();
            About();
        }
        for (telvane::Page* page : Pages()) {
            if (auto* w = page->findChild<QWidget*>(name)) return w;
        }
    }
    return nullptr;
}

QAction* MainDialog::CommandAction(CommandId id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

const std::vector<PortEntry>& MainDialog::Ports() const {
    return settings_->Ports();
}

void MainDialog::SetMessageText(const std::u16string& text) {
    Compose()->SetMessageText(text);
}

int MainDialog::MessageLimit() const {
    return Compose()->MessageLimit();
}

PictureEditor* MainDialog::Picture() const {
    return Compose()->Picture();
}

const CannedNode& MainDialog::CannedTree() const {
    return Compose()->CannedTree();
}

QTreeWidget* MainDialog::CannedTreeWidget() const {
    return Compose()->CannedTreeWidget();
}

bool MainDialog::AllChecked() const {
    return page_ == kPagePhonebook || picking_ ? Phonebook()->AllChecked() : sms_->AllChecked();
}

bool MainDialog::CannedTreeShown() const {
    return Compose()->CannedTreeShown();
}

void MainDialog::ShowOnly(QWidget* page) {
    for (QWidget* p : Pages()) {
        if (p != page) p->hide();
    }
    page->show();
}

void MainDialog::ApplyPage(int page) {
    page_ = page;
    picking_ = false;
    switch (page) {
        case kPageMessages:
            sms_->Relabel();
            ShowOnly(sms_);
            controller_->Folders().ShowFolder(sms_->CurrentFolder());
            break;
        case kPagePhonebook:
            Phonebook()->Open(false);
            ShowOnly(Phonebook());
            break;
        case kPageCompose:
            ShowOnly(Compose());
            Compose()->ApplyMode(controller_->CurrentComposeMode(),
                                 controller_->CurrentPictureKind());
            break;
        case kPageSettings:
            settings_->ShowValues();
            ShowOnly(settings_);
            break;
        case kPageAbout:
            About()->Relabel();
            ShowOnly(About());
            break;
    }
}

void MainDialog::ApplyLanguage() {
    ApplyFonts();
    LabelCommandBar();
    settings_->Relabel();
    if (phonebook_) phonebook_->Relabel();
    if (conversations_) conversations_->Relabel();
    if (sideConversations_) sideConversations_->Relabel();
    if (auto* action = findChild<QAction*>("showConversations"))
        action->setText(QString::fromStdU16String(LoadUiString(ui_text::kConversations)));
    if (compose_) {
        compose_->Relabel(controller_->CurrentComposeMode());
        if (!store_->GetText(kSettingsKey, "CannedLibrary")) ChooseCannedLibrary();
    }
    GoToPage(kPageMessages);
}

// --- Commands ---------------------------------------------------------------------------

void MainDialog::Command(CommandId id) {
    switch (id) {
        case CommandId::kCompose:
            if (page_ == kPageCompose && !picking_) {
                Compose()->Clear();
                controller_->Folders().ForgetEditedDraft();
            }
            GoToPage(kPageCompose);
            break;
        case CommandId::kCopy:
        case CommandId::kPaste:
        case CommandId::kCut:
            EditCommand(id);
            break;
        case CommandId::kDelete:
            OnDeleteCommand();
            break;
        case CommandId::kMessages:
            GoToPage(kPageMessages);
            break;
        case CommandId::kPhonebook:
            GoToPage(kPagePhonebook);
            break;
        case CommandId::kSettings:
            GoToPage(kPageSettings);
            break;
        case CommandId::kConnect:
            controller_->Connect();
            break;
    }
}

QWidget* MainDialog::FocusedWidget() const {
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->window() == this) return focus;
    return focusWidget();
}

void MainDialog::EditCommand(CommandId id) {
    // The command acts here and once: a key sent back to the widget would come round to this
    // command again through the bar's shortcut.
    QWidget* target = FocusedWidget();
    if (!target) return;
    const auto edit = [&](auto* box, bool readOnly) {
        if (id == CommandId::kCopy) {
            box->copy();
        } else if (readOnly) {
            Beep();
        } else if (id == CommandId::kPaste) {
            box->paste();
        } else {
            box->cut();
        }
    };
    if (auto* line = qobject_cast<QLineEdit*>(target)) {
        edit(line, line->isReadOnly());
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(target)) {
        edit(plain, plain->isReadOnly());
    } else if (auto* rich = qobject_cast<QTextEdit*>(target)) {
        edit(rich, rich->isReadOnly());
    } else if (auto* list = qobject_cast<ListView*>(target)) {
        EditList(list, id);
    }
}

void MainDialog::EditList(ListView* list, CommandId id) {
    const bool messages = list == sms_->List();
    if (!messages && !(phonebook_ && list == phonebook_->List())) return;
    // A list takes no pasted text.
    if (id == CommandId::kPaste) {
        Beep();
        return;
    }
    std::vector<int> rows;
    for (int row = 0; row < list->RowCount(); ++row) {
        if (list->Ticked(row)) rows.push_back(row);
    }
    const bool ticked = !rows.empty();
    if (!ticked && list->SelectedRow() >= 0) rows.push_back(list->SelectedRow());
    if (rows.empty()) return;

    QStringList lines;
    if (messages) {
        // The whole texts from the folder, as the export reads them.
        MessageStore store;
        static_cast<void>(store.LoadShown(static_cast<FolderId>(CurrentFolderTab())));
        for (int row : rows) {
            const SmsRecord* record = store.ShownRecord(list->Data(row));
            if (!record) continue;
            const QString number = QString::fromStdU16String(record->number);
            const QString name = QString::fromStdU16String(names_.Find(record->number));
            lines << (name.isEmpty() ? number : name + " <" + number + ">") + "  " +
                         list->Text(row, 2) + "\n" +
                         QString::fromStdU16String(record->text).replace("\r\n", "\n") + "\n";
        }
    } else {
        for (int row : rows)
            lines << list->Text(row, 2) + "\t" + list->Text(row, 3) + "\n";
    }
    if (lines.isEmpty()) return;
    QApplication::clipboard()->setText(lines.join(messages ? "\n" : ""));
    if (id != CommandId::kCut) return;
    // Cut takes the rows away as Delete does, after the same question; a selected row is
    // ticked for it only while the delete runs.
    if (ticked) {
        OnDeleteCommand();
        return;
    }
    const int item = list->Data(rows.front());
    list->SetTicked(rows.front(), true);
    OnDeleteCommand();
    if (const int row = list->FindData(item); row >= 0 && !controller_->IsBusy())
        list->SetTicked(row, false);
}

void MainDialog::OnDeleteCommand() {
    if (page_ == kPageMessages) {
        // The conversations delete from the history with their own button, never the list they
        // cover.
        if (sms_->ConversationsShown()) {
            Beep();
            return;
        }
        const int count = ActedCount(sms_->List());
        if (count == 0) {
            // Nothing ticked or highlighted: the user hears that there is nothing to delete.
            Beep();
            return;
        }
        const int folder = CurrentFolderTab();
        if (folder == FolderTab(FolderId::Inbox)) {
            // The Inbox is the SIM's: nothing can go while offline, and the user is told why.
            if (!controller_->IsOnline()) {
                ShowMessageBox(ui_text::kPleaseConnectFirst);
                return;
            }
            if (!Confirm(CountQuestion(count, kDeleteSimMessage, kDeleteSimMessages))) return;
        } else if (!Confirm(CountQuestion(count, kDeleteMessage, kDeleteMessages)
                                .arg(FolderName(folder)))) {
            return;
        }
        controller_->Folders().DeleteTicked();
    } else if (page_ == kPagePhonebook && Phonebook()->List()->isVisible() &&
               !Phonebook()->Entry()->isAncestorOf(FocusedWidget())) {
        const int count = ActedCount(Phonebook()->List());
        if (count == 0) {
            Beep();
            return;
        }
        const bool sim = Phonebook()->Source() == PhonebookSource::kSim;
        if (!Confirm(sim ? CountQuestion(count, kDeleteSimEntry, kDeleteSimEntries)
                         : CountQuestion(count, kDeleteContact, kDeleteContacts))) {
            return;
        }
        Phonebook()->DeleteTicked();
    } else if (auto* line = qobject_cast<QLineEdit*>(FocusedWidget())) {
        // Pages without check boxes never delete stored data: Delete is the text box's.
        if (!line->isReadOnly()) line->del();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(FocusedWidget())) {
        if (!plain->isReadOnly()) plain->textCursor().deleteChar();
    }
}

ConversationsView* MainDialog::MakeConversations(QWidget* parent) {
    auto send = [this](const std::u16string& number, const std::u16string& text) {
        // Through the Outbox run, as Send on the compose page; what the user was writing there
        // stays.
        const std::u16string recipients = RecipientText();
        const std::u16string composed = ComposeText();
        SetRecipientText(number);
        SetComposeText(text);
        controller_->SendComposed();
        SetRecipientText(recipients);
        SetComposeText(composed);
    };
    auto nameOf = [this](const std::u16string& number) { return names_.Find(number); };
    return new ConversationsView(controller_->History(), send, nameOf, parent);
}

ConversationsView* MainDialog::ShowConversations() {
    if (page_ == kPageMessages && sms_->isVisible() && sms_->Wide()) {
        // Wide, the conversations have their line beside the folders.
        sms_->ChooseConversations();
        sideConversations_->Reload();
        return sideConversations_;
    }
    if (conversations_ == nullptr) {
        conversations_ = MakeConversations(this);
        conversations_->setWindowFlag(Qt::Window);
        conversations_->resize(640, 480);
    }
    conversations_->Reload();
    conversations_->show();
    conversations_->raise();
    return conversations_;
}

int MainDialog::ActedCount(const ListView* list) {
    const int ticked = list->TickedCount();
    return ticked > 0 ? ticked : (list->SelectedRow() >= 0 ? 1 : 0);
}

void MainDialog::OpenFirstTicked() {
    // Reply and Forward read the message shown: with ticks and nothing highlighted, the first
    // ticked one.
    ListView* list = sms_->List();
    if (list->SelectedRow() >= 0) return;
    for (int row = 0; row < list->RowCount(); ++row) {
        if (list->Ticked(row)) return list->SelectRow(row);
    }
}

void MainDialog::OnReply() {
    OpenFirstTicked();
    // A reply to several ticked messages goes to each of their senders once.
    QStringList senders;
    ListView* list = sms_->List();
    for (int row = 0; row < list->RowCount(); ++row) {
        const ListRow* r = list->Row(row);
        if (r->ticked && !senders.contains(r->key)) senders << r->key;
    }
    controller_->Folders().Reply();
    if (controller_->Page() != kPageCompose) return;
    if (senders.size() > 1) Compose()->SetRecipientText(senders.join(';').toStdU16String());
    Compose()->StartAboveQuote();
}

void MainDialog::OnSend() {
    controller_->SendComposed();
    // Queued: the page moved on, and the next message starts blank.
    if (controller_->Page() != kPageCompose) Compose()->Clear();
}

void MainDialog::OnLogoText() {
    const bool toText = controller_->CurrentComposeMode() == ComposeMode::kPicture;
    if (toText && Compose()->Picture()) Compose()->Picture()->Clear();
    controller_->ToggleComposeMode();
    if (toText) Compose()->SelectSaveLine(0);
}

void MainDialog::OnPictureKind(PictureKind kind) {
    // The kind already shown keeps its drawing.
    if (page_ != kPageCompose || picking_ || kind == controller_->CurrentPictureKind()) return;
    controller_->SelectPictureKind(static_cast<int>(kind));
}

void MainDialog::OnAddress() {
    picking_ = true;
    Phonebook()->Open(true);
    ShowOnly(Phonebook());
}

void MainDialog::OnPickDone(bool okay) {
    if (okay) {
        Compose()->SetRecipientText(
            ComposePage::PickRecipients(RecipientText(), Phonebook()->PickedLines()));
    }
    picking_ = false;
    ShowOnly(Compose());
}

void MainDialog::OnSettingsOkay() {
    settings_->Store();
    if (compose_) compose_->SetSixteenBitReference(settings_->Values().sixteenBitReference);
    controller_->ApplyServiceCentre();
    ApplyLanguage();
}

void MainDialog::HeaderClicked(int column) {
    if (phonebook_ && phonebook_->isVisible()) {
        phonebook_->HeaderClicked(column);
    } else if (page_ == kPageMessages) {
        sms_->HeaderClicked(column);
    }
}

void MainDialog::MarkUnread() {
    if (controller_->IsBusy()) {
        Beep();
        return;
    }
    ListView* list = sms_->List();
    std::vector<int> rows;
    for (int row = 0; row < list->RowCount(); ++row) {
        if (list->Ticked(row)) rows.push_back(row);
    }
    if (rows.empty() && list->SelectedRow() >= 0) rows.push_back(list->SelectedRow());
    // The folder's one copy changes, and is saved, where every other change is made.
    controller_->Folders().MarkUnread(rows);
}

bool MainDialog::WriteExport(const std::filesystem::path& path, const std::string& bytes) {
    std::string error;
    if (WriteFileAtomic(path, bytes, 0600, &error)) return true;
    ShowMessage(QString::fromStdString(error));
    return false;
}

bool MainDialog::ExportFolder(const std::filesystem::path& path) {
    std::vector<ExportMessage> messages;
    ListView* list = sms_->List();
    // A damaged folder exports what could be read, as the list shows it.
    MessageStore store;
    static_cast<void>(store.LoadShown(static_cast<FolderId>(CurrentFolderTab())));
    for (int row = 0; row < list->RowCount(); ++row) {
        const int position = list->Data(row);
        if (!store.Shown().IsUsed(position)) continue;
        const SmsRecord& record = store.Shown().entries[static_cast<size_t>(position)].record;
        messages.push_back({record.number, names_.Find(record.number),
                            list->Text(row, 2).toStdU16String(), record.text});
    }
    return WriteExport(path, FolderCsv(messages));
}

bool MainDialog::ExportPhonebook(const std::filesystem::path& path) {
    std::vector<ExportContact> entries;
    for (const PhonebookEntry& e : controller_->Phonebook().Entries()) {
        if (!e.IsEmpty()) entries.push_back({e.name, e.number});
    }
    contacts_.Open();
    for (int p = 0; p < contacts_.Count(); ++p)
        entries.push_back({contacts_.GetName(p), contacts_.GetNumber(p)});
    return WriteExport(path, VCards(entries));
}

void MainDialog::AskAndExport(bool folder) {
    // Qt's own dialog: a desktop's would keep its small text beside the scaled window.
    const QString path = QFileDialog::getSaveFileName(
        this, folder ? Ui(kExportFolderTitle) : Ui(kExportPhonebookTitle),
        folder ? FolderName(CurrentFolderTab()) + ".csv" : QString("phonebook.vcf"),
        folder ? "CSV (*.csv)" : "vCard (*.vcf)", nullptr, QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return;
    if (folder) {
        ExportFolder(path.toStdString());
    } else {
        ExportPhonebook(path.toStdString());
    }
}

void MainDialog::RebuildNames() {
    names_.Clear();
    for (const PhonebookEntry& e : controller_->Phonebook().Entries()) {
        if (!e.IsEmpty()) names_.Add(e.number, e.name);
    }
    contacts_.Open();
    for (int p = 0; p < contacts_.Count(); ++p)
        names_.Add(contacts_.GetNumber(p), contacts_.GetName(p));
}

// --- WindowInterface ----------------------------------------------------------------------

void MainDialog::Post(std::function<void()> task) {
    // The task crosses threads through a queue of our own: Qt's event queue synchronises where
    // ThreadSanitizer cannot see it, ours where it can.
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(task));
    }
    QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
}

void MainDialog::RunPosted() {
    std::function<void()> task;
    {
        std::lock_guard lock(postedMutex_);
        if (posted_.empty()) return;
        task = std::move(posted_.front());
        posted_.pop_front();
    }
    task();
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
    windowEnabled_ = enabled;
    ApplyEnabled();
}

void MainDialog::SetConnectCancels(bool cancels) {
    connectCancels_ = cancels;
    LabelCommandBar();
    ApplyEnabled();
}

void MainDialog::ApplyEnabled() {
    // While a connect is under way, its command (now Cancel) is the one the busy window keeps.
    // Other work leaves the shown folder readable.
    const bool busy = !windowEnabled_;
    const bool keepConnect = busy && connectCancels_;
    client_->setEnabled(!keepConnect);
    for (auto& [id, action] : actions_)
        action->setEnabled(!busy || (keepConnect && id == CommandId::kConnect));
    for (telvane::Page* page : Pages()) {
        if (page != sms_) page->setEnabled(!busy);
    }
    sms_->SetWorking(busy);
}

void MainDialog::SetWaitCursor(bool shown) {
    if (shown == waitCursor_) return;
    waitCursor_ = shown;
    if (shown) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
        // A job may have read the SIM phonebook: the senders get their names.
        RebuildNames();
        sms_->Rename(names_);
    }
}

void MainDialog::SetStatusText(const std::u16string& text) {
    sms_->SetStatus(QString::fromStdU16String(text));
}

void MainDialog::SetSignalRssi(int rssi) {
    sms_->SetSignalRssi(rssi);
}

ModemPage* MainDialog::ShowModemPage() {
    if (!modem_) modem_ = new ModemPage(*controller_, this);
    modem_->Relabel();
    modem_->show();
    modem_->raise();
    modem_->Refresh();
    return modem_;
}

UssdPage* MainDialog::ShowUssdPage() {
    if (!ussd_) ussd_ = new UssdPage(*controller_, *store_, this);
    ussd_->Relabel();
    ussd_->show();
    ussd_->raise();
    return ussd_;
}

void MainDialog::SetSignalLevel(int level) {
    sms_->SetSignal(level);
}

void MainDialog::Beep() {
    if (options_.beep) {
        options_.beep();
        return;
    }
    QApplication::beep();
}

void MainDialog::ShowMessage(const QString& text) {
    if (options_.messageBox) {
        options_.messageBox(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, "Telvane", text, QMessageBox::NoButton, this);
    box.setFont(CurrentUiFont());
    box.addButton(Ui(ui_text::kOkay), QMessageBox::AcceptRole);
    box.exec();
}

bool MainDialog::Confirm(const QString& question) {
    if (options_.confirm) return options_.confirm(question);
    QMessageBox box(QMessageBox::Question, "Telvane", question, QMessageBox::NoButton, this);
    box.setFont(CurrentUiFont());
    QPushButton* okay = box.addButton(Ui(ui_text::kOkay), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(Ui(ui_text::kCancel), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    return box.clickedButton() == okay;
}

void MainDialog::ShowMessageBox(UiText text) {
    ShowMessage(Ui(text));
}

void MainDialog::ShowMessageText(const std::u16string& text) {
    ShowMessage(QString::fromStdU16String(text));
}

void MainDialog::RefreshPhonebookPage() {
    if (phonebook_ && phonebook_->isVisible()) phonebook_->Refill();
}

void MainDialog::SelectFolderTab(int folder) {
    sms_->SelectFolder(folder);
}

int MainDialog::CurrentFolderTab() const {
    return sms_->CurrentFolder();
}

void MainDialog::FolderShown(int folder) {
    sms_->FillSaveTo(folder);
    const int tab = CurrentFolderTab();
    ShowFolderButtons(tab == FolderTab(FolderId::Inbox) || tab == FolderTab(FolderId::Saved),
                      tab == FolderTab(FolderId::Draft));
}

void MainDialog::ShowFolderButtons(bool replyAndForward, bool edit) {
    sms_->ShowFolderButtons(replyAndForward, edit);
}

void MainDialog::ClearMessageList() {
    sms_->ClearRows();
    RebuildNames();
}

void MainDialog::AppendMessageRow(int icon, const std::u16string& number,
                                  const std::u16string& date, const std::u16string& text,
                                  int itemData) {
    sms_->AppendRow(icon, number, names_, date, text, itemData);
}

void MainDialog::SortMessageListByTime() {
    if (CurrentFolderTab() == FolderTab(FolderId::Sent)) MarkDeliveries();
    sms_->SortRows();
}

void MainDialog::MarkDeliveries() {
    // Each Sent row shows how far its message got: one mark for all its recipients, and each
    // recipient's state in the mark's tip.
    ListView* list = sms_->List();
    // The list was just filled from this file, as the export reads it.
    MessageStore store;
    static_cast<void>(store.LoadShown(FolderId::Sent));
    for (int row = 0; row < list->RowCount(); ++row) {
        const SmsRecord* record = store.ShownRecord(list->Data(row));
        if (record == nullptr) continue;
        const auto entries = ParseDeliveryEntries(record->extra);
        if (!entries || entries->empty()) continue;
        int mark = kMarkDelivered;
        for (const DeliveryEntry& entry : *entries) {
            if (entry.state == DeliveryState::kFailed) mark = kMarkFailed;
            if (entry.state == DeliveryState::kPending && mark != kMarkFailed) mark = kMarkPending;
        }
        sms_->SetDeliveryMark(
            row, mark, QString::fromStdU16String(DeliverySummary(*record)).replace("; ", "\n"));
    }
}

int MainDialog::MessageRowCount() const {
    return sms_->List()->RowCount();
}

bool MainDialog::IsMessageRowTicked(int row) const {
    // The commands act on the ticked rows, or on the highlighted one when none is ticked.
    ListView* list = sms_->List();
    if (list->Ticked(row)) return true;
    return row == list->SelectedRow() && list->TickedCount() == 0;
}

int MainDialog::MessageRowData(int row) const {
    return sms_->List()->Data(row);
}

int MainDialog::SelectedMessageRow() const {
    return sms_->List()->SelectedRow();
}

int MainDialog::FindMessageRow(int itemData) const {
    return sms_->List()->FindData(itemData);
}

void MainDialog::RemoveMessageRow(int row) {
    sms_->List()->RemoveRow(row);
}

void MainDialog::SetMessageRowIcon(int row, int icon) {
    const int source = sms_->List()->SourceRow(row);
    if (source >= 0) sms_->List()->Model().SetIcon(source, icon);
}

void MainDialog::SetMessageRowMark(int row, const std::u16string& mark, const std::u16string& tip) {
    sms_->SetRowMark(row, QString::fromStdU16String(mark), QString::fromStdU16String(tip));
}

void MainDialog::SetDetail(const std::u16string& number, const std::u16string& time,
                           const std::u16string& body) {
    sms_->SetDetail(number, names_, time, body);
}

void MainDialog::SetDetailStatus(const std::u16string& text) {
    sms_->SetDeliveryStatus(QString::fromStdU16String(text));
}

std::u16string MainDialog::DetailNumber() const {
    return sms_->DetailNumber();
}

std::u16string MainDialog::DetailBody() const {
    return sms_->DetailBody();
}

int MainDialog::SaveToFolder() const {
    return page_ == kPageCompose ? Compose()->SaveToFolder() : sms_->SaveToFolder();
}

std::u16string MainDialog::RecipientText() const {
    return Compose()->RecipientText();
}

void MainDialog::SetRecipientText(const std::u16string& text) {
    Compose()->SetRecipientText(text);
}

std::u16string MainDialog::ComposeText() const {
    return Compose()->ComposeText();
}

void MainDialog::SetComposeText(const std::u16string& text) {
    Compose()->SetComposeText(text);
}

void MainDialog::ApplyComposeMode(ComposeMode mode, PictureKind kind) {
    Compose()->ApplyMode(mode, kind);
}

void MainDialog::RebuildPictureEditor(PictureKind kind) {
    Compose()->RebuildPicture(kind);
}

bool MainDialog::PictureIsEmpty() const {
    return Compose()->PictureIsEmpty();
}

std::u16string MainDialog::PictureHex() const {
    return Compose()->PictureHex();
}

ControllerSettings MainDialog::Settings() const {
    return settings_->Values();
}

std::optional<uint32_t> MainDialog::KeptNumber(std::string_view name) const {
    return store_->GetNumber(kSettingsKey, std::string(name));
}

bool MainDialog::KeepNumber(std::string_view name, uint32_t value) {
    return store_->SetNumber(kSettingsKey, std::string(name), value);
}

}  // namespace telvane
