// The real window on a live link: a message that arrives while connected shows in the Inbox,
// unread, without a reconnect; one not opened stays unread at the next connect.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include "control/ui_strings.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "platform/settings_store.h"
#include "store/message_store.h"
#include "ui/main_dialog.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = 20000;

std::vector<SmsRecord> ReadInbox() {
    MessageStore store;
    // An unreadable Inbox gives no records, which fails the comparisons that read it.
    if (store.LoadShown(FolderId::Inbox) != 1) {
        qWarning("the Inbox does not load: %s", store.LastError().c_str());
        return {};
    }
    std::vector<SmsRecord> records;
    for (const FolderEntry& entry : store.Shown().entries) {
        if (entry.slot >= 0) records.push_back(entry.record);
    }
    return records;
}

}  // namespace

class LiveWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::unique_ptr<modemsim::SimulatedModem> modem_;
    std::unique_ptr<MainDialog> dialog_;

  private slots:
    void initTestCase() {
        SetLanguage(0);
        std::string error;
        auto scenario = modemsim::ParseScenario(
            "[modem]\nbaud = 0\n[messages]\n"
            "1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7\n",
            &error);
        QVERIFY2(scenario, error.c_str());
        modem_ = std::make_unique<modemsim::SimulatedModem>(*scenario);
        const std::string device = modem_->Start();
        QVERIFY2(!device.empty(), modem_->Error().c_str());
        SerialDeviceTable::Instance().Register("COM2", device, "Simulated modem");

        const std::string settingsFile = dir_.filePath("settings.conf").toStdString();
        SettingsStore store(settingsFile);
        QVERIFY(store.OpenKey(MainDialog::kSettingsKey));
        QVERIFY(store.SetText(MainDialog::kSettingsKey, "Port", u"COM2"));
        MainDialogOptions options;
        options.scale = 1.0;
        options.timeScale = 0.05;
        options.settingsFile = settingsFile;
        options.sysRoot = dir_.filePath("none").toStdString();
        options.devRoot = dir_.filePath("none").toStdString();
        options.contactsFolder = dir_.filePath("contacts").toStdString();
        options.messageBox = [](const QString&) {};
        dialog_ = std::make_unique<MainDialog>(options);
        dialog_->show();
    }

    void cleanupTestCase() {
        dialog_.reset();
        modem_->Stop();
        SerialDeviceTable::Instance().Unregister("COM2");
    }

    void ArrivalShowsUnreadWithoutReconnect() {
        dialog_->Command(telvane::CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->Controller().IsOnline(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy() && dialog_->MessageRowCount() == 1,
                                 kWaitMs);
        const int listings = modem_->CountCommands("+CMGL");
        QCOMPARE(modem_->DeliverMessage("+886955000111", "26/12/10,08:00:08+32", u"Hi 媽"), 2);
        QTRY_COMPARE_WITH_TIMEOUT(dialog_->MessageRowCount(), 2, kWaitMs);
        const std::vector<SmsRecord> inbox = ReadInbox();
        QCOMPARE(inbox.size(), size_t{2});
        QCOMPARE(inbox[1].text, std::u16string(u"Hi 媽"));
        QCOMPARE(inbox[1].status, std::u16string(u"REC UNREAD"));
        QCOMPARE(modem_->CountCommands("+CMGL"), listings);
    }

    void NotOpenedStaysUnreadAtTheNextConnect() {
        dialog_->Command(telvane::CommandId::kConnect);  // disconnect
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().HasEngine(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
        dialog_->Command(telvane::CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->Controller().IsOnline(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy() && dialog_->MessageRowCount() == 2,
                                 kWaitMs);
        for (const SmsRecord& record : ReadInbox())
            QCOMPARE(record.status, std::u16string(u"REC UNREAD"));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    LiveWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "live_window_test.moc"
