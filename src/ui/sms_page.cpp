#include "ui/sms_page.h"

#include <QEvent>

#include "modem/modem_info.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>

#include "control/window_interface.h"
#include "ui/anchored_layout.h"
#include "ui/command_keys.h"
#include "ui/compact_tabs.h"
#include "ui/icons.h"
#include "ui/list_view.h"
#include "ui/message_limit.h"
#include "ui/number_names.h"
#include "ui/ui_text.h"

namespace telvane {

namespace {

constexpr WindowText kSearch{"搜尋號碼、名稱或訊息", "Search number, name or text"};
constexpr WindowText kMarkUnread{"標示為未讀", "Mark as unread"};
constexpr WindowText kExportCsv{"匯出此資料夾 (CSV)...", "Export this folder (CSV)..."};
// What a screen reader says for the controls without a text of their own.
constexpr WindowText kFoldersName{"資料夾", "Folders"};
constexpr WindowText kMessagesName{"短訊清單", "Messages"};
constexpr WindowText kMessagesHelp{"空白鍵勾選；Delete 刪除勾選或選取的短訊",
                                   "Space ticks; Delete removes the ticked or selected messages"};
constexpr WindowText kMessageTextName{"訊息內容", "Message text"};
constexpr WindowText kTargetName{"存至資料夾", "Save to folder"};
constexpr WindowText kCheckAllName{"全部勾選或取消", "Tick or untick all"};
constexpr WindowText kSignalName{"訊號強度", "Signal strength"};
constexpr WindowText kStatusName{"狀態", "Status"};

// Columns of the message list.
enum Column : int { kTickColumn = 0, kPhoneColumn = 1, kTimeColumn = 2, kTextColumn = 3 };

// Where Save To may copy a folder's messages: the lines of the drop-down, by shown folder.
struct SaveToLine {
    UiText text;
    FolderId folder;
};
const std::vector<SaveToLine> kSaveTargets[5] = {
    {{ui_text::kSave, FolderId::Saved}},
    {{ui_text::kDraft, FolderId::Draft}},
    {{ui_text::kSave, FolderId::Saved}},
    {{ui_text::kOutbox, FolderId::Outbox}, {ui_text::kSave, FolderId::Saved}},
    {{ui_text::kDraft, FolderId::Draft}},
};

// The search row's height in logical pixels.
constexpr int kSearchRow = 22;

// The recipients of a row, each named where the phonebook knows the number.
QString ShownRecipients(const QString& numbers, const NumberNames& names) {
    QStringList shown;
    for (const QString& number : numbers.split(';', Qt::SkipEmptyParts)) {
        const std::u16string name = names.Find(number.trimmed().toStdU16String());
        shown << (name.empty() ? number.trimmed() : QString::fromStdU16String(name));
    }
    return shown.isEmpty() ? numbers : shown.join(", ");
}

}  // namespace

SmsPage::SmsPage(qreal scale, QWidget* parent) : Page(scale, parent) {
    tabs_ = Add(1012, MakeCompactTabs(scale, this));
    side_ = new QListWidget(this);
    side_->setObjectName("folderList");
    side_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    side_->setIconSize(QSize(qRound(16 * scale), qRound(16 * scale)));
    side_->hide();
    list_ = Add(1013, new ListView(this));
    list_->setIconSize(QSize(qRound(16 * scale), qRound(16 * scale)));
    // In the order of the controller's icon numbers, then the delivery marks.
    list_->Model().SetIcons({MakeIcon(Icon::kUnread), MakeIcon(Icon::kRead),
                             MakeIcon(Icon::kOutgoing), MakeIcon(Icon::kDelivered),
                             MakeIcon(Icon::kDeliveryPending), MakeIcon(Icon::kDeliveryFailed)});
    list_->header()->setStretchLastSection(true);
    reply_ = Add(1014, new QPushButton(this));
    forward_ = Add(1015, new QPushButton(this));
    saveTo_ = Add(1016, new QPushButton(this));
    target_ = Add(1017, new QComboBox(this));
    box_ = Add(1018, new QPlainTextEdit(this));
    box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box_->setTabChangesFocus(true);
    box_->setReadOnly(true);
    number_ = Add(1019, new QLabel(this));
    time_ = Add(1020, new QLabel(this));
    time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    signal_ = Add(1021, new QProgressBar(this));
    signal_->setTextVisible(false);
    signal_->setRange(0, 5);
    signal_->setValue(0);
    // A click on the bar opens the modem's page.
    signal_->installEventFilter(this);
    status_ = Add(1022, new QLabel(this));
    counter_ = Add(1026, new QLabel(this));
    edit_ = Add(1030, new QPushButton(this));
    checkAll_ = Add(1060, new QToolButton(this));
    checkAll_->setAutoRaise(true);
    checkAll_->setFocusPolicy(Qt::NoFocus);
    search_ = new QLineEdit(this);
    search_->setObjectName("search");
    search_->hide();
    search_->installEventFilter(this);
    for (QPushButton* b : {reply_, forward_, saveTo_, edit_})
        b->setAutoDefault(false);
    SetCommandKey(reply_, Qt::CTRL | Qt::Key_R);
    SetCommandKey(forward_, Qt::CTRL | Qt::Key_L);
    SetCommandKey(saveTo_, Qt::CTRL | Qt::Key_S);
    SetCommandKey(edit_, Qt::CTRL | Qt::Key_E);
    markUnread_ = new QAction(this);
    markUnread_->setObjectName("markUnread");
    markUnread_->setShortcut(Qt::CTRL | Qt::Key_U);
    export_ = new QAction(this);
    export_->setObjectName("exportCsv");
    export_->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_E);
    for (QAction* action : {markUnread_, export_})
        action->setShortcutVisibleInContextMenu(true);
    list_->addAction(markUnread_);
    list_->addAction(export_);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(markUnread_, &QAction::triggered, this, &SmsPage::MarkUnreadClicked);
    connect(export_, &QAction::triggered, this, &SmsPage::ExportClicked);
    SetCheckAllImage();

