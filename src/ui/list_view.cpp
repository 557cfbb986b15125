#include "ui/list_view.h"

#include <QHeaderView>
#include <QSet>

namespace telvane {

ListView::ListView(QWidget* parent) : QTreeView(parent) {
    proxy_.setSourceModel(&model_);
    setModel(&proxy_);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);  // the pages decide what a heading click does
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) {
        // The header flips its own mark on a click; the page's sort sets it.
        header()->setSortIndicator(sortColumn_, sortOrder_);
        emit HeaderClicked(column);
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListView::SelectionChanged);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        // The rest column (the last one unless another is named) is sized by what the others
        // leave.
        if (setting_ > 0 || column == RestColumn()) return;
        if (chosen_.size() <= static_cast<size_t>(column))
            chosen_.resize(static_cast<size_t>(column) + 1, 0);
        chosen_[static_cast<size_t>(column)] = width;
        FillRestColumn();
    });
}

void ListView::SetColumns(const QStringList& headers, const std::vector<Qt::Alignment>& alignments,
                          std::vector<SortKind> kinds) {
    ++setting_;
    proxy_.SetKinds(std::move(kinds));
    model_.SetHeaders(headers, alignments);
    --setting_;
}

int ListView::RowCount() const {
    return proxy_.rowCount();
}

int ListView::SourceRow(int row) const {
    if (row < 0 || row >= proxy_.rowCount()) return -1;
    return proxy_.mapToSource(proxy_.index(row, 0)).row();
}

int ListView::ShownRow(int sourceRow) const {
    if (sourceRow < 0 || sourceRow >= model_.rowCount()) return -1;
    return proxy_.mapFromSource(model_.index(sourceRow, 0)).row();
}

const ListRow* ListView::Row(int row) const {
    const int source = SourceRow(row);
    return source < 0 ? nullptr : &model_.Row(source);
}

QString ListView::Text(int row, int column) const {
    const ListRow* r = Row(row);
    return r && column < r->texts.size() ? r->texts[column] : QString();
}

bool ListView::Ticked(int row) const {
    const ListRow* r = Row(row);
    return r && r->ticked;
}

void ListView::SetTicked(int row, bool ticked) {
    const int source = SourceRow(row);
    if (source >= 0) model_.SetTicked(source, ticked);
}

void ListView::TickAll(bool ticked) {
    for (int row = 0; row < RowCount(); ++row)
        SetTicked(row, ticked);
}

int ListView::TickedCount() const {
    int count = 0;
    for (int row = 0; row < RowCount(); ++row)
        count += Ticked(row) ? 1 : 0;
    return count;
}

int ListView::Data(int row) const {
    const ListRow* r = Row(row);
    return r ? r->data : -1;
}

int ListView::FindData(int itemData) const {
    for (int row = 0; row < RowCount(); ++row) {
        if (Data(row) == itemData) return row;
    }
    return -1;
}

void ListView::RemoveRow(int row) {
    const int source = SourceRow(row);
    if (source >= 0) model_.Remove(source);
}

int ListView::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ListView::SelectRow(int row) {
    if (row < 0 || row >= RowCount()) {
        clearSelection();
        return;
    }
    setCurrentIndex(proxy_.index(row, 0));
    selectionModel()->select(proxy_.index(row, 0),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ListView::SortBy(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    header()->setSortIndicator(column, order);
    proxy_.sort(column, order);
}

QString ListView::WidthsText() const {
    QStringList widths;
    // The rest column takes what is left: it is never chosen.  The last is left out of the
    // text, as the widths were always stored.
    for (int c = 0; c < model_.columnCount() - (restColumn_ < 0 ? 1 : 0); ++c)
        widths << QString::number(
            static_cast<size_t>(c) < chosen_.size() ? chosen_[static_cast<size_t>(c)] : 0);
    return widths.join(',');
}

void ListView::SetChosenWidths(const QString& text) {
    chosen_.clear();
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int width = part.trimmed().toInt(&ok);
        if (!ok || (width != 0 && width < 4) || width > 4000) {
            chosen_.clear();
            return;
        }
        chosen_.push_back(width);
    }
}

void ListView::ApplyWidths(const std::vector<int>& defaults) {
    for (size_t c = 0; c < defaults.size(); ++c) {
        const bool chosen = c < chosen_.size() && chosen_[c] > 0;
        SetFittedWidth(static_cast<int>(c), chosen ? chosen_[c] : defaults[c]);
    }
    FillRestColumn();
}

int ListView::ChosenWidth(int column) const {
    return column >= 0 && static_cast<size_t>(column) < chosen_.size()
               ? chosen_[static_cast<size_t>(column)]
               : 0;
}

void ListView::SetFittedWidth(int column, int width) {
    ++setting_;
    setColumnWidth(column, width);
    --setting_;
}

int ListView::RestColumn() const {
    return restColumn_ >= 0 ? restColumn_ : model_.columnCount() - 1;
}

void ListView::SetRestColumn(int column) {
    restColumn_ = column;
    header()->setStretchLastSection(column < 0);
    FillRestColumn();
}

void ListView::FillRestColumn() {
    if (restColumn_ < 0 || restColumn_ >= model_.columnCount()) return;
    int others = 0;
    for (int c = 0; c < model_.columnCount(); ++c) {
        if (c != restColumn_) others += columnWidth(c);
    }
    // At the first size the names give way to the numbers, down to a sliver.
    SetFittedWidth(restColumn_,
                   std::max(header()->minimumSectionSize(), viewport()->width() - others));
}

void ListView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    FillRestColumn();
}

int ListView::CellWidth(int column, const QString& text, const QFont& font) const {
    const int columns = std::max(model_.columnCount(), column + 1);
    ListModel probe;
    probe.SetHeaders(QStringList(columns, QString()),
                     std::vector<Qt::Alignment>(static_cast<size_t>(columns), Qt::AlignLeft));
    probe.SetIcons(model_.Icons());
    ListRow row;
    row.texts = QStringList(columns, QString());
    row.texts[column] = text;
    row.icon = model_.Icons().empty() ? -1 : 0;
    probe.Append(std::move(row));
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.font = font;
    option.fontMetrics = QFontMetrics(font);
    return itemDelegate()->sizeHint(option, probe.index(0, column)).width();
}

void ListView::FitColumns(const std::vector<int>& columns) {
    const QFontMetrics metrics(font());
    for (int column : columns) {
        // Only the widest text is laid out by the delegate, which adds what it draws around it
        // (margins, check box, icon): a long list stays cheap to fit.
        int widestRow = -1;
        int widest = -1;
        // Senders repeat in a folder: each text is measured once.
        QSet<QString> measured;
        for (int row = 0; row < model_.rowCount(); ++row) {
            const QStringList& texts = model_.Row(row).texts;
            const QString text = column < texts.size() ? texts[column] : QString();
            if (measured.contains(text)) continue;
            measured.insert(text);
            const int advance = metrics.horizontalAdvance(text);
            if (advance > widest) {
                widest = advance;
                widestRow = row;
            }
        }
        int width = header()->sectionSizeHint(column);
        if (widestRow >= 0) {
            QStyleOptionViewItem option;
            initViewItemOption(&option);
            width = std::max(
                width, itemDelegate()->sizeHint(option, model_.index(widestRow, column)).width());
        }
        if (static_cast<size_t>(column) < chosen_.size()) {
            width = std::max(width, chosen_[static_cast<size_t>(column)]);
        }
        SetFittedWidth(column, width);
    }
    FillRestColumn();
}

}  // namespace telvane
