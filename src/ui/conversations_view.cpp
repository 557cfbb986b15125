#include "ui/conversations_view.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "control/history_feed.h"
#include "control/ui_strings.h"
#include "history/history_export.h"

namespace telvane {
namespace {

constexpr int kPageRows = 50;
constexpr int kIdRole = Qt::UserRole + 1;

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

std::u16string Count(int64_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

QString Ui(UiText text) {
    return Q(LoadUiString(text));
}

QString When(const HistoryMessage& m) {
    std::string iso = IsoTime(m);
    if (iso.empty()) return {};
    iso[10] = ' ';
    return QString::fromStdString(iso.substr(0, 16));
}

QString DeliveryText(const std::u16string& state) {
    if (state == u"delivered") return Ui(ui_text::kDelivered);
    if (state == u"failed") return Ui(ui_text::kNotDelivered);
    if (state == u"pending") return Ui(ui_text::kDeliveryPending);
    return {};
}

}  // namespace

ConversationsView::ConversationsView(HistoryFeed* history, Send send, NameOf nameOf,
                                     QWidget* parent)
    : QWidget(parent), history_(history), send_(std::move(send)), nameOf_(std::move(nameOf)) {
    search_ = new QLineEdit(this);
    search_->setObjectName("historySearch");
    search_->setClearButtonEnabled(true);
    peopleList_ = new QListWidget(this);
    peopleList_->setObjectName("conversationList");
    title_ = new QLabel(this);
    title_->setObjectName("conversationTitle");
    older_ = new QPushButton(this);
    older_->setObjectName("olderMessages");
    threadList_ = new QListWidget(this);
    threadList_->setObjectName("conversationThread");
    threadList_->setWordWrap(true);
    threadList_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    reply_ = new QPlainTextEdit(this);
    reply_->setObjectName("replyText");
    reply_->setMaximumHeight(60);
    sendButton_ = new QPushButton(this);
    sendButton_->setObjectName("replySend");
    delete_ = new QPushButton(this);
    delete_->setObjectName("historyDelete");

    auto* left = new QVBoxLayout;
    left->addWidget(search_);
    left->addWidget(peopleList_);
    auto* top = new QHBoxLayout;
    top->addWidget(title_, 1);
    top->addWidget(delete_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(reply_, 1);
    bottom->addWidget(sendButton_);
    auto* right = new QVBoxLayout;
    right->addLayout(top);
    right->addWidget(older_);
    right->addWidget(threadList_, 1);
    right->addLayout(bottom);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 2);
    layout->addLayout(right, 3);

    connect(peopleList_, &QListWidget::currentRowChanged, this,
            [this](int row) { OpenConversation(row); });
    connect(peopleList_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value == peopleList_->verticalScrollBar()->maximum()) LoadPeople(true);
    });
    connect(older_, &QPushButton::clicked, this, [this] { ShowThread(true); });
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) { Search(text); });
    connect(sendButton_, &QPushButton::clicked, this, [this] { SendReply(); });
    connect(delete_, &QPushButton::clicked, this, [this] {
        if (search_->text().isEmpty()) {
            DeleteConversation();
        } else {
            DeleteChecked();
        }
    });
    Relabel();
    Reload();
}

ConversationsView::~ConversationsView() = default;

void ConversationsView::Relabel() {
    search_->setPlaceholderText(Ui(ui_text::kSearch));
    older_->setText(Ui(ui_text::kOlderMessages));
    sendButton_->setText(Ui(ui_text::kSend));
    delete_->setText(Ui(ui_text::kDelete));
    setWindowTitle(Ui(ui_text::kConversations));
}

bool ConversationsView::EnsureOpen() {
    if (db_ && db_->IsOpen()) return true;
    if (history_ == nullptr) return false;
    db_ = std::make_unique<HistoryDb>();
    if (db_->Open(history_->File(), HistoryAccess::kRead)) return true;
    db_.reset();
    return false;
}