    connect(list_, &ListView::HeaderClicked, this, &SmsPage::HeaderClicked);
    connect(list_, &ListView::SelectionChanged, this, [this] {
        const int row = list_->SelectedRow();
        if (row < 0) return;
        const int item = list_->Data(row);
        if (item == shownItem_) return;
        shownItem_ = item;
        emit RowOpened(row);
    });
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        ResetCheckAll();
        {
            const QSignalBlocker block(side_);
            side_->setCurrentRow(index);
        }
        if (conversationsChosen_) {
            conversationsChosen_ = false;
            ShowListOrConversations();
        }
        if (index >= 0) SwapWidths(index);
        if (index >= 0) emit FolderChosen(index);
    });
    // The side list is the tab strip of the wide layout: one selection for both.
    connect(side_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row == kConversationsLine) {
            conversationsChosen_ = true;
            emit ConversationsChosen();
            return Relayout();
        }
        if (row < 0 || row >= tabs_->count()) return;
        const bool wasConversations = conversationsChosen_;
        conversationsChosen_ = false;
        tabs_->setCurrentIndex(row);
        // The folder shown before the conversations comes back as it was.
        if (wasConversations) Relayout();
    });
    connect(checkAll_, &QToolButton::clicked, this, &SmsPage::OnCheckAll);
    connect(reply_, &QPushButton::clicked, this, &SmsPage::ReplyClicked);
    connect(forward_, &QPushButton::clicked, this, &SmsPage::ForwardClicked);
    connect(saveTo_, &QPushButton::clicked, this, &SmsPage::SaveToClicked);
    connect(edit_, &QPushButton::clicked, this, &SmsPage::EditClicked);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        // The view would move the highlight to a neighbour of a row the search hides, and open
        // it; the reading pane instead keeps its message while it is listed, and shows none
        // once it is not.
        {
            const QSignalBlocker block(list_->selectionModel());
            list_->Proxy().SetSearch(text.trimmed());
            list_->selectionModel()->clear();
        }
        const int row = shownItem_ >= 0 ? list_->FindData(shownItem_) : -1;
        if (row >= 0) {
            list_->SelectRow(row);
        } else if (shownItem_ >= 0) {
            ClearDetail();
        }
        list_->viewport()->update();
    });
}

