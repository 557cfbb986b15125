#include "ui/phonebook_page.h"

#include <QAction>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>
#include <algorithm>

#include "contacts/contact_import.h"
#include "control/sim_name.h"
#include "platform/files.h"
#include "platform/text.h"
#include "ui/anchored_layout.h"
#include "ui/command_keys.h"
#include "ui/compact_tabs.h"
#include "ui/compose_page.h"
#include "ui/icons.h"
#include "ui/import_preview.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/ui_text.h"

namespace telvane {

namespace {

enum Column : int { kTickColumn = 0, kNoColumn = 1, kNameColumn = 2, kNumberColumn = 3 };

constexpr WindowText kEmptySim{
    "這裡還沒有智能卡電話簿。連線後即從智能卡讀取；要保持同步，請在「設定」勾選「智能卡電話簿」。",
    "No SIM entries here yet. Connect and they are read from the SIM; to keep them in step, tick "
    "SIM Phonebook under Settings."};
constexpr WindowText kCopyToContacts{"複製到連絡人", "Copy to contacts"};
constexpr WindowText kCopyToSim{"複製到智能卡", "Copy to the SIM"};
constexpr WindowText kExportVCard{"匯出為 vCard...", "Export as vCard..."};
constexpr WindowText kImportFile{"匯入 vCard 或 CSV...", "Import vCard or CSV..."};
constexpr WindowText kImportFilter{"vCard 或 CSV (*.vcf *.vcard *.csv *.txt)",
                                   "vCard or CSV (*.vcf *.vcard *.csv *.txt)"};
constexpr WindowText kSourcesName{"電話簿來源", "Phonebook source"};
constexpr WindowText kEntriesName{"電話簿項目", "Phonebook entries"};
constexpr WindowText kEntriesHelp{"空白鍵勾選；Delete 刪除勾選或選取的項目",
                                  "Space ticks; Delete removes the ticked or selected entries"};
constexpr WindowText kCheckAllName{"全部勾選或取消", "Tick or untick all"};

// What the contacts' vCard fields hold.
constexpr int kContactNameLimit = 20;
constexpr int kContactNumberLimit = 15;

}  // namespace

// --- Entry panel ----------------------------------------------------------------------------

EntryPanel::EntryPanel(qreal scale, QWidget* parent) : Page(scale, parent) {
    nameLabel_ = Add(1052, new QLabel(this));
    phoneLabel_ = Add(1053, new QLabel(this));
    noLabel_ = Add(1054, new QLabel(this));
    nameEdit_ = Add(1055, new QLineEdit(this));
    numberEdit_ = Add(1056, new QLineEdit(this));
    noEdit_ = Add(1057, new QLineEdit(this));
    nameCount_ = new QLabel(this);
    nameCount_->setObjectName("nameCounter");
    nameCount_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    nameCount_->hide();
    connect(nameEdit_, &QLineEdit::textChanged, this, &EntryPanel::UpdateNameCount);
    okay_ = Add(1058, new QPushButton(this));
    cancel_ = Add(1059, new QPushButton(this));
    // The position travels with the panel; its box is never shown.
    noLabel_->hide();
    noEdit_->hide();
    for (QPushButton* b : {okay_, cancel_})
        b->setAutoDefault(false);
    SetCommandKey(okay_, Qt::Key_Return);
    SetCommandKey(cancel_, Qt::Key_Escape);
    nameLabel_->setBuddy(nameEdit_);
    phoneLabel_->setBuddy(numberEdit_);
    connect(okay_, &QPushButton::clicked, this, &EntryPanel::Okay);
    // Return in either box confirms, as Okay does.
    for (QLineEdit* box : {nameEdit_, numberEdit_})
        connect(box, &QLineEdit::returnPressed, this, &EntryPanel::Okay);
    connect(cancel_, &QPushButton::clicked, this, &EntryPanel::Cancel);
}

void EntryPanel::Relayout() {
    PlaceAnchored(scale_, Extra(),
                  {
                      {nameLabel_, 10, 55, 70, 20},
                      {nameEdit_, 85, 55, 120, 20, 0, 0, 1, 0},
                      {nameCount_, 205, 55, 33, 20, 1, 0, 0, 0},
                      {phoneLabel_, 10, 85, 70, 20},
                      {numberEdit_, 85, 85, 120, 20, 0, 0, 1, 0},
                      {noLabel_, 10, 115, 70, 20},
                      {noEdit_, 85, 115, 150, 20},
                      {okay_, 40, 150, 50, 20},
                      {cancel_, 140, 150, 50, 20},
                  });
}

void EntryPanel::Relabel() {
    nameLabel_->setText(Ui(ui_text::kName));
    phoneLabel_->setText(Ui(ui_text::kPhone));
    noLabel_->setText(Ui(ui_text::kNumberColumn));
    LabelWithKey(okay_, Ui(ui_text::kOkay));
    LabelWithKey(cancel_, Ui(ui_text::kCancel));
}

void EntryPanel::Fill(const QString& name, const QString& number, int position) {
    nameEdit_->setText(name);
    UpdateNameCount();
    numberEdit_->setText(number);
    noEdit_->setText(position > 0 ? QString::number(position) : QString());
    position_ = position;
    nameEdit_->setFocus();
}

void EntryPanel::SetLimits(int nameLimit, int numberLimit, bool simName) {
    simNameLimit_ = simName ? nameLimit : -1;
    // A SIM name is counted, never cut: what does not fit is shown and not taken.
    nameEdit_->setMaxLength(nameLimit > 0 && !simName ? nameLimit : 32767);
    numberEdit_->setMaxLength(numberLimit > 0 ? numberLimit : 32767);
    UpdateNameCount();
}

void EntryPanel::UpdateNameCount() {
    const bool counted = simNameLimit_ >= 0;
    nameCount_->setVisible(counted);
    if (!counted) {
        okay_->setEnabled(true);
        return;
    }
    const SimNameLength length = MeasureSimName(nameEdit_->text().toStdU16String(), simNameLimit_);
    nameCount_->setText(QString::fromStdU16String(SimNameCounterText(length)));
    nameCount_->setStyleSheet(length.Fits() ? QString() : QStringLiteral("color: #c00000"));
    okay_->setEnabled(length.Fits());
}

QString EntryPanel::Name() const {
    return nameEdit_->text();
}

QString EntryPanel::Number() const {
    return numberEdit_->text();
}

// --- Phonebook page -------------------------------------------------------------------------

PhonebookPage::PhonebookPage(MainDialog& host, qreal scale, QWidget* parent)
    : Page(scale, parent), host_(host) {
    tabs_ = Add(1012, MakeCompactTabs(scale, this));
    list_ = Add(1013, new ListView(this));
    // Numbers show whole; names take what is left.
    list_->SetRestColumn(kNameColumn);
    edit_ = Add(1030, new QPushButton(this));
    add_ = Add(1046, new QPushButton(this));
    cancel_ = Add(1031, new QPushButton(this));
    checkAll_ = Add(1060, new QToolButton(this));
    checkAll_->setAutoRaise(true);
    checkAll_->setFocusPolicy(Qt::NoFocus);
    hint_ = new QLabel(this);
    hint_->setObjectName("emptyHint");
    hint_->setWordWrap(true);
    hint_->setAlignment(Qt::AlignCenter);
    hint_->hide();
    copyAcross_ = new QAction(this);
    copyAcross_->setObjectName("copyAcross");
    export_ = new QAction(this);
    export_->setObjectName("exportVCard");
    list_->addAction(copyAcross_);
    list_->addAction(export_);
    import_ = new QAction(this);
    import_->setObjectName("importFile");
    list_->addAction(import_);
    connect(import_, &QAction::triggered, this, &PhonebookPage::OnImport);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copyAcross_, &QAction::triggered, this, &PhonebookPage::CopyAcross);
    connect(export_, &QAction::triggered, this, &PhonebookPage::ExportClicked);
    entry_ = new EntryPanel(scale, this);
    entry_->setObjectName("entryPanel");
    entry_->hide();
    for (QPushButton* b : {edit_, add_, cancel_})
        b->setAutoDefault(false);
    SetCommandKey(edit_, Qt::CTRL | Qt::Key_E);
    SetCommandKey(add_, Qt::Key_Insert);
    SetCommandKey(cancel_, Qt::Key_Escape);
    // Tab goes as the page reads: the list, its tabs, then the buttons.
    setTabOrder(list_, tabs_);
    setTabOrder(tabs_, edit_);
    setTabOrder(edit_, add_);
    setTabOrder(add_, cancel_);
    SetCheckAllImage();