void ConversationsView::Reload() {
    // A new file (kept aside and started again) needs a new connection.
    db_.reset();
    const std::optional<int64_t> openId = open_ ? std::optional<int64_t>(open_->id) : std::nullopt;
    people_.clear();
    peopleList_->blockSignals(true);
    peopleList_->clear();
    peopleList_->blockSignals(false);
    LoadPeople(false);
    if (!search_->text().isEmpty()) {
        Search(search_->text());
        return;
    }
    int row = -1;
    for (size_t i = 0; i < people_.size(); ++i)
        if (openId && people_[i].id == *openId) row = static_cast<int>(i);
    if (row >= 0) {
        peopleList_->setCurrentRow(row);
    } else {
        open_.reset();
        thread_.clear();
        threadList_->clear();
        title_->setText(people_.empty() ? Ui(ui_text::kNoHistoryYet) : QString());
    }
}

void ConversationsView::LoadPeople(bool more) {
    if (!EnsureOpen()) {
        title_->setText(Ui(ui_text::kNoHistoryYet));
        return;
    }
    std::optional<PageCursor> after;
    if (more) {
        if (people_.empty() || people_.size() % kPageRows != 0) return;
        after = PageCursor{people_.back().last.time, people_.back().last.id};
    }
    for (Conversation& c : db_->Conversations(kPageRows, after)) {
        std::u16string name = nameOf_ ? nameOf_(c.number) : std::u16string();
        if (name.empty()) name = c.name;
        QString line = Q(name.empty() ? c.number : name);
        if (c.unread > 0)
            line += "  (" + Q(FormatUiString(ui_text::kUnreadCount, {Count(c.unread)})) + ")";
        QString last = Q(c.last.text).simplified();
        if (last.size() > 60) last = last.left(60) + QChar(0x2026);
        auto* item = new QListWidgetItem(line + "\n" + When(c.last) + "  " + last);
        item->setData(kIdRole, QVariant::fromValue<qlonglong>(c.id));
        if (c.unread > 0) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
        }
        peopleList_->addItem(item);
        people_.push_back(std::move(c));
    }
}

void ConversationsView::OpenConversation(int row) {
    if (row < 0 || static_cast<size_t>(row) >= people_.size()) return;
    if (!search_->text().isEmpty()) {
        search_->blockSignals(true);
        search_->clear();
        search_->blockSignals(false);
    }
    open_ = people_[static_cast<size_t>(row)];
    const std::u16string name = nameOf_ ? nameOf_(open_->number) : std::u16string();
    title_->setText(name.empty() ? Q(open_->number) : Q(name) + " " + Q(open_->number));
    thread_.clear();
    ShowThread(false);
    if (open_->unread > 0 && history_ != nullptr) {
        const int64_t id = open_->id;
        Write([id](HistoryDb& db) { db.MarkConversationRead(id); });
    }
}

void ConversationsView::ShowThread(bool older) {
    if (!open_ || !EnsureOpen()) return;
    std::optional<PageCursor> before;
    if (older && !thread_.empty()) before = PageCursor{thread_.front().time, thread_.front().id};
    std::vector<HistoryMessage> page = db_->Messages(open_->id, kPageRows, before);
    older_->setEnabled(page.size() == static_cast<size_t>(kPageRows));
    page.insert(page.end(), std::make_move_iterator(thread_.begin()),
                std::make_move_iterator(thread_.end()));
    thread_ = std::move(page);
    const int keep = older ? threadList_->count() : 0;
    threadList_->clear();
    for (const HistoryMessage& m : thread_) {
        const bool out = m.direction == HistoryDirection::kOut;
        QString head = When(m);
        if (out) {
            const QString state = DeliveryText(m.delivery);
            if (!state.isEmpty()) head += "  " + state;
        }
        auto* item = new QListWidgetItem(head + "\n" + Q(m.text));
        item->setData(kIdRole, QVariant::fromValue<qlonglong>(m.id));
        item->setTextAlignment(out ? (Qt::AlignRight | Qt::AlignVCenter)
                                   : (Qt::AlignLeft | Qt::AlignVCenter));
        item->setBackground(out ? QColor(0xDC, 0xF0, 0xDC) : QColor(0xF0, 0xF0, 0xF0));
        threadList_->addItem(item);
    }
    // Newest at the bottom, as a chat shows it; after "older", stay where the reader was.
    if (older) {
        threadList_->scrollToItem(threadList_->item(threadList_->count() - keep - 1),
                                  QAbstractItemView::PositionAtTop);
    } else {
        threadList_->scrollToBottom();
    }
}