void SmsPage::Relayout() {
    const bool wide = Wide();
    tabs_->setVisible(!wide);
    side_->setVisible(wide);
    // Tab goes as the page reads: down the handheld's column, across the wide one.
    std::vector<QWidget*> order =
        wide ? std::vector<QWidget*>{side_,  search_,  list_,   box_,   edit_,
                                     reply_, forward_, saveTo_, target_}
             : std::vector<QWidget*>{box_,    edit_,   reply_, forward_, saveTo_,
                                     target_, search_, list_,  tabs_};
    for (size_t i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    if (wide) return RelayoutWide();
    ShowListOrConversations();
    const QSize extra = Extra();
    // The reading pane takes two fifths of the extra height, the list the rest.
    PlaceAnchored(scale_, extra,
                  {
                      {status_, 12, 2, 98, 14, 0, 0, 1, 0},
                      {signal_, 125, 3, 50, 10, 1, 0, 0, 0},
                      {counter_, 178, 3, 50, 18, 1, 0, 0, 0},
                      {number_, 12, 18, 98, 22, 0, 0, 0, 0},
                      {time_, 122, 18, 103, 22, 1, 0, 0, 0},
                      {box_, 12, 37, 213, 78, 0, 0, 1, 0.4f},
                      {reply_, 12, 117, 49, 22, 0, 0.4f, 0, 0},
                      {forward_, 61, 117, 49, 22, 0, 0.4f, 0, 0},
                      {saveTo_, 110, 117, 49, 22, 0, 0.4f, 0, 0},
                      {target_, 159, 117, 66, 20, 0, 0.4f, 0, 0},
                      {edit_, 12, 117, 49, 22, 0, 0.4f, 0, 0},
                      {list_, 12, 141, 213, 104, 0, 0.4f, 1, 0.6f},
                      {tabs_, 12, 246, 213, 21, 0, 1, 1, 0},
                      {search_, 12, 141, 213, kSearchRow, 0, 0.4f, 1, 0},
                  });
    // The time shows whole in either language's face; the number gives way.
    const int need = time_->fontMetrics().horizontalAdvance(time_->text()) + qRound(4 * scale_);
    if (need > time_->width()) {
        QRect t = time_->geometry();
        t.setLeft(std::max(number_->x(), t.right() - need));
        time_->setGeometry(t);
    }
    number_->resize(std::max(0, time_->x() - number_->x() - qRound(2 * scale_)), number_->height());
    const bool searchShown = SearchShown();
    search_->setVisible(searchShown);
    // The button's image is read from the style's files: not before the row first shows.
    if (searchShown && !search_->isClearButtonEnabled()) search_->setClearButtonEnabled(true);
    if (searchShown) {
        QRect r = list_->geometry();
        r.setTop(r.top() + qRound((kSearchRow + 2) * scale_));
        list_->setGeometry(r);
    }
    checkAll_->setGeometry(QRect(list_->pos() + QPoint(qRound(3 * scale_), qRound(4 * scale_)),
                                 QSize(qRound(16 * scale_), qRound(16 * scale_))));
    checkAll_->raise();
    ShowStatus();
    ChooseListFont();
}

bool SmsPage::SearchShown() const {
    // A page with room to spare, or one the user asked, shows the search row above the list; a
    // search still typed there stays.
    if (searchOpened_ || !search_->text().isEmpty()) return true;
    return !searchClosed_ && (Wide() || Extra().height() >= qRound(kSearchRow * 2 * scale_));
}

void SmsPage::RelayoutWide() {
    // Side by side: the folders, the list under its search row, and the reading pane with its
    // buttons.  Sizes follow the face, so that either language fits.
    const int margin = qRound(6 * scale_);
    const int gap = qRound(4 * scale_);
    const int line = qRound(22 * scale_);
    const int top = qRound(18 * scale_);
    const int bottom = height() - margin;
    int sideWidth = qRound(56 * scale_);
    for (int i = 0; i < side_->count(); ++i) {
        sideWidth =
            std::max(sideWidth, side_->fontMetrics().horizontalAdvance(side_->item(i)->text()) +
                                    side_->iconSize().width() + qRound(20 * scale_) +
                                    2 * side_->frameWidth());
    }
    const int listLeft = margin + sideWidth + gap;
    const int rest = std::max(0, width() - listLeft - margin - gap);
    // The list is never narrower than at the first size, where its face was chosen to show a
    // number and a date whole.
    const int listWidth = std::max(rest * 11 / 20, Scaled(scale_, 0, 0, 213, 0).width());
    const int paneLeft = listLeft + listWidth + gap;
    const int paneWidth = std::max(0, width() - margin - paneLeft);

    const int counterWidth = counter_->fontMetrics().horizontalAdvance("0000/0000") + gap;
    counter_->setGeometry(width() - margin - counterWidth, 0, counterWidth, top);
    counter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int signalWidth = qRound(50 * scale_);
    signal_->setGeometry(counter_->x() - gap - signalWidth, qRound(4 * scale_), signalWidth,
                         qRound(10 * scale_));
    status_->setGeometry(margin, 0, std::max(0, signal_->x() - gap - margin), top);
    side_->setGeometry(margin, top, sideWidth, bottom - top);
    if (conversations_ != nullptr)
        conversations_->setGeometry(listLeft, top, std::max(0, width() - margin - listLeft),
                                    bottom - top);

    const bool searchShown = SearchShown();
    search_->setVisible(searchShown);
    if (searchShown && !search_->isClearButtonEnabled()) search_->setClearButtonEnabled(true);
    const int searchHeight = searchShown ? qRound(kSearchRow * scale_) + gap : 0;
    search_->setGeometry(listLeft, top, listWidth, qRound(kSearchRow * scale_));
    list_->setGeometry(listLeft, top + searchHeight, listWidth, bottom - top - searchHeight);

    // The time shows whole; the number or name takes the rest of its row.
    const int timeWidth =
        std::min(paneWidth, time_->fontMetrics().horizontalAdvance(time_->text()) + gap);
    time_->setGeometry(paneLeft + paneWidth - timeWidth, top, timeWidth, line);
    number_->setGeometry(paneLeft, top, std::max(0, paneWidth - timeWidth - gap), line);
    const int buttonsTop = bottom - line;
    box_->setGeometry(paneLeft, top + line, paneWidth, std::max(0, buttonsTop - gap - top - line));
    int x = paneLeft;
    const auto place = [&](QWidget* w) {
        const int width = std::max(qRound(49 * scale_), w->sizeHint().width());
        w->setGeometry(x, buttonsTop, width, line);
        x += width + gap;
    };
    // Edit stands where Reply does: the Draft folder shows it alone.
    const int first = x;
    place(reply_);
    edit_->setGeometry(first, buttonsTop, reply_->width(), line);
    place(forward_);
    place(saveTo_);
    place(target_);
    checkAll_->setGeometry(QRect(list_->pos() + QPoint(qRound(3 * scale_), qRound(4 * scale_)),
                                 QSize(qRound(16 * scale_), qRound(16 * scale_))));
    checkAll_->raise();
    ShowListOrConversations();
    ShowStatus();
    ChooseListFont();
}

static_assert(SmsPage::kConversationsLine == std::size(kFolderNames));

bool SmsPage::ConversationsShown() const {
    return conversationsChosen_ && conversations_ != nullptr && Wide();
}

void SmsPage::ShowListOrConversations() {
    const bool conversations = ConversationsShown();
    for (QWidget* w :
         std::initializer_list<QWidget*>{list_, checkAll_, number_, time_, box_, saveTo_, target_})
        w->setVisible(!conversations);
    reply_->setVisible(!conversations && replyShown_);
    forward_->setVisible(!conversations && replyShown_);
    edit_->setVisible(!conversations && editShown_);
    search_->setVisible(!conversations && SearchShown());
    if (conversations_ == nullptr) return;
    conversations_->setVisible(conversations);
}

void SmsPage::SetConversationsView(QWidget* view) {
    if (view == conversations_) return;
    conversations_ = view;
    view->setParent(this);
    // Tab goes from the folders into the conversations, as into the list: the controls hidden
    // with the list are passed over.
    std::vector<QWidget*> chain;
    for (QWidget* w = view->nextInFocusChain(); w != view && view->isAncestorOf(w);
         w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
    }
    QWidget* previous = side_;
    for (QWidget* w : chain) {
        setTabOrder(previous, w);
        previous = w;
    }
    Relayout();
}

void SmsPage::ChooseConversations() {
    side_->setCurrentRow(kConversationsLine);
}

void SmsPage::Relabel() {
    LabelWithKey(reply_, Ui(ui_text::kReply));
    LabelWithKey(forward_, Ui(ui_text::kForward));
    LabelWithKey(saveTo_, Ui(ui_text::kSaveTo));
    LabelWithKey(edit_, Ui(ui_text::kEdit));
    search_->setPlaceholderText(Ui(kSearch));
    markUnread_->setText(Ui(kMarkUnread));
    tabs_->setAccessibleName(Ui(kFoldersName));
    side_->setAccessibleName(Ui(kFoldersName));
    list_->setAccessibleName(Ui(kMessagesName));
    list_->setAccessibleDescription(Ui(kMessagesHelp));
    box_->setAccessibleName(Ui(kMessageTextName));
    search_->setAccessibleName(Ui(kSearch));
    target_->setAccessibleName(Ui(kTargetName));
    checkAll_->setAccessibleName(Ui(kCheckAllName));
    checkAll_->setToolTip(Ui(kCheckAllName));
    signal_->setAccessibleName(Ui(kSignalName));
    status_->setAccessibleName(Ui(kStatusName));
    export_->setText(Ui(kExportCsv));
    {
        const QSignalBlocker block(tabs_);
        while (tabs_->count())
            tabs_->removeTab(0);
        for (UiText folder : kFolderNames)
            tabs_->addTab(Ui(folder));
        tabs_->setCurrentIndex(FolderTab(FolderId::Inbox));
    }
    {
        const QSignalBlocker block(side_);
        side_->clear();
        const Icon icons[] = {Icon::kUnread, Icon::kOutgoing, Icon::kOutgoing, Icon::kCompose,
                              Icon::kRead};
        for (size_t i = 0; i < std::size(kFolderNames); ++i)
            side_->addItem(new QListWidgetItem(MakeIcon(icons[i]), Ui(kFolderNames[i])));
        side_->addItem(new QListWidgetItem(MakeIcon(Icon::kSms), Ui(ui_text::kConversations)));
        side_->setCurrentRow(FolderTab(FolderId::Inbox));
        conversationsChosen_ = false;
    }
    SwapWidths(FolderTab(FolderId::Inbox));
    shownItem_ = -1;
    detailNumber_.clear();
    ShowBody(u"");
    list_->SetColumns({"", Ui(ui_text::kPhone), Ui(ui_text::kTime), Ui(ui_text::kMessage)},
                      {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignLeft},
                      {SortKind::kText, SortKind::kText, SortKind::kTime, SortKind::kText});
    list_->ApplyWidths(
        {qRound(38 * scale_), qRound(80 * scale_), qRound(80 * scale_), qRound(80 * scale_)});
    list_->SortBy(kTimeColumn, Qt::DescendingOrder);
    ResetCheckAll();
}

int SmsPage::CurrentFolder() const {
    return tabs_->currentIndex();
}

void SmsPage::SelectFolder(int folder) {
    if (folder >= 0 && folder < tabs_->count()) tabs_->setCurrentIndex(folder);
}

void SmsPage::AppendRow(int icon, const std::u16string& number, const NumberNames& names,
                        const std::u16string& date, const std::u16string& text, int itemData) {
    QString body = QString::fromStdU16String(text);
    body.replace("\r\n", " ").replace('\n', ' ');
    const QString shownNumber = QString::fromStdU16String(number);
    const QString shown = ShownRecipients(shownNumber, names);
    ListRow row;
    row.texts = {"", shown, QString::fromStdU16String(date), body};
    if (shown != shownNumber) row.tips = {"", shownNumber};
    row.key = shownNumber;
    row.icon = icon;
    row.data = itemData;
    list_->Model().Append(std::move(row));
}

void SmsPage::Rename(const NumberNames& names) {
    ListModel& model = list_->Model();
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString number = model.Row(row).key;
        const QString shown = ShownRecipients(number, names);
        model.SetText(row, kPhoneColumn, shown, shown == number ? QString() : number);
    }
}

