// The real window when its modem is pulled out and plugged back in: the link ends as an unplug
// (no error box), the window reconnects by itself when the device returns, the Inbox holds what
// it held (nothing twice), and a message delivered after the replug shows.  A modem plugged in
// while the Settings page is shown joins its port list with its name.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "control/ui_strings.h"
#include "ui/main_dialog.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;
namespace fs = std::filesystem;

const char kScenario[] =
    "[modem]\nbaud = 0\n[messages]\n"
    "1 = REC READ | +886912345678 | 26/12/01,09:15:00+32 | See you at 7\n";

// Replaces the link in one step, as a device's by-id link appears.
void PointLink(const fs::path& link, const std::string& device) {
    const fs::path temporary = link.string() + ".new";
    fs::remove(temporary);
    fs::create_symlink(device, temporary);
    fs::rename(temporary, link);
}

}  // namespace

class ReplugWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void UnplugEndsQuietlyAndReplugReconnects() {
        SetLanguage(0);
        testing::WindowRig rig;
        QStringList boxes;
        const std::string error =
            rig.Start(kScenario, nullptr, [&boxes](const QString& text) { boxes << text; });
        QVERIFY2(error.empty(), error.c_str());
        // The port by a stable link, as /dev/serial/by-id names a USB modem.
        const fs::path link = rig.Path("usb-modem");
        PointLink(link, rig.Modem().DevicePath());
        SerialDeviceTable::Instance().Register("COM2", link.string(), "Simulated modem");
        MainDialog& dialog = rig.Dialog();

        // Where a wait ran out: what the window said and what the modem was asked.
        const auto state = [&](const modemsim::SimulatedModem& modem) {
            QString said = testing::StatusLine(dialog) + " | " + boxes.join(" / ") + " |";
            for (const std::string& command : modem.Commands())
                said += " " + QString::fromStdString(command);
            return said.toUtf8();
        };
        dialog.Command(telvane::CommandId::kConnect);
        QTRY_VERIFY2_WITH_TIMEOUT(dialog.Controller().IsOnline(), state(rig.Modem()), kWaitMs);
        QTRY_VERIFY2_WITH_TIMEOUT(!dialog.Controller().IsBusy() && dialog.MessageRowCount() == 1,
                                  state(rig.Modem()), kWaitMs);

        // Pulled out: the link goes with the device.
        fs::remove(link);
        rig.Modem().Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Controller().HasEngine(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(testing::StatusLine(dialog).startsWith("Modem unplugged"),
                                 kWaitMs);
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join("\n")));

        // Plugged back in: the same SIM behind a new device node.
        std::string scenarioError;
        modemsim::SimulatedModem again(*modemsim::ParseScenario(kScenario, &scenarioError));
        const std::string device = again.Start();
        QVERIFY(!device.empty());
        PointLink(link, device);
        QTRY_VERIFY2_WITH_TIMEOUT(dialog.Controller().IsOnline(), state(again), kWaitMs);
        QTRY_VERIFY2_WITH_TIMEOUT(again.CountCommands("+CMGL") > 0, state(again), kWaitMs);
        QTRY_VERIFY2_WITH_TIMEOUT(!dialog.Controller().IsBusy(), state(again), kWaitMs);
        QCOMPARE(dialog.MessageRowCount(), 1);

        QCOMPARE(again.DeliverMessage("+886955000111", "26/12/11,08:00:08+32", u"After the replug"),
                 2);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.MessageRowCount(), 2, kWaitMs);
        const std::vector<SmsRecord> inbox = testing::ReadFolder(FolderId::Inbox);
        QCOMPARE(inbox.size(), size_t{2});
        QCOMPARE(inbox[1].text, std::u16string(u"After the replug"));
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join("\n")));

        dialog.Command(telvane::CommandId::kConnect);  // disconnect before the modem goes
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Controller().HasEngine(), kWaitMs);
        again.Stop();
    }

    void APluggedModemJoinsTheShownPortList() {
        SetLanguage(0);
        testing::WindowRig rig;
        QVERIFY(rig.Start(kScenario).empty());
        MainDialog& dialog = rig.Dialog();
        dialog.Command(telvane::CommandId::kSettings);
        auto* ports = static_cast<QComboBox*>(dialog.Control(1033));
        const int before = ports->count();

        // The machine's sysfs and /dev, as the window was told to read them.
        const fs::path root = rig.Path("none");
        const fs::path usb = root / "devices/usb1/1-2";
        fs::create_directories(usb / "1-2:1.0");
        std::ofstream(usb / "idVendor") << "1546";
        std::ofstream(usb / "idProduct") << "01a8";
        std::ofstream(usb / "manufacturer") << "Acme\n";
        std::ofstream(usb / "product") << "Field Modem\n";
        fs::create_directories(root / "class/tty/ttyACM0");
        fs::create_directory_symlink(usb / "1-2:1.0", root / "class/tty/ttyACM0/device");
        std::ofstream(root / "ttyACM0") << "";

        QTRY_COMPARE_WITH_TIMEOUT(ports->count(), before + 1, kWaitMs);
        bool named = false;
        for (int i = 0; i < ports->count(); ++i)
            named = named || ports->itemText(i).contains("Acme Field Modem (ttyACM0)");
        QVERIFY2(named, qPrintable(ports->itemText(ports->count() - 1)));
        static_cast<QPushButton*>(dialog.Control(1044))->click();  // Cancel
    }
};

int main(int argc, char** argv) {
    // A data folder of its own: no other test's files, and none of the user's.
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    ReplugWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "replug_window_test.moc"
