#include "ui/sms_page.h"

#include <QEvent>

#include "modem/modem_info.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>

#include "control/window_interface.h"
#include "ui/anchored_layout.h"
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

}  // namespace

SmsPage::SmsPage(qreal scale, QWidget* parent) : Page(scale, parent) {
    tabs_ = Add(1012, MakeCompactTabs(scale, this));
    list_ = Add(1013, new ListView(this));
    list_->setIconSize(QSize(qRound(16 * scale), qRound(16 * scale)));
    // In the order of the controller's icon numbers.
    list_->Model().SetIcons(
        {MakeIcon(Icon::kUnread), MakeIcon(Icon::kRead), MakeIcon(Icon::kOutgoing)});
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
    for (QPushButton* b : {reply_, forward_, saveTo_, edit_})
        b->setAutoDefault(false);
    markUnread_ = new QAction(this);
    markUnread_->setObjectName("markUnread");
    export_ = new QAction(this);
    export_->setObjectName("exportCsv");
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
        if (index >= 0) emit FolderChosen(index);
    });
    connect(checkAll_, &QToolButton::clicked, this, &SmsPage::OnCheckAll);
    connect(reply_, &QPushButton::clicked, this, &SmsPage::ReplyClicked);
    connect(forward_, &QPushButton::clicked, this, &SmsPage::ForwardClicked);
    connect(saveTo_, &QPushButton::clicked, this, &SmsPage::SaveToClicked);
    connect(edit_, &QPushButton::clicked, this, &SmsPage::EditClicked);
    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& text) { list_->Proxy().SetSearch(text.trimmed()); });
}

void SmsPage::Relayout() {
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
    // A page with room to spare, or one the user asked, shows the search row above the list.
    const bool searchShown = searchOpened_ || extra.height() >= qRound(kSearchRow * 2 * scale_);
    search_->setVisible(searchShown);
    // The button's image is read from the style's files: not before the row first shows.
    if (searchShown && !search_->isClearButtonEnabled()) search_->setClearButtonEnabled(true);
    if (searchShown) {
        QRect r = list_->geometry();
        r.setTop(r.top() + qRound((kSearchRow + 2) * scale_));
        list_->setGeometry(r);
    } else if (!search_->text().isEmpty()) {
        search_->clear();
    }
    checkAll_->setGeometry(QRect(list_->pos() + QPoint(qRound(3 * scale_), qRound(4 * scale_)),
                                 QSize(qRound(16 * scale_), qRound(16 * scale_))));
    checkAll_->raise();
}

void SmsPage::Relabel() {
    reply_->setText(Ui(ui_text::kReply));
    forward_->setText(Ui(ui_text::kForward));
    saveTo_->setText(Ui(ui_text::kSaveTo));
    edit_->setText(Ui(ui_text::kEdit));
    search_->setPlaceholderText(Ui(kSearch));
    markUnread_->setText(Ui(kMarkUnread));
    export_->setText(Ui(kExportCsv));
    {
        const QSignalBlocker block(tabs_);
        while (tabs_->count())
            tabs_->removeTab(0);
        for (UiText folder : kFolderNames)
            tabs_->addTab(Ui(folder));
        tabs_->setCurrentIndex(FolderTab(FolderId::Inbox));
    }
    shownItem_ = -1;
    detailNumber_.clear();
    ShowBody(u"");
    list_->SetColumns({"", Ui(ui_text::kPhone), Ui(ui_text::kTime), Ui(ui_text::kMessage)},
                      {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignLeft},
                      {SortKind::kText, SortKind::kText, SortKind::kTime, SortKind::kText});
    list_->ApplyWidths(
        {qRound(38 * scale_), qRound(80 * scale_), qRound(80 * scale_), qRound(80 * scale_)});
    fitted_ = false;
    list_->SortBy(kTimeColumn, Qt::DescendingOrder);
    ResetCheckAll();
}

int SmsPage::CurrentFolder() const {
    return tabs_->currentIndex();
}

void SmsPage::SelectFolder(int folder) {
    if (folder >= 0 && folder < tabs_->count()) tabs_->setCurrentIndex(folder);
}

