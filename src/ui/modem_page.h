// The modem as it is: maker, model, firmware, IMEI, the SIM, the network, the signal and the
// message stores, asked of the modem each time it opens, and copied as text for a bug report.
#pragma once

#include <QDialog>
#include <optional>

#include "modem/modem_info.h"

class QLabel;
class QPushButton;

namespace telvane {

class LinkController;

class ModemPage : public QDialog {
    Q_OBJECT

  public:
    ModemPage(LinkController& controller, QWidget* parent);

    // Asks the modem again; without a connection says so.
    void Refresh();
    // What the page shows, one "label: value" line each.
    QString Text() const;
    // The answer of the last query, once it came.
    const std::optional<ModemInfo>& Information() const { return info_; }

    // The texts in the language chosen now.
    void Relabel();

  private:
    void Show(const ModemInfo& info);

    LinkController& controller_;
    std::optional<ModemInfo> info_;
    QLabel* names_[12];
    QLabel* values_[12];
    QLabel* state_;
    QPushButton* refresh_;
    QPushButton* copy_;
    QPushButton* close_;
};

}  // namespace telvane