    connect(list_, &ListView::HeaderClicked, this, &PhonebookPage::HeaderClicked);
    connect(tabs_, &QTabBar::currentChanged, this, [this] { Refill(); });
    connect(checkAll_, &QToolButton::clicked, this, &PhonebookPage::OnCheckAll);
    connect(edit_, &QPushButton::clicked, this, [this] {
        if (picking_) {
            emit PickOkay();
        } else {
            OnEdit();
        }
    });
    connect(add_, &QPushButton::clicked, this, &PhonebookPage::OnAdd);
    connect(cancel_, &QPushButton::clicked, this, &PhonebookPage::PickCancel);
    connect(entry_, &EntryPanel::Okay, this, &PhonebookPage::OnEntryOkay);
    connect(entry_, &EntryPanel::Cancel, this, [this] { ShowEntry(false); });
}

void PhonebookPage::Relayout() {
    // Wide, the entry panel stands beside the list instead of over it.
    ShowListBesideEntry();
    const bool beside = Wide() && entry_->isVisibleTo(this);
    const int panel = beside ? Scaled(scale_, 0, 0, kWidth, 0).width() : 0;
    QSize extra = Extra();
    extra.setWidth(std::max(0, extra.width() - panel));
    PlaceAnchored(scale_, extra,
                  {
                      {list_, 12, 14, 213, 207, 0, 0, 1, 1},
                      {tabs_, 12, 222, 213, 21, 0, 1, 1, 0},
                      {edit_, 12, 245, 49, 22, 0, 1, 0, 0},
                      {add_, 70, 245, 49, 22, 0, 1, 0, 0},
                      {cancel_, 178, 245, 49, 22, 1, 1, 0, 0},
                      {checkAll_, 15, 18, 16, 16},
                  });
    entry_->setGeometry(beside ? QRect(width() - panel, 0, panel, height()) : rect());
    hint_->setGeometry(list_->geometry().adjusted(qRound(8 * scale_), qRound(24 * scale_),
                                                  -qRound(8 * scale_), -qRound(8 * scale_)));
    checkAll_->raise();
}

