// The Compose page: message text and counter, canned messages, recipients, picture mode.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTreeWidget>

#include "control/ui_strings.h"
#include "ui/main_dialog.h"
#include "ui/message_limit.h"
#include "ui/picture_editor.h"
#include "ui/sortable_list.h"
#include "ui/ui_scale.h"

namespace telvane {

namespace {

QString Ui(int chineseId, int englishId) {
    return QString::fromStdU16String(LoadUiString(chineseId, englishId));
}

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

}  // namespace

void MainDialog::ShowComposePage(bool show) {
    QWidget* both[] = {toLabel_, recipients_, address_, send_, logoText_};
    if (!show) {
        for (QWidget* w : both)
            w->hide();
        for (QWidget* w :
             std::initializer_list<QWidget*>{canned_, counter_, messageBox_, saveTo_, target_,
                                             library_, cannedTreeWidget_, invert_}) {
            w->hide();
        }
        if (pictureEditor_) pictureEditor_->hide();
        return;
    }
    cannedTreeShown_ = false;
    Place(toLabel_, 12, 14, 16, 18);
    Place(recipients_, 32, 12, 116, 22);
    Place(address_, 150, 12, 76, 22);
    Place(canned_, 12, 36, 100, 22);
    Place(counter_, 190, 40, 50, 18);
    Place(messageBox_, 12, 60, 213, 180);
    Place(send_, 12, 242, 48, 22);
    Place(saveTo_, 110, 242, 49, 22);
    Place(logoText_, 61, 242, 48, 22);
    Place(invert_, 110, 242, 49, 22);
    Place(library_, 115, 36, 70, 18);
    messageBox_->setReadOnly(false);
    ApplyComposeMode(controller_->CurrentComposeMode(), controller_->CurrentPictureKind());
    for (QWidget* w : both)
        w->show();
}

void MainDialog::ApplyComposeMode(telvane::ComposeMode mode, telvane::PictureKind kind) {
    const int composeMode = static_cast<int>(mode);
    const int pictureKind = static_cast<int>(kind);
    const QSignalBlocker block(target_);
    target_->clear();
    folderOfSaveToLine_.fill(-1);
    if (composeMode == 0) {
        cannedTreeShown_ = false;
        if (pictureEditor_) pictureEditor_->hide();
        invert_->hide();
        Place(target_, 159, 242, 66, 20);
        Place(messageBox_, 12, 60, 213, 180);
        SetMessageText(composeText_);
        for (QWidget* w : std::initializer_list<QWidget*>{canned_, counter_, messageBox_, saveTo_,
                                                          target_, library_}) {
            w->show();
        }
        cannedTreeWidget_->hide();
        const int folders[][3] = {{23, 24, 1}, {27, 28, 3}, {29, 30, 4}};
        int line = 0;
        for (const auto& f : folders) {
            target_->addItem(Ui(f[0], f[1]));
            folderOfSaveToLine_[line++] = f[2];
        }
        target_->setCurrentIndex(-1);
        logoText_->setText(Ui(151, 152));
        if (page_ == kPageCompose) messageBox_->setFocus();
    } else {
        cannedTreeShown_ = false;
        for (QWidget* w : std::initializer_list<QWidget*>{messageBox_, canned_, counter_, saveTo_,
                                                          cannedTreeWidget_, library_}) {
            w->hide();
        }
        Place(target_, 159, 242, 75, 20);
        target_->addItem(Ui(159, 160));
        target_->addItem(Ui(161, 162));
        target_->addItem(Ui(163, 164));
        target_->setCurrentIndex(pictureKind);
        target_->show();
        logoText_->setText(Ui(153, 154));
        if (!pictureEditor_ || pictureEditor_->Kind() != pictureKind) {
            RebuildPictureEditor(kind);
        }
        pictureEditor_->show();
        invert_->show();
    }
}

void MainDialog::SetMessageText(const std::u16string& text) {
    ShowMessageBody(CutToLimit(text));
}

void MainDialog::ShowMessageBody(const std::u16string& text) {
    messageLimit_ = MeasureMessage(text).limit;
    messageBox_->setPlainText(ForBox(text));
    UpdateCounter(text);
}

void MainDialog::UpdateCounter(const std::u16string& text) {
    MessageLength m = MeasureMessage(text);
    counter_->setText(QString::asprintf("%d/%d", m.units, messageLimit_));
}

void MainDialog::OnMessageBoxChanged() {
    if (page_ != kPageCompose || picking_ || restoringText_) return;
    std::u16string text = FromBox(messageBox_);
    MessageLength m = MeasureMessage(text);
    if (m.units > m.limit) {
        // An edit that would not fit one message is refused whole.
        restoringText_ = true;
        messageBox_->setPlainText(ForBox(composeText_));
        restoringText_ = false;
        QTextCursor cursor = messageBox_->textCursor();
        cursor.movePosition(QTextCursor::End);
        messageBox_->setTextCursor(cursor);
        messageBox_->ensureCursorVisible();
        return;
    }
    messageLimit_ = m.limit;
    composeText_ = text;
    UpdateCounter(composeText_);
}

// --- Canned messages ------------------------------------------------------------------------

void MainDialog::FillCannedTree() {
    cannedTreeRebuilding_ = true;
    QString name = library_->currentText();
    if (name.isEmpty() ||
        !LoadCannedLibrary(name.toStdU16String(), LoadUiString(47, 48), cannedTree_)) {
        cannedTree_ = CannedNode{LoadUiString(47, 48), false, {}};
    }
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

void MainDialog::OnCannedLibraryChosen(int) {
    FillCannedTree();
}

void MainDialog::OnCannedButton() {
    cannedTreeShown_ = !cannedTreeShown_;
    if (cannedTreeShown_) {
        Place(cannedTreeWidget_, 12, 141, 213, 99);
        Place(messageBox_, 12, 60, 213, 80);
        cannedTreeWidget_->show();
    } else {
        cannedTreeWidget_->hide();
        Place(messageBox_, 12, 60, 213, 180);
    }
}

void MainDialog::OnCannedTreeSelection() {
    QTextCursor cursor = messageBox_->textCursor();
    int start = cursor.selectionStart();
    int inserted = 0;
    QList<QTreeWidgetItem*> selected = cannedTreeWidget_->selectedItems();
    if (!selected.isEmpty() && selected.first()->childCount() == 0 && !cannedTreeRebuilding_ &&
        selected.first()->data(0, Qt::UserRole).toBool()) {
        QString leaf = selected.first()->text(0);
        cursor.insertText(leaf);
        inserted = static_cast<int>(leaf.size());
        SetMessageText(FromBox(messageBox_));
    }
    messageBox_->setFocus();
    QTextCursor caret = messageBox_->textCursor();
    int length = static_cast<int>(messageBox_->toPlainText().size());
    caret.setPosition(std::min(start + inserted, length));
    messageBox_->setTextCursor(caret);
    messageBox_->ensureCursorVisible();
}

// --- Recipients -----------------------------------------------------------------------------

bool MainDialog::IsAmongRecipients(const std::u16string& recipients, const std::u16string& number) {
    if (number.empty()) return false;
    return recipients == number || DelimitedOccurrence(recipients, number) != std::u16string::npos;
}

std::u16string MainDialog::PickRecipients(
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

void MainDialog::OnAddress() {
    ShowComposePage(false);
    picking_ = true;
    BuildPhonebookTabs();
    BuildPhonebookColumns();
    ShowPhonebookPage(true);
}

void MainDialog::OnPickOkay() {
    std::vector<std::pair<std::u16string, bool>> lines;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        lines.emplace_back(item->text(3).toStdU16String(), item->checkState(0) == Qt::Checked);
    }
    recipients_->setText(QString::fromStdU16String(PickRecipients(RecipientText(), lines)));
    OnPickCancel();
}

void MainDialog::OnPickCancel() {
    picking_ = false;
    ShowPhonebookPage(false);
    ShowComposePage(true);
}

// --- Picture mode -------------------------------------------------------------------------

void MainDialog::OnLogoText() {
    bool toText = ComposeMode() == 1;
    if (toText && pictureEditor_) pictureEditor_->Clear();
    controller_->ToggleComposeMode();
    if (toText) target_->setCurrentIndex(0);
}

void MainDialog::OnPictureKind(int index) {
    if (page_ != kPageCompose || picking_) return;
    controller_->SelectPictureKind(index);
}

void MainDialog::RebuildPictureEditor(telvane::PictureKind kind) {
    const int pictureKind = static_cast<int>(kind);
    delete pictureEditor_;
    pictureEditor_ = new PictureEditor(pictureKind, scale_, client_);
    pictureEditor_->setObjectName("c1070");
    controls_[1070] = pictureEditor_;
    pictureEditor_->move(Scaled(scale_, 12, 50, 216, 84).topLeft());
    if (page_ == kPageCompose && !picking_ && controller_ && ComposeMode() == 1) {
        pictureEditor_->show();
    }
}

bool MainDialog::PictureIsEmpty() const {
    return !pictureEditor_ || pictureEditor_->IsBlank();
}

std::u16string MainDialog::PictureHex() const {
    return pictureEditor_ ? pictureEditor_->BitmapToHex() : std::u16string(504, u'0');
}

// --- Send and file ------------------------------------------------------------------------

void MainDialog::OnSend() {
    controller_->SendComposed();
}

void MainDialog::OnSaveToCompose() {
    controller_->Folders().SaveComposed();
}

void MainDialog::OnReplyOrForward(bool reply) {
    if (reply) {
        controller_->Folders().Reply();
    } else {
        controller_->Folders().Forward();
    }
}

void MainDialog::OnEditDraft() {
    if (CurrentFolderTab() == 3) controller_->Folders().EditMessage();
}

}  // namespace telvane
