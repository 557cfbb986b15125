// The report list of the message and phonebook pages: a view on a ListModel through its sorting
// proxy.  Rows are addressed as shown (sorted and filtered), as the controller counts them.
#pragma once

#include <QTreeView>
#include <vector>

#include "ui/list_model.h"

namespace telvane {

class ListView : public QTreeView {
    Q_OBJECT

  public:
    explicit ListView(QWidget* parent = nullptr);

    ListModel& Model() { return model_; }
    const ListModel& Model() const { return model_; }
    ListSortProxy& Proxy() { return proxy_; }

    // New columns: headings, alignments and how each sorts; the rows are dropped.
    void SetColumns(const QStringList& headers, const std::vector<Qt::Alignment>& alignments,
                    std::vector<SortKind> kinds);

    int RowCount() const;
    // The model's row behind shown row `row`, -1 when there is none.
    int SourceRow(int row) const;
    int ShownRow(int sourceRow) const;
    const ListRow* Row(int row) const;
    QString Text(int row, int column) const;
    bool Ticked(int row) const;
    void SetTicked(int row, bool ticked);
    // Ticks or unticks every shown row.
    void TickAll(bool ticked);
    int TickedCount() const;
    int Data(int row) const;
    int FindData(int itemData) const;
    void RemoveRow(int row);
    int SelectedRow() const;
    void SelectRow(int row);

    // Sorts by `column`; -1 keeps the model's order.
    void SortBy(int column, Qt::SortOrder order);
    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    // Widths that show every text of the number and date columns whole, and no wider than
    // the heading and the texts need; the last column (or the rest column) takes the rest.
    void FitColumns(const std::vector<int>& columns);
    // The column that takes what the others leave, where it is not the last one (the
    // phonebook's names); -1: the last column stretches.
    void SetRestColumn(int column);
    int RestColumn() const;
    // The width a cell of `column` needs in `font` to show `text` whole on a line with a tick
    // and an icon.
    int CellWidth(int column, const QString& text, const QFont& font) const;

    // Widths the user chose by dragging a heading's edge, kept across starts: the columns start
    // at them and content never makes them narrower.  "38,95,110" in the settings, 0 for a
    // column the user left alone; other texts are ignored.  Widths the program sets are not
    // chosen, so that one long entry does not widen the column for good.
    QString WidthsText() const;
    void SetChosenWidths(const QString& text);
    void ApplyWidths(const std::vector<int>& defaults);
    // The width the user gave `column`, 0 when none.
    int ChosenWidth(int column) const;
    // A width the program sets: never taken for the user's choice.
    void SetFittedWidth(int column, int width);

  signals:
    void HeaderClicked(int column);
    void SelectionChanged();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FillRestColumn();

    ListModel model_;
    ListSortProxy proxy_;
    std::vector<int> chosen_;  // 0: not chosen
    int restColumn_ = -1;
    int setting_ = 0;  // inside the program's own width changes
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace telvane
