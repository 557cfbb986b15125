// The PIN dialog and the desktop notifier on real widgets and a real (private) session bus.
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "control/ui_strings.h"
#include "ui/desktop_notifier.h"
#include "ui/pin_dialog.h"

using telvane::DesktopNotifier;
using telvane::PinDialog;

// Stands in for the desktop's notification service.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    QStringList received;

  public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        Q_UNUSED(app);
        Q_UNUSED(replaces);
        Q_UNUSED(icon);
        Q_UNUSED(actions);
        Q_UNUSED(hints);
        Q_UNUSED(timeout);
        received << summary + QStringLiteral(": ") + body;
        return static_cast<uint>(received.size());
    }
};

class PinAndNotifierTest : public QObject {
    Q_OBJECT

    static QPushButton* Okay(PinDialog& dialog) {
        return dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    }

  private slots:
    void initTestCase() { telvane::SetLanguage(0); }

    void PinTakesDigitsOnlyAndShowsTheAttemptsLeft() {
        PinDialog dialog(PinDialog::Kind::kPin, 2);
        auto* pin = dialog.findChild<QLineEdit*>(QStringLiteral("pin"));
        QVERIFY(pin != nullptr);
        QCOMPARE(pin->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("attempts"))->text(),
                 QStringLiteral("2 attempts left"));
        QTest::keyClicks(pin, QStringLiteral("1a2 3-"));
        QCOMPARE(dialog.Pin(), QStringLiteral("123"));
        QVERIFY(!Okay(dialog)->isEnabled());
        QTest::keyClicks(pin, QStringLiteral("456789"));
        QCOMPARE(dialog.Pin(), QStringLiteral("12345678"));  // at most eight digits
        QVERIFY(Okay(dialog)->isEnabled());
        QCOMPARE(dialog.Puk(), QString());

        PinDialog unknown(PinDialog::Kind::kPin, -1);
        QVERIFY(unknown.findChild<QLabel*>(QStringLiteral("attempts"))->isHidden());
    }

    void PukNeedsEightDigitsAndANewPin() {
        PinDialog dialog(PinDialog::Kind::kPuk, 10);
        auto* puk = dialog.findChild<QLineEdit*>(QStringLiteral("puk"));
        auto* pin = dialog.findChild<QLineEdit*>(QStringLiteral("pin"));
        QVERIFY(puk != nullptr && pin != nullptr);
        QTest::keyClicks(pin, QStringLiteral("4321"));
        QTest::keyClicks(puk, QStringLiteral("1234567"));
        QVERIFY(!Okay(dialog)->isEnabled());
        QTest::keyClicks(puk, QStringLiteral("8"));
        QVERIFY(Okay(dialog)->isEnabled());
        pin->clear();
        QVERIFY(!Okay(dialog)->isEnabled());
        QTest::keyClicks(pin, QStringLiteral("0000"));
        QCOMPARE(dialog.Puk(), QStringLiteral("12345678"));
        QCOMPARE(dialog.Pin(), QStringLiteral("0000"));
    }

    void NoBusIsNoFailure() {
        DesktopNotifier notifier(QStringLiteral("unix:path=/nonexistent/telvane/bus"));
        QVERIFY(!notifier.Notify(QStringLiteral("New message"), QStringLiteral("Hi")));
    }

    void TheServiceGetsTheMessageAndABusWithoutOneDropsIt() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) QSKIP("dbus-daemon is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess bus;
        bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address"),
                           QStringLiteral("--address=unix:path=") + dir.filePath("bus")});
        QVERIFY(bus.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(bus.canReadLine(), 30000);
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();

        {
            // No notification service on this bus yet: handed over, dropped by the bus.
            DesktopNotifier notifier(address);
            QVERIFY(notifier.Notify(QStringLiteral("New message"), QStringLiteral("nobody")));
        }

        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("fake"));
        QVERIFY(service.isConnected());
        FakeNotifications fake;
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

        DesktopNotifier notifier(address);
        QVERIFY(notifier.Notify(QStringLiteral("New message"),
                                QStringLiteral("+886955000111: 媽，我到了")));
        QTRY_COMPARE_WITH_TIMEOUT(
            fake.received, QStringList{QStringLiteral("New message: +886955000111: 媽，我到了")},
            30000);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        bus.terminate();
        bus.waitForFinished();
    }
};

QTEST_MAIN(PinAndNotifierTest)
#include "pin_and_notifier_test.moc"
