// The real window on a simulated modem whose SIM is locked by its PIN.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <algorithm>

#include "control/ui_strings.h"
#include "ui/main_dialog.h"
#include "ui/pin_dialog.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;

// Answers each PIN dialog as it opens with the next of `answers` (Cancel when none is left),
// noting what the dialog said.
class PinAnswerer : public QObject {
  public:
    explicit PinAnswerer(QStringList answers) : answers_(std::move(answers)) {
        qApp->installEventFilter(this);
    }
    QStringList said;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<PinDialog*>(watched);
        if (dialog && event->type() == QEvent::Show) {
            QStringList texts;
            for (const QLabel* label : dialog->findChildren<QLabel*>()) {
                if (label->isVisibleTo(dialog) && !label->text().isEmpty()) texts << label->text();
            }
            said << texts.join('|');
            QMetaObject::invokeMethod(
                dialog,
                [this, dialog] {
                    if (answers_.isEmpty()) {
                        dialog->reject();
                        return;
                    }
                    dialog->findChild<QLineEdit*>("pin")->setText(answers_.takeFirst());
                    dialog->accept();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

  private:
    QStringList answers_;
};

int CommandsSent(modemsim::SimulatedModem& modem, const std::string& command) {
    const auto lines = modem.Transcript();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& entry) {
        return entry.kind == modemsim::TranscriptEntry::Kind::Command && entry.text == command;
    }));
}

}  // namespace

class PinWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { SetLanguage(0); }

    // The window asks for the PIN; a wrong one is said and never sent again by itself, and the
    // right one connects.
    void AWrongPinIsSaidAndTheRightOneConnects() {
        testing::WindowRig rig;
        const std::string error = rig.Start("[sim]\nstate = pin\npin = 1234\n");
        QVERIFY2(error.empty(), error.c_str());
        MainDialog& dialog = rig.Dialog();
        {
            PinAnswerer answerer({"0000"});  // then Cancel
            dialog.Command(CommandId::kConnect);
            QTRY_VERIFY_WITH_TIMEOUT(answerer.said.size() == 2 && !dialog.Controller().IsBusy() &&
                                         !dialog.Controller().HasEngine(),
                                     kWaitMs);
            QCOMPARE(answerer.said,
                     (QStringList{"Enter the SIM's PIN|3 attempts left|PIN",
                                  "Wrong PIN|Enter the SIM's PIN|2 attempts left|PIN"}));
        }
        QCOMPARE(CommandsSent(rig.Modem(), "AT+CPIN=\"0000\""), 1);

        PinAnswerer answerer({"1234"});
        dialog.Command(CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Controller().IsOnline(), kWaitMs);
        QCOMPARE(answerer.said, QStringList{"Enter the SIM's PIN|2 attempts left|PIN"});
        QCOMPARE(CommandsSent(rig.Modem(), "AT+CPIN=\"0000\""), 1);
        QCOMPARE(CommandsSent(rig.Modem(), "AT+CPIN=\"1234\""), 1);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    PinWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "pin_window_test.moc"
