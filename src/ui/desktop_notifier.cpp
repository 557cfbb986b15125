#include "ui/desktop_notifier.h"

#include <QStringList>
#include <QVariantMap>
#include <atomic>

#ifdef TELVANE_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace telvane {
namespace {

// Notifications disappear by the service's own rule.
constexpr int kServiceDefaultTimeout = -1;

QString UniqueConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("telvane-notifier-%1").arg(next.fetch_add(1));
}

}  // namespace

DesktopNotifier::DesktopNotifier(QString busAddress)
    : busAddress_(std::move(busAddress)), connectionName_(UniqueConnectionName()) {}

DesktopNotifier::~DesktopNotifier() {
#ifdef TELVANE_HAVE_DBUS
    if (!busAddress_.isEmpty()) QDBusConnection::disconnectFromBus(connectionName_);
#endif
}

bool DesktopNotifier::Notify(const QString& summary, const QString& body) {
#ifdef TELVANE_HAVE_DBUS
    QDBusConnection bus = busAddress_.isEmpty()
                              ? QDBusConnection::sessionBus()
                              : QDBusConnection::connectToBus(busAddress_, connectionName_);
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    call << QStringLiteral("Telvane") << 0u << QStringLiteral("mail-message-new") << summary << body
         << QStringList() << QVariantMap() << kServiceDefaultTimeout;
    // The answer (or the bus's error when no service runs) is not waited for: a missing or
    // hung service must not hold the window.
    call.setAutoStartService(true);
    return bus.send(call);
#else
    (void)summary;
    (void)body;
    return false;
#endif
}

}  // namespace telvane
