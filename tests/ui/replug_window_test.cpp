// The real window when its modem is pulled out and plugged back in: the link ends as an unplug
// (no error box), the window reconnects by itself when the device returns, the Inbox holds what
// it held (nothing twice), and a message delivered after the replug shows.
#include <QTest>

#include <filesystem>

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

        dialog.Command(telvane::CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Controller().IsOnline(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Controller().IsBusy() && dialog.MessageRowCount() == 1,
                                 kWaitMs);

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
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Controller().IsOnline(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(again.CountCommands("+CMGL") > 0, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Controller().IsBusy(), kWaitMs);
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
};

QTEST_MAIN(ReplugWindowTest)
#include "replug_window_test.moc"
