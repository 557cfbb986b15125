// The real window on the simulated modem: the modem on a pty of its own, registered as "COM2",
// settings that name it, and the dialog at a small time scale in a temporary folder.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "platform/settings_store.h"
#include "store/message_store.h"
#include "support/wait.h"
#include "ui/main_dialog.h"
#include "ui/sms_page.h"

namespace telvane::testing {

// Waits in the window's tests end on their condition; this only bounds a hang.
inline constexpr int kWindowWaitMs = static_cast<int>(kHangCeiling.count());

// A window with no modem in the folder `root`: no ports found, boxes shown to no one, every
// question answered no.
inline MainDialogOptions OfflineOptions(const std::filesystem::path& root, double scale = 1.0) {
    MainDialogOptions options;
    options.scale = scale;
    options.settingsFile = root / "config/settings.conf";
    options.sysRoot = root / "none";
    options.devRoot = root / "none";
    options.contactsFolder = root / "contacts";
    options.messageBox = [](const QString&) {};
    options.confirm = [](const QString&) { return false; };
    return options;
}

class WindowRig {
  public:
    ~WindowRig() {
        dialog_.reset();
        if (modem_) modem_->Stop();
        if (registered_) SerialDeviceTable::Instance().Unregister("COM2");
    }

    // Empty when the modem and the window are up; else what failed.  `settings` adds to the
    // stored settings before the window reads them; message boxes go to `messageBox`.
    std::string Start(const std::string& scenarioText,
                      const std::function<void(SettingsStore&)>& settings = nullptr,
                      std::function<void(const QString&)> messageBox = nullptr) {
        std::string error;
        auto scenario = modemsim::ParseScenario(scenarioText, &error);
        if (!scenario) return "scenario: " + error;
        modem_ = std::make_unique<modemsim::SimulatedModem>(*scenario);
        const std::string device = modem_->Start();
        if (device.empty()) return "modem: " + modem_->Error();
        SerialDeviceTable::Instance().Register("COM2", device, "Simulated modem");
        registered_ = true;

        const std::string settingsFile = Path("settings.conf");
        {
            SettingsStore store(settingsFile);
            if (!store.OpenKey(MainDialog::kSettingsKey) ||
                !store.SetText(MainDialog::kSettingsKey, "Port", u"COM2"))
                return "settings: cannot write " + settingsFile;
            if (settings) settings(store);
        }
        MainDialogOptions options;
        options.scale = 1.0;
        options.timeScale = 0.05;
        options.settingsFile = settingsFile;
        options.sysRoot = Path("none");
        options.devRoot = Path("none");
        options.contactsFolder = Path("contacts");
        options.messageBox = messageBox ? std::move(messageBox) : [](const QString&) {};
        dialog_ = std::make_unique<MainDialog>(options);
        dialog_->show();
        return {};
    }

    MainDialog& Dialog() { return *dialog_; }
    // Connects as the user does; true once the window is online and its start-up work is done.
    bool ConnectAndSettle() {
        dialog_->Command(CommandId::kConnect);
        return QTest::qWaitFor([this] { return dialog_->Controller().IsOnline(); },
                               kWindowWaitMs) &&
               QTest::qWaitFor([this] { return !dialog_->Controller().IsBusy(); }, kWindowWaitMs);
    }
    // A second window on the same data folder finds the history taken; close this one first.
    void CloseWindow() { dialog_.reset(); }
    modemsim::SimulatedModem& Modem() { return *modem_; }
    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }

  private:
    QTemporaryDir dir_;
    std::unique_ptr<modemsim::SimulatedModem> modem_;
    std::unique_ptr<MainDialog> dialog_;
    bool registered_ = false;
};

// A button of the window pressed as the user presses it.
inline void ClickControl(MainDialog& dialog, int id) {
    static_cast<QAbstractButton*>(dialog.Control(id))->click();
}

// What the status line says (whole: a long one shows shortened, with the whole as its tip).
inline QString StatusLine(MainDialog& dialog) {
    return dialog.Sms()->StatusText();
}

// The records of a folder as the data folder holds them now.
inline std::vector<SmsRecord> ReadFolder(FolderId folder) {
    MessageStore store;
    // An unreadable folder gives no records, which fails the comparisons that read it.
    if (store.LoadShown(folder) != 1)
        qWarning("%s does not load: %s", FolderFileName(folder), store.LastError().c_str());
    std::vector<SmsRecord> records;
    for (const FolderEntry& entry : store.Shown().entries) {
        if (entry.slot >= 0) records.push_back(entry.record);
    }
    return records;
}

}  // namespace telvane::testing
