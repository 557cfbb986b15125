// The rows of the message and phonebook lists: a table model whose first column carries the
// tick and the line's icon, and a proxy that sorts a column as text, as a number or as a time and
// filters the rows by a search text.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <vector>

namespace telvane {

struct ListRow {
    QStringList texts;  // one per column; the first column shows only the tick and icon
    QStringList tips;   // tool tips by column (the number behind a name); may be shorter
    int icon = -1;      // index into the model's icons, -1 for none
    int data = 0;       // the table position of the record (item data)
    QString key;        // what the row stands for behind its texts (the sender's number)
    bool ticked = false;
};

class ListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    static constexpr int kItemDataRole = Qt::UserRole;

    explicit ListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetHeaders(const QStringList& headers, const std::vector<Qt::Alignment>& alignments);
    void SetIcons(std::vector<QIcon> icons) { icons_ = std::move(icons); }
    const std::vector<QIcon>& Icons() const { return icons_; }
    // Locked ticks show but do not change on a click.
    void SetTicksLocked(bool locked) { ticksLocked_ = locked; }
    void Clear();
    void Append(ListRow row);
    void Append(std::vector<ListRow> rows);
    void Remove(int row);
    const ListRow& Row(int row) const { return rows_[static_cast<size_t>(row)]; }
    void SetTicked(int row, bool ticked);
    void SetIcon(int row, int icon);
    void SetText(int row, int column, const QString& text, const QString& tip);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    QStringList headers_;
    std::vector<Qt::Alignment> alignments_;
    std::vector<QIcon> icons_;
    bool ticksLocked_ = false;
    std::vector<ListRow> rows_;
};

enum class SortKind { kText, kNumber, kTime };

class ListSortProxy : public QSortFilterProxyModel {
    Q_OBJECT

  public:
    explicit ListSortProxy(QObject* parent = nullptr);

    void SetKinds(std::vector<SortKind> kinds) { kinds_ = std::move(kinds); }
    // Shows only the rows with `text` in one of their texts or tips (any case); empty: all.
    void SetSearch(const QString& text);
    const QString& Search() const { return search_; }

    // -1, 0 or 1 as `a` sorts before, with or after `b`.
    static int CompareText(const QString& a, const QString& b);
    static int CompareNumber(const QString& a, const QString& b);
    static int CompareTime(const QString& a, const QString& b);
    // The key that orders day/month/yy hh:mm:ss texts; empty when the text has no second '/'.
    static QString TimeKey(const QString& text);

  protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    std::vector<SortKind> kinds_;
    QString search_;
};

}  // namespace telvane
