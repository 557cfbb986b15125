// The window for a screen reader and the keyboard: every control a user can act on has a name
// in the interface's language, every command a key, and Tab walks the page in reading order.
#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <filesystem>
#include <set>

#include "control/window_interface.h"
#include "ui/main_dialog.h"
#include "ui/phonebook_page.h"
#include "ui/sms_page.h"

using namespace telvane;
namespace fs = std::filesystem;

namespace {

// Roles of what a user acts on; static texts, pictures and cells are read as their parents'.
bool Interactive(QAccessible::Role role) {
    static const std::set<QAccessible::Role> kRoles = {
        QAccessible::PushButton, QAccessible::CheckBox,       QAccessible::RadioButton,
        QAccessible::ComboBox,   QAccessible::EditableText,   QAccessible::SpinBox,
        QAccessible::Slider,     QAccessible::PageTab,        QAccessible::PageTabList,
        QAccessible::List,       QAccessible::Table,          QAccessible::Tree,
        QAccessible::ButtonMenu, QAccessible::ButtonDropDown, QAccessible::ProgressBar,
    };
    return kRoles.count(role) > 0;
}

// "role name (object)" of every shown interactive control without a name; `seen` counts the
// interactive controls walked.
void Nameless(QAccessibleInterface* node, QStringList& found, int& seen, int depth = 0) {
    if (!node || depth > 40) return;
    const QAccessible::State state = node->state();
    if (state.invisible || state.offscreen) return;
    seen += Interactive(node->role()) ? 1 : 0;
    if (Interactive(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
        QObject* object = node->object();
        found << QString("%1 %2 (%3)")
                     .arg(node->role())
                     .arg(object ? object->metaObject()->className() : "?")
                     .arg(object ? object->objectName() : QString());
    }
    // Rows of a list are its data, named by their own texts.
    if (node->role() == QAccessible::Table || node->role() == QAccessible::Tree ||
        node->role() == QAccessible::List)
        return;
    for (int i = 0; i < node->childCount(); ++i)
        Nameless(node->child(i), found, seen, depth + 1);
}

}  // namespace

class AccessTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;

    std::unique_ptr<MainDialog> Open() {
        const fs::path root = dir_.path().toStdString();
        MainDialogOptions options;
        options.scale = 1.0;
        options.settingsFile = root / "config/settings.conf";
        options.sysRoot = root / "none";
        options.devRoot = root / "none";
        options.contactsFolder = root / "contacts";
        options.messageBox = [](const QString&) {};
        options.confirm = [](const QString&) { return false; };
        auto dialog = std::make_unique<MainDialog>(options);
        dialog->show();
        return dialog;
    }

    static void Choose(MainDialog& dialog, bool chinese) {
        dialog.Command(CommandId::kSettings);
        static_cast<QComboBox*>(dialog.Control(1042))->setCurrentIndex(chinese ? 0 : 1);
        static_cast<QPushButton*>(dialog.Control(1043))->click();
    }

    // Each page, and the entry panel, as the user can reach them.
    static void EveryPage(MainDialog& dialog, const std::function<void(const char*)>& check) {
        dialog.Command(CommandId::kMessages);
        check("sms");
        dialog.Command(CommandId::kCompose);
        check("compose");
        dialog.Command(CommandId::kPhonebook);
        check("phonebook");
        static_cast<QPushButton*>(dialog.Control(1046))->click();
        check("entry panel");
        dialog.Command(CommandId::kSettings);
        check("settings");
        static_cast<QPushButton*>(dialog.Control(1067))->click();
        check("about");
    }

  private slots:
    void init() {
        SetLanguage(0);
        fs::remove_all(fs::path(dir_.path().toStdString()) / "config");
    }

    // A screen reader finds a name for every control, in either language and layout.
    void EveryControlHasAName_data() {
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<bool>("wide");
        for (bool chinese : {false, true}) {
            for (bool wide : {false, true})
                QTest::addRow("%s %s", chinese ? "zh" : "en", wide ? "wide" : "first")
                    << chinese << wide;
        }
    }
    void EveryControlHasAName() {
        QFETCH(bool, chinese);
        QFETCH(bool, wide);
        auto dialog = Open();
        Choose(*dialog, chinese);
        if (wide) dialog->resize(900, 500);
        QStringList found;
        EveryPage(*dialog, [&](const char* page) {
            QStringList nameless;
            int seen = 0;
            Nameless(QAccessible::queryAccessibleInterface(dialog.get()), nameless, seen);
            // The walk reached the page's controls: at least its command bar and a list or box.
            if (seen < 10) found << QString("%1: only %2 controls walked").arg(page).arg(seen);
            for (const QString& n : nameless)
                found << QString("%1: %2").arg(page, n);
        });
        QVERIFY2(found.isEmpty(), qPrintable(found.join("\n")));
    }

    // Every command of the bar and every button of a page can be reached by a key, and the
    // tips say which.
    void EveryCommandHasAKey() {
        auto dialog = Open();
        QStringList missing;
        for (QAction* action : dialog->findChild<QToolBar*>("commandBar")->actions()) {
            if (action->shortcut().isEmpty()) missing << action->text();
        }
        EveryPage(*dialog, [&](const char* page) {
            for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
                if (!button->isVisible() || !button->isEnabled()) continue;
                if (button->shortcut().isEmpty())
                    missing << QString("%1: %2").arg(page, button->text());
                else if (!button->toolTip().contains(
                             button->shortcut().toString(QKeySequence::NativeText)))
                    missing << QString("%1: %2's tip").arg(page, button->text());
            }
        });
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join("\n")));
    }

    // Tab goes through the SMS page as it reads: top to bottom at the first size, left to right
    // wide.
    void TabFollowsTheLayout_data() {
        QTest::addColumn<bool>("wide");
        QTest::addRow("first") << false;
        QTest::addRow("wide") << true;
    }
    void TabFollowsTheLayout() {
        QFETCH(bool, wide);
        auto dialog = Open();
        if (wide) dialog->resize(900, 500);
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        SmsPage* sms = dialog->Sms();
        QWidget* start = wide ? static_cast<QWidget*>(sms->FolderList()) : dialog->Control(1018);
        start->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return start->hasFocus(); }));
        QWidget* previous = start;
        for (int step = 0; step < 12; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            if (now == start) break;
            if (!sms->isAncestorOf(now)) continue;
            const QPoint was = previous->mapTo(sms, QPoint());
            const QPoint is = now->mapTo(sms, QPoint());
            // Forward in reading order: further down, or to the right on the same band.
            const bool forward =
                wide ? is.x() > was.x() || (is.x() >= was.x() - 2 && is.y() >= was.y())
                     : is.y() > was.y() || (is.y() >= was.y() - 2 && is.x() >= was.x());
            QVERIFY2(forward, qPrintable(QString("%1 at (%2,%3) after %4 at (%5,%6)")
                                             .arg(now->objectName())
                                             .arg(is.x())
                                             .arg(is.y())
                                             .arg(previous->objectName())
                                             .arg(was.x())
                                             .arg(was.y())));
            previous = now;
        }
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    qunsetenv("TELVANE_SCALE");
    QApplication app(argc, argv);
    AccessTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "access_test.moc"
