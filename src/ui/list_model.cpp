#include "ui/list_model.h"

#include <cstdio>
#include <string_view>

#include "platform/text.h"

namespace telvane {

namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// The key that orders a day/month/yy hh:mm:ss text, built in place: a sort compares many.
class TimeKeyBuffer {
  public:
    explicit TimeKeyBuffer(QStringView text) {
        const qsizetype first = text.indexOf(u'/');
        const qsizetype second = first < 0 ? -1 : text.indexOf(u'/', first + 1);
        if (second < 0) return;
        valid_ = true;
        const std::u16string_view view(text.utf16(), static_cast<size_t>(text.size()));
        const int day = ReadNumber(view.substr(0, static_cast<size_t>(first)));
        const int month = ReadNumber(
            view.substr(static_cast<size_t>(first + 1), static_cast<size_t>(second - first - 1)));
        Append(text.mid(second + 1, 2));
        AppendNumber(month);
        AppendNumber(day);
        Append(text.right(8));
    }
    bool Valid() const { return valid_; }
    std::u16string_view View() const { return {key_, size_}; }

  private:
    void Append(QStringView part) {
        for (QChar c : part)
            key_[size_++] = c.unicode();
    }
    // As "%02d" writes it.
    void AppendNumber(int v) {
        if (v >= 0 && v <= 99) {
            key_[size_++] = static_cast<char16_t>(u'0' + v / 10);
            key_[size_++] = static_cast<char16_t>(u'0' + v % 10);
            return;
        }
        char digits[16];
        const int n = std::snprintf(digits, sizeof digits, "%02d", v);
        for (int i = 0; i < n; ++i)
            key_[size_++] = static_cast<char16_t>(digits[i]);
    }

    char16_t key_[2 + 11 + 11 + 8];  // the longest numbers fit
    size_t size_ = 0;
    bool valid_ = false;
};

}  // namespace

void ListModel::SetHeaders(const QStringList& headers,
                           const std::vector<Qt::Alignment>& alignments) {
    beginResetModel();
    headers_ = headers;
    alignments_ = alignments;
    rows_.clear();
    endResetModel();
}

void ListModel::Clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ListModel::Append(ListRow row) {
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

void ListModel::Append(std::vector<ListRow> rows) {
    if (rows.empty()) return;
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at + static_cast<int>(rows.size()) - 1);
    for (ListRow& row : rows)
        rows_.push_back(std::move(row));
    endInsertRows();
}

void ListModel::Remove(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void ListModel::SetTicked(int row, bool ticked) {
    setData(index(row, 0), ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

void ListModel::SetIcon(int row, int icon) {
    if (row < 0 || row >= rowCount()) return;
    rows_[static_cast<size_t>(row)].icon = icon;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::DecorationRole});
}

void ListModel::SetText(int row, int column, const QString& text, const QString& tip) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    ListRow& r = rows_[static_cast<size_t>(row)];
    while (r.texts.size() <= column)
        r.texts << QString();
    while (r.tips.size() <= column)
        r.tips << QString();
    if (r.texts[column] == text && r.tips[column] == tip) return;
    r.texts[column] = text;
    r.tips[column] = tip;
    emit dataChanged(index(row, column), index(row, column), {Qt::DisplayRole, Qt::ToolTipRole});
}

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ListRow& row = rows_[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return column < row.texts.size() ? row.texts[column] : QString();
        case Qt::ToolTipRole:
            return column < row.tips.size() && !row.tips[column].isEmpty()
                       ? QVariant(row.tips[column])
                       : QVariant();
        case Qt::DecorationRole:
            if (column == 0 && row.icon >= 0 && row.icon < static_cast<int>(icons_.size())) {
                return icons_[static_cast<size_t>(row.icon)];
            }
            return {};
        case Qt::CheckStateRole:
            return column == 0 ? QVariant(row.ticked ? Qt::Checked : Qt::Unchecked) : QVariant();
        case Qt::TextAlignmentRole:
            return column < static_cast<int>(alignments_.size())
                       ? QVariant(alignments_[static_cast<size_t>(column)] | Qt::AlignVCenter)
                       : QVariant();
        case kItemDataRole:
            return row.data;
        default:
            return {};
    }
}

bool ListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
    bool ticked = value.toInt() == Qt::Checked;
    ListRow& row = rows_[static_cast<size_t>(index.row())];
    if (row.ticked == ticked) return true;
    row.ticked = ticked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return {};
    if (role == Qt::DisplayRole) return headers_[section];
    if (role == Qt::TextAlignmentRole && section < static_cast<int>(alignments_.size())) {
        return QVariant(alignments_[static_cast<size_t>(section)] | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0 && !ticksLocked_) f |= Qt::ItemIsUserCheckable;
    return f;
}

ListSortProxy::ListSortProxy(QObject* parent) : QSortFilterProxyModel(parent) {
    setDynamicSortFilter(true);
}

void ListSortProxy::SetSearch(const QString& text) {
    if (text == search_) return;
    search_ = text;
    invalidateRowsFilter();
}

int ListSortProxy::CompareText(const QString& a, const QString& b) {
    return Sign(QString::compare(a, b, Qt::CaseSensitive));
}

int ListSortProxy::CompareNumber(const QString& a, const QString& b) {
    const int x = ReadNumber(a.toStdU16String());
    const int y = ReadNumber(b.toStdU16String());
    return (x > y) - (x < y);
}

int ListSortProxy::CompareTime(const QString& a, const QString& b) {
    // A text without a date has an empty key and sorts before every date, so that the order
    // stays a strict one.
    const TimeKeyBuffer x(a);
    const TimeKeyBuffer y(b);
    return Sign(x.View().compare(y.View()));
}

QString ListSortProxy::TimeKey(const QString& text) {
    const TimeKeyBuffer key(text);
    if (!key.Valid()) return {};
    return QString::fromUtf16(key.View().data(), static_cast<qsizetype>(key.View().size()));
}

bool ListSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QString a = left.data(Qt::DisplayRole).toString();
    const QString b = right.data(Qt::DisplayRole).toString();
    const size_t column = static_cast<size_t>(left.column());
    const SortKind kind = column < kinds_.size() ? kinds_[column] : SortKind::kText;
    switch (kind) {
        case SortKind::kText:
            return CompareText(a, b) < 0;
        case SortKind::kNumber:
            return CompareNumber(a, b) < 0;
        case SortKind::kTime:
            return CompareTime(a, b) < 0;
    }
    return false;
}

bool ListSortProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    if (search_.isEmpty()) return true;
    const auto* model = static_cast<const ListModel*>(sourceModel());
    const ListRow& row = model->Row(sourceRow);
    for (const QStringList* texts : {&row.texts, &row.tips}) {
        for (const QString& text : *texts) {
            if (text.contains(search_, Qt::CaseInsensitive)) return true;
        }
    }
    return row.key.contains(search_, Qt::CaseInsensitive);
}

}  // namespace telvane
