// The window for a screen reader and the keyboard: every control a user can act on has a name
// in the interface's language, every command a key, and Tab walks the page in reading order.
#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <algorithm>
#include <filesystem>
#include <set>

#include "control/window_interface.h"
#include "ui/compose_page.h"
#include "ui/main_dialog.h"
#include "ui/modem_page.h"
#include "ui/phonebook_page.h"
#include "ui/pin_dialog.h"
#include "ui/sms_page.h"
#include "ui/ussd_page.h"
#include "window_rig.h"

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

// The controls of `scope` that Tab should stop at: shown, enabled, taking focus by Tab, in
// scope's window.
QList<QWidget*> Reachable(QWidget* scope) {
    QList<QWidget*> controls;
    for (QWidget* w : scope->findChildren<QWidget*>()) {
        if (w->window() != scope->window() || !w->isVisible() || !w->isEnabled() ||
            w->focusProxy() || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        controls << w;
    }
    return controls;
}

// A control's place in `scope`.
QRect Place(QWidget* w, QWidget* scope) {
    return QRect(w->mapTo(scope, QPoint()), w->size());
}

QString Describe(QWidget* w, QWidget* scope) {
    const QRect r = Place(w, scope);
    return QString("%1 %2 at (%3,%4 %5x%6)")
        .arg(w->metaObject()->className(), w->objectName())
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height());
}

// Presses Tab from `first` until the focus comes back to it: the controls of `scope` in the
// order reached.  A control that keeps the focus is a trap for a keyboard user.
QList<QWidget*> TabWalk(QWidget* first, QWidget* scope, QStringList& faults) {
    QList<QWidget*> reached{first};
    for (int step = 0; step < 80; ++step) {
        QWidget* was = QApplication::focusWidget();
        QTest::keyClick(was, Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        if (now == first) return reached;
        if (now == was) {
            faults << Describe(now, scope) + " keeps the focus on Tab";
            return reached;
        }
        if (now && scope->isAncestorOf(now) && !reached.contains(now)) reached << now;
    }
    faults << "Tab never comes back to " + Describe(first, scope);
    return reached;
}

// Pairs reached against reading order: on one band a control left of one reached before it,
// in one column a control above one reached before it.
QStringList OutOfOrder(const QList<QWidget*>& reached, QWidget* scope) {
    QStringList faults;
    auto overlap = [](int a0, int a1, int b0, int b1) {
        return std::min(a1, b1) - std::max(a0, b0);
    };
    for (qsizetype i = 0; i < reached.size(); ++i) {
        for (qsizetype j = i + 1; j < reached.size(); ++j) {
            const QRect a = Place(reached[i], scope);
            const QRect b = Place(reached[j], scope);
            const int rows = overlap(a.top(), a.bottom(), b.top(), b.bottom());
            const int columns = overlap(a.left(), a.right(), b.left(), b.right());
            const bool leftOnBand = rows > 2 && b.right() < a.left();
            const bool aboveInColumn = columns > 2 && rows <= 0 && b.bottom() < a.top();
            if (leftOnBand || aboveInColumn) {
                faults << Describe(reached[j], scope) + " after " + Describe(reached[i], scope);
            }
        }
    }
    return faults;
}
}  // namespace

class AccessTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;

    std::unique_ptr<MainDialog> Open() {
        auto dialog =
            std::make_unique<MainDialog>(testing::OfflineOptions(dir_.path().toStdString()));
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

    // Tab walks each page and dialog as it reads, at the first size and wide, and reaches every
    // control a user can act on.
    void TabFollowsTheLayout_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("wide");
        for (const char* where : {"sms", "sms search", "compose", "canned", "picture", "phonebook",
                                  "entry panel", "settings", "settings sync"}) {
            for (bool wide : {false, true})
                QTest::addRow("%s %s", where, wide ? "wide" : "first") << QString(where) << wide;
        }
        // Dialogs are windows of their own, the same in either layout.
        for (const char* where : {"modem", "ussd", "pin", "puk"})
            QTest::addRow("%s", where) << QString(where) << false;
    }
    void TabFollowsTheLayout() {
        QFETCH(QString, where);
        QFETCH(bool, wide);
        auto dialog = Open();
        if (wide) dialog->resize(900, 500);
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        std::unique_ptr<PinDialog> pin;
        // The place walked and the control Tab starts from.
        QWidget* scope = nullptr;
        QWidget* first = nullptr;
        if (where.startsWith("sms")) {
            scope = dialog->Sms();
            if (where == "sms search" && !dialog->Sms()->findChild<QWidget*>("search")->isVisible())
                dialog->Sms()->ToggleSearch();
            first =
                wide ? static_cast<QWidget*>(dialog->Sms()->FolderList()) : dialog->Control(1018);
        } else if (where == "compose" || where == "canned" || where == "picture") {
            dialog->Command(CommandId::kCompose);
            if (where == "canned") static_cast<QPushButton*>(dialog->Control(1027))->click();
            if (where == "picture") static_cast<QPushButton*>(dialog->Control(1064))->click();
            scope = dialog->Compose();
            first = dialog->Control(1024);
        } else if (where == "phonebook") {
            dialog->Command(CommandId::kPhonebook);
            scope = dialog->Phonebook();
            first = dialog->Control(1013);
        } else if (where == "entry panel") {
            dialog->Command(CommandId::kPhonebook);
            static_cast<QPushButton*>(dialog->Control(1046))->click();
            // Wide, the panel stands beside the list and both are walked.
            scope =
                wide ? static_cast<QWidget*>(dialog->Phonebook()) : dialog->Phonebook()->Entry();
            first = wide ? dialog->Control(1013) : dialog->Control(1055);
        } else if (where.startsWith("settings")) {
            dialog->Command(CommandId::kSettings);
            // The phonebook's direction takes part once its sync is ticked.
            if (where == "settings sync") {
                auto* sync = static_cast<QAbstractButton*>(dialog->Control(1040));
                if (!sync->isChecked()) sync->click();
            }
            scope = dialog->SettingsView();
            first = dialog->Control(1033);
        } else if (where == "modem") {
            scope = dialog->ShowModemPage();
            first = scope->findChildren<QPushButton*>().value(0);
        } else if (where == "ussd") {
            scope = dialog->ShowUssdPage();
            first = scope->findChild<QWidget*>("ussdCode");
        } else {
            pin = std::make_unique<PinDialog>(
                where == "pin" ? PinDialog::Kind::kPin : PinDialog::Kind::kPuk, 3, dialog.get());
            pin->show();
            // Codes typed, so that Okay takes part too.
            if (auto* puk = pin->findChild<QLineEdit*>("puk")) puk->setText("12345678");
            pin->findChild<QLineEdit*>("pin")->setText("1234");
            scope = pin.get();
            first = pin->findChild<QWidget*>(where == "pin" ? "pin" : "puk");
        }
        QVERIFY(scope && first);
        if (scope->isWindow()) {
            QApplication::setActiveWindow(scope);
            QVERIFY(QTest::qWaitForWindowActive(scope));
        }
        first->setFocus(Qt::TabFocusReason);
        QVERIFY(QTest::qWaitFor([&] { return first->hasFocus(); }));

        QStringList faults;
        const QList<QWidget*> reached = TabWalk(first, scope, faults);
        for (QWidget* control : Reachable(scope)) {
            if (!reached.contains(control))
                faults << Describe(control, scope) + " is never reached";
        }
        faults << OutOfOrder(reached, scope);
        for (QWidget* w : reached)
            qDebug() << Describe(w, scope);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
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
