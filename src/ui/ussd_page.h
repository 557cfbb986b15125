// USSD: a code sent to the network (a balance, a menu), its answer, the replies a menu waits
// for, and Cancel, which ends the session.  The last codes are remembered in the settings.
#pragma once

#include <QDialog>

#include "modem/modem_info.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace telvane {

class LinkController;
class SettingsStore;

class UssdPage : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kRemembered = 8;

    UssdPage(LinkController& controller, SettingsStore& store, QWidget* parent);
    ~UssdPage() override;

    // Sends the code field's code, or the reply field's reply while a menu waits.
    void Send();
    // Ends an open session.
    void Cancel();
    bool SessionOpen() const { return open_; }
    QString Answer() const;

    // The texts in the language chosen now.
    void Relabel();

  private:
    void Show(const UssdAnswer& answer, const std::string& reason);
    void Remember(const QString& code);

    LinkController& controller_;
    SettingsStore& store_;
    bool open_ = false;
    QLabel* codeLabel_;
    QComboBox* code_;
    QPlainTextEdit* answer_;
    QLabel* replyLabel_;
    QLineEdit* reply_;
    QLabel* state_;
    QPushButton* send_;
    QPushButton* cancel_;
    QPushButton* close_;
};

}  // namespace telvane
