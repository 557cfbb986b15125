#include "ui/sortable_list.h"

#include <QHeaderView>

#include "platform/text.h"
#include "ui/icons.h"

namespace telvane {
namespace {

constexpr int kItemDataRole = Qt::UserRole;
constexpr int kMarkRole = Qt::UserRole + 1;

QIcon MarkIcon(int image) {
    switch (image) {
        case SortableList::kMarkAscending:
            return MakeIcon(Icon::kSortAscending);
        case SortableList::kMarkDescending:
            return MakeIcon(Icon::kSortDescending);
        case SortableList::kMarkCheckColumn:
            return MakeIcon(Icon::kCheckColumn);
        default:
            return {};
    }
}

int Sign(int v) {
    return (v > 0) - (v < 0);
}

int CompareTimes(const QString& a, const QString& b) {
    QString x = SortableList::TimeKey(a);
    QString y = SortableList::TimeKey(b);
    if (x.isEmpty() || y.isEmpty()) return 0;  // unordered: neither before nor after
    return Sign(QString::compare(x, y, Qt::CaseSensitive));
}

}  // namespace

SortableList::SortableList(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false);  // lines move only through the sorts below
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &SortableList::HeaderClicked);
}

int SortableList::SetSortMark(int column, int image) {
    if (column < 0 || column >= columnCount()) return 0;
    QTreeWidgetItem* head = headerItem();
    head->setData(column, kMarkRole, image);
    head->setIcon(column, image == kNoMark ? QIcon() : MarkIcon(image));
    viewport()->update();
    return 1;
}

int SortableList::GetSortMark(int column) const {
    if (column < 0 || column >= columnCount()) return kUnreadable;
    QVariant mark = headerItem()->data(column, kMarkRole);
    return mark.isValid() ? mark.toInt() : kNoMark;
}

int SortableList::ItemData(const QTreeWidgetItem* item) {
    return item ? item->data(0, kItemDataRole).toInt() : -1;
}

void SortableList::SetItemData(QTreeWidgetItem* item, int data) {
    item->setData(0, kItemDataRole, data);
}

QString SortableList::TimeKey(const QString& text) {
    int first = text.indexOf('/');
    int second = first < 0 ? -1 : text.indexOf('/', first + 1);
    if (second < 0) return {};
    int day = ReadNumber(text.left(first).toStdU16String());
    int month = ReadNumber(text.mid(first + 1, second - first - 1).toStdU16String());
    return text.mid(second + 1, 2) + QString::asprintf("%02d%02d", month, day) + text.right(8);
}

int SortableList::SortByText(int column, int ascending, int first, int last) {
    return Sort(column, ascending, first, last, [](const QString& a, const QString& b) {
        return Sign(QString::compare(a, b, Qt::CaseSensitive));
    });
}

int SortableList::SortByNumber(int column, int ascending, int first, int last) {
    return Sort(column, ascending, first, last, [](const QString& a, const QString& b) {
        int x = ReadNumber(a.toStdU16String());
        int y = ReadNumber(b.toStdU16String());
        return (x > y) - (x < y);
    });
}

int SortableList::SortByTime(int column, int ascending, int first, int last) {
    return Sort(column, ascending, first, last, CompareTimes);
}

int SortableList::Sort(int column, int ascending, int first, int last, const Compare& compare) {
    if (column < 0 || column >= columnCount()) return 0;
    if (last == -1) last = topLevelItemCount() - 1;
    if (first < 0 || last >= topLevelItemCount() || first >= last) return 0;
    QuickSort(column, ascending != 0, first, last, compare);
    return 1;
}

void SortableList::QuickSort(int column, bool ascending, int first, int last,
                             const Compare& compare) {
    auto text = [&](int line) { return topLevelItem(line)->text(column); };
    // -1: the line sorts before the pivot, 1: after it, in the chosen order.
    auto order = [&](int line, const QString& pivot) {
        int c = compare(text(line), pivot);
        return ascending ? c : -c;
    };
    const QString pivot = text((first + last) / 2);
    int i = first;
    int j = last;
    while (i <= j) {
        while (i < last && order(i, pivot) < 0)
            ++i;
        while (j > first && order(j, pivot) > 0)
            --j;
        if (i <= j) {
            if (text(i) != text(j)) SwapLines(i, j);
            ++i;
            --j;
        }
    }
    if (first < j) QuickSort(column, ascending, first, j, compare);
    if (i < last) QuickSort(column, ascending, i, last, compare);
}

void SortableList::SwapLines(int i, int j) {
    QTreeWidgetItem* a = topLevelItem(i);
    QTreeWidgetItem* b = topLevelItem(j);
    static const int kRoles[] = {Qt::DisplayRole, Qt::DecorationRole, Qt::CheckStateRole,
                                 kItemDataRole};
    for (int column = 0; column < columnCount(); ++column) {
        for (int role : kRoles) {
            QVariant va = a->data(column, role);
            QVariant vb = b->data(column, role);
            a->setData(column, role, vb);
            b->setData(column, role, va);
        }
    }
    bool selectedA = a->isSelected();
    a->setSelected(b->isSelected());
    b->setSelected(selectedA);
    QTreeWidgetItem* current = currentItem();
    if (current == a || current == b) {
        QModelIndex target = indexFromItem(current == a ? b : a);
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    }
}

}  // namespace telvane
