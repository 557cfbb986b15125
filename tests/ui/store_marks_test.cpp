// The Inbox on the demo SIM, offscreen: the two messages kept in the phone's memory carry its
// mark and tip, in both languages; the SIM's carry none.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "control/ui_strings.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/sms_page.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;

}  // namespace

class StoreMarksTest : public QObject {
    Q_OBJECT

  private:
    testing::WindowRig rig_;
    MainDialog* dialog_ = nullptr;

    // The marked rows' mark, tip and text, in the list's order.
    QStringList Marked() const {
        QStringList marked;
        const ListView* list = dialog_->Sms()->List();
        for (int row = 0; row < list->RowCount(); ++row) {
            const ListRow* shown = list->Row(row);
            if (shown == nullptr || shown->texts.value(0).isEmpty()) continue;
            marked << shown->texts.value(0) + " | " + shown->tips.value(0) + " | " +
                          shown->texts.value(3).left(12);
        }
        marked.sort();
        return marked;
    }

  private slots:
    void initTestCase() {
        SetLanguage(0);
        QFile demo(TELVANE_SOURCE_DIR "/data/demo-sim.ini");
        QVERIFY(demo.open(QIODevice::ReadOnly));
        const std::string error = rig_.Start(demo.readAll().toStdString());
        QVERIFY2(error.empty(), error.c_str());
        dialog_ = &rig_.Dialog();
        QVERIFY(rig_.ConnectAndSettle());
    }

    void PhoneMessagesAreMarked() {
        // Twelve on the SIM, two in the phone.
        QTRY_COMPARE_WITH_TIMEOUT(dialog_->MessageRowCount(), 14, kWaitMs);
        QCOMPARE(Marked(), (QStringList{"ME | In the phone's memory | Kept in the ",
                                        "ME | In the phone's memory | 手機記憶體裡的短訊：週末"}));
        SetLanguage(1);
        dialog_->Controller().Folders().ShowFolder(0);
        QCOMPARE(Marked(), (QStringList{"ME | 存於手機記憶體 | Kept in the ",
                                        "ME | 存於手機記憶體 | 手機記憶體裡的短訊：週末"}));
        SetLanguage(0);
        dialog_->Controller().Folders().ShowFolder(0);
    }
};

// A data folder of its own: never the user's Inbox or history.
int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    StoreMarksTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "store_marks_test.moc"
