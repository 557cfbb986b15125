// Copy, Paste and Cut from the command bar and from the keys act once on the focused widget: a
// text box's selection, a list's ticked rows (or the selected one), and nothing on a button.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "store/message_store.h"
#include "store/phonebook_table.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/phonebook_page.h"
#include "ui/sms_page.h"
#include "window_rig.h"

using namespace telvane;

namespace {

// How the user gives the command: the bar's button or its key.
enum class By { kButton, kKey };

const SmsRecord kDrafts[] = {
    {-1, u"STO UNSENT", u"0911000111", u"", u"26/12/01,09:00:00", u"First draft\r\nline two"},
    {-1, u"STO UNSENT", u"0922000222", u"", u"26/12/02,09:00:00", u"Second draft"},
};

}  // namespace

Q_DECLARE_METATYPE(By)
Q_DECLARE_METATYPE(CommandId)

class EditCommandsTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::unique_ptr<MainDialog> dialog_;
    QStringList questions_;
    int beeps_ = 0;

    void Give(CommandId id, By by) {
        if (by == By::kButton) {
            auto* bar = dialog_->findChild<QToolBar*>("commandBar");
            QWidget* button = bar->widgetForAction(dialog_->CommandAction(id));
            QVERIFY(button && button->isEnabled());
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
        const Qt::Key key = id == CommandId::kCopy    ? Qt::Key_C
                            : id == CommandId::kPaste ? Qt::Key_V
                                                      : Qt::Key_X;
        QTest::keyClick(QApplication::focusWidget(), key, Qt::ControlModifier);
    }

    static QString TextOf(QWidget* box) {
        if (auto* line = qobject_cast<QLineEdit*>(box)) return line->text();
        return static_cast<QPlainTextEdit*>(box)->toPlainText();
    }

    // The Draft folder shown, its rows in file order.
    ListView* ShowDrafts() {
        dialog_->Command(CommandId::kMessages);
        QTabBar* tabs = dialog_->Sms()->Tabs();
        QTest::mouseClick(tabs, Qt::LeftButton, {},
                          tabs->tabRect(FolderTab(FolderId::Draft)).center());
        ListView* list = dialog_->Sms()->List();
        list->SortBy(-1, Qt::AscendingOrder);
        return list;
    }

    void ClickRow(ListView* list, int row, bool tick) {
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          tick ? QPoint(rect.left() + 8, rect.center().y()) : rect.center());
    }

  private slots:
    void initTestCase() {
        qRegisterMetaType<By>();
        SetLanguage(0);
        MessageStore store;
        for (const SmsRecord& record : kDrafts)
            QVERIFY(store.AddShown(record));
        QVERIFY(store.SaveShown(FolderId::Draft));
        PhonebookTable sim;
        sim.SetLimits(20, 14, 10);
        sim.UpdateEntry(1, u"Amy Chen", u"0912345678");
        sim.UpdateEntry(3, u"Office", u"0227001234");
        QVERIFY(sim.SaveFile(qEnvironmentVariable("TELVANE_HOME").toStdString() + "/simpbk.acr"));
        MainDialogOptions options;
        options.scale = 1.0;
        options.settingsFile = dir_.filePath("settings.conf").toStdString();
        options.sysRoot = dir_.filePath("none").toStdString();
        options.devRoot = dir_.filePath("none").toStdString();
        options.contactsFolder = dir_.filePath("contacts").toStdString();
        options.messageBox = [](const QString&) {};
        options.confirm = [this](const QString& question) {
            questions_ << question;
            return true;
        };
        options.beep = [this] { ++beeps_; };
        dialog_ = std::make_unique<MainDialog>(options);
        dialog_->show();
        dialog_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
    }

    void init() {
        questions_.clear();
        beeps_ = 0;
        QApplication::clipboard()->setText("on the clipboard");
    }

    void TextBoxes_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("box");
        QTest::addColumn<CommandId>("command");
        QTest::addColumn<By>("by");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<QString>("clipboardAfter");
        QTest::addColumn<int>("beeps");
        const QString typed = "0911222333";
        const QString clip = "on the clipboard";
        for (By by : {By::kButton, By::kKey}) {
            const char* how = by == By::kButton ? "button" : "key";
            QTest::addRow("recipients, copy, %s", how)
                << int(kPageCompose) << 1024 << CommandId::kCopy << by << typed << typed << 0;
            QTest::addRow("recipients, cut, %s", how)
                << int(kPageCompose) << 1024 << CommandId::kCut << by << "" << typed << 0;
            QTest::addRow("recipients, paste, %s", how)
                << int(kPageCompose) << 1024 << CommandId::kPaste << by << clip << clip << 0;
            QTest::addRow("message, cut, %s", how)
                << int(kPageCompose) << 1018 << CommandId::kCut << by << "" << typed << 0;
            QTest::addRow("message, paste, %s", how)
                << int(kPageCompose) << 1018 << CommandId::kPaste << by << clip << clip << 0;
        }
        // The reading pane is read-only: it copies, and refuses a paste with a beep.
        QTest::addRow("reading pane, copy")
            << int(kPageMessages) << 1018 << CommandId::kCopy << By::kButton << typed << typed << 0;
        QTest::addRow("reading pane, paste")
            << int(kPageMessages) << 1018 << CommandId::kPaste << By::kButton << typed << clip << 1;
    }

    void TextBoxes() {
        QFETCH(int, page);
        QFETCH(int, box);
        QFETCH(CommandId, command);
        QFETCH(By, by);
        QFETCH(QString, textAfter);
        QFETCH(QString, clipboardAfter);
        QFETCH(int, beeps);
        dialog_->Command(page == kPageCompose ? CommandId::kCompose : CommandId::kMessages);
        QWidget* widget = dialog_->Control(box);
        QVERIFY(widget && widget->isVisible());
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            line->setText("0911222333");
            line->selectAll();
        } else {
            auto* plain = static_cast<QPlainTextEdit*>(widget);
            plain->setPlainText("0911222333");
            plain->selectAll();
        }
        widget->setFocus();
        QCOMPARE(QApplication::focusWidget(), widget);
        Give(command, by);
        QCOMPARE(TextOf(widget), textAfter);
        QCOMPARE(QApplication::clipboard()->text(), clipboardAfter);
        QCOMPARE(beeps_, beeps);
    }

    // With the focus on a button the commands and Delete change nothing.
    void ButtonTakesNothing() {
        dialog_->Command(CommandId::kCompose);
        auto* to = static_cast<QLineEdit*>(dialog_->Control(1024));
        to->setText("0911");
        QWidget* send = dialog_->Control(1028);
        send->setFocus();
        for (CommandId id : {CommandId::kCopy, CommandId::kPaste, CommandId::kCut}) {
            Give(id, By::kKey);
            Give(id, By::kButton);
        }
        QTest::keyClick(send, Qt::Key_Delete);
        QCOMPARE(to->text(), QString("0911"));
        QCOMPARE(QApplication::clipboard()->text(), QString("on the clipboard"));
    }

    void MessageList_data() {
        QTest::addColumn<By>("by");
        QTest::newRow("button") << By::kButton;
        QTest::newRow("key") << By::kKey;
    }

    // The selected message, then the ticked ones; a paste changes no folder.
    void MessageList() {
        QFETCH(By, by);
        ListView* list = ShowDrafts();
        QCOMPARE(list->RowCount(), 2);
        ClickRow(list, 1, false);
        list->setFocus();
        Give(CommandId::kCopy, by);
        QCOMPARE(QApplication::clipboard()->text(),
                 QString("0922000222  %1\nSecond draft\n").arg(list->Text(1, 2)));
        ClickRow(list, 0, true);
        ClickRow(list, 1, true);
        QCOMPARE(list->TickedCount(), 2);
        Give(CommandId::kCopy, by);
        const QString both = QApplication::clipboard()->text();
        QVERIFY2(both.contains("First draft\nline two\n") && both.contains("Second draft\n"),
                 qPrintable(both));
        Give(CommandId::kPaste, by);
        QCOMPARE(beeps_, 1);
        QCOMPARE(list->RowCount(), 2);
        QCOMPARE(testing::ReadFolder(FolderId::Draft).size(), size_t{2});
        list->TickAll(false);
    }

    // Cut copies the selected message and deletes it after the Delete question.
    void MessageListCut() {
        ListView* list = ShowDrafts();
        ClickRow(list, 0, false);
        list->setFocus();
        Give(CommandId::kCut, By::kKey);
        QCOMPARE(questions_.size(), 1);
        QVERIFY(QApplication::clipboard()->text().contains("First draft\nline two"));
        const std::vector<SmsRecord> left = testing::ReadFolder(FolderId::Draft);
        QCOMPARE(left.size(), size_t{1});
        QCOMPARE(left[0].text, std::u16string(u"Second draft"));
        QCOMPARE(list->RowCount(), 1);
        QCOMPARE(list->TickedCount(), 0);
    }

    void PhonebookList() {
        dialog_->Command(CommandId::kPhonebook);
        ListView* list = dialog_->Phonebook()->List();
        QTRY_VERIFY(list->RowCount() >= 2);
        int amy = -1;
        for (int row = 0; row < list->RowCount(); ++row) {
            if (list->Text(row, 2) == "Amy Chen") amy = row;
        }
        QVERIFY(amy >= 0);
        ClickRow(list, amy, false);
        list->setFocus();
        Give(CommandId::kCopy, By::kKey);
        QCOMPARE(QApplication::clipboard()->text(), QString("Amy Chen\t0912345678\n"));
        Give(CommandId::kCopy, By::kButton);
        QCOMPARE(QApplication::clipboard()->text(), QString("Amy Chen\t0912345678\n"));
        Give(CommandId::kPaste, By::kKey);
        QCOMPARE(beeps_, 1);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    EditCommandsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "edit_commands_test.moc"
