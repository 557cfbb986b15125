// A desktop notification for a new message, through the desktop's notification service
// (org.freedesktop.Notifications on the session bus).  Where there is no session bus or no such
// service, nothing is shown and nothing fails: the status line still tells the user.
#pragma once

#include <QString>

namespace telvane {

class DesktopNotifier {
  public:
    // `busAddress` empty: the session bus (DBUS_SESSION_BUS_ADDRESS).  Tests give a private bus.
    explicit DesktopNotifier(QString busAddress = {});
    ~DesktopNotifier();
    DesktopNotifier(const DesktopNotifier&) = delete;
    DesktopNotifier& operator=(const DesktopNotifier&) = delete;

    // Hands the notification to the bus without waiting for an answer.  False when there is no
    // bus to hand it to; a bus without a notification service drops it quietly.
    bool Notify(const QString& summary, const QString& body);

  private:
    QString busAddress_;
    QString connectionName_;
};

}  // namespace telvane
