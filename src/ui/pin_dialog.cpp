#include "ui/pin_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "control/ui_strings.h"

namespace telvane {
namespace {

constexpr int kMinPinDigits = 4;
constexpr int kMaxPinDigits = 8;
constexpr int kPukDigits = 8;

QString Ui(UiText text) {
    return QString::fromStdU16String(LoadUiString(text));
}

QLineEdit* DigitsField(QWidget* parent, int maxDigits) {
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(maxDigits);
    field->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhSensitiveData);
    field->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxDigits)), field));
    return field;
}

bool AllDigits(const QString& text) {
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

}  // namespace

bool IsAcceptablePin(const QString& pin) {
    return pin.size() >= kMinPinDigits && pin.size() <= kMaxPinDigits && AllDigits(pin);
}

bool IsAcceptablePuk(const QString& puk) {
    return puk.size() == kPukDigits && AllDigits(puk);
}

PinDialog::PinDialog(Kind kind, int attemptsLeft, QWidget* parent) : QDialog(parent), kind_(kind) {
    setWindowTitle(Ui(kind == Kind::kPin ? ui_text::kPin : ui_text::kPuk));
    auto* layout = new QVBoxLayout(this);
    wrong_ = new QLabel(Ui(ui_text::kWrongPin), this);
    wrong_->setObjectName(QStringLiteral("wrong"));
    wrong_->hide();
    layout->addWidget(wrong_);
    prompt_ = new QLabel(
        Ui(kind == Kind::kPin ? ui_text::kEnterSimPin : ui_text::kEnterPukAndNewPin), this);
    prompt_->setWordWrap(true);
    layout->addWidget(prompt_);
    attempts_ = new QLabel(this);
    attempts_->setObjectName(QStringLiteral("attempts"));
    if (attemptsLeft >= 0) {
        attempts_->setText(Ui(ui_text::kAttemptsLeft)
                               .replace(QStringLiteral("%1"), QString::number(attemptsLeft)));
    } else {
        attempts_->hide();
    }
    layout->addWidget(attempts_);

    auto* form = new QFormLayout;
    if (kind == Kind::kPuk) {
        puk_ = DigitsField(this, kPukDigits);
        puk_->setObjectName(QStringLiteral("puk"));
        form->addRow(Ui(ui_text::kPuk), puk_);
    }
    pin_ = DigitsField(this, kMaxPinDigits);
    pin_->setObjectName(QStringLiteral("pin"));
    form->addRow(Ui(kind == Kind::kPin ? ui_text::kPin : ui_text::kNewPin), pin_);
    layout->addLayout(form);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setText(Ui(ui_text::kOkay));
    buttons_->button(QDialogButtonBox::Cancel)->setText(Ui(ui_text::kCancel));
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(pin_, &QLineEdit::textChanged, this, [this] { UpdateOkay(); });
    if (puk_ != nullptr) connect(puk_, &QLineEdit::textChanged, this, [this] { UpdateOkay(); });
    UpdateOkay();
    (puk_ != nullptr ? puk_ : pin_)->setFocus();
}

void PinDialog::SayWrongCode() {
    wrong_->show();
}

QString PinDialog::Pin() const {
    return pin_->text();
}

QString PinDialog::Puk() const {
    return puk_ != nullptr ? puk_->text() : QString();
}

void PinDialog::UpdateOkay() {
    const bool ready = IsAcceptablePin(Pin()) && (kind_ == Kind::kPin || IsAcceptablePuk(Puk()));
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(ready);
}

}  // namespace telvane
