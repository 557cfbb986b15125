// The Modem and USSD pages on the simulated modem, offscreen: what the modem says of itself, a
// balance code and a menu of two levels, the network's state in words and the signal's tip.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "control/ui_strings.h"
#include "ui/main_dialog.h"
#include "ui/modem_page.h"
#include "ui/settings_page.h"
#include "ui/sms_page.h"
#include "ui/ussd_page.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;

const char kScenario[] =
    "[modem]\nussd_form = ucs2\n"
    "[sim]\nme_capacity = 100\n"
    "[network]\nregistration = 5\nsignal = 20\ntechnology = 2\n"
    "[messages ME]\n1 = REC READ | +886971000222 | 26/12/08,09:40:12+32 | On the phone\n"
    "[ussd]\n"
    "*100# = 您的餘額為 NT$312.50\n"
    "*149# = + 1 Data packs\\n2 Roaming\n"
    "*149# 1 = + 1 1 GB\\n2 5 GB\n"
    "*149# 1 2 = 5 GB added\n";

void Screenshot(QWidget& widget, const QString& name) {
    QDir().mkpath(TELVANE_BINARY_DIR "/screenshots");
    widget.grab().save(QString(TELVANE_BINARY_DIR "/screenshots/%1.png").arg(name));
}

}  // namespace

class ModemPagesTest : public QObject {
    Q_OBJECT

  private:
    testing::WindowRig rig_;
    MainDialog* dialog_ = nullptr;

    QString Status() const { return dialog_->Sms()->StatusText(); }

  private slots:
    void initTestCase() {
        SetLanguage(0);
        const std::string error = rig_.Start(kScenario);
        QVERIFY2(error.empty(), error.c_str());
        dialog_ = &rig_.Dialog();
        QVERIFY(rig_.ConnectAndSettle());
    }

