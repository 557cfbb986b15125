// The window's own dialogs at a scale: the PIN dialog, the file dialogs, the import preview and
// the Modem and USSD pages draw their text in the window's face and size, not the desktop's small
// one.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

#include "control/window_interface.h"
#include "ui/import_preview.h"
#include "ui/main_dialog.h"
#include "ui/phonebook_page.h"
#include "ui/pin_dialog.h"
#include "ui/sms_page.h"
#include "window_rig.h"

using namespace telvane;
namespace fs = std::filesystem;

namespace {

// Looks at each dialog as it shows, then closes it: what differs from the window's face.
class DialogWatcher : public QObject {
  public:
    explicit DialogWatcher(QFont face) : face_(std::move(face)) { qApp->installEventFilter(this); }

    QStringList faults;
    int seen = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (!dialog || event->type() != QEvent::Show) return false;
        ++seen;
        const QString name = dialog->metaObject()->className();
        // A desktop's own file dialog is drawn outside the window's style and face.
        if (auto* files = qobject_cast<QFileDialog*>(dialog);
            files && !files->testOption(QFileDialog::DontUseNativeDialog)) {
            faults << name + " may be the desktop's own";
        }
        Check(name, dialog);
        for (QWidget* w : dialog->findChildren<QWidget*>()) {
            if (w->isVisibleTo(dialog)) Check(name, w);
        }
        QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        return false;
    }

  private:
    void Check(const QString& dialog, QWidget* w) {
        const QFont font = w->font();
        if (font.pixelSize() != face_.pixelSize() || font.family() != face_.family()) {
            faults << QString("%1: %2 %3 in %4 %5 px")
                          .arg(dialog, w->metaObject()->className(), w->objectName(), font.family())
                          .arg(font.pixelSize() > 0 ? font.pixelSize() : font.pointSize());
        }
    }

    QFont face_;
};

}  // namespace

class DialogScaleTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;

  private slots:
    void DialogsTakeTheWindowsFace_data() {
        QTest::addColumn<QString>("which");
        QTest::addColumn<bool>("chinese");
        for (bool chinese : {false, true}) {
            for (const char* which : {"pin", "puk", "export csv", "export vcard", "import",
                                      "import preview", "modem", "ussd"})
                QTest::addRow("%s %s", which, chinese ? "zh" : "en") << QString(which) << chinese;
        }
    }
    void DialogsTakeTheWindowsFace() {
        QFETCH(QString, which);
        QFETCH(bool, chinese);
        const fs::path root = dir_.path().toStdString();
        fs::remove_all(root / "config");
        MainDialog dialog(testing::OfflineOptions(root, 2.0));
        dialog.show();
        dialog.Command(CommandId::kSettings);
        static_cast<QComboBox*>(dialog.Control(1042))->setCurrentIndex(chinese ? 0 : 1);
        static_cast<QPushButton*>(dialog.Control(1043))->click();
        // Twice the first size's face: the check would pass on an unscaled window.
        QVERIFY(dialog.CurrentUiFont().pixelSize() >= 2 * 11);

        DialogWatcher watcher(dialog.CurrentUiFont());
        if (which == "pin" || which == "puk") {
            QVERIFY(!dialog.AskSimCodes(which == "puk", 3, true));
        } else if (which == "export csv") {
            dialog.Command(CommandId::kMessages);
            dialog.Sms()->findChild<QAction*>("exportCsv")->trigger();
        } else if (which == "modem") {
            dialog.ShowModemPage();
        } else if (which == "ussd") {
            dialog.ShowUssdPage();
        } else if (which == "import preview") {
            dialog.Command(CommandId::kPhonebook);
            const QString file = dir_.filePath("import.csv");
            QFile csv(file);
            QVERIFY(csv.open(QIODevice::WriteOnly));
            csv.write("+886912000111,Quinn\n");
            csv.close();
            const std::unique_ptr<ImportPreview> preview = dialog.Phonebook()->PreviewImport(file);
            QVERIFY(preview);
            preview->exec();
        } else {
            dialog.Command(CommandId::kPhonebook);
            dialog.Phonebook()
                ->findChild<QAction*>(which == "import" ? "importFile" : "exportVCard")
                ->trigger();
        }
        QCOMPARE(watcher.seen, 1);
        QVERIFY2(watcher.faults.isEmpty(), qPrintable(watcher.faults.join("\n")));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    qunsetenv("TELVANE_SCALE");
    QApplication app(argc, argv);
    DialogScaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dialog_scale_test.moc"