void PhonebookPage::Relabel() {
    LabelWithKey(edit_, picking_ ? Ui(ui_text::kOkay) : Ui(ui_text::kEdit));
    LabelWithKey(add_, Ui(ui_text::kAdd));
    LabelWithKey(cancel_, Ui(ui_text::kCancel));
    hint_->setText(Ui(kEmptySim));
    copyAcross_->setText(Source() == PhonebookSource::kSim ? Ui(kCopyToContacts) : Ui(kCopyToSim));
    export_->setText(Ui(kExportVCard));
    import_->setText(Ui(kImportFile));
    tabs_->setAccessibleName(Ui(kSourcesName));
    list_->setAccessibleName(Ui(kEntriesName));
    list_->setAccessibleDescription(Ui(kEntriesHelp));
    checkAll_->setAccessibleName(Ui(kCheckAllName));
    checkAll_->setToolTip(Ui(kCheckAllName));
    entry_->Relabel();
}

PhonebookSource PhonebookPage::Source() const {
    return tabs_->currentIndex() == static_cast<int>(PhonebookSource::kContacts)
               ? PhonebookSource::kContacts
               : PhonebookSource::kSim;
}

void PhonebookPage::Open(bool picking) {
    picking_ = picking;
    ShowEntry(false);
    Relabel();
    add_->setVisible(!picking_);
    cancel_->setVisible(picking_);
    {
        const QSignalBlocker block(tabs_);
        while (tabs_->count())
            tabs_->removeTab(0);
        tabs_->addTab(Ui(ui_text::kSim));
        tabs_->addTab(Ui(ui_text::kContacts));
        tabs_->setCurrentIndex(static_cast<int>(PhonebookSource::kSim));
    }
    Refill();
}

