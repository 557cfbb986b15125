// The real window on the simulated modem announcing arrivals to a notification server on a private
// session bus (python3-dbusmock's notification_daemon template): one Notify call per arrived
// message, naming the sender as the SIM's phonebook does, a long message once and whole.
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "ui/main_dialog.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// The SIM names the sender; the offline phonebook is empty, as on a first run.
const char kScenario[] =
    "[phonebook]\n"
    "capacity = 10\n"
    "1 = +886955123456 | Amy Chen\n";

// A Python that has dbusmock; empty when none has.
QString PythonWithDbusmock() {
    for (const QString& python : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")}) {
        QProcess probe;
        probe.start(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
        if (probe.waitForFinished(kWaitMs) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return python;
    }
    return {};
}

struct NotifyCall {
    QString summary;
    QString body;
};

}  // namespace

class NotificationsWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir busFolder_;
    QProcess bus_;
    QProcess server_;
    QString address_;
    testing::WindowRig rig_;

    // Every Notify the server received, in order, as the mock's own call log has them.
    QList<NotifyCall> Calls() {
        QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("probe"));
        QDBusMessage ask = QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Mock"),
            QStringLiteral("GetMethodCalls"));
        ask << QStringLiteral("Notify");
        const QDBusMessage reply = bus.call(ask);
        QList<NotifyCall> calls;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return calls;
        // a(tav): a time and the call's arguments.
        const QDBusArgument log = reply.arguments().at(0).value<QDBusArgument>();
        log.beginArray();
        while (!log.atEnd()) {
            log.beginStructure();
            quint64 time = 0;
            log >> time;
            QVariantList arguments;
            log.beginArray();
            while (!log.atEnd()) {
                QDBusVariant argument;
                log >> argument;
                arguments << argument.variant();
            }
            log.endArray();
            log.endStructure();
            if (arguments.size() >= 5)
                calls.push_back({arguments[3].toString(), arguments[4].toString()});
        }
        log.endArray();
        return calls;
    }

  private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        const QString python = PythonWithDbusmock();
        if (daemon.isEmpty() || python.isEmpty()) QSKIP("needs dbus-daemon and python3-dbusmock");
        QVERIFY(busFolder_.isValid());
        bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address"),
                            QStringLiteral("--address=unix:path=") + busFolder_.filePath("bus")});
        QVERIFY(bus_.waitForStarted(kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(bus_.canReadLine(), kWaitMs);
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        QVERIFY(!address_.isEmpty());
        // The window's notifier takes the session bus from here at its first notification.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        server_.setProcessEnvironment(environment);
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_.start(
            python, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                     QStringLiteral("notification_daemon")});
        QVERIFY(server_.waitForStarted(kWaitMs));
        QDBusConnection probe = QDBusConnection::connectToBus(address_, QStringLiteral("probe"));
        QVERIFY(probe.isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(probe.interface()->isServiceRegistered(kService).value(), kWaitMs);

        SetLanguage(0);
        const std::string error = rig_.Start(kScenario);
        QVERIFY2(error.empty(), error.c_str());
        rig_.Dialog().Command(CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(rig_.Dialog().Controller().IsOnline(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!rig_.Dialog().Controller().IsBusy(), kWaitMs);
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
        for (QProcess* process : {&server_, &bus_}) {
            if (process->state() == QProcess::NotRunning) continue;
            process->kill();
            process->waitForFinished(kWaitMs);
        }
    }

    void OneNotificationPerMessageWithTheSendersName() {
        modemsim::SimulatedModem& modem = rig_.Modem();
        QVERIFY(modem.DeliverMessage("+886955123456", "26/12/10,08:00:00+32", u"Hi") > 0);
        QTRY_COMPARE_WITH_TIMEOUT(Calls().size(), 1, kWaitMs);
        QCOMPARE(Calls()[0].summary, QStringLiteral("New message"));
        QCOMPARE(Calls()[0].body, QStringLiteral("Amy Chen\nHi"));
        QTRY_COMPARE_WITH_TIMEOUT(testing::StatusLine(rig_.Dialog()),
                                  QStringLiteral("New message: Amy Chen"), kWaitMs);

        // Three parts, one notification with the whole text.
        QString text;
        for (int i = 0; text.size() < 400; ++i)
            text += QStringLiteral("Sentence %1 of a long one. ").arg(i);
        text = text.trimmed();
        QVERIFY(modem.DeliverMessage("+886955123456", "26/12/10,08:01:00+32",
                                     text.toStdU16String()) > 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            testing::ReadFolder(FolderId::Inbox).size() == 2 &&
                testing::ReadFolder(FolderId::Inbox)[1].text == text.toStdU16String(),
            kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(Calls().size(), 2, kWaitMs);
        QCOMPARE(Calls()[1].body, QStringLiteral("Amy Chen\n") + text);
        // Nothing more is on its way: a second message's notification would come after this.
        QVERIFY(modem.DeliverMessage("+886912000000", "26/12/10,08:02:00+32", u"Last") > 0);
        QTRY_COMPARE_WITH_TIMEOUT(Calls().size(), 3, kWaitMs);
        QCOMPARE(Calls()[2].body, QStringLiteral("+886912000000\nLast"));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    NotificationsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "notifications_window_test.moc"
