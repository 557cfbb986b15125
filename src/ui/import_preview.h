// The preview of an import into the SIM phonebook or the contacts: each entry of the file with
// what will happen to it (added, or skipped and why), before anything is written.
#pragma once

#include <QDialog>
#include <cstdint>
#include <vector>

#include "control/import_plan.h"

class QLabel;
class QTreeWidget;

namespace telvane {

class ImportPreview : public QDialog {
    Q_OBJECT

  public:
    // `simTextLimit`: the SIM's name limit (0 not known) for an import into the SIM phonebook,
    // -1 for the contacts.
    ImportPreview(std::vector<ImportLine> lines, int32_t simTextLimit, qreal scale,
                  QWidget* parent);

    const std::vector<ImportLine>& Lines() const { return lines_; }
    int AddedCount() const;
    QTreeWidget* Table() const { return table_; }
    QLabel* Summary() const { return summary_; }

  private:
    std::vector<ImportLine> lines_;
    QTreeWidget* table_;
    QLabel* summary_;
};

// What the preview says of a line: "Added", or why it is skipped.
QString ImportLineState(const ImportLine& line, int32_t simTextLimit);

}  // namespace telvane
