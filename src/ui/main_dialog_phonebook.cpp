// The Phonebook page, its entry panel and the list it shares with address picking.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidget>

#include "control/ui_strings.h"
#include "platform/text.h"
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
    const int source = tabs_->currentIndex() == 1 ? 1 : 0;
    controller_->SetPhonebookSource(static_cast<telvane::PhonebookSource>(source));
    const std::u16string recipients = RecipientText();
    auto addLine = [&](int no, const std::u16string& name, const std::u16string& number) {
        auto* item = new QTreeWidgetItem(
            list_, QStringList{"", QString::number(no), QString::fromStdU16String(name),
                               QString::fromStdU16String(number)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        bool ticked = picking_ && IsAmongRecipients(recipients, number);
        item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        SortableList::SetItemData(item, 0);
    };
    if (source == 0) {
        PhonebookCache& cache = controller_->Phonebook();
        if (cache.Capacity() == 0) cache.Load();
        const std::vector<PhonebookEntry>& entries = cache.Entries();
        for (size_t position = 0; position < entries.size(); ++position) {
            if (entries[position].IsEmpty()) continue;
            addLine(static_cast<int>(position) + 1, entries[position].name,
                    entries[position].number);
        }
    } else {
        contacts_.Open();
        for (int p = 0; p < contacts_.Count(); ++p) {
            addLine(p + 1, contacts_.GetName(p), contacts_.GetNumber(p));
        }
    }
}

void MainDialog::DeleteCheckedEntries() {
    if (PhonebookSource() == 0) {
        PhonebookCache& cache = controller_->Phonebook();
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            if (item->checkState(0) != Qt::Checked) continue;
            cache.Delete(ReadNumber(item->text(1).left(9).toStdU16String()));
            cache.AfterChange();
        }
    } else {
        // Positions shift with every removal, so go in ascending order and count.
        list_->SortByNumber(1, 1, 0, -1);
        int deleted = 0;
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            if (item->checkState(0) != Qt::Checked) continue;
            int position = ReadNumber(item->text(1).left(9).toStdU16String()) - deleted - 1;
            if (contacts_.Remove(position)) ++deleted;
        }
    }
    BuildPhonebookColumns();
}

void MainDialog::FillEntryPanel(const QString& name, const QString& number, const QString& index) {
    nameEdit_->setText(name);
    numberEdit_->setText(number);
    noEdit_->setText(index);
}

void MainDialog::OnEntryEdit() {
    QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;
    QTreeWidgetItem* item = selected.first();
    controller_->SetEntryPanelMode(EntryPanelMode::kEdit);
    if (PhonebookSource() == 0) {
        PhonebookLimits limits = controller_->Phonebook().Limits();
        nameEdit_->setMaxLength(limits.textLimit > 0 ? limits.textLimit : 32767);
        numberEdit_->setMaxLength(limits.numberLimit > 0 ? limits.numberLimit + 1 : 32767);
    } else {
        numberEdit_->setMaxLength(15);
        nameEdit_->setMaxLength(20);
    }
    ShowPhonebookPage(false);
    ShowEntryPanel(true);
    FillEntryPanel(item->text(2).left(39), item->text(3).left(39), item->text(1).left(3));
}

void MainDialog::OnEntryAdd() {
    FillEntryPanel({}, {}, {});
    ShowPhonebookPage(false);
    ShowEntryPanel(true);
    controller_->SetEntryPanelMode(EntryPanelMode::kAdd);
}

void MainDialog::OnEntryOkay() {
    const int no = ReadNumber(noEdit_->text().toStdU16String());
    const std::u16string name = nameEdit_->text().toStdU16String();
    const std::u16string number = numberEdit_->text().toStdU16String();
    const bool adding = controller_->CurrentEntryPanelMode() == EntryPanelMode::kAdd;
    if (PhonebookSource() == 0) {
        PhonebookCache& cache = controller_->Phonebook();
        if (adding) {
            cache.Add(name, number);
        } else {
            cache.Update(no, name, number);
        }
        cache.AfterChange();
    } else if (adding) {
        contacts_.Add(name, number);
    } else {
        contacts_.UpdateNumber(no - 1, number);
        contacts_.Update(no - 1, name);
    }
    BuildPhonebookColumns();
    ShowEntryPanel(false);
    ShowPhonebookPage(true);
}

void MainDialog::RefreshPhonebookPage() {
    if (page_ == kPagePhonebook || picking_) BuildPhonebookColumns();
}

void MainDialog::LabelEntryPanel() {
    LabelAndPlace({
        {nameLabel_, 55, 56, 10, 55, 70, 20},
        {nameEdit_, 0, 0, 85, 55, 120, 20},
        {phoneLabel_, 37, 38, 10, 85, 70, 20},
        {numberEdit_, 0, 0, 85, 85, 120, 20},
        {noLabel_, 43, 44, 10, 115, 70, 20},
        {noEdit_, 0, 0, 85, 115, 150, 20},
        {entryOkay_, 59, 60, 40, 150, 50, 20},
        {entryCancel_, 61, 62, 140, 150, 50, 20},
    });
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
