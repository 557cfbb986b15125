// The Phonebook page, its entry panel and the list it shares with address picking.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>

#include "control/ui_strings.h"
#include "ui/main_dialog.h"
#include "ui/sortable_list.h"

namespace telvane {

namespace {

QString Ui(int chineseId, int englishId) {
    return QString::fromStdU16String(LoadUiString(chineseId, englishId));
}

}  // namespace

void MainDialog::ShowPhonebookPage(bool show) {
    if (!show) {
        for (QWidget* w : {static_cast<QWidget*>(add_), static_cast<QWidget*>(cancel_),
                           static_cast<QWidget*>(tabs_), static_cast<QWidget*>(list_),
                           static_cast<QWidget*>(edit_), static_cast<QWidget*>(checkAll_)}) {
            w->hide();
        }
        return;
    }
    PlaceTabs(12, 12, 213, 231);
    Place(list_, 12, 14, 213, 207);
    Place(edit_, 12, 245, 49, 22);
    Place(add_, 70, 245, 49, 22);
    Place(cancel_, 178, 245, 49, 22);
    Place(checkAll_, 15, 18, 16, 16);
    SetCheckAllImage();
    edit_->setText(picking_ ? Ui(59, 60) : Ui(57, 58));
    add_->setVisible(!picking_);
    cancel_->setVisible(picking_);
    for (QWidget* w : {static_cast<QWidget*>(tabs_), static_cast<QWidget*>(list_),
                       static_cast<QWidget*>(edit_), static_cast<QWidget*>(checkAll_)}) {
        w->show();
    }
    checkAll_->raise();
}

void MainDialog::BuildPhonebookTabs() {
    const QSignalBlocker block(tabs_);
    tabs_->setFont(CurrentUiFont());
    while (tabs_->count())
        tabs_->removeTab(0);
    tabs_->addTab(Ui(51, 52));
    tabs_->addTab(Ui(53, 54));
    tabs_->setCurrentIndex(0);
}

void MainDialog::BuildPhonebookColumns() {
    allChecked_ = false;
    SetCheckAllImage();
    shownItem_ = -1;
    list_->clear();
    list_->setColumnCount(4);
    list_->setHeaderLabels({"", Ui(43, 44), Ui(55, 56), Ui(37, 38)});
    const int widths[] = {24, 42, 80, 80};
    for (int c = 0; c < 4; ++c) {
        list_->setColumnWidth(c, qRound(widths[c] * scale_));
        list_->SetSortMark(c, SortableList::kNoMark);
    }
    for (int c = 0; c < 4; ++c) {
        list_->headerItem()->setTextAlignment(
            c, (c == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    list_->SetSortMark(0, SortableList::kMarkCheckColumn);
    list_->SetSortMark(1, SortableList::kMarkAscending);
    pageValue_ = tabs_->currentIndex() == 1 ? 1 : 0;
}

void MainDialog::RefreshPhonebookPage() {
    if (page_ == kPagePhonebook || picking_) BuildPhonebookColumns();
}

void MainDialog::LabelEntryPanel() {
    struct Entry {
        QWidget* w;
        int chineseId, englishId;
        int x, y, width, height;
    };
    const Entry entries[] = {
        {nameLabel_, 55, 56, 10, 55, 70, 20},  {nameEdit_, 0, 0, 85, 55, 120, 20},
        {phoneLabel_, 37, 38, 10, 85, 70, 20}, {numberEdit_, 0, 0, 85, 85, 120, 20},
        {noLabel_, 43, 44, 10, 115, 70, 20},   {noEdit_, 0, 0, 85, 115, 150, 20},
        {entryOkay_, 59, 60, 40, 150, 50, 20}, {entryCancel_, 61, 62, 140, 150, 50, 20},
    };
    for (const Entry& e : entries) {
        e.w->setFont(CurrentUiFont());
        if (e.chineseId) e.w->setProperty("text", Ui(e.chineseId, e.englishId));
        Place(e.w, e.x, e.y, e.width, e.height);
    }
}

void MainDialog::ShowEntryPanel(bool show) {
    nameLabel_->setText(Ui(55, 56));
    phoneLabel_->setText(Ui(37, 38));
    noLabel_->setText(Ui(43, 44));
    for (QWidget* w : {static_cast<QWidget*>(nameLabel_), static_cast<QWidget*>(phoneLabel_),
                       static_cast<QWidget*>(nameEdit_), static_cast<QWidget*>(numberEdit_),
                       static_cast<QWidget*>(entryOkay_), static_cast<QWidget*>(entryCancel_)}) {
        w->setVisible(show);
    }
    noLabel_->hide();
    noEdit_->hide();
    numberEdit_->setReadOnly(false);
    if (show) nameEdit_->setFocus();
}

}  // namespace telvane
