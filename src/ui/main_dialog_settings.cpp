// The Settings page: the stored settings, port detection and the page's controls.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "control/ui_strings.h"
#include "platform/serial_devices.h"
#include "platform/settings_store.h"
#include "platform/text.h"
#include "ui/main_dialog.h"

namespace telvane {

namespace {

QString Ui(int chineseId, int englishId) {
    return QString::fromStdU16String(LoadUiString(chineseId, englishId));
}

// A stored text counts only when it fits the 100-byte value buffer (49 characters and the
// terminating zero), as the settings always have.
bool FitsValueBuffer(const std::u16string& text) {
    return 2 * (text.size() + 1) <= 100;
}

}  // namespace

void MainDialog::LoadSettings() {
    SettingsStore& s = *store_;
    bool created = false;
    if (!s.OpenKey(kSettingsKey, &created)) {
        // Without a writable store the program runs on the first-run values.
        return;
    }
    if (created) {
        port_.clear();
        autoServiceCentre_ = true;
        serviceCentre_.clear();
        language_ = 0;
        syncSms_ = true;
        syncSimPhonebook_ = false;
        readSimPhonebook_ = true;
        s.SetValues(kSettingsKey, {{"Port", port_},
                                   {"AutoSC", 1u},
                                   {"SC", serviceCentre_},
                                   {"Language", 0u},
                                   {"SyncSMS", 1u},
                                   {"SyncSIMPbk", 0u},
                                   {"ReadSIMPbk", 1u}});
        return;
    }
    if (auto v = s.GetText(kSettingsKey, "Port"); v && FitsValueBuffer(*v)) port_ = *v;
    if (auto v = s.GetNumber(kSettingsKey, "AutoSC")) autoServiceCentre_ = *v != 0;
    if (auto v = s.GetText(kSettingsKey, "SC"); v && FitsValueBuffer(*v)) serviceCentre_ = *v;
    if (auto v = s.GetNumber(kSettingsKey, "Language")) language_ = static_cast<int>(*v);
    if (auto v = s.GetNumber(kSettingsKey, "SyncSMS")) syncSms_ = *v != 0;
    if (auto v = s.GetNumber(kSettingsKey, "SyncSIMPbk")) syncSimPhonebook_ = *v != 0;
    if (auto v = s.GetNumber(kSettingsKey, "ReadSIMPbk")) readSimPhonebook_ = *v != 0;
}

void MainDialog::DetectPorts() {
    portBox_->clear();
    ports_.clear();
    // COM names the user confirmed stay with their devices across replugging.
    std::vector<std::pair<std::string, std::string>> assignments;
    for (const std::string& name : store_->ValueNames(kPortsKey)) {
        if (auto path = store_->GetText(kPortsKey, name)) {
            assignments.emplace_back(name, U16ToUtf8(*path));
        }
    }
    SerialDeviceTable& table = SerialDeviceTable::Instance();
    table.Detect(assignments, options_.sysRoot, options_.devRoot);
    for (const SerialDevice& d : table.Devices()) {
        if (static_cast<int>(ports_.size()) == kMaxPorts) break;
        ports_.push_back({d.comName, d.path, d.friendlyName});
        if (d.infrared && port_.empty()) {
            port_ = Utf8ToU16(d.comName);
            store_->SetText(kSettingsKey, "Port", port_);
        }
        // Every entry gets its line, so line i is always entry i.
        QString line = QString::fromStdString(d.comName);
        if (!d.friendlyName.empty()) line += ": " + QString::fromStdString(d.friendlyName);
        portBox_->addItem(line);
        portBox_->setItemData(portBox_->count() - 1, QString::fromStdString(d.path),
                              Qt::ToolTipRole);
    }
    if (port_.empty() && !options_.defaultPort.empty()) {
        for (const PortEntry& entry : ports_) {
            if (entry.name != options_.defaultPort) continue;
            port_ = Utf8ToU16(entry.name);
            store_->SetText(kSettingsKey, "Port", port_);
        }
    }
    if (ports_.empty()) {
        ShowMessage("No valid Communication Port found");
        return;
    }
    if (auto stored = store_->GetText(kSettingsKey, "Port")) {
        for (size_t i = 0; i < ports_.size(); ++i) {
            if (Utf8ToU16(ports_[i].name) == *stored) portBox_->setCurrentIndex(int(i));
        }
    } else {
        portBox_->setCurrentIndex(0);
    }
}

void MainDialog::ShowSettingsValues() {
    for (size_t i = 0; i < ports_.size(); ++i) {
        if (Utf8ToU16(ports_[i].name) == port_) portBox_->setCurrentIndex(int(i));
    }
    autoDetect_->setChecked(autoServiceCentre_);
    centre_->setReadOnly(autoServiceCentre_);
    if (!autoServiceCentre_) centre_->setText(QString::fromStdU16String(serviceCentre_));
    languageBox_->setCurrentIndex(language_ ? 0 : 1);
    syncSmsBox_->setChecked(syncSms_);
    syncPbkBox_->setChecked(syncSimPhonebook_);
    readPbk_->setEnabled(syncSimPhonebook_);
    writePbk_->setEnabled(syncSimPhonebook_);
    readPbk_->setChecked(readSimPhonebook_);
    writePbk_->setChecked(!readSimPhonebook_);
}

void MainDialog::LabelSettingsPage() {
    LabelAndPlace({
        {portLabel_, 63, 64, 10, 5, 150, 18},
        {portBox_, 0, 0, 20, 23, 150, 18},
        {operatorLabel_, 65, 66, 10, 46, 120, 18},
        {autoDetect_, 67, 68, 20, 64, 120, 18},
        {centreLabel_, 69, 70, 20, 85, 120, 18},
        {centre_, 0, 0, 20, 103, 120, 18},
        {languageLabel_, 71, 72, 10, 125, 120, 18},
        {languageBox_, 0, 0, 20, 143, 120, 18},
        {syncLabel_, 73, 74, 10, 165, 160, 18},
        {syncSmsBox_, 11, 12, 20, 183, 120, 18},
        {syncPbkBox_, 77, 78, 20, 201, 120, 18},
        {readPbk_, 145, 146, 20, 219, 150, 18},
        {writePbk_, 147, 148, 20, 237, 150, 18},
        {about_, 157, 158, 180, 15, 50, 20},
        {okay_, 59, 60, 180, 210, 50, 20},
        {settingsCancel_, 61, 62, 180, 240, 50, 20},
    });
    languageBox_->clear();
    languageBox_->addItem(QString::fromStdU16String(LoadStringById(79)));
    languageBox_->addItem(QString::fromStdU16String(LoadStringById(80)));
    languageBox_->setCurrentIndex(chineseUi ? 0 : 1);
}

void MainDialog::ShowSettingsPage(bool show) {
    QWidget* controls[] = {portLabel_,   portBox_,    operatorLabel_, autoDetect_,
                           centreLabel_, centre_,     languageLabel_, languageBox_,
                           syncLabel_,   syncSmsBox_, syncPbkBox_,    readPbk_,
                           writePbk_,    about_,      okay_,          settingsCancel_};
    for (QWidget* w : controls)
        w->setVisible(show);
    if (show) {
        Place(okay_, 180, 210, 50, 20);
        languageBox_->setCurrentIndex(chineseUi ? 0 : 1);
    }
}

void MainDialog::StoreSettings() {
    SettingsStore& s = *store_;
    int line = portBox_->currentIndex();
    // With no line selected the previous port stays.
    if (line >= 0 && line < static_cast<int>(ports_.size())) {
        const PortEntry& entry = ports_[line];
        port_ = Utf8ToU16(entry.name);
        // The COM name follows the device's stable path, whatever ttyUSB number it gets later.
        for (const std::string& name : s.ValueNames(kPortsKey)) {
            auto path = s.GetText(kPortsKey, name);
            if (name != entry.name && path && U16ToUtf8(*path) == entry.path) {
                s.Remove(kPortsKey, name);
            }
        }
        if (!entry.path.empty()) s.SetText(kPortsKey, entry.name, Utf8ToU16(entry.path));
    }
    autoServiceCentre_ = autoDetect_->isChecked();
    serviceCentre_ = autoServiceCentre_ ? std::u16string() : centre_->text().toStdU16String();
    language_ = languageBox_->currentIndex() == 1 ? 0 : 1;
    SetLanguage(language_);
    syncSms_ = syncSmsBox_->isChecked();
    syncSimPhonebook_ = syncPbkBox_->isChecked();
    readSimPhonebook_ = readPbk_->isChecked();
    s.SetValues(kSettingsKey, {{"Port", port_},
                               {"AutoSC", uint32_t{autoServiceCentre_}},
                               {"SC", serviceCentre_},
                               {"Language", static_cast<uint32_t>(language_)},
                               {"SyncSMS", uint32_t{syncSms_}},
                               {"SyncSIMPbk", uint32_t{syncSimPhonebook_}},
                               {"ReadSIMPbk", uint32_t{readSimPhonebook_}}});
}

void MainDialog::ApplyLanguage() {
    LabelButtons();
    toLabel_->setText(Ui(45, 46));
    signal_->setValue(0);
    LabelSettingsPage();
    LabelToolTips();
    LabelEntryPanel();
    ShowSettingsPage(false);
    if (cannedTreeWidget_->topLevelItemCount() > 0) {
        cannedTreeWidget_->topLevelItem(0)->setText(0, Ui(47, 48));
    }
    cannedTree_.text = LoadUiString(47, 48);
    GoToPage(kPageMessages);
}

void MainDialog::OnSettingsOkay() {
    StoreSettings();
    controller_->ApplyServiceCentre();
    ApplyLanguage();
}

void MainDialog::OnSettingsCancel() {
    ShowSettingsPage(false);
    GoToPage(kPageMessages);
}

}  // namespace telvane
