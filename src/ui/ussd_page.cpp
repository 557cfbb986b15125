#include "ui/ussd_page.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "codec/ussd_text.h"
#include "control/link_controller.h"
#include "platform/settings_store.h"
#include "ui/ui_text.h"

namespace telvane {
namespace {

const std::string kCodesKey = "Software\\Nubo\\Telvane\\Ussd";

constexpr WindowText kTitle{"USSD 服務碼", "USSD"};
constexpr WindowText kCode{"服務碼（例如 *100#）", "Code (such as *100#)"};
constexpr WindowText kReply{"回覆選單", "Reply to the menu"};
constexpr WindowText kSend{"傳送", "Send"};
constexpr WindowText kCancel{"結束", "Cancel"};
constexpr WindowText kClose{"關閉", "Close"};
constexpr WindowText kAsking{"等待網路回覆…", "Waiting for the network…"};
constexpr WindowText kNotConnected{"請先連線", "Please connect first"};
constexpr WindowText kBadCode{"服務碼只能包含數字、*、# 與 +",
                              "A code holds only digits, *, # and +"};
constexpr WindowText kBadReply{"回覆只能包含數字與英文字母",
                               "A reply holds only digits and letters"};
constexpr WindowText kEnded{"工作階段已結束", "The session has ended"};
constexpr WindowText kUnsupported{"網路不提供這個服務碼", "The network does not offer this code"};
constexpr WindowText kNoAnswer{"網路沒有回覆", "The network did not answer"};

}  // namespace

UssdPage::UssdPage(LinkController& controller, SettingsStore& store, QWidget* parent)
    : QDialog(parent), controller_(controller), store_(store) {
    setObjectName("ussdPage");
    codeLabel_ = new QLabel(this);
    code_ = new QComboBox(this);
    code_->setObjectName("ussdCode");
    code_->setEditable(true);
    code_->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 0; i < kRemembered; ++i)
        if (auto code = store_.GetText(kCodesKey, "Code" + std::to_string(i)))
            if (IsUssdCode(*code)) code_->addItem(QString::fromStdU16String(*code));
    code_->setCurrentText(code_->count() > 0 ? code_->itemText(0) : QString());
    answer_ = new QPlainTextEdit(this);
    answer_->setObjectName("ussdAnswer");
    answer_->setReadOnly(true);
    replyLabel_ = new QLabel(this);
    reply_ = new QLineEdit(this);
    reply_->setObjectName("ussdReply");
    state_ = new QLabel(this);
    state_->setObjectName("ussdState");
    send_ = new QPushButton(this);
    send_->setObjectName("ussdSend");
    cancel_ = new QPushButton(this);
    cancel_->setObjectName("ussdCancel");
    close_ = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(send_);
    buttons->addWidget(cancel_);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(codeLabel_);
    layout->addWidget(code_);
    layout->addWidget(answer_, 1);
    layout->addWidget(replyLabel_);
    layout->addWidget(reply_);
    layout->addWidget(state_);
    layout->addLayout(buttons);
    connect(send_, &QPushButton::clicked, this, &UssdPage::Send);
    connect(reply_, &QLineEdit::returnPressed, this, &UssdPage::Send);
    connect(cancel_, &QPushButton::clicked, this, &UssdPage::Cancel);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    connect(this, &QDialog::finished, this, [this] {
        if (open_) Cancel();
    });
    Relabel();
    replyLabel_->setVisible(false);
    reply_->setVisible(false);
    cancel_->setEnabled(false);
}

UssdPage::~UssdPage() = default;

void UssdPage::Relabel() {
    setWindowTitle(Ui(kTitle));
    codeLabel_->setText(Ui(kCode));
    replyLabel_->setText(Ui(kReply));
    send_->setText(Ui(kSend));
    cancel_->setText(Ui(kCancel));
    close_->setText(Ui(kClose));
}

QString UssdPage::Answer() const {
    return answer_->toPlainText();
}

void UssdPage::Send() {
    const QString text = (open_ ? reply_->text() : code_->currentText()).trimmed();
    const std::u16string wide = text.toStdU16String();
    // Refused here, before the modem is touched.
    if (open_ ? !IsUssdReply(wide) : !IsUssdCode(wide)) {
        state_->setText(Ui(open_ ? kBadReply : kBadCode));
        return;
    }
    if (!open_) Remember(text);
    QPointer<UssdPage> self(this);
    const JobHandle job = controller_.RunQuery(
        [wide](LinkEngine& engine, JobDone done) { return engine.SendUssd(wide, std::move(done)); },
        [self](const JobResult& result) {
            if (!self) return;
            self->Show(result.ussd.value_or(UssdAnswer{}), result.reason);
        });
    state_->setText(job ? Ui(kAsking) : Ui(kNotConnected));
    if (job) send_->setEnabled(false);
}

void UssdPage::Cancel() {
    open_ = false;
    replyLabel_->setVisible(false);
    reply_->setVisible(false);
    cancel_->setEnabled(false);
    controller_.RunQuery(
        [](LinkEngine& engine, JobDone done) { return engine.EndUssd(std::move(done)); }, {});
    state_->setText(Ui(kEnded));
}

void UssdPage::Show(const UssdAnswer& answer, const std::string& reason) {
    send_->setEnabled(true);
    open_ = answer.status == UssdStatus::kMore;
    replyLabel_->setVisible(open_);
    reply_->setVisible(open_);
    reply_->clear();
    cancel_->setEnabled(open_);
    if (open_) reply_->setFocus();
    if (!answer.text.empty()) answer_->setPlainText(QString::fromStdU16String(answer.text));
    switch (answer.status) {
        case UssdStatus::kDone:
        case UssdStatus::kMore:
            state_->clear();
            break;
        case UssdStatus::kEnded:
            state_->setText(Ui(kEnded));
            break;
        case UssdStatus::kUnsupported:
            state_->setText(Ui(kUnsupported));
            break;
        case UssdStatus::kRefused:
            state_->setText(QString::fromStdString(reason));
            break;
        case UssdStatus::kNoAnswer:
            state_->setText(Ui(kNoAnswer));
            break;
    }
}

void UssdPage::Remember(const QString& code) {
    QStringList codes{code};
    for (int i = 0; i < code_->count() && codes.size() < kRemembered; ++i)
        if (code_->itemText(i) != code) codes << code_->itemText(i);
    code_->clear();
    code_->addItems(codes);
    code_->setCurrentIndex(0);
    std::vector<std::pair<std::string, SettingsStore::Value>> values;
    for (int i = 0; i < codes.size(); ++i)
        values.emplace_back("Code" + std::to_string(i), codes[i].toStdU16String());
    // Codes not kept only cost the list next time.
    if (store_.OpenKey(kCodesKey)) static_cast<void>(store_.SetValues(kCodesKey, values));
}

}  // namespace telvane
