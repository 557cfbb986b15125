#include "ui/import_preview.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "control/sim_name.h"
#include "ui/ui_text.h"

namespace telvane {
namespace {

constexpr WindowText kImportTitleSim{"匯入到智能卡電話簿", "Import into the SIM phonebook"};
constexpr WindowText kImportTitleContacts{"匯入到連絡人", "Import into the contacts"};
constexpr WindowText kAdded{"新增", "Added"};
constexpr WindowText kSkippedNoNumber{"略過：沒有號碼", "Skipped: no number"};
constexpr WindowText kSkippedDuplicate{"略過：號碼已存在", "Skipped: the number is there already"};
constexpr WindowText kSkippedTooLong{"略過：名稱超過智能卡的長度", "Skipped: too long for the SIM"};
constexpr WindowText kSkippedNoRoom{"略過：智能卡已滿", "Skipped: no room on the SIM"};
constexpr WindowText kSummary{"新增 %1 筆，略過 %2 筆", "%1 to add, %2 skipped"};
constexpr WindowText kImport{"匯入", "Import"};
constexpr WindowText kStateColumn{"結果", "What happens"};

}  // namespace

QString ImportLineState(const ImportLine& line, int32_t simTextLimit) {
    if (!line.skip) return Ui(kAdded);
    switch (*line.skip) {
        case ImportSkip::kNoNumber:
            return Ui(kSkippedNoNumber);
        case ImportSkip::kDuplicate:
            return Ui(kSkippedDuplicate);
        case ImportSkip::kTooLongForSim:
            return Ui(kSkippedTooLong) + QStringLiteral(" (") +
                   QString::fromStdU16String(
                       SimNameCounterText(MeasureSimName(line.name, simTextLimit))) +
                   QStringLiteral(")");
        case ImportSkip::kNoRoomOnSim:
            return Ui(kSkippedNoRoom);
    }
    return {};
}

ImportPreview::ImportPreview(std::vector<ImportLine> lines, int32_t simTextLimit, qreal scale,
                             QWidget* parent)
    : QDialog(parent), lines_(std::move(lines)) {
    const bool toSim = simTextLimit >= 0;
    setObjectName("importPreview");
    setWindowTitle(Ui(toSim ? kImportTitleSim : kImportTitleContacts));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTreeWidget(this);
    table_->setRootIsDecorated(false);
    table_->setHeaderLabels({Ui(ui_text::kName), Ui(ui_text::kPhone), Ui(kStateColumn)});
    summary_ = new QLabel(this);
    layout->addWidget(table_);
    layout->addWidget(summary_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Ui(kImport));
    buttons->button(QDialogButtonBox::Cancel)->setText(Ui(ui_text::kCancel));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (const ImportLine& line : lines_) {
        auto* item = new QTreeWidgetItem(table_);
        item->setText(0, QString::fromStdU16String(line.name));
        item->setText(1, QString::fromStdU16String(line.number));
        item->setText(2, ImportLineState(line, simTextLimit));
    }
    const int added = AddedCount();
    summary_->setText(Ui(kSummary).arg(added).arg(static_cast<int>(lines_.size()) - added));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(added > 0);
    table_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    resize(qRound(420 * scale), qRound(300 * scale));
}

int ImportPreview::AddedCount() const {
    int added = 0;
    for (const ImportLine& line : lines_)
        if (!line.skip) ++added;
    return added;
}

}  // namespace telvane
