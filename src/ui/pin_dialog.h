// The small dialog that asks for the SIM's PIN, or for its PUK and a new PIN, when the modem
// says the SIM wants one.  Digits only; the remaining attempts are shown when the modem told
// them.  What the user typed goes to the modem once: the dialog never sends anything itself.
#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace telvane {

class PinDialog : public QDialog {
    Q_OBJECT

  public:
    enum class Kind { kPin, kPuk };

    // `attemptsLeft` below 0: not known, not shown.
    PinDialog(Kind kind, int attemptsLeft, QWidget* parent = nullptr);

    // The PIN typed (for a PUK dialog: the new PIN).
    QString Pin() const;
    // The PUK typed; empty for a PIN dialog.
    QString Puk() const;

    Kind GetKind() const { return kind_; }
    // The code given last was refused: said above the prompt.
    void SayWrongCode();

  private:
    void UpdateOkay();

    Kind kind_;
    QLabel* wrong_ = nullptr;
    QLabel* prompt_ = nullptr;
    QLabel* attempts_ = nullptr;
    QLineEdit* puk_ = nullptr;
    QLineEdit* pin_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

// A SIM's PIN is 4 to 8 digits, its PUK 8 (3GPP TS 31.101 9.5).
bool IsAcceptablePin(const QString& pin);
bool IsAcceptablePuk(const QString& puk);

}  // namespace telvane
