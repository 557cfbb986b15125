#include "ui/modem_page.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "control/link_controller.h"
#include "ui/ui_text.h"

namespace telvane {
namespace {

constexpr WindowText kTitle{"數據機", "Modem"};
constexpr WindowText kNames[12] = {
    {"製造商", "Manufacturer"}, {"型號", "Model"},
    {"韌體", "Firmware"},       {"IMEI", "IMEI"},
    {"IMSI", "IMSI"},           {"短訊中心", "SMS centre"},
    {"電信商", "Operator"},     {"網路代碼", "Network code"},
    {"技術", "Technology"},     {"註冊", "Registration"},
    {"訊號", "Signal"},         {"短訊記憶體", "Message stores"},
};
constexpr WindowText kRefresh{"重新整理", "Refresh"};
constexpr WindowText kCopy{"複製", "Copy"};
constexpr WindowText kClose{"關閉", "Close"};
constexpr WindowText kAsking{"正在詢問數據機…", "Asking the modem…"};
constexpr WindowText kNotConnected{"請先連線", "Please connect first"};
constexpr WindowText kUnknown{"（未提供）", "(not given)"};
constexpr WindowText kRegistrations[] = {
    {"不明", "unknown"},     {"未註冊", "not registered"}, {"本地網路", "home network"},
    {"搜尋中", "searching"}, {"被拒絕", "denied"},         {"漫遊中", "roaming"},
};

QString Value(const std::optional<std::string>& text) {
    return text ? QString::fromStdString(*text) : Ui(kUnknown);
}

QString Value(const std::optional<std::u16string>& text) {
    return text ? QString::fromStdU16String(*text) : Ui(kUnknown);
}

QString RegistrationText(Registration registration) {
    switch (registration) {
        case Registration::kUnknown:
            return Ui(kRegistrations[0]);
        case Registration::kNone:
            return Ui(kRegistrations[1]);
        case Registration::kHome:
            return Ui(kRegistrations[2]);
        case Registration::kSearching:
            return Ui(kRegistrations[3]);
        case Registration::kDenied:
            return Ui(kRegistrations[4]);
        case Registration::kRoaming:
            return Ui(kRegistrations[5]);
    }
    return Ui(kRegistrations[0]);
}

}  // namespace

ModemPage::ModemPage(LinkController& controller, QWidget* parent)
    : QDialog(parent), controller_(controller) {
    setObjectName("modemPage");
    auto* grid = new QGridLayout;
    for (int i = 0; i < 12; ++i) {
        names_[i] = new QLabel(this);
        values_[i] = new QLabel(this);
        values_[i]->setObjectName(QString("modemValue%1").arg(i));
        values_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        values_[i]->setWordWrap(true);
        grid->addWidget(names_[i], i, 0, Qt::AlignTop);
        grid->addWidget(values_[i], i, 1);
    }
    grid->setColumnStretch(1, 1);
    state_ = new QLabel(this);
    state_->setObjectName("modemState");
    refresh_ = new QPushButton(this);
    copy_ = new QPushButton(this);
    copy_->setObjectName("modemCopy");
    close_ = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh_);
    buttons->addWidget(copy_);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(state_);
    layout->addStretch();
    layout->addLayout(buttons);
    connect(refresh_, &QPushButton::clicked, this, &ModemPage::Refresh);
    connect(copy_, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(Text()); });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    Relabel();
}

void ModemPage::Relabel() {
    setWindowTitle(Ui(kTitle));
    for (int i = 0; i < 12; ++i)
        names_[i]->setText(Ui(kNames[i]));
    refresh_->setText(Ui(kRefresh));
    copy_->setText(Ui(kCopy));
    close_->setText(Ui(kClose));
}

void ModemPage::Refresh() {
    info_.reset();
    QPointer<ModemPage> self(this);
    const JobHandle job = controller_.RunQuery(
        [](LinkEngine& engine, JobDone done) { return engine.QueryInformation(std::move(done)); },
        [self](const JobResult& result) {
            if (!self) return;
            if (result.information) {
                self->Show(*result.information);
                self->state_->clear();
            } else {
                self->state_->setText(QString::fromStdString(result.reason));
            }
        });
    state_->setText(job ? Ui(kAsking) : Ui(kNotConnected));
}

void ModemPage::Show(const ModemInfo& info) {
    info_ = info;
    const std::string technology = info.technology ? TechnologyName(*info.technology) : "";
    QString signal = Ui(kUnknown);
    if (const std::optional<int32_t> dbm = SignalDbm(info.rssi))
        signal = QString("%1 dBm (rssi %2, %3/5)")
                     .arg(*dbm)
                     .arg(*info.rssi)
                     .arg(SignalBarsOf(info.rssi));
    QString stores;
    for (const StoreUse& store : info.stores) {
        if (!stores.isEmpty()) stores += ", ";
        stores += QString::fromStdString(store.name) + " " +
                  (store.used ? QString::number(*store.used) : "?") + "/" +
                  (store.total ? QString::number(*store.total) : "?");
    }
    const QString values[12] = {
        Value(info.manufacturer),
        Value(info.model),
        Value(info.revision),
        Value(info.imei),
        Value(info.imsi),
        Value(info.smsCentre),
        Value(info.operatorName),
        Value(info.operatorCode),
        technology.empty() ? Ui(kUnknown) : QString::fromStdString(technology),
        RegistrationText(info.registration),
        signal,
        stores.isEmpty() ? Ui(kUnknown) : stores,
    };
    for (int i = 0; i < 12; ++i)
        values_[i]->setText(values[i]);
}

QString ModemPage::Text() const {
    QString text;
    for (int i = 0; i < 12; ++i)
        text += names_[i]->text() + ": " + values_[i]->text() + "\n";
    return text;
}

}  // namespace telvane
