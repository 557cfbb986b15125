#include "ui/settings_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

#include "platform/serial_devices.h"
#include "platform/settings_store.h"
#include "platform/text.h"
#include "ui/anchored_layout.h"
#include "ui/command_keys.h"
#include "ui/icons.h"
#include "ui/main_dialog.h"
#include "ui/ui_text.h"

namespace telvane {

namespace {

constexpr WindowText kConnectAtStart{"啟動時連線", "Connect at start"};
constexpr WindowText kNoPort{"找不到可用的連接埠", "No valid Communication Port found"};

// A stored text counts only when it fits the 100-byte value buffer (49 characters and the
// terminating zero), as the settings always have.
bool FitsValueBuffer(const std::u16string& text) {
    return 2 * (text.size() + 1) <= 100;
}

// What the user is told when the settings file could not be written.
QString SaveFailed(const std::string& error) {
    return Ui(ui_text::kSaveFailed) + ": " + QString::fromStdString(error);
}

}  // namespace

SettingsPage::SettingsPage(SettingsStore& store, const MainDialogOptions& options,
                           std::function<void(const QString&)> message, qreal scale,
                           QWidget* parent)
    : Page(scale, parent), store_(store), options_(options), message_(std::move(message)) {
    portLabel_ = Add(1032, new QLabel(this));
    portBox_ = Add(1033, new QComboBox(this));
    operatorLabel_ = Add(1034, new QLabel(this));
    autoDetect_ = Add(1035, new QCheckBox(this));
    centreLabel_ = Add(1036, new QLabel(this));
    centre_ = Add(1037, new QLineEdit(this));
    syncLabel_ = Add(1038, new QLabel(this));
    syncSmsBox_ = Add(1039, new QCheckBox(this));
    syncPbkBox_ = Add(1040, new QCheckBox(this));
    languageLabel_ = Add(1041, new QLabel(this));
    languageBox_ = Add(1042, new QComboBox(this));
    okay_ = Add(1043, new QPushButton(this));
    cancel_ = Add(1044, new QPushButton(this));
    readPbk_ = Add(1062, new QRadioButton(this));
    writePbk_ = Add(1063, new QRadioButton(this));
    about_ = Add(1067, new QPushButton(this));
    connectAtStartBox_ = new QCheckBox(this);
    connectAtStartBox_->setObjectName("connectAtStart");
    deliveryReportsBox_ = new QCheckBox(this);
    deliveryReportsBox_->setObjectName("deliveryReports");
    reconnectBox_ = new QCheckBox(this);
    reconnectBox_->setObjectName("reconnectOnReturn");
    modem_ = new QPushButton(this);
    modem_->setObjectName("modemButton");
    ussd_ = new QPushButton(this);
    ussd_->setObjectName("ussdButton");
    for (QPushButton* b : {okay_, cancel_, about_, modem_, ussd_})
        b->setAutoDefault(false);
    SetCommandKey(okay_, Qt::CTRL | Qt::Key_Return);
    SetCommandKey(cancel_, Qt::Key_Escape);
    SetCommandKey(about_, Qt::Key_F1);
    SetCommandKey(modem_, Qt::Key_F2);
    SetCommandKey(ussd_, Qt::Key_F3);
    // Tab goes as the page reads, row by row: the buttons on the right come on their rows.
    QWidget* const order[] = {portBox_,
                              about_,
                              modem_,
                              autoDetect_,
                              ussd_,
                              centre_,
                              languageBox_,
                              connectAtStartBox_,
                              reconnectBox_,
                              syncSmsBox_,
                              deliveryReportsBox_,
                              syncPbkBox_,
                              readPbk_,
                              writePbk_,
                              okay_,
                              cancel_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    portLabel_->setBuddy(portBox_);
    centreLabel_->setBuddy(centre_);
    languageLabel_->setBuddy(languageBox_);
    connect(autoDetect_, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked) typedCentre_ = centre_->text();
        // Nothing typed before: the user starts from the centre the modem named.
        if (!checked && typedCentre_.isEmpty())
            typedCentre_ = QString::fromStdU16String(detectedCentre_);
        ShowCentre();
        if (!checked) centre_->setFocus();
    });
    connect(syncPbkBox_, &QCheckBox::clicked, this, [this](bool checked) {
        readPbk_->setEnabled(checked);
        writePbk_->setEnabled(checked);
    });
    connect(okay_, &QPushButton::clicked, this, &SettingsPage::OkayClicked);
    connect(cancel_, &QPushButton::clicked, this, &SettingsPage::CancelClicked);
    connect(about_, &QPushButton::clicked, this, &SettingsPage::AboutClicked);
    connect(modem_, &QPushButton::clicked, this, &SettingsPage::ModemClicked);
    connect(ussd_, &QPushButton::clicked, this, &SettingsPage::UssdClicked);
}

