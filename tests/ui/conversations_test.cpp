// The conversations window on the real dialog: people newest first with their unread count, a
// long message shown whole, the delivery state of a sent one, search with the words marked, and
// a reply that goes out through the Outbox run to the simulated modem.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "control/ui_strings.h"
#include "history/history_db.h"
#include "history/history_keys.h"
#include "platform/files.h"
#include "ui/conversations_view.h"
#include "ui/main_dialog.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;

HistoryMessage Message(const char16_t* number, const char16_t* time, std::u16string text,
                       HistoryDirection direction, const char16_t* delivery = u"",
                       bool unread = false) {
    HistoryMessage m;
    m.number = number;
    m.timeText = time;
    m.time = *HistoryTime(m.timeText);
    m.text = std::move(text);
    m.direction = direction;
    m.delivery = delivery;
    m.unread = unread;
    m.store = u"inbox";
    m.key = MessageKey(direction, m.number, m.timeText, m.text);
    return m;
}

std::u16string LongText() {
    std::u16string text;
    for (int i = 0; i < 40; ++i)
        text += u"line " + std::u16string(1, char16_t(u'A' + i % 26)) + u" of a long message, ";
    return text + u"the end.";
}

}  // namespace

class ConversationsTest : public QObject {
    Q_OBJECT

  private:
    testing::WindowRig rig_;
    MainDialog* dialog_ = nullptr;
    ConversationsView* view_ = nullptr;

  private slots:
    void initTestCase() {
        SetLanguage(0);
        {
            HistoryDb db;
            QVERIFY(db.Open(DataFile(kHistoryFileName), HistoryAccess::kWrite));
            QVERIFY(db.Store({Message(u"+886912345678", u"26/12/01,09:00:00", LongText(),
                                      HistoryDirection::kIn),
                              Message(u"0912345678", u"26/12/01,09:05:00", u"Got it, thanks",
                                      HistoryDirection::kOut, u"delivered"),
                              Message(u"+886912345678", u"26/12/01,09:07:00", u"Dinner at eight?",
                                      HistoryDirection::kIn, u"", true),
                              Message(u"0800080123", u"26/11/20,10:00:00", u"Your bill is due",
                                      HistoryDirection::kIn)})
                        .ok);
        }
        const std::string error = rig_.Start("");
        QVERIFY2(error.empty(), error.c_str());
        dialog_ = &rig_.Dialog();
        dialog_->Command(CommandId::kConnect);
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->Controller().IsOnline(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->Controller().IsBusy(), kWaitMs);
        view_ = dialog_->ShowConversations();
        QVERIFY(view_ != nullptr);
    }

    void PeopleNewestFirstWithUnread() {
        auto* people = view_->findChild<QListWidget*>("conversationList");
        QCOMPARE(people->count(), 2);
        QVERIFY2(people->item(0)->text().contains("1 unread"), qPrintable(people->item(0)->text()));
        QVERIFY(people->item(0)->text().contains("Dinner at eight?"));
        QVERIFY(people->item(1)->text().contains("0800080123"));
    }

    void TheExchangeInTimeOrderWithALongMessageAndADeliveryState() {
        auto* people = view_->findChild<QListWidget*>("conversationList");
        people->setCurrentRow(0);
        auto* thread = view_->findChild<QListWidget*>("conversationThread");
        QCOMPARE(thread->count(), 3);
        QVERIFY(thread->item(0)->text().endsWith(QString::fromStdU16String(LongText())));
        QVERIFY(thread->item(1)->text().contains(
            QString::fromStdU16String(LoadUiString(ui_text::kDelivered))));
        QVERIFY(thread->item(1)->textAlignment() & Qt::AlignRight);
        QVERIFY(thread->item(2)->textAlignment() & Qt::AlignLeft);
        // Opened: read, once the history has it.
        QTRY_VERIFY_WITH_TIMEOUT(
            !view_->findChild<QListWidget*>("conversationList")->item(0)->text().contains("unread"),
            kWaitMs);
        if (qEnvironmentVariableIsSet("TELVANE_SCREENSHOTS")) {
            view_->resize(640, 420);
            view_->findChild<QListWidget*>("conversationList")->setCurrentRow(0);
            QTest::qWait(50);
            view_->grab().save(qEnvironmentVariable("TELVANE_SCREENSHOTS") +
                               "/conversations_en.png");
        }
    }

    void SearchMarksTheWords() {
        auto* search = view_->findChild<QLineEdit*>("historySearch");
        search->setText("dinner");
        auto* thread = view_->findChild<QListWidget*>("conversationThread");
        QCOMPARE(thread->count(), 1);
        QVERIFY2(thread->item(0)->text().contains(QString::fromUtf8("\u3010Dinner\u3011")),
                 qPrintable(thread->item(0)->text()));
        search->clear();
        QCOMPARE(view_->findChild<QListWidget*>("conversationList")->count(), 2);
    }

    void AReplyGoesOutThroughTheOutbox() {
        view_->findChild<QListWidget*>("conversationList")->setCurrentRow(0);
        view_->findChild<QPlainTextEdit*>("replyText")->setPlainText("See you at eight");
        view_->findChild<QPushButton*>("replySend")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const auto& m : rig_.Modem().SubmittedMessages())
                    if (m.text == "See you at eight") return true;
                return false;
            }(),
            kWaitMs);
        // The sent reply reaches the conversation through the history.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                view_->Reload();
                auto* thread = view_->findChild<QListWidget*>("conversationThread");
                return thread->count() > 0 &&
                       thread->item(thread->count() - 1)->text().contains("See you at eight");
            }(),
            kWaitMs);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    ConversationsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "conversations_test.moc"