void SmsPage::SetDeliveryMark(int row, int mark, const QString& tip) {
    const int source = list_->SourceRow(row);
    if (source < 0) return;
    list_->Model().SetIcon(source, mark);
    list_->Model().SetText(source, kTickColumn, QString(), tip);
}

void SmsPage::SetRowMark(int row, const QString& mark, const QString& tip) {
    const int source = list_->SourceRow(row);
    if (source < 0) return;
    list_->Model().SetText(source, kTickColumn, mark, tip);
}

void SmsPage::ClearRows() {
    list_->Model().Clear();
    shownItem_ = -1;
}

void SmsPage::SortRows() {
    if (list_->SortColumn() < 0) list_->SortBy(kTimeColumn, Qt::DescendingOrder);
    // Numbers and dates show whole, each folder's columns as its own rows need.
    list_->FitColumns({kTickColumn, kPhoneColumn, kTimeColumn});
    LimitPhoneColumn();
}

void SmsPage::LimitPhoneColumn() {
    // A message sent to several people would take the whole width: the column is as wide as
    // the widest single recipient, and the row's tip names them all.
    const ListModel& model = list_->Model();
    QString widestPart;
    int widest = -1;
    bool several = false;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QStringList parts = model.Row(row).texts.value(kPhoneColumn).split(", ");
        several = several || parts.size() > 1;
        for (const QString& part : parts) {
            const int advance = list_->fontMetrics().horizontalAdvance(part);
            if (advance > widest) {
                widest = advance;
                widestPart = part;
            }
        }
    }
    if (!several) return;
    const int need = std::max(list_->CellWidth(kPhoneColumn, widestPart, list_->font()),
                              list_->header()->sectionSizeHint(kPhoneColumn));
    list_->SetFittedWidth(kPhoneColumn, std::max(list_->ChosenWidth(kPhoneColumn),
                                                 std::min(list_->columnWidth(kPhoneColumn), need)));
}