void ConversationsView::Search(const QString& text) {
    if (text.isEmpty()) {
        hits_.clear();
        Reload();
        return;
    }
    threadList_->clear();
    older_->setEnabled(false);
    if (!EnsureOpen()) return;
    hits_ = db_->Search(text.toStdU16String(), kPageRows * 4, 0);
    title_->setText(Ui(ui_text::kHistory) + ": " + QString::number(hits_.size()));
    for (const HistoryHit& hit : hits_) {
        const HistoryMessage& m = hit.message;
        std::u16string name = nameOf_ ? nameOf_(m.number) : std::u16string();
        if (name.empty()) name = m.name;
        // The words found, in brackets: the list shows plain text.
        std::u16string marked;
        size_t at = 0;
        for (const auto& [start, length] : hit.textMarks) {
            marked += m.text.substr(at, static_cast<size_t>(start) - at) + u"\u3010" +
                      m.text.substr(static_cast<size_t>(start), static_cast<size_t>(length)) +
                      u"\u3011";
            at = static_cast<size_t>(start + length);
        }
        marked += m.text.substr(std::min(at, m.text.size()));
        const QString who = Q(name.empty() ? m.number : name);
        auto* item = new QListWidgetItem(
            (m.direction == HistoryDirection::kOut ? QString::fromUtf8("\u2192 ") : QString()) +
            who + "  " + When(m) + "\n" + Q(marked));
        item->setData(kIdRole, QVariant::fromValue<qlonglong>(m.id));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        threadList_->addItem(item);
    }
}

void ConversationsView::DeleteChecked() {
    std::vector<int64_t> ids;
    for (int i = 0; i < threadList_->count(); ++i) {
        QListWidgetItem* item = threadList_->item(i);
        if (item->checkState() == Qt::Checked) ids.push_back(item->data(kIdRole).toLongLong());
    }
    if (ids.empty()) return;
    const QString question =
        Q(FormatUiString(ui_text::kDeleteFromHistory, {Count(static_cast<int64_t>(ids.size()))}));
    if (QMessageBox::question(this, Ui(ui_text::kHistory), question) != QMessageBox::Yes) return;
    Write([ids](HistoryDb& db) { db.Delete(ids); });
}

void ConversationsView::DeleteConversation() {
    if (!open_) return;
    const QString question = Q(FormatUiString(ui_text::kDeleteConversation, {open_->number}));
    if (QMessageBox::question(this, Ui(ui_text::kConversations), question) != QMessageBox::Yes)
        return;
    const int64_t id = open_->id;
    open_.reset();
    Write([id](HistoryDb& db) { db.DeleteConversation(id); });
}

void ConversationsView::SendReply() {
    if (!open_ || !send_) return;
    const std::u16string text = reply_->toPlainText().toStdU16String();
    if (text.empty()) return;
    send_(open_->number, text);
    reply_->clear();
}

void ConversationsView::Write(std::function<void(HistoryDb&)> task) {
    if (history_ == nullptr) return;
    QPointer<ConversationsView> self = this;
    history_->Writer().Post([task = std::move(task), self](HistoryDb& db) {
        task(db);
        QMetaObject::invokeMethod(
            qApp,
            [self] {
                if (self) self->Reload();
            },
            Qt::QueuedConnection);
    });
}

}  // namespace telvane
