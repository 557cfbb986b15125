// The real window on a live link: a message that arrives while connected shows in the Inbox,
// unread, without a reconnect; one not opened stays unread at the next connect; the modem's own
// SMS centre shows in the settings under Auto Detect.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "control/ui_strings.h"
#include "ui/main_dialog.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;

std::vector<SmsRecord> ReadInbox() {
    return testing::ReadFolder(FolderId::Inbox);
}

}  // namespace

class LiveWindowTest : public QObject {
    Q_OBJECT

  private:
    testing::WindowRig rig_;
    modemsim::SimulatedModem* modem_ = nullptr;
    MainDialog* dialog_ = nullptr;

  private slots:
    void initTestCase() {
        SetLanguage(0);
        const std::string error = rig_.Start(
            "[modem]\nbaud = 0\n[messages]\n"
            "1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7\n");
        QVERIFY2(error.empty(), error.c_str());
        modem_ = &rig_.Modem();
        dialog_ = &rig_.Dialog();
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

    // Connected from the test before; the modem holds +886932400821.
    void DetectedCentreShowsGreyedUnderAutoDetect() {
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->Controller().IsOnline(), kWaitMs);
        dialog_->Command(telvane::CommandId::kSettings);
        auto* autoDetect = static_cast<QCheckBox*>(dialog_->Control(1035));
        auto* centre = static_cast<QLineEdit*>(dialog_->Control(1037));
        QVERIFY(autoDetect->isChecked());
        QTRY_COMPARE_WITH_TIMEOUT(centre->text(), QString("+886932400821"), kWaitMs);
        QVERIFY(!centre->isEnabled() && centre->isReadOnly());

        // Nothing typed before: unticked, the user starts from the detected centre.
        autoDetect->click();
        QVERIFY(centre->isEnabled() && !centre->isReadOnly());
        QCOMPARE(centre->text(), QString("+886932400821"));
        centre->clear();
        QTest::keyClicks(centre, "+85290288000");
        autoDetect->click();
        QCOMPARE(centre->text(), QString("+886932400821"));
        autoDetect->click();
        QCOMPARE(centre->text(), QString("+85290288000"));

        // Okay under Auto Detect stores no centre, the detected one least of all.
        autoDetect->click();
        static_cast<QPushButton*>(dialog_->Control(1043))->click();
        SettingsStore store(rig_.Path("settings.conf"));
        QCOMPARE(store.GetNumber(MainDialog::kSettingsKey, "AutoSC"), std::optional<uint32_t>(1));
        QCOMPARE(store.GetText(MainDialog::kSettingsKey, "SC"), std::optional<std::u16string>(u""));
        QCOMPARE(dialog_->Settings().serviceCentre, std::u16string());

        dialog_->Command(telvane::CommandId::kConnect);  // disconnect
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().HasEngine(), kWaitMs);
        QCOMPARE(centre->text(), QString());
        QCOMPARE(centre->placeholderText(), QString("Not detected"));
        dialog_->Command(telvane::CommandId::kSettings);
        autoDetect->click();
        QCOMPARE(centre->text(), QString("+85290288000"));
        static_cast<QPushButton*>(dialog_->Control(1044))->click();  // Cancel
    }

    // Last: its modem takes the port name over.
    void ConnectIsACancelWhileItRuns() {
        testing::WindowRig rig;
        const std::string error = rig.Start("[faults]\nsilent = yes\n");
        QVERIFY2(error.empty(), error.c_str());
        MainDialog& dialog = rig.Dialog();
        auto* connect = dialog.findChild<QAction*>("c1079");
        QVERIFY(connect);
        dialog.Command(telvane::CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Controller().IsBusy(), kWaitMs);
        QVERIFY(connect->isEnabled());
        QCOMPARE(connect->text(), QString("Cancel"));
        QVERIFY(!dialog.Control(1013)->isEnabled());  // the rest waits
        QVERIFY(!dialog.findChild<QAction*>("c1078")->isEnabled());

        connect->trigger();
        QVERIFY(!dialog.Controller().HasEngine());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Controller().IsBusy(), kWaitMs);
        QCOMPARE(connect->text(), QString("Connect"));
        QVERIFY(dialog.Control(1013)->isEnabled());
        QCOMPARE(testing::StatusLine(dialog), QString("Connect cancelled"));
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
