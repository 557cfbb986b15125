#include "ui/compose_page.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTreeWidget>
#include <functional>

#include "canned/canned_library.h"
#include "store/message_store.h"
#include "ui/anchored_layout.h"
#include "ui/command_keys.h"
#include "ui/message_limit.h"
#include "ui/picture_editor.h"
#include "ui/ui_text.h"

namespace telvane {

namespace {

// What a screen reader says for the controls without a text of their own.
constexpr WindowText kMessageName{"訊息", "Message"};
constexpr WindowText kTargetName{"存至資料夾或圖像種類", "Save-to folder or picture kind"};
constexpr WindowText kLibraryName{"預設信息庫", "Canned message library"};
constexpr WindowText kPictureName{"圖像", "Picture"};
constexpr WindowText kPictureHelp{"方向鍵移動，空白鍵設定或清除一格，Shift 加方向鍵畫線",
                                  "Arrows move, Space sets or clears a cell, Shift and an arrow "
                                  "draw"};

// Message texts break lines with CR LF; the box shows plain line feeds.
QString ForBox(const std::u16string& text) {
    return QString::fromStdU16String(text).replace("\r\n", "\n");
}

std::u16string FromBox(const QPlainTextEdit* box) {
    QString text = box->toPlainText();
    text.replace("\r\n", "\n").replace("\n", "\r\n");
    return text.toStdU16String();
}

// Occurrences of `number` that stand as an entry of the ';'-separated list.
size_t DelimitedOccurrence(const std::u16string& recipients, const std::u16string& number) {
    for (size_t pos = recipients.find(number); pos != std::u16string::npos;
         pos = recipients.find(number, pos + 1)) {
        bool before = pos > 0 && recipients[pos - 1] == u';';
        size_t end = pos + number.size();
        bool after = end < recipients.size() && recipients[end] == u';';
        if (before || after) return pos;
    }
    return std::u16string::npos;
}

// The folders a composed text may be saved to, in drop-down order.
struct FolderLine {
    UiText text;
    FolderId folder;
};
constexpr FolderLine kSaveFolders[] = {
    {ui_text::kOutbox, FolderId::Outbox},
    {ui_text::kDraft, FolderId::Draft},
    {ui_text::kSave, FolderId::Saved},
};

}  // namespace

ComposePage::ComposePage(qreal scale, QWidget* parent) : Page(scale, parent) {
    toLabel_ = Add(1023, new QLabel(this));
    recipients_ = Add(1024, new QLineEdit(this));
    address_ = Add(1025, new QPushButton(this));
    counter_ = Add(1026, new QLabel(this));
    canned_ = Add(1027, new QPushButton(this));
    box_ = Add(1018, new QPlainTextEdit(this));
    box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box_->setTabChangesFocus(true);
    send_ = Add(1028, new QPushButton(this));
    saveTo_ = Add(1016, new QPushButton(this));
    target_ = Add(1017, new QComboBox(this));
    logoText_ = Add(1064, new QPushButton(this));
    invert_ = Add(1065, new QPushButton(this));
    library_ = Add(1069, new QComboBox(this));
    counter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cannedTreeWidget_ = Add(1029, new QTreeWidget(this));
    cannedTreeWidget_->setHeaderHidden(true);
    cannedTreeWidget_->setRootIsDecorated(true);
    cannedTreeWidget_->hide();
    toLabel_->setBuddy(recipients_);
    SetCommandKey(address_, Qt::CTRL | Qt::Key_B);
    SetCommandKey(canned_, Qt::CTRL | Qt::Key_M);
    SetCommandKey(send_, Qt::CTRL | Qt::Key_Return);
    SetCommandKey(saveTo_, Qt::CTRL | Qt::Key_S);
    SetCommandKey(logoText_, Qt::CTRL | Qt::Key_G);
    SetCommandKey(invert_, Qt::CTRL | Qt::Key_I);
    // Tab goes as the page reads.
    QWidget* const order[] = {recipients_, address_,  canned_, library_, box_,   cannedTreeWidget_,
                              send_,       logoText_, saveTo_, invert_,  target_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QPushButton* b : {address_, canned_, send_, saveTo_, logoText_, invert_})
        b->setAutoDefault(false);
    for (const auto& name : ListCannedLibraries())
        library_->addItem(QString::fromStdU16String(name));

    connect(box_, &QPlainTextEdit::textChanged, this, &ComposePage::OnBoxChanged);
    connect(canned_, &QPushButton::clicked, this, &ComposePage::OnCannedButton);
    connect(cannedTreeWidget_, &QTreeWidget::itemSelectionChanged, this,
            &ComposePage::OnCannedSelection);
    connect(library_, &QComboBox::activated, this, [this](int) {
        ChooseLibrary(library_->currentText());
        emit LibraryChosen(library_->currentText());
    });
    connect(address_, &QPushButton::clicked, this, &ComposePage::AddressClicked);
    connect(send_, &QPushButton::clicked, this, &ComposePage::SendClicked);
    connect(saveTo_, &QPushButton::clicked, this, &ComposePage::SaveClicked);
    connect(logoText_, &QPushButton::clicked, this, &ComposePage::LogoTextClicked);
    connect(target_, &QComboBox::activated, this, [this](int index) {
        if (mode_ == ComposeMode::kPicture) emit PictureKindChosen(static_cast<PictureKind>(index));
    });
    connect(invert_, &QPushButton::clicked, this, [this] {
        if (picture_) picture_->ToggleInvert();
    });
}

void ComposePage::Relayout() {
    const QSize extra = Extra();
    // Wide, the canned messages stand beside the message instead of under it.
    const bool treeBelow = cannedTreeShown_ && !Wide();
    const float boxGrow = treeBelow ? 0.5f : 1.0f;
    PlaceAnchored(scale_, extra,
                  {
                      {toLabel_, 12, 14, 16, 18},
                      {recipients_, 32, 12, 116, 22, 0, 0, 1, 0},
                      {address_, 150, 12, 76, 22, 1, 0, 0, 0},
                      {canned_, 12, 36, 100, 22},
                      {library_, 115, 36, 70, 18},
                      {box_, 12, 60, 213, treeBelow ? 80 : 164, 0, 0, 1, boxGrow},
                      {cannedTreeWidget_, 12, 141, 213, 83, 0, 0.5f, 1, 0.5f},
                      {counter_, 12, 225, 213, 16, 0, 1, 1, 0},
                      {send_, 12, 242, 48, 22, 0, 1, 0, 0},
                      {logoText_, 61, 242, 48, 22, 0, 1, 0, 0},
                      {saveTo_, 110, 242, 49, 22, 0, 1, 0, 0},
                      {invert_, 110, 242, 49, 22, 0, 1, 0, 0},
                      {target_, 159, 242, mode_ == ComposeMode::kText ? 66 : 75, 20, 0, 1, 0, 0},
                  });
    if (cannedTreeShown_ && !treeBelow) {
        QRect box = box_->geometry();
        const int gap = qRound(4 * scale_);
        QRect tree = box;
        box.setWidth((box.width() - gap) / 2);
        tree.setLeft(box.right() + 1 + gap);
        box_->setGeometry(box);
        cannedTreeWidget_->setGeometry(tree);
    }
    if (picture_) picture_->move(Scaled(scale_, 12, 50, 216, 84).topLeft());
}

void ComposePage::Relabel(ComposeMode mode) {
    toLabel_->setText(Ui(ui_text::kTo));
    box_->setAccessibleName(Ui(kMessageName));
    target_->setAccessibleName(Ui(kTargetName));
    library_->setAccessibleName(Ui(kLibraryName));
    cannedTreeWidget_->setAccessibleName(Ui(ui_text::kCannedMessage));
    if (picture_) {
        picture_->setAccessibleName(Ui(kPictureName));
        picture_->setAccessibleDescription(Ui(kPictureHelp));
    }
    LabelWithKey(address_, Ui(ui_text::kPhonebook));
    LabelWithKey(canned_, Ui(ui_text::kCannedMessage));
    LabelWithKey(send_, Ui(ui_text::kSend));
    LabelWithKey(saveTo_, Ui(ui_text::kSaveTo));
    logoText_->setText(mode == ComposeMode::kText ? Ui(ui_text::kLogo) : Ui(ui_text::kText));
    LabelWithKey(invert_, Ui(ui_text::kInvert));
    if (cannedTreeWidget_->topLevelItemCount() > 0) {
        cannedTreeWidget_->topLevelItem(0)->setText(0, Ui(ui_text::kCannedMessage));
    }
    cannedTree_.text = LoadUiString(ui_text::kCannedMessage);
}

void ComposePage::ApplyMode(ComposeMode mode, PictureKind kind) {
    mode_ = mode;
    cannedTreeShown_ = false;
    const QSignalBlocker block(target_);
    target_->clear();
    folderOfLine_.fill(-1);
    if (mode == ComposeMode::kText) {
        if (picture_) picture_->hide();
        invert_->hide();
        cannedTreeWidget_->hide();
        SetMessageText(composeText_);
        for (QWidget* w :
             std::initializer_list<QWidget*>{canned_, counter_, box_, saveTo_, target_, library_}) {
            w->show();
        }
        int line = 0;
        for (const FolderLine& f : kSaveFolders) {
            target_->addItem(Ui(f.text));
            folderOfLine_[static_cast<size_t>(line++)] = static_cast<int>(f.folder);
        }
        target_->setCurrentIndex(-1);
        LabelWithKey(logoText_, Ui(ui_text::kLogo));
        if (isVisible()) box_->setFocus();
    } else {
        for (QWidget* w : std::initializer_list<QWidget*>{box_, canned_, counter_, saveTo_,
                                                          cannedTreeWidget_, library_}) {
            w->hide();
        }
        target_->addItem(Ui(ui_text::kPictureMessage));
        target_->addItem(Ui(ui_text::kPhoneLogo));
        target_->addItem(Ui(ui_text::kScreenSaver));
        target_->setCurrentIndex(static_cast<int>(kind));
        target_->show();
        LabelWithKey(logoText_, Ui(ui_text::kText));
        if (!picture_ || picture_->Kind() != static_cast<int>(kind)) RebuildPicture(kind);
        picture_->show();
        invert_->show();
    }
    Relayout();
}

void ComposePage::RebuildPicture(PictureKind kind) {
    const bool shown = picture_ && picture_->isVisibleTo(this);
    delete picture_;
    picture_ = new PictureEditor(static_cast<int>(kind), scale_, this);
    picture_->setObjectName("c1070");
    picture_->setAccessibleName(Ui(kPictureName));
    picture_->setAccessibleDescription(Ui(kPictureHelp));
    // Where the page reads: after the recipients, before Send.
    setTabOrder(library_, picture_);
    picture_->move(Scaled(scale_, 12, 50, 216, 84).topLeft());
    picture_->setVisible(shown || mode_ == ComposeMode::kPicture);
}

bool ComposePage::PictureIsEmpty() const {
    return !picture_ || picture_->IsBlank();
}

std::u16string ComposePage::PictureHex() const {
    return picture_ ? picture_->BitmapToHex() : std::u16string(504, u'0');
}

int ComposePage::SaveToFolder() const {
    const int line = target_->currentIndex();
    if (line < 0 || line >= static_cast<int>(folderOfLine_.size())) return -1;
    return folderOfLine_[static_cast<size_t>(line)];
}

void ComposePage::SelectSaveLine(int line) {
    target_->setCurrentIndex(line);
}

std::u16string ComposePage::RecipientText() const {
    return recipients_->text().toStdU16String();
}

void ComposePage::SetRecipientText(const std::u16string& text) {
    recipients_->setText(QString::fromStdU16String(text));
}

void ComposePage::SetMessageText(const std::u16string& text) {
    const std::u16string cut = CutToLimit(text, sixteenBitReference_);
    messageLimit_ = MeasureMessage(cut, sixteenBitReference_).limit;
    box_->setPlainText(ForBox(cut));
    UpdateCounter(cut);
    if (cut.size() < text.size()) emit InputRefused();
}

void ComposePage::SetSixteenBitReference(bool on) {
    if (on == sixteenBitReference_) return;
    sixteenBitReference_ = on;
    SetMessageText(composeText_);
}

void ComposePage::Clear() {
    composeText_.clear();
    SetMessageText(u"");
    recipients_->clear();
    if (picture_) picture_->Clear();
}

void ComposePage::StartAboveQuote() {
    if (mode_ != ComposeMode::kText) return;
    SetMessageText(u"\r\n" + composeText_);
    QTextCursor caret = box_->textCursor();
    caret.setPosition(0);
    box_->setTextCursor(caret);
    box_->setFocus();
}

void ComposePage::UpdateCounter(const std::u16string& text) {
    const MessageLength m = MeasureMessage(text, sixteenBitReference_);
    messageLimit_ = m.limit;
    counter_->setText(QString::fromStdU16String(CounterText(m)));
}

void ComposePage::OnBoxChanged() {
    if (restoringText_) return;
    std::u16string text = FromBox(box_);
    if (FitsCompose(text, sixteenBitReference_)) {
        composeText_ = text;
        UpdateCounter(composeText_);
        return;
    }
    // Keep what was there and as much of the new piece (typed, pasted or dropped) as fits.
    const QString was = ForBox(composeText_);
    const QString now = box_->toPlainText();
    qsizetype head = 0;
    while (head < was.size() && head < now.size() && was[head] == now[head])
        ++head;
    qsizetype tail = 0;
    while (tail < was.size() - head && tail < now.size() - head &&
           was[was.size() - 1 - tail] == now[now.size() - 1 - tail]) {
        ++tail;
    }
    const QString before = now.left(head);
    const QString added = now.mid(head, now.size() - head - tail);
    const QString after = now.right(tail);
    auto fits = [&](qsizetype n) {
        QString whole = before + added.left(n) + after;
        whole.replace("\n", "\r\n");
        return FitsCompose(whole.toStdU16String(), sixteenBitReference_);
    };
    // A longer piece never needs fewer messages, so the cut is found by halving.
    qsizetype lo = 0, hi = added.size();
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (fits(mid)) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    if (lo > 0 && added[lo - 1].isHighSurrogate()) --lo;
    QString kept = before + added.left(lo) + after;
    kept.replace("\n", "\r\n");
    composeText_ = CutToLimit(kept.toStdU16String(), sixteenBitReference_);
    restoringText_ = true;
    box_->setPlainText(ForBox(composeText_));
    restoringText_ = false;
    QTextCursor cursor = box_->textCursor();
    cursor.setPosition(
        std::min(static_cast<int>(head + lo), static_cast<int>(box_->toPlainText().size())));
    box_->setTextCursor(cursor);
    box_->ensureCursorVisible();
    UpdateCounter(composeText_);
    emit InputRefused();
}

// --- Canned messages ------------------------------------------------------------------------

void ComposePage::ChooseLibrary(const QString& name) {
    const int line = library_->findText(name);
    if (line >= 0) library_->setCurrentIndex(line);
    CannedNode tree;
    if (name.isEmpty() || line < 0 ||
        !LoadCannedLibrary(name.toStdU16String(), LoadUiString(ui_text::kCannedMessage), tree)) {
        // A library that cannot be read leaves the tree as it was; the first one fills it empty.
        if (cannedTreeWidget_->topLevelItemCount() > 0) return;
        tree = CannedNode{LoadUiString(ui_text::kCannedMessage), false, {}};
    }
    FillCannedTree(tree);
}

QString ComposePage::LibraryName() const {
    return library_->currentText();
}

void ComposePage::FillCannedTree(const CannedNode& tree) {
    cannedTreeRebuilding_ = true;
    cannedTree_ = tree;
    cannedTreeWidget_->clear();
    std::function<void(QTreeWidgetItem*, const CannedNode&)> add = [&](QTreeWidgetItem* item,
                                                                       const CannedNode& node) {
        item->setText(0, QString::fromStdU16String(node.text));
        item->setData(0, Qt::UserRole, node.isMessage);
        for (const CannedNode& child : node.children)
            add(new QTreeWidgetItem(item), child);
    };
    auto* root = new QTreeWidgetItem(cannedTreeWidget_);
    add(root, cannedTree_);
    root->setExpanded(true);
    cannedTreeRebuilding_ = false;
}

void ComposePage::OnCannedButton() {
    cannedTreeShown_ = !cannedTreeShown_;
    cannedTreeWidget_->setVisible(cannedTreeShown_);
    Relayout();
}

void ComposePage::OnCannedSelection() {
    QTextCursor cursor = box_->textCursor();
    const int start = cursor.selectionStart();
    int inserted = 0;
    QList<QTreeWidgetItem*> selected = cannedTreeWidget_->selectedItems();
    if (!selected.isEmpty() && selected.first()->childCount() == 0 && !cannedTreeRebuilding_ &&
        selected.first()->data(0, Qt::UserRole).toBool()) {
        const QString leaf = selected.first()->text(0);
        cursor.insertText(leaf);
        inserted = static_cast<int>(leaf.size());
        SetMessageText(FromBox(box_));
    }
    box_->setFocus();
    QTextCursor caret = box_->textCursor();
    const int length = static_cast<int>(box_->toPlainText().size());
    caret.setPosition(std::min(start + inserted, length));
    box_->setTextCursor(caret);
    box_->ensureCursorVisible();
}

// --- Recipients -----------------------------------------------------------------------------

bool ComposePage::IsAmongRecipients(const std::u16string& recipients,
                                    const std::u16string& number) {
    if (number.empty()) return false;
    return recipients == number || DelimitedOccurrence(recipients, number) != std::u16string::npos;
}

std::u16string ComposePage::PickRecipients(
    std::u16string r, const std::vector<std::pair<std::u16string, bool>>& lines) {
    for (const auto& [fullNumber, ticked] : lines) {
        std::u16string n = fullNumber.substr(0, 39);
        // A line without a number neither adds nor removes anything.
        if (n.empty()) continue;
        if (ticked) {
            if (r.empty()) {
                r = n;
            } else if (r.find(n) == std::u16string::npos) {
                r += u";" + n;
            } else if (r.find(u';') == std::u16string::npos) {
                if (r != n) r += u";" + n;
            } else if (DelimitedOccurrence(r, n) == std::u16string::npos) {
                r += u";" + n;
            }
        } else if (r == n) {
            r.clear();
        } else if (size_t pos = DelimitedOccurrence(r, n); pos == 0) {
            r.erase(0, n.size() + 1);
        } else if (pos != std::u16string::npos) {
            r.erase(pos - 1, n.size() + 1);
        }
    }
    return r;
}

}  // namespace telvane