void SmsPage::AppendRow(int icon, const std::u16string& number, const QString& name,
                        const std::u16string& date, const std::u16string& text, int itemData) {
    QString body = QString::fromStdU16String(text);
    body.replace("\r\n", " ").replace('\n', ' ');
    const QString shownNumber = QString::fromStdU16String(number);
    ListRow row;
    row.texts = {"", name.isEmpty() ? shownNumber : name, QString::fromStdU16String(date), body};
    if (!name.isEmpty()) row.tips = {"", shownNumber};
    row.key = shownNumber;
    row.icon = icon;
    row.data = itemData;
    list_->Model().Append(std::move(row));
}

void SmsPage::Rename(const NumberNames& names) {
    ListModel& model = list_->Model();
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString number = model.Row(row).key;
        const QString name = QString::fromStdU16String(names.Find(number.toStdU16String()));
        model.SetText(row, kPhoneColumn, name.isEmpty() ? number : name,
                      name.isEmpty() ? QString() : number);
    }
}

void SmsPage::ClearRows() {
    list_->Model().Clear();
    shownItem_ = -1;
}

void SmsPage::SortRows() {
    if (list_->SortColumn() < 0) list_->SortBy(kTimeColumn, Qt::DescendingOrder);
    // Numbers and dates show whole; a column the user widened keeps its width.
    const int phone = list_->columnWidth(kPhoneColumn);
    const int time = list_->columnWidth(kTimeColumn);
    list_->FitColumns({kTickColumn, kPhoneColumn, kTimeColumn});
    if (fitted_) {
        list_->setColumnWidth(kPhoneColumn, std::max(phone, list_->columnWidth(kPhoneColumn)));
        list_->setColumnWidth(kTimeColumn, std::max(time, list_->columnWidth(kTimeColumn)));
    }
    fitted_ = true;
}

void SmsPage::SetWorking(bool working) {
    for (QWidget* w : std::initializer_list<QWidget*>{tabs_, reply_, forward_, saveTo_, target_,
                                                      edit_, checkAll_, search_}) {
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
    list_->setFont(font);
}

void SmsPage::HeaderClicked(int column) {
    if (column == kTickColumn) return;
    const bool ascending =
        list_->SortColumn() != column || list_->SortOrder() != Qt::AscendingOrder;
    list_->SortBy(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void SmsPage::SetDetail(const std::u16string& number, const QString& name,
                        const std::u16string& time, const std::u16string& body) {
    detailNumber_ = number;
    number_->setText(name.isEmpty() ? QString::fromStdU16String(number) : name);
    number_->setToolTip(name.isEmpty() ? QString() : QString::fromStdU16String(number));
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
    reply_->setVisible(replyAndForward);
    forward_->setVisible(replyAndForward);
    edit_->setText(Ui(ui_text::kEdit));
    edit_->setVisible(edit);
}

void SmsPage::SetStatus(const QString& text) {
    // The line is narrow: the whole text, such as why a port could not be opened, is its tip.
    status_->setText(text);
    status_->setToolTip(text);
}

void SmsPage::SetSignal(int level) {
    signal_->setValue(std::clamp(level, 0, 5));
}

void SmsPage::SetSignalRssi(int rssi) {
    const std::optional<int32_t> dbm =
        SignalDbm(rssi >= 0 ? std::optional<int32_t>(rssi) : std::nullopt);
    signal_->setToolTip(dbm ? QString("%1 dBm").arg(*dbm) : QString());
}

bool SmsPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == signal_ && event->type() == QEvent::MouseButtonRelease) emit SignalClicked();
    return Page::eventFilter(watched, event);
}

int SmsPage::SignalLevel() const {
    return signal_->value();
}

void SmsPage::ResetCheckAll() {
    allChecked_ = false;
    SetCheckAllImage();
}

void SmsPage::ToggleSearch() {
    searchOpened_ = !searchOpened_;
    if (!searchOpened_) search_->clear();
    Relayout();
    if (searchOpened_) search_->setFocus();
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