void PhonebookPage::Refill() {
    allChecked_ = false;
    SetCheckAllImage();
    list_->SetColumns({"", Ui(ui_text::kNumberColumn), Ui(ui_text::kName), Ui(ui_text::kPhone)},
                      {Qt::AlignLeft, Qt::AlignRight, Qt::AlignLeft, Qt::AlignLeft},
                      {SortKind::kText, SortKind::kNumber, SortKind::kText, SortKind::kText});
    list_->ApplyWidths(
        {qRound(24 * scale_), qRound(42 * scale_), qRound(80 * scale_), qRound(80 * scale_)});
    list_->SortBy(kNoColumn, Qt::AscendingOrder);
    const PhonebookSource source = Source();
    host_.Controller().SetPhonebookSource(source);
    const std::u16string recipients = host_.RecipientText();
    std::vector<ListRow> rows;
    // The position travels as the line's data: the No. text is only what the user reads.
    auto addLine = [&](int no, const std::u16string& name, const std::u16string& number) {
        ListRow row;
        row.texts = {"", QString::number(no), QString::fromStdU16String(name),
                     QString::fromStdU16String(number)};
        row.ticked = picking_ && ComposePage::IsAmongRecipients(recipients, number);
        row.data = no;
        rows.push_back(std::move(row));
    };
    if (source == PhonebookSource::kSim) {
        PhonebookCache& cache = host_.Controller().Phonebook();
        if (cache.Capacity() == 0) cache.Load();
        const std::vector<PhonebookEntry>& entries = cache.Entries();
        for (size_t position = 0; position < entries.size(); ++position) {
            if (entries[position].IsEmpty()) continue;
            addLine(static_cast<int>(position) + 1, entries[position].name,
                    entries[position].number);
        }
    } else {
        ContactsStore& contacts = host_.Contacts();
        contacts.Open();
        for (int p = 0; p < contacts.Count(); ++p)
            addLine(p + 1, contacts.GetName(p), contacts.GetNumber(p));
    }
    const bool empty = rows.empty();
    list_->Model().Append(std::move(rows));
    list_->FitColumns({kNoColumn, kNumberColumn});
    // A newcomer's SIM list is empty until the SIM is read: say how.
    hint_->setVisible(empty && source == PhonebookSource::kSim && list_->isVisibleTo(this));
    hint_->raise();
    copyAcross_->setText(source == PhonebookSource::kSim ? Ui(kCopyToContacts) : Ui(kCopyToSim));
}