QString SmsPage::FolderWidths(int folder) {
    if (widthsFolder_ >= 0 && list_->Model().columnCount() > 0)
        folderWidths_[static_cast<size_t>(widthsFolder_)] = list_->WidthsText();
    return folder >= 0 && folder < 5 ? folderWidths_[static_cast<size_t>(folder)] : QString();
}

void SmsPage::SetFolderWidths(int folder, const QString& text) {
    if (folder < 0 || folder >= 5) return;
    folderWidths_[static_cast<size_t>(folder)] = text;
    if (folder == widthsFolder_) list_->SetChosenWidths(text);
}

void SmsPage::SwapWidths(int folder) {
    if (folder == widthsFolder_) return;
    if (widthsFolder_ >= 0 && list_->Model().columnCount() > 0)
        folderWidths_[static_cast<size_t>(widthsFolder_)] = list_->WidthsText();
    widthsFolder_ = folder;
    list_->SetChosenWidths(folderWidths_[static_cast<size_t>(folder)]);
}

void SmsPage::SetWorking(bool working) {
    for (QWidget* w : std::initializer_list<QWidget*>{tabs_, side_, reply_, forward_, saveTo_,
                                                      target_, edit_, checkAll_, search_}) {
        w->setEnabled(!working);
    }
    markUnread_->setEnabled(!working);
    export_->setEnabled(!working);
    list_->header()->setSectionsClickable(!working);
    list_->Model().SetTicksLocked(working);
}