void SettingsPage::Relayout() {
    // Wide, the boxes stop growing where their texts have room: a port name does not need the
    // whole screen, and Okay stays near them.
    QSize extra = Extra();
    if (Wide()) extra.setWidth(std::min(extra.width(), Scaled(scale_, 0, 0, 200, 0).width()));
    PlaceAnchored(scale_, extra,
                  {
                      {portLabel_, 10, 4, 150, 18},
                      {portBox_, 20, 22, 150, 18, 0, 0, 1, 0},
                      {operatorLabel_, 10, 42, 120, 18},
                      {autoDetect_, 20, 60, 120, 18},
                      {centreLabel_, 20, 80, 120, 18},
                      {centre_, 20, 98, 120, 18},
                      {languageLabel_, 10, 118, 120, 18},
                      {languageBox_, 20, 136, 100, 18},
                      {connectAtStartBox_, 124, 136, 116, 18},
                      {reconnectBox_, 20, 154, 220, 18},
                      {syncLabel_, 10, 174, 160, 18},
                      {syncSmsBox_, 20, 192, 58, 18},
                      {deliveryReportsBox_, 80, 192, 160, 18},
                      {syncPbkBox_, 20, 210, 120, 18},
                      {readPbk_, 20, 228, 150, 18},
                      {writePbk_, 20, 246, 150, 18},
                      {about_, 180, 15, 50, 20, 1, 0, 0, 0},
                      {modem_, 180, 40, 50, 20, 1, 0, 0, 0},
                      {ussd_, 180, 65, 50, 20, 1, 0, 0, 0},
                      {okay_, 180, 214, 50, 20, 1, 1, 0, 0},
                      {cancel_, 180, 242, 50, 20, 1, 1, 0, 0},
                  });
}

void SettingsPage::Relabel() {
    using namespace ui_text;
    for (auto [w, text] : {std::pair<QWidget*, UiText>{portLabel_, kCommunicationPort},
                           {operatorLabel_, kOperatorSetting},
                           {autoDetect_, kAutoDetect},
                           {centreLabel_, kSmsCentre},
                           {languageLabel_, kLanguageSetting},
                           {syncLabel_, kSynchronisationSetting},
                           {syncSmsBox_, kSms},
                           {syncPbkBox_, kSimPhonebook},
                           {readPbk_, kReadSimPhonebook},
                           {writePbk_, kWriteSimPhonebook},
                           {about_, kAbout},
                           {okay_, kOkay},
                           {cancel_, kCancel}}) {
        w->setProperty("text", Ui(text));
    }
    for (QPushButton* button : {about_, okay_, cancel_})
        LabelWithKey(button, button->text());
    if (autoDetect_->isChecked()) centre_->setPlaceholderText(Ui(kCentreNotDetected));
    connectAtStartBox_->setText(Ui(kConnectAtStart));
    LabelWithKey(modem_, Ui(WindowText{"數據機", "Modem"}));
    LabelWithKey(ussd_, Ui(WindowText{"USSD", "USSD"}));
    deliveryReportsBox_->setText(Ui(kRequestDeliveryReports));
    reconnectBox_->setText(Ui(kReconnectWhenModemReturns));
    languageBox_->clear();
    languageBox_->addItem(QString::fromStdU16String(LoadStringById(79)));
    languageBox_->addItem(QString::fromStdU16String(LoadStringById(80)));
    languageBox_->setCurrentIndex(chineseUi ? 0 : 1);
}

void SettingsPage::Load() {
    SettingsStore& s = store_;
    const std::string& key = MainDialog::kSettingsKey;
    bool created = false;
    if (!s.OpenKey(key, &created)) {
        // Without a writable store the program runs on the first-run values.
        return;
    }
    if (created) {
        values_ = ControllerSettings{};
        language_ = 0;
        std::string error;
        if (!s.SetValues(key,
                         {{"Port", values_.port},
                          {"AutoSC", 1u},
                          {"SC", values_.serviceCentre},
                          {"Language", 0u},
                          {"SyncSMS", 1u},
                          {"SyncSIMPbk", 0u},
                          {"ReadSIMPbk", 1u}},
                         &error))
            message_(SaveFailed(error));
        return;
    }
    if (auto v = s.GetText(key, "Port"); v && FitsValueBuffer(*v)) values_.port = *v;
    if (auto v = s.GetNumber(key, "AutoSC")) values_.autoServiceCentre = *v != 0;
    if (auto v = s.GetText(key, "SC"); v && FitsValueBuffer(*v)) values_.serviceCentre = *v;
    if (auto v = s.GetNumber(key, "Language")) language_ = static_cast<int>(*v);
    if (auto v = s.GetNumber(key, "SyncSMS")) values_.syncSms = *v != 0;
    if (auto v = s.GetNumber(key, "SyncSIMPbk")) values_.syncSimPhonebook = *v != 0;
    if (auto v = s.GetNumber(key, "ReadSIMPbk")) values_.readSimPhonebook = *v != 0;
    if (auto v = s.GetNumber(key, "ConnectAtStart")) connectAtStart_ = *v != 0;
    if (auto v = s.GetNumber(key, "DeliveryReports")) values_.deliveryReports = *v != 0;
    if (auto v = s.GetNumber(key, "ConcatRef16")) values_.sixteenBitReference = *v != 0;
    if (auto v = s.GetNumber(key, "ReconnectOnReturn")) values_.reconnectOnReturn = *v != 0;
}

