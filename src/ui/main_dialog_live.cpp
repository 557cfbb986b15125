// The window's part of the live link: desktop notifications of new messages, the SIM's PIN,
// the modem's own SMS centre, the port another program holds and the modems that come and go.
#include <QSocketNotifier>
#include <QTimer>

#include "control/ui_strings.h"
#include "platform/udev_monitor.h"
#include "ui/desktop_notifier.h"
#include "ui/main_dialog.h"
#include "ui/pin_dialog.h"
#include "ui/ui_text.h"

namespace telvane {

void MainDialog::NotifyDesktop(const std::u16string& summary, const std::u16string& body) {
    // One connection to the session bus for the life of the program.
    static DesktopNotifier notifier;
    notifier.Notify(QString::fromStdU16String(summary), QString::fromStdU16String(body));
}

std::optional<SimCodes> MainDialog::AskSimCodes(bool puk, int attemptsLeft, bool wrongCode) {
    PinDialog dialog(puk ? PinDialog::Kind::kPuk : PinDialog::Kind::kPin, attemptsLeft, this);
    if (wrongCode) dialog.SayWrongCode();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return SimCodes{dialog.Pin().toStdString(), dialog.Puk().toStdString()};
}

void MainDialog::ShowDetectedServiceCentre(const std::u16string& number) {
    settings_->ShowDetectedCentre(number);
}

bool MainDialog::AskToFreePort(const std::u16string& text, bool offerModemManager) {
    const QString said = QString::fromStdU16String(text);
    if (!offerModemManager) {
        ShowMessage(said);
        return false;
    }
    return Confirm(said + "\n\n" + Ui(ui_text::kAskModemManagerToLetGo));
}

void MainDialog::WatchPorts() {
    udev_ = std::make_unique<UdevMonitor>();
    if (udev_->Fd() >= 0) {
        auto* notifier = new QSocketNotifier(udev_->Fd(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            if (udev_->TakeChanges()) settings_->RefreshPorts();
        });
    }
    // Without udev (and for what it does not announce, such as a device in a container) the
    // list is also looked at again while it is on the screen.
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this] {
        if (settings_->isVisible()) settings_->RefreshPorts();
    });
    poll->start(2000);
}

}  // namespace telvane