void SmsPage::ApplyListFont(const QFont& uiFont) {
    // The largest size, down to 7 pixels, at which a number and a date fit the list's first
    // width beside the tick column, whose width does not depend on the face.
    const int room = Scaled(scale_, 0, 0, 213, 0).width() - 2 * list_->frameWidth();
    QFont font = uiFont;
    const int tick = list_->CellWidth(kTickColumn, {}, font);
    auto texts = [&](int pixels) {
        font.setPixelSize(pixels);
        return list_->CellWidth(kPhoneColumn, "+886912345678", font) +
               list_->CellWidth(kTimeColumn, "30/12/26 23:59:59", font);
    };
    auto fits = [&](int pixels) { return tick + texts(pixels) <= room; };
    const int largest = font.pixelSize();
    int pixels = largest;
    const int full = texts(largest);
    if (largest > 7 && tick + full > room) {
        // Each size tried loads a face: a first guess scales the texts' width, and single
        // steps settle it.
        pixels = full > 0 ? largest * std::max(0, room - tick) / full : largest - 1;
        pixels = std::clamp(pixels, 7, largest - 1);
        if (fits(pixels)) {
            while (pixels + 1 < largest && fits(pixels + 1))
                ++pixels;
        } else {
            while (pixels > 7 && !fits(pixels - 1))
                --pixels;
            if (pixels > 7) --pixels;
        }
    }
    font.setPixelSize(pixels);
    fittedFont_ = font;
    uiFont_ = uiFont;
    // Wide, the list is at least as wide as at the first size: the interface's own face is
    // used where the number and the date fit in it too.
    uiFontNeed_ = pixels == largest ? 0 : tick + full;
    listFontsKnown_ = true;
    // A hidden page takes its face when it shows: the wide layout would replace the fitted face
    // at once, and each change of face lays the list out again.
    if (isHidden()) return;
    list_->setFont(font);
    ChooseListFont();
}