void PhonebookPage::HeaderClicked(int column) {
    if (column == kTickColumn) return;
    const bool ascending =
        list_->SortColumn() != column || list_->SortOrder() != Qt::AscendingOrder;
    list_->SortBy(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void PhonebookPage::DeleteTicked() {
    std::vector<int> positions;
    for (int row = 0; row < list_->RowCount(); ++row) {
        if (list_->Ticked(row)) positions.push_back(list_->Data(row));
    }
    // Nothing ticked: the highlighted entry.
    if (positions.empty() && list_->SelectedRow() >= 0)
        positions.push_back(list_->Data(list_->SelectedRow()));
    std::sort(positions.begin(), positions.end());
    if (Source() == PhonebookSource::kSim) {
        PhonebookCache& cache = host_.Controller().Phonebook();
        for (int position : positions) {
            cache.Delete(position);
            cache.AfterChange();
        }
    } else {
        // Positions shift with every removal: go in ascending order and count.
        int deleted = 0;
        for (int position : positions) {
            if (host_.Contacts().Remove(position - deleted - 1)) {
                ++deleted;
            } else {
                ContactsFailed();
                break;
            }
        }
    }
    Refill();
}

void PhonebookPage::CopyAcross() {
    std::vector<int> rows;
    for (int row = 0; row < list_->RowCount(); ++row) {
        if (list_->Ticked(row)) rows.push_back(row);
    }
    if (rows.empty() && list_->SelectedRow() >= 0) rows.push_back(list_->SelectedRow());
    if (rows.empty()) return;
    if (Source() == PhonebookSource::kSim) {
        for (int row : rows) {
            if (!host_.Contacts().Add(list_->Text(row, kNameColumn).toStdU16String(),
                                      list_->Text(row, kNumberColumn).toStdU16String())) {
                ContactsFailed();
                break;
            }
        }
    } else {
        PhonebookCache& cache = host_.Controller().Phonebook();
        std::u16string refused;
        for (int row : rows) {
            if (cache.Add(list_->Text(row, kNameColumn).toStdU16String(),
                          list_->Text(row, kNumberColumn).toStdU16String()) == 0 &&
                !cache.RefusedNumber().empty())
                refused += (refused.empty() ? u"" : u"\n") + cache.RefusedNumber();
        }
        cache.AfterChange();
        // The others are copied; the contacts the SIM cannot dial are named.
        if (!refused.empty()) host_.ShowMessageText(refused);
    }
    Refill();
}

std::vector<std::pair<std::u16string, bool>> PhonebookPage::PickedLines() const {
    std::vector<std::pair<std::u16string, bool>> lines;
    for (int row = 0; row < list_->RowCount(); ++row)
        lines.emplace_back(list_->Text(row, kNumberColumn).toStdU16String(), list_->Ticked(row));
    return lines;
}

void PhonebookPage::OnEdit() {
    const int row = list_->SelectedRow();
    if (row < 0) return;
    ApplyEntryLimits();
    entry_->Fill(list_->Text(row, kNameColumn).left(39), list_->Text(row, kNumberColumn).left(39),
                 list_->Data(row));
    ShowEntry(true);
}

void PhonebookPage::ApplyEntryLimits() {
    if (Source() == PhonebookSource::kSim) {
        const PhonebookLimits limits = host_.Controller().Phonebook().Limits();
        entry_->SetLimits(limits.textLimit, limits.numberLimit > 0 ? limits.numberLimit + 1 : 0,
                          true);
    } else {
        entry_->SetLimits(kContactNameLimit, kContactNumberLimit, false);
    }
}

void PhonebookPage::OnAdd() {
    ApplyEntryLimits();
    entry_->Fill({}, {}, 0);
    ShowEntry(true);
}

void PhonebookPage::OnEntryOkay() {
    const int position = entry_->Position();
    const std::u16string name = entry_->Name().toStdU16String();
    const std::u16string number = entry_->Number().toStdU16String();
    if (Source() == PhonebookSource::kSim) {
        PhonebookCache& cache = host_.Controller().Phonebook();
        const int done =
            position == 0 ? cache.Add(name, number) : cache.Update(position, name, number);
        cache.AfterChange();
        if (done == 0 && !cache.RefusedNumber().empty()) {
            // The panel stays open with what was typed, for the number to be put right.
            host_.ShowMessageText(cache.RefusedNumber());
            return;
        }
    } else if (position == 0) {
        if (!host_.Contacts().Add(name, number)) ContactsFailed();
    } else if (!host_.Contacts().UpdateNumber(position - 1, number) ||
               !host_.Contacts().Update(position - 1, name)) {
        ContactsFailed();
    }
    Refill();
    ShowEntry(false);
}

void PhonebookPage::OnImport() {
    // Qt's own dialog, drawn at the window's scale as the export's is.
    const QString path =
        QFileDialog::getOpenFileName(this, Ui(kImportFile), QString(), Ui(kImportFilter), nullptr,
                                     QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return;
    std::unique_ptr<ImportPreview> preview = PreviewImport(path);
    if (preview && preview->exec() == QDialog::Accepted) ApplyImport(preview->Lines());
}

std::unique_ptr<ImportPreview> PhonebookPage::PreviewImport(const QString& path) {
    std::string error;
    const std::optional<std::string> bytes = ReadWholeFile(path.toStdString(), &error);
    if (!bytes) {
        host_.ShowMessageText(Utf8ToU16(error));
        return nullptr;
    }
    std::vector<ImportEntryText> entries;
    for (ImportedEntry& entry : ReadContactsFile(*bytes))
        entries.push_back({std::move(entry.name), std::move(entry.number)});
    ImportTarget target;
    if (Source() == PhonebookSource::kSim) {
        PhonebookCache& cache = host_.Controller().Phonebook();
        const PhonebookLimits limits = cache.Limits();
        target.simTextLimit = limits.textLimit;
        target.room = 0;
        for (const PhonebookEntry& entry : cache.Entries()) {
            if (entry.IsEmpty()) {
                ++target.room;
            } else {
                target.numbers.push_back(entry.number);
            }
        }
    } else {
        ContactsStore& contacts = host_.Contacts();
        for (int p = 0; p < contacts.Count(); ++p)
            target.numbers.push_back(contacts.GetNumber(p));
    }
    return std::make_unique<ImportPreview>(PlanImport(entries, target), target.simTextLimit, scale_,
                                           this);
}

void PhonebookPage::ApplyImport(const std::vector<ImportLine>& lines) {
    std::u16string refused;
    if (Source() == PhonebookSource::kSim) {
        // Into the offline copy (or the connected table): written to the SIM as any edit is.
        PhonebookCache& cache = host_.Controller().Phonebook();
        for (const ImportLine& line : lines) {
            if (line.skip) continue;
            if (cache.Add(line.name, line.number) == 0 && !cache.RefusedNumber().empty())
                refused += cache.RefusedNumber() + u"\n";
        }
        cache.AfterChange();
    } else {
        for (const ImportLine& line : lines) {
            if (line.skip) continue;
            if (!host_.Contacts().Add(line.name, line.number)) {
                ContactsFailed();
                break;
            }
        }
    }
    if (!refused.empty()) host_.ShowMessageText(refused);
    Refill();
}

void PhonebookPage::ContactsFailed() {
    host_.ShowMessageText(Utf8ToU16(host_.Contacts().LastError()));
}

void PhonebookPage::ShowEntry(bool shown) {
    entry_->setVisible(shown);
    Relayout();
    if (shown) entry_->raise();
}

void PhonebookPage::ShowListBesideEntry() {
    // Wide, the list stays in view beside the panel.
    const bool hideList = entry_->isVisibleTo(this) && !Wide();
    for (QWidget* w : std::initializer_list<QWidget*>{tabs_, list_, edit_, checkAll_})
        w->setVisible(!hideList);
    add_->setVisible(!hideList && !picking_);
    cancel_->setVisible(!hideList && picking_);
    hint_->setVisible(!hideList && Source() == PhonebookSource::kSim && list_->RowCount() == 0);
}

void PhonebookPage::OnCheckAll() {
    allChecked_ = !allChecked_;
    list_->TickAll(allChecked_);
    SetCheckAllImage();
}

void PhonebookPage::SetCheckAllImage() {
    checkAll_->setIcon(MakeIcon(allChecked_ ? Icon::kCheckAll : Icon::kCheckNone));
    checkAll_->setIconSize(QSize(qRound(14 * scale_), qRound(14 * scale_)));
    checkAll_->setProperty("allChecked", allChecked_);
}

}  // namespace telvane
