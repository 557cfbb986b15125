// The report list shared by the message and phonebook pages: header marks and in-place sorting
// that moves whole lines (texts, icon, item data, tick, selection) between positions.
#pragma once

#include <QTreeWidget>
#include <functional>

namespace telvane {

class SortableList : public QTreeWidget {
    Q_OBJECT

  public:
    // Header mark images.
    static constexpr int kMarkAscending = 8;
    static constexpr int kMarkDescending = 9;
    static constexpr int kMarkCheckColumn = 11;
    static constexpr int kNoMark = -1;
    static constexpr int kUnreadable = 99;

    explicit SortableList(QWidget* parent = nullptr);

    // 1 when the header item exists and now shows `image` (kNoMark removes the mark), else 0.
    int SetSortMark(int column, int image);
    // The column's mark, kNoMark when none, kUnreadable for a column that does not exist.
    int GetSortMark(int column) const;

    // Sort lines first..last (last -1: the last line) by one column; `ascending` 1 or 0.
    // 1 when a sort ran; 0 for a column outside the header or when first is not below last.
    int SortByText(int column, int ascending, int first, int last);
    int SortByNumber(int column, int ascending, int first, int last);
    int SortByTime(int column, int ascending, int first, int last);

    // The item data of a line (stored with the line's first column).
    static int ItemData(const QTreeWidgetItem* item);
    static void SetItemData(QTreeWidgetItem* item, int data);

    // The key that orders day/month/yy hh:mm:ss texts; empty when the text has no second '/'.
    static QString TimeKey(const QString& text);

  signals:
    void HeaderClicked(int column);

  private:
    using Compare = std::function<int(const QString&, const QString&)>;
    int Sort(int column, int ascending, int first, int last, const Compare& compare);
    void QuickSort(int column, bool ascending, int first, int last, const Compare& compare);
    void SwapLines(int i, int j);
};

}  // namespace telvane