bool SettingsPage::RefreshPorts() {
    const std::vector<PortEntry> before = ports_;
    const int line = portBox_->currentIndex();
    const std::string chosen =
        line >= 0 && line < static_cast<int>(ports_.size()) ? ports_[size_t(line)].name : "";
    const std::function<void(const QString&)> message = std::move(message_);
    message_ = [](const QString&) {};
    DetectPorts();
    message_ = message;
    for (size_t i = 0; i < ports_.size(); ++i) {
        if (ports_[i].name == chosen) portBox_->setCurrentIndex(int(i));
    }
    return ports_.size() != before.size() ||
           !std::equal(ports_.begin(), ports_.end(), before.begin(),
                       [](const PortEntry& a, const PortEntry& b) {
                           return a.name == b.name && a.path == b.path &&
                                  a.friendlyName == b.friendlyName;
                       });
}

void SettingsPage::DetectPorts() {
    const std::string& key = MainDialog::kSettingsKey;
    const std::string& portsKey = MainDialog::kPortsKey;
    portBox_->clear();
    ports_.clear();
    // COM names the user confirmed stay with their devices across replugging.
    std::vector<std::pair<std::string, std::string>> assignments;
    for (const std::string& name : store_.ValueNames(portsKey)) {
        if (auto path = store_.GetText(portsKey, name)) {
            assignments.emplace_back(name, U16ToUtf8(*path));
        }
    }
    SerialDeviceTable& table = SerialDeviceTable::Instance();
    table.Detect(assignments, options_.sysRoot, options_.devRoot);
    for (const SerialDevice& d : table.Devices()) {
        if (static_cast<int>(ports_.size()) == kMaxPorts) break;
        ports_.push_back({d.comName, d.path, d.friendlyName});
        if (d.infrared && values_.port.empty()) {
            values_.port = Utf8ToU16(d.comName);
            if (std::string error; !store_.SetText(key, "Port", values_.port, &error))
                message_(SaveFailed(error));
        }
        // Every entry gets its line, so line i is always entry i.
        QString line = QString::fromStdString(d.comName);
        if (!d.friendlyName.empty()) line += ": " + QString::fromStdString(d.friendlyName);
        portBox_->addItem(line);
        portBox_->setItemData(portBox_->count() - 1, QString::fromStdString(d.path),
                              Qt::ToolTipRole);
    }
    if (values_.port.empty() && !options_.defaultPort.empty()) {
        for (const PortEntry& entry : ports_) {
            if (entry.name != options_.defaultPort) continue;
            values_.port = Utf8ToU16(entry.name);
            if (std::string error; !store_.SetText(key, "Port", values_.port, &error))
                message_(SaveFailed(error));
        }
    }
    if (ports_.empty()) {
        message_(Ui(kNoPort));
        return;
    }
    if (auto stored = store_.GetText(key, "Port")) {
        for (size_t i = 0; i < ports_.size(); ++i) {
            if (Utf8ToU16(ports_[i].name) == *stored) portBox_->setCurrentIndex(int(i));
        }
    } else {
        portBox_->setCurrentIndex(0);
    }
}

void SettingsPage::ShowValues() {
    for (size_t i = 0; i < ports_.size(); ++i) {
        if (Utf8ToU16(ports_[i].name) == values_.port) portBox_->setCurrentIndex(int(i));
    }
    autoDetect_->setChecked(values_.autoServiceCentre);
    // Under Auto Detect the stored centre is empty; the one typed before stays for unticking.
    if (!values_.autoServiceCentre) typedCentre_ = QString::fromStdU16String(values_.serviceCentre);
    ShowCentre();
    languageBox_->setCurrentIndex(language_ ? 0 : 1);
    syncSmsBox_->setChecked(values_.syncSms);
    syncPbkBox_->setChecked(values_.syncSimPhonebook);
    readPbk_->setEnabled(values_.syncSimPhonebook);
    writePbk_->setEnabled(values_.syncSimPhonebook);
    readPbk_->setChecked(values_.readSimPhonebook);
    writePbk_->setChecked(!values_.readSimPhonebook);
    connectAtStartBox_->setChecked(connectAtStart_);
    deliveryReportsBox_->setChecked(values_.deliveryReports);
    reconnectBox_->setChecked(values_.reconnectOnReturn);
}

