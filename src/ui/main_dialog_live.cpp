// The window's part of the live link: desktop notifications of new messages, the SIM's PIN and
// the modem's own SMS centre.
#include "ui/desktop_notifier.h"
#include "ui/main_dialog.h"
#include "ui/pin_dialog.h"

namespace telvane {

void MainDialog::NotifyDesktop(const std::u16string& summary, const std::u16string& body) {
    // One connection to the session bus for the life of the program.
    static DesktopNotifier notifier;
    notifier.Notify(QString::fromStdU16String(summary), QString::fromStdU16String(body));
}

std::u16string MainDialog::NameOf(const std::u16string& number) const {
    return names_.Find(number);
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

}  // namespace telvane
