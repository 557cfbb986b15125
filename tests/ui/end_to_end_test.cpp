// The real window against the simulated modem on a pty, at a small time scale: connecting fills
// the Inbox from the SIM, texts and pictures are sent, a phonebook edit reaches the SIM.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "control/ui_strings.h"
#include "ui/compose_page.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/phonebook_page.h"
#include "ui/picture_editor.h"
#include "ui/sms_page.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;

const char kScenario[] =
    "[messages]\n"
    "1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7\n"
    "2 = REC READ | +886955000111 | 26/12/02,10:00:00+32 | Second\n"
    "[phonebook]\n"
    "capacity = 20\n"
    "number_limit = 20\n"
    "text_limit = 14\n"
    "1 = +886912345678 | Amy Chen\n"
    "3 = 0227001234 | Office\n";

using testing::ReadFolder;

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

  private:
    testing::WindowRig rig_;
    modemsim::SimulatedModem* modem_ = nullptr;
    MainDialog* dialog_ = nullptr;
    QStringList boxes_;

    ListView* List() { return dialog_->Sms()->List(); }

  private slots:
    void initTestCase() {
        SetLanguage(0);
        const std::string error = rig_.Start(
            kScenario,
            [](SettingsStore& store) {
                QVERIFY(store.SetNumber(MainDialog::kSettingsKey, "SyncSIMPbk", 1));
            },
            [this](const QString& text) { boxes_ << text; });
        QVERIFY2(error.empty(), error.c_str());
        modem_ = &rig_.Modem();
        dialog_ = &rig_.Dialog();
    }

    void ConnectFillsTheInbox() {
        dialog_->Command(CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->Controller().IsOnline(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy() && dialog_->MessageRowCount() == 2,
                                 kWaitMs);
        QVERIFY(dialog_->isEnabled());
        QCOMPARE(List()->Text(0, 3), QString("Second"));  // newest first
        QCOMPARE(ReadFolder(FolderId::Inbox).size(), size_t{2});
        QVERIFY(boxes_.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
        // The SIM phonebook, read on connecting, names the sender; the number stays in the tip.
        QTRY_COMPARE_WITH_TIMEOUT(List()->Text(1, 1), QString("Amy Chen"), kWaitMs);
        QCOMPARE(List()->model()->index(1, 1).data(Qt::ToolTipRole).toString(),
                 QString("+886912345678"));
        // Opening a line shows it.
        List()->SelectRow(1);
        QCOMPARE(dialog_->DetailBody(), std::u16string(u"See you at 7"));
    }

    void TextToTwoRecipients() {
        dialog_->Command(CommandId::kCompose);
        dialog_->SetRecipientText(u"0911111111;0922222222");
        dialog_->SetMessageText(u"Hello from the window");
        testing::ClickControl(*dialog_, 1028);
        QVERIFY(boxes_.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(modem_->SubmittedPdus().size() == 2, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(ReadFolder(FolderId::Sent).size() == 1, kWaitMs);
        std::vector<std::string> pdus = modem_->SubmittedPdus();
        // Destination 0911111111 in swapped semi-octets, then the other recipient.
        QVERIFY2(pdus[0].find("0A819011111111") != std::string::npos, pdus[0].c_str());
        QVERIFY2(pdus[1].find("0A819022222222") != std::string::npos, pdus[1].c_str());
        QCOMPARE(ReadFolder(FolderId::Sent)[0].text, std::u16string(u"Hello from the window"));
        QVERIFY(ReadFolder(FolderId::Outbox).empty());
        // The sent message left the Compose page blank for the next one.
        QCOMPARE(dialog_->ComposeText(), std::u16string());
        QCOMPARE(dialog_->RecipientText(), std::u16string());
    }

    void PictureInThreeSegments() {
        // Send is refused with a beep while the Outbox run still ticks.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
        const size_t before = modem_->SubmittedPdus().size();
        dialog_->Command(CommandId::kCompose);
        testing::ClickControl(*dialog_, 1064);
        QCOMPARE(dialog_->CurrentComposeMode(), ComposeMode::kPicture);
        dialog_->Picture()->PenDown({0, 0});
        dialog_->Picture()->PenUp({60, 30});
        dialog_->SetRecipientText(u"0933333333");
        testing::ClickControl(*dialog_, 1028);
        QVERIFY(boxes_.isEmpty());
        if (!QTest::qWaitFor([&] { return modem_->SubmittedPdus().size() == before + 3; },
                             kWaitMs)) {
            for (const auto& e : modem_->Transcript()) {
                qDebug() << e.ms << modemsim::KindName(e.kind) << e.text.substr(0, 50).c_str();
            }
            QFAIL("the picture's three segments were not submitted");
        }
        std::vector<std::string> pdus = modem_->SubmittedPdus();
        for (int segment = 1; segment <= 3; ++segment) {
            const std::string& pdu = pdus[before + segment - 1];
            // To port 5514, part `segment` of 3.
            QVERIFY2(pdu.find("0504158A") != std::string::npos, pdu.c_str());
            QVERIFY2(
                pdu.find("00030103" + std::string("0") + char('0' + segment)) != std::string::npos,
                pdu.c_str());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
    }

    void TypedLongTextLeavesInTwoParts() {
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
        const size_t before = modem_->SubmittedPdus().size();
        dialog_->Command(CommandId::kCompose);
        if (dialog_->CurrentComposeMode() == ComposeMode::kPicture)
            testing::ClickControl(*dialog_, 1064);
        dialog_->SetRecipientText(u"0944444444");
        QString text;
        for (int i = 0; i < 170; ++i)
            text += QChar('a' + i % 26);
        QWidget* box = dialog_->Control(1018);
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
        }
        QCOMPARE(static_cast<QLabel*>(dialog_->Control(1026))->text(), QString("170/306 (2 SMS)"));
        testing::ClickControl(*dialog_, 1028);
        QVERIFY(boxes_.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(modem_->SubmittedPdus().size() == before + 2, kWaitMs);
        const std::vector<std::string> pdus = modem_->SubmittedPdus();
        for (int part = 1; part <= 2; ++part) {
            // An 8-bit concatenation header: part `part` of 2.
            const std::string& pdu = pdus[before + part - 1];
            QVERIFY2(pdu.find("050003") != std::string::npos, pdu.c_str());
            QVERIFY2(pdu.find("02" + std::string("0") + char('0' + part)) != std::string::npos,
                     pdu.c_str());
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            !ReadFolder(FolderId::Sent).empty() &&
                ReadFolder(FolderId::Sent).back().text == text.toStdU16String(),
            kWaitMs);
        // The next test starts on an idle window.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
    }

    void PhonebookEditReachesTheSim() {
        dialog_->Command(CommandId::kPhonebook);
        ListView* list = dialog_->Phonebook()->List();
        int office = -1;
        for (int i = 0; i < list->RowCount(); ++i) {
            if (list->Text(i, 1) == "3") office = i;
        }
        QVERIFY(office >= 0);
        QCOMPARE(list->Text(office, 2), QString("Office"));
        list->SelectRow(office);
        testing::ClickControl(*dialog_, 1030);
        static_cast<QLineEdit*>(dialog_->Control(1055))->setText("Office 2");
        testing::ClickControl(*dialog_, 1058);
        QTRY_VERIFY_WITH_TIMEOUT(modem_->CountCommands("+CPBW=3") > 0, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const auto& c : modem_->Phonebook()) {
                    if (c.index == 3) return c.name == "Office 2";
                }
                return false;
            }(),
            kWaitMs);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    EndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "end_to_end_test.moc"
