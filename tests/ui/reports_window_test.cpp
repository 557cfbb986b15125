// The real window on the simulated modem with delivery reports asked for on the Settings page:
// the Sent message shows each recipient's report as it comes, and a send to several recipients
// keeps the window busy only while the modem works on it.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <set>

#include "control/delivery_state.h"
#include "control/ui_strings.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/sms_page.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;

// Reports come only when a test asks the network for them; each submission's answer waits
// long enough for the status line's count to be seen.
const char kScenario[] =
    "[network]\n"
    "report_delay = 600000\n"
    "[faults]\n"
    "delay +CMGS = 250\n";

using testing::ReadFolder;

// The recipients' entries of the Sent message with `text`; empty while it is not there.
std::vector<DeliveryEntry> SentEntries(const std::u16string& text) {
    for (const SmsRecord& record : ReadFolder(FolderId::Sent)) {
        if (record.text != text) continue;
        if (auto entries = ParseDeliveryEntries(record.extra)) return *entries;
    }
    return {};
}

}  // namespace

class ReportsWindowTest : public QObject {
    Q_OBJECT

  private:
    testing::WindowRig rig_;
    modemsim::SimulatedModem* modem_ = nullptr;
    MainDialog* dialog_ = nullptr;
    QStringList boxes_;

    // Sends `text` from the Compose page and waits until the Sent folder holds it.
    void Send(const char16_t* recipients, const std::u16string& text) {
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
        dialog_->Command(CommandId::kCompose);
        dialog_->SetRecipientText(recipients);
        dialog_->SetMessageText(text);
        testing::ClickControl(*dialog_, 1028);
        QVERIFY(boxes_.isEmpty());
    }

    // The reading pane's time line for the Sent message with `text`, opened from the list.
    QString OpenSent(const QString& text) {
        dialog_->Sms()->Tabs()->setCurrentIndex(FolderTab(FolderId::Sent));
        ListView* list = dialog_->Sms()->List();
        for (int row = 0; row < dialog_->MessageRowCount(); ++row) {
            if (list->Text(row, 3) != text) continue;
            list->SelectRow(row);
            return static_cast<QLabel*>(dialog_->Control(1020))->text();
        }
        return "(not in Sent)";
    }

  private slots:
    void initTestCase() {
        SetLanguage(0);
        const std::string error =
            rig_.Start(kScenario, nullptr, [this](const QString& text) { boxes_ << text; });
        QVERIFY2(error.empty(), error.c_str());
        modem_ = &rig_.Modem();
        dialog_ = &rig_.Dialog();
        dialog_->Command(CommandId::kSettings);
        auto* reports = dialog_->findChild<QCheckBox*>("deliveryReports");
        QVERIFY(reports && !reports->isChecked());
        reports->click();
        testing::ClickControl(*dialog_, 1043);
        QVERIFY(dialog_->Settings().deliveryReports);
        dialog_->Command(CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->Controller().IsOnline(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
    }

    // Pending until the network reports, then what it reported, per recipient.
    void SentShowsEachReport_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown");
        QTest::newRow("delivered") << 0 << "+886912345678: Delivered";
        QTest::newRow("failed") << 64 << "+886912345678: Failed";
    }
    void SentShowsEachReport() {
        QFETCH(int, status);
        QFETCH(QString, shown);
        const std::u16string text = u"Report " + QString::number(status).toStdU16String();
        Send(u"+886912345678", text);
        QTRY_VERIFY_WITH_TIMEOUT(SentEntries(text).size() == 1, kWaitMs);
        const DeliveryEntry sent = SentEntries(text)[0];
        QCOMPARE(sent.state, DeliveryState::kPending);
        QVERIFY(modem_->SubmittedPdus().size() >= 1);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
        QVERIFY(OpenSent(QString::fromStdU16String(text)).endsWith("+886912345678: Pending"));

        QVERIFY(modem_->ReportStatus(sent.reference, status));
        QTRY_VERIFY_WITH_TIMEOUT(SentEntries(text)[0].state != DeliveryState::kPending, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(OpenSent(QString::fromStdU16String(text)).endsWith(shown),
                                 kWaitMs);
    }

    // The count shows while the modem works; the window is free right after the last answer.
    void ThreeRecipientsBusyOnlyWhileTheModemWorks() {
        const std::u16string text = u"To three";
        const size_t before = modem_->SubmittedPdus().size();
        Send(u"0911111111;0922222222;0933333333", text);
        std::set<QString> counts;
        const bool sent = QTest::qWaitFor(
            [&] {
                if (testing::StatusLine(*dialog_).startsWith("Sending ")) {
                    counts.insert(testing::StatusLine(*dialog_));
                    if (!dialog_->Controller().IsBusy()) return true;  // fails below
                }
                return modem_->SubmittedPdus().size() == before + 3;
            },
            kWaitMs);
        QVERIFY(sent);
        QCOMPARE(modem_->SubmittedPdus().size(), before + 3);
        QVERIFY2(counts.count("Sending 2 of 3") == 1 && counts.count("Sending 3 of 3") == 1,
                 qPrintable(QStringList(counts.begin(), counts.end()).join(", ")));
        QTRY_VERIFY_WITH_TIMEOUT(SentEntries(text).size() == 3, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
        QVERIFY(ReadFolder(FolderId::Outbox).empty());
        QVERIFY(boxes_.isEmpty());
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    ReportsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "reports_window_test.moc"