void SmsPage::ChooseListFont() {
    if (!listFontsKnown_) return;
    const bool roomy = Wide() && uiFontNeed_ <= list_->width() - 2 * list_->frameWidth();
    const QFont& font = roomy ? uiFont_ : fittedFont_;
    if (list_->font() == font) return;
    list_->setFont(font);
    // The columns follow the face.
    list_->FitColumns({kTickColumn, kPhoneColumn, kTimeColumn});
    LimitPhoneColumn();
}

void SmsPage::HeaderClicked(int column) {
    if (column == kTickColumn) return;
    const bool ascending =
        list_->SortColumn() != column || list_->SortOrder() != Qt::AscendingOrder;
    list_->SortBy(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void SmsPage::SetDetail(const std::u16string& number, const NumberNames& names,
                        const std::u16string& time, const std::u16string& body) {
    detailNumber_ = number;
    const QString numbers = QString::fromStdU16String(number);
    const QString shown = ShownRecipients(numbers, names);
    number_->setText(shown);
    number_->setToolTip(shown == numbers ? QString() : numbers);
    time_->setText(QString::fromStdU16String(time));
    // A stored message is shown whole, however long; only texts being written are cut.
    ShowBody(body);
    Relayout();
}

void SmsPage::SetDeliveryStatus(const QString& text) {
    time_->setText(time_->text() + QStringLiteral("  ") + text);
    Relayout();
}

void SmsPage::ShowBody(const std::u16string& text) {
    const MessageLength m = MeasureMessage(text);
    box_->setPlainText(QString::fromStdU16String(text).replace("\r\n", "\n"));
    counter_->setText(QString::asprintf("%d/%d", m.units, m.limit));
}

void SmsPage::ClearDetail() {
    shownItem_ = -1;
    detailNumber_.clear();
    number_->clear();
    number_->setToolTip({});
    time_->clear();
    ShowBody(u"");
}

std::u16string SmsPage::DetailBody() const {
    return box_->toPlainText().replace("\n", "\r\n").toStdU16String();
}

void SmsPage::FillSaveTo(int folder) {
    target_->clear();
    folderOfLine_.fill(-1);
    const int tab = std::clamp(folder, 0, 4);
    int line = 0;
    for (const SaveToLine& l : kSaveTargets[tab]) {
        target_->addItem(Ui(l.text));
        folderOfLine_[static_cast<size_t>(line++)] = FolderTab(l.folder);
    }
    target_->setCurrentIndex(0);
}

int SmsPage::SaveToFolder() const {
    const int line = target_->currentIndex();
    if (line < 0 || line >= static_cast<int>(folderOfLine_.size())) return -1;
    return folderOfLine_[static_cast<size_t>(line)];
}

void SmsPage::ShowFolderButtons(bool replyAndForward, bool edit) {
    replyShown_ = replyAndForward;
    editShown_ = edit;
    LabelWithKey(edit_, Ui(ui_text::kEdit));
    ShowListOrConversations();
}

void SmsPage::SetStatus(const QString& text) {
    statusText_ = text;
    ShowStatus();
}

void SmsPage::ShowStatus() {
    // The line is narrow: a long text loses its middle (a device path keeps its start and its
    // name), and the whole text is the tip.
    const QString shown =
        status_->fontMetrics().elidedText(statusText_, Qt::ElideMiddle, status_->width());
    status_->setText(shown);
    status_->setToolTip(shown == statusText_ ? QString() : statusText_);
}

void SmsPage::SetSignal(int level) {
    signal_->setValue(std::clamp(level, 0, 5));
}

void SmsPage::SetSignalRssi(int rssi) {
    const std::optional<int32_t> dbm =
        SignalDbm(rssi >= 0 ? std::optional<int32_t>(rssi) : std::nullopt);
    signal_->setToolTip(dbm ? QString("%1 dBm").arg(*dbm) : QString());
}

int SmsPage::SignalLevel() const {
    return signal_->value();
}

void SmsPage::ResetCheckAll() {
    allChecked_ = false;
    SetCheckAllImage();
}

void SmsPage::ToggleSearch() {
    searchOpened_ = !SearchShown();
    searchClosed_ = !searchOpened_;
    if (!searchOpened_) search_->clear();
    Relayout();
    if (searchOpened_) search_->setFocus();
}

void SmsPage::EscapeSearch() {
    if (!search_->text().isEmpty()) {
        search_->clear();
        return;
    }
    searchOpened_ = false;
    searchClosed_ = true;
    Relayout();
    list_->setFocus();
}

void SmsPage::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    ChooseListFont();
}

bool SmsPage::eventFilter(QObject* watched, QEvent* event) {
    // A click on the signal bar opens the modem's page.
    if (watched == signal_ && event->type() == QEvent::MouseButtonRelease) emit SignalClicked();
    if (watched == search_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        EscapeSearch();
        return true;
    }
    return Page::eventFilter(watched, event);
}

void SmsPage::OnCheckAll() {
    allChecked_ = !allChecked_;
    list_->TickAll(allChecked_);
    SetCheckAllImage();
}

void SmsPage::SetCheckAllImage() {
    checkAll_->setIcon(MakeIcon(allChecked_ ? Icon::kCheckAll : Icon::kCheckNone));
    checkAll_->setIconSize(QSize(qRound(14 * scale_), qRound(14 * scale_)));
    checkAll_->setProperty("allChecked", allChecked_);
}

}  // namespace telvane