    // Both stores fill the Inbox; the roaming network shows in words, the signal in dBm.
    void InboxAndNetworkState() {
        QTRY_COMPARE_WITH_TIMEOUT(dialog_->MessageRowCount(), 1, kWaitMs);
        dialog_->TimerFired(kTimerStatusTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QString("LDTA (roaming)"), kWaitMs);
        auto* bar = dialog_->Sms()->findChild<QProgressBar*>("c1021");
        QTRY_COMPARE_WITH_TIMEOUT(bar->toolTip(), QString("-73 dBm"), kWaitMs);
        rig_.Modem().SetRegistration(3);
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QString("Registration denied by the network"), kWaitMs);
        rig_.Modem().SetRegistration(1);
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QString("LDTA"), kWaitMs);
    }

    // The modem's indicator reports move the bar and the words at once, with no +CSQ asked.
    void IndicatorReportsMoveBarAndStatus() {
        const auto polls = [this] {
            const std::vector<std::string> commands = rig_.Modem().Commands();
            return std::count(commands.begin(), commands.end(), "AT+CSQ");
        };
        // The status line's time-out asks for the signal: not while this runs.
        dialog_->KillTimer(kTimerStatusTimeout);
        const auto before = polls();
        auto* bar = dialog_->Sms()->findChild<QProgressBar*>("c1021");
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 5, kWaitMs);
        rig_.Modem().SetSignal(15);
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 3, kWaitMs);
        // The bars alone give no dBm; the last +CSQ's no longer holds.
        QCOMPARE(bar->toolTip(), QString());
        rig_.Modem().PushUnsolicited("+CIEV: 6,1");
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QString("LDTA (roaming)"), kWaitMs);
        rig_.Modem().PushUnsolicited("+CIEV: 6,0");
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QString("LDTA"), kWaitMs);
        QCOMPARE(polls(), before);
        rig_.Modem().SetSignal(20);
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 5, kWaitMs);
    }

    // Reached by a click on the signal bar; copies what it shows.
    void ModemPageShowsTheModem() {
        auto* bar = dialog_->Sms()->findChild<QProgressBar*>("c1021");
        QTest::mouseClick(bar, Qt::LeftButton);
        auto* page = dialog_->findChild<ModemPage*>("modemPage");
        QVERIFY(page);
        QTRY_VERIFY_WITH_TIMEOUT(page->Information().has_value(), kWaitMs);
        const QString text = page->Text();
        for (const char* part :
             {"Manufacturer: Telvane", "Model: ModemSim 900", "Firmware: 1.03",
              "IMEI: 351234567890123", "IMSI: 466920123456789", "Operator: LDTA",
              "Network code: 46692", "Technology: UMTS", "Registration: home network",
              "Signal: -73 dBm", "Message stores: SM 0/30, ME 1/100"})
            QVERIFY2(text.contains(part), qPrintable(text));
        page->findChild<QPushButton*>("modemCopy")->click();
        QCOMPARE(QApplication::clipboard()->text(), text);
        Screenshot(*page, "modem_en");
        page->close();
    }

    void UssdPageBalanceAndMenu() {
        dialog_->Command(CommandId::kSettings);
        dialog_->SettingsView()->findChild<QPushButton*>("ussdButton")->click();
        auto* page = dialog_->findChild<UssdPage*>("ussdPage");
        QVERIFY(page);
        auto* code = page->findChild<QComboBox*>("ussdCode");
        auto* reply = page->findChild<QLineEdit*>("ussdReply");
        auto* answer = page->findChild<QPlainTextEdit*>("ussdAnswer");
        auto* state = page->findChild<QLabel*>("ussdState");

        // What is no code never reaches the modem.
        code->setCurrentText("*100#;ATH");
        page->Send();
        QCOMPARE(state->text(), QString("A code holds only digits, *, # and +"));
        QCOMPARE(rig_.Modem().CountCommands("+CUSD"), 0);

        code->setCurrentText("*100#");
        page->Send();
        QTRY_COMPARE_WITH_TIMEOUT(answer->toPlainText(), QString("您的餘額為 NT$312.50"), kWaitMs);
        QVERIFY(!page->SessionOpen());
        QVERIFY(reply->isHidden());

        code->setCurrentText("*149#");
        page->Send();
        QTRY_VERIFY_WITH_TIMEOUT(page->SessionOpen(), kWaitMs);
        QCOMPARE(answer->toPlainText(), QString("1 Data packs\n2 Roaming"));
        QVERIFY(!reply->isHidden());
        reply->setText("1");
        page->Send();
        QTRY_COMPARE_WITH_TIMEOUT(answer->toPlainText(), QString("1 1 GB\n2 5 GB"), kWaitMs);
        QVERIFY(page->SessionOpen());
        Screenshot(*page, "ussd_en");
        // Cancel ends the session at the modem.
        page->findChild<QPushButton*>("ussdCancel")->click();
        QVERIFY(!page->SessionOpen());
        QVERIFY(rig_.Modem().WaitForCommand("AT+CUSD=2", testing::kHangCeiling));
        // The codes are remembered, the last first.
        QCOMPARE(code->itemText(0), QString("*149#"));
        QCOMPARE(code->itemText(1), QString("*100#"));
        page->close();
    }

    // The same pages in Chinese.
    void ChinesePages() {
        SetLanguage(1);
        ModemPage* modem = dialog_->ShowModemPage();
        QTRY_VERIFY_WITH_TIMEOUT(modem->Information().has_value(), kWaitMs);
        QVERIFY2(modem->Text().contains("註冊: 本地網路"), qPrintable(modem->Text()));
        Screenshot(*modem, "modem_zh");
        modem->close();
        UssdPage* ussd = dialog_->ShowUssdPage();
        ussd->findChild<QComboBox*>("ussdCode")->setCurrentText("*100#");
        ussd->Send();
        QTRY_COMPARE_WITH_TIMEOUT(ussd->Answer(), QString("您的餘額為 NT$312.50"), kWaitMs);
        Screenshot(*ussd, "ussd_zh");
        ussd->close();
        SetLanguage(0);
    }
};

// A data folder of its own: never the user's Inbox or history.
int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    ModemPagesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "modem_pages_test.moc"