void SettingsPage::Store() {
    SettingsStore& s = store_;
    const std::string& key = MainDialog::kSettingsKey;
    const std::string& portsKey = MainDialog::kPortsKey;
    const int line = portBox_->currentIndex();
    // With no line selected the previous port stays.
    if (line >= 0 && line < static_cast<int>(ports_.size())) {
        const PortEntry& entry = ports_[static_cast<size_t>(line)];
        values_.port = Utf8ToU16(entry.name);
        // The COM name follows the device's stable path, whatever ttyUSB number it gets later.
        for (const std::string& name : s.ValueNames(portsKey)) {
            auto path = s.GetText(portsKey, name);
            if (name != entry.name && path && U16ToUtf8(*path) == entry.path) {
                if (std::string error; !s.Remove(portsKey, name, &error))
                    message_(SaveFailed(error));
            }
        }
        std::string error;
        if (!entry.path.empty() && !s.SetText(portsKey, entry.name, Utf8ToU16(entry.path), &error))
            message_(SaveFailed(error));
    }
    values_.autoServiceCentre = autoDetect_->isChecked();
    values_.serviceCentre =
        values_.autoServiceCentre ? std::u16string() : centre_->text().toStdU16String();
    language_ = languageBox_->currentIndex() == 1 ? 0 : 1;
    SetLanguage(language_);
    values_.syncSms = syncSmsBox_->isChecked();
    values_.syncSimPhonebook = syncPbkBox_->isChecked();
    values_.readSimPhonebook = readPbk_->isChecked();
    connectAtStart_ = connectAtStartBox_->isChecked();
    values_.deliveryReports = deliveryReportsBox_->isChecked();
    values_.reconnectOnReturn = reconnectBox_->isChecked();
    std::string error;
    if (!s.SetValues(key,
                     {{"Port", values_.port},
                      {"AutoSC", uint32_t{values_.autoServiceCentre}},
                      {"SC", values_.serviceCentre},
                      {"Language", static_cast<uint32_t>(language_)},
                      {"SyncSMS", uint32_t{values_.syncSms}},
                      {"SyncSIMPbk", uint32_t{values_.syncSimPhonebook}},
                      {"ReadSIMPbk", uint32_t{values_.readSimPhonebook}},
                      {"ConnectAtStart", uint32_t{connectAtStart_}},
                      {"DeliveryReports", uint32_t{values_.deliveryReports}},
                      {"ReconnectOnReturn", uint32_t{values_.reconnectOnReturn}}},
                     &error))
        message_(SaveFailed(error));
}

void SettingsPage::ShowDetectedCentre(const std::u16string& number) {
    detectedCentre_ = number;
    // A centre being typed is left alone.
    if (autoDetect_->isChecked()) ShowCentre();
}

void SettingsPage::ShowCentre() {
    const bool detected = autoDetect_->isChecked();
    centre_->setText(detected ? QString::fromStdU16String(detectedCentre_) : typedCentre_);
    centre_->setPlaceholderText(detected ? Ui(ui_text::kCentreNotDetected) : QString());
    centre_->setReadOnly(detected);
    centre_->setEnabled(!detected);
}

// --- About ------------------------------------------------------------------------------

AboutPage::AboutPage(qreal scale, QWidget* parent) : Page(scale, parent) {
    picture_ = Add(1066, new QLabel(this));
    picture_->setScaledContents(true);
    text_ = Add(1068, new QLabel(this));
    text_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text_->setWordWrap(true);
    okay_ = Add(1043, new QPushButton(this));
    okay_->setAutoDefault(false);
    SetCommandKey(okay_, Qt::Key_Escape);
    connect(okay_, &QPushButton::clicked, this, &AboutPage::OkayClicked);
}

void AboutPage::Relayout() {
    // The text ends above the button, so that a click on Okay reaches it.
    PlaceAnchored(scale_, Extra(),
                  {
                      {picture_, 0, 10, 240, 97, 0.5f, 0, 0, 0},
                      {text_, 10, 120, 220, 85, 0, 0, 1, 1},
                      {okay_, 180, 210, 50, 20, 1, 1, 0, 0},
                  });
    okay_->raise();
}

void AboutPage::Relabel() {
    text_->setText(
        QString::asprintf("Version %d.%02d", MainDialog::kVersionMajor, MainDialog::kVersionMinor) +
        "\n\n" + QString::fromUtf8("Copyright \u00A9 2026 the Telvane developers"));
    picture_->setPixmap(AboutPicture(240, 97, devicePixelRatioF() * scale_));
    LabelWithKey(okay_, Ui(ui_text::kOkay));
}

}  // namespace telvane
