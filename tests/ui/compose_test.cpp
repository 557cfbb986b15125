// The Compose page: the text limit and counter, canned messages, recipients, picture mode.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "control/ui_strings.h"
#include "platform/settings_store.h"
#include "ui/compose_page.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/picture_editor.h"
#include "ui/sms_page.h"

using namespace telvane;

class ComposeTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QStringList boxes_;
    int beeps_ = 0;
    std::unique_ptr<MainDialog> dialog_;

    QPlainTextEdit* Box() { return static_cast<QPlainTextEdit*>(dialog_->Control(1018)); }
    QString Counter() { return static_cast<QLabel*>(dialog_->Control(1026))->text(); }
    // Key presses carrying the text, as an input method delivers Chinese characters.
    void Screenshot(const QString& name) {
        QDir().mkpath(TELVANE_BINARY_DIR "/screenshots");
        dialog_->grab().save(QString(TELVANE_BINARY_DIR "/screenshots/%1.png").arg(name));
    }
    void Type(const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Box(), &press);
        }
    }

  private slots:
    void init() {
        SetLanguage(0);
        boxes_.clear();
        MainDialogOptions options;
        options.scale = 1.0;
        options.settingsFile = dir_.filePath("settings.conf").toStdString();
        options.sysRoot = dir_.filePath("none").toStdString();
        options.devRoot = dir_.filePath("none").toStdString();
        options.messageBox = [this](const QString& text) { boxes_ << text; };
        options.beep = [this] { ++beeps_; };
        dialog_ = std::make_unique<MainDialog>(options);
        dialog_->show();
        dialog_->Command(CommandId::kCompose);
        boxes_.clear();
        beeps_ = 0;
    }
    void cleanup() { dialog_.reset(); }

    void TypingCountsPartsAndStopsAtTenMessages() {
        Type(QString(159, 'a'));
        QCOMPARE(Counter(), QString("159/160 (1 SMS)"));
        Type("[");  // an extension character needs two septets
        QCOMPARE(Counter(), QString("161/306 (2 SMS)"));
        dialog_->Command(CommandId::kCompose);
        Type(QString(170, 'a'));
        QCOMPARE(Counter(), QString("170/306 (2 SMS)"));
        dialog_->SetRecipientText(u"0912345678;0922333444");
        Screenshot("compose_en");

        Type(QString(1529 - 170, 'a'));
        QCOMPARE(Counter(), QString("1529/1530 (10 SMS)"));
        QCOMPARE(beeps_, 0);
        // Its two septets would not fit: refused whole, never split off the end.
        Type("€");
        QCOMPARE(Counter(), QString("1529/1530 (10 SMS)"));
        QCOMPARE(beeps_, 1);
        Type("bc");
        QCOMPARE(Counter(), QString("1530/1530 (10 SMS)"));
        QCOMPARE(beeps_, 2);
        QCOMPARE(Box()->toPlainText(), QString(1529, 'a') + "b");
        QCOMPARE(Box()->textCursor().position(), 1530);
        QCOMPARE(dialog_->ComposeText().size(), size_t{1530});
    }

    void SixteenBitReferencesLeaveAPartLess() {
        cleanup();
        {
            SettingsStore store(dir_.filePath("settings.conf").toStdString());
            QVERIFY(store.SetNumber(MainDialog::kSettingsKey, "ConcatRef16", 1));
        }
        init();
        QVERIFY(dialog_->SettingsView()->Values().sixteenBitReference);
        Type(QString(170, 'a'));
        QCOMPARE(Counter(), QString("170/304 (2 SMS)"));
        cleanup();
        SettingsStore store(dir_.filePath("settings.conf").toStdString());
        QVERIFY(store.SetNumber(MainDialog::kSettingsKey, "ConcatRef16", 0));
    }

    void AWideCharacterSwitchesToShorterParts() {
        Type(QString(50, 'a'));
        Type("中");
        QCOMPARE(Counter(), QString("51/70 (1 SMS)"));
        dialog_->Command(CommandId::kCompose);  // again on the open page: a fresh message
        QCOMPARE(Counter(), QString("0/160 (1 SMS)"));
        Type(QString(100, 'a'));
        Type("中");
        QCOMPARE(Counter(), QString("101/134 (2 SMS)"));

        // In UCS2 a wide text may not grow past ten parts of 67 units.
        dialog_->Command(CommandId::kCompose);
        Type(QString(700, 'a'));
        Type("中");
        QCOMPARE(Box()->toPlainText(), QString(700, 'a'));
        QCOMPARE(Box()->textCursor().position(), 700);
        QCOMPARE(Counter(), QString("700/765 (5 SMS)"));
        QCOMPARE(beeps_, 1);

        dialog_->Command(CommandId::kCompose);
        Type("na\u00EFve");  // i with diaeresis has no place in the GSM alphabet
        QCOMPARE(Counter(), QString("5/70 (1 SMS)"));
    }

    // A paste too long for ten messages keeps what fits, where it was pasted, and beeps.
    void OverLongPasteKeepsWhatFits_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("counter");
        const QString wide(1000, QChar(0x4E2D));
        QTest::newRow("at the end")
            << QString(60, 'a') << "" << QString(2000, 'x') << QString(60, 'a') + QString(1470, 'x')
            << "1530/1530 (10 SMS)";
        QTest::newRow("in the middle")
            << "start "
            << " end" << QString(2000, 'x') << "start " + QString(1520, 'x') + " end"
            << "1530/1530 (10 SMS)";
        QTest::newRow("wide") << "ab"
                              << "" << wide << "ab" + wide.left(668) << "670/670 (10 SMS)";
        // Any wide character makes the text UCS2, where 700 plain characters alone are too long.
        QTest::newRow("wide into a long plain text")
            << QString(700, 'a') << "" << QString(30, QChar(0x4E2D)) << QString(700, 'a')
            << "700/765 (5 SMS)";
        QTest::newRow("a surrogate pair is never split")
            << QString(669, QChar(0x4E2D)) << "" << QString::fromUtf16(u"\U0001F600\U0001F600")
            << QString(669, QChar(0x4E2D)) << "669/670 (10 SMS)";
        QTest::newRow("line breaks count two")
            << ""
            << "" << QString("ab\n").repeated(600) << QString("ab\n").repeated(382) + "ab"
            << "1530/1530 (10 SMS)";
    }
    void OverLongPasteKeepsWhatFits() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        QFETCH(QString, counter);
        dialog_->SetMessageText(QString(before + after).replace("\n", "\r\n").toStdU16String());
        QTextCursor cursor = Box()->textCursor();
        cursor.setPosition(static_cast<int>(before.size()));
        Box()->setTextCursor(cursor);
        beeps_ = 0;
        QApplication::clipboard()->setText(pasted);
        Box()->paste();
        QCOMPARE(Box()->toPlainText(), expected);
        QCOMPARE(Counter(), counter);
        QCOMPARE(beeps_, 1);
        QCOMPARE(QString::fromStdU16String(dialog_->ComposeText()),
                 QString(expected).replace("\n", "\r\n"));
        QCOMPARE(Box()->textCursor().position(), static_cast<int>(expected.size() - after.size()));
    }

    void SetMessageTextCutsToTheLimit() {
        dialog_->SetMessageText(std::u16string(2000, u'x'));
        QCOMPARE(Box()->toPlainText().size(), 1530);
        QCOMPARE(Counter(), QString("1530/1530 (10 SMS)"));
        dialog_->SetMessageText(std::u16string(20, u'x') + std::u16string(800, u'中'));
        QCOMPARE(Box()->toPlainText().size(), 670);
        QCOMPARE(Counter(), QString("670/670 (10 SMS)"));
        // Line breaks are kept as CR LF and counted as two.
        dialog_->SetMessageText(u"Hi\r\nBye");
        QCOMPARE(Box()->toPlainText(), QString("Hi\nBye"));
        QCOMPARE(Counter(), QString("7/160 (1 SMS)"));
        QCOMPARE(dialog_->ComposeText(), std::u16string(u"Hi\r\nBye"));
    }

    void ReplyQuotesTheShownMessage() {
        dialog_->Command(CommandId::kMessages);
        dialog_->AppendMessageRow(kIconRead, u"555", u"1/1/02 00:00:00", u"Hi\r\nBye", 0);
        dialog_->Sms()->List()->SelectRow(0);
        dialog_->SetDetail(u"555", u"1/1/02 00:00:00", u"Hi\r\nBye");
        static_cast<QPushButton*>(dialog_->Control(1014))->click();
        QCOMPARE(dialog_->Page(), int(kPageCompose));
        QCOMPARE(dialog_->RecipientText(), std::u16string(u"555"));
        // The answer goes on an empty first line, above the quote, where the caret waits.
        QCOMPARE(dialog_->ComposeText(), std::u16string(u"\r\n> Hi\r\n> Bye"));
        QCOMPARE(Box()->toPlainText(), QString("\n> Hi\n> Bye"));
        QCOMPARE(Box()->textCursor().position(), 0);
        QVERIFY(Box()->hasFocus() || QApplication::focusWidget() == nullptr);
        Type("No problem");
        QCOMPARE(dialog_->ComposeText(), std::u16string(u"No problem\r\n> Hi\r\n> Bye"));
    }

    void LongStoredMessagesAreShownWhole() {
        dialog_->Command(CommandId::kMessages);
        const std::u16string body(200, u'x');
        dialog_->SetDetail(u"555", u"1/1/02 00:00:00", body);
        QCOMPARE(dialog_->DetailBody(), body);
        QCOMPARE(Counter(), QString("200/306"));
    }

    void PickingRecipients_data() {
        QTest::addColumn<QString>("recipients");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QList<bool>>("ticked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("tick and untick")
            << "111;222" << QStringList{"333", "111"} << QList<bool>{true, false} << "222;333";
        QTest::newRow("not a delimited entry")
            << "123" << QStringList{"23"} << QList<bool>{true} << "123;23";
        QTest::newRow("occurrence before ';'")
            << "912;5" << QStringList{"12"} << QList<bool>{false} << ";5";
        QTest::newRow("into empty")
            << "" << QStringList{"1", "2"} << QList<bool>{true, true} << "1;2";
        QTest::newRow("already there") << "1;2" << QStringList{"2"} << QList<bool>{true} << "1;2";
        QTest::newRow("only entry") << "7" << QStringList{"7"} << QList<bool>{false} << "";
        QTest::newRow("empty number changes nothing")
            << "1;2" << QStringList{"", ""} << QList<bool>{true, false} << "1;2";
    }
    void PickingRecipients() {
        QFETCH(QString, recipients);
        QFETCH(QStringList, numbers);
        QFETCH(QList<bool>, ticked);
        QFETCH(QString, expected);
        std::vector<std::pair<std::u16string, bool>> lines;
        for (int i = 0; i < numbers.size(); ++i) {
            lines.emplace_back(numbers[i].toStdU16String(), ticked[i]);
        }
        QCOMPARE(QString::fromStdU16String(
                     ComposePage::PickRecipients(recipients.toStdU16String(), lines)),
                 expected);
        QVERIFY(ComposePage::IsAmongRecipients(u"912;5", u"12"));
        QVERIFY(!ComposePage::IsAmongRecipients(u"123", u"23"));
    }

    void PickingModeButtons() {
        dialog_->SetRecipientText(u"111");
        static_cast<QPushButton*>(dialog_->Control(1025))->click();
        QVERIFY(dialog_->Picking());
        QCOMPARE(dialog_->Page(), int(kPageCompose));
        QCOMPARE(static_cast<QPushButton*>(dialog_->Control(1030))->text(), QString("Okay"));
        QVERIFY(dialog_->Control(1031)->isVisible());
        QVERIFY(!dialog_->Control(1046)->isVisible());
        QVERIFY(!dialog_->Control(1024)->isVisible());
        static_cast<QPushButton*>(dialog_->Control(1031))->click();
        QVERIFY(!dialog_->Picking());
        QVERIFY(dialog_->Control(1024)->isVisible());
        QCOMPARE(dialog_->RecipientText(), std::u16string(u"111"));
    }

    void CannedMessagesInsertAtTheCaret() {
        QTreeWidget* tree = dialog_->CannedTreeWidget();
        QVERIFY(tree->topLevelItemCount() == 1);
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->text(0), QString("Canned Message"));
        if (root->childCount() == 0) QSKIP("no canned library in the shipped folders");
        static_cast<QPushButton*>(dialog_->Control(1027))->click();
        QVERIFY(tree->isVisible());
        QCOMPARE(Box()->height(), 80);
        QTreeWidgetItem* topic = root->child(0);
        QTreeWidgetItem* leaf = topic;
        while (leaf->childCount())
            leaf = leaf->child(0);
        Type("ab");
        QTextCursor cursor = Box()->textCursor();
        cursor.setPosition(1);
        Box()->setTextCursor(cursor);
        leaf->setSelected(true);
        QString expected = "a" + leaf->text(0) + "b";
        QCOMPARE(Box()->toPlainText(), expected);
        QCOMPARE(Box()->textCursor().position(), 1 + int(leaf->text(0).size()));
        Screenshot("compose_canned_en");
        // A topic inserts nothing and puts the caret at the former selection's start.
        cursor.setPosition(0);
        cursor.setPosition(2, QTextCursor::KeepAnchor);
        Box()->setTextCursor(cursor);
        tree->clearSelection();
        topic->setSelected(true);
        QCOMPARE(Box()->toPlainText(), expected);
        QCOMPARE(Box()->textCursor().position(), 0);
        static_cast<QPushButton*>(dialog_->Control(1027))->click();
        QVERIFY(!tree->isVisible());
        QCOMPARE(Box()->height(), 164);
    }

    void SendRefusesInOrder() {
        static_cast<QPushButton*>(dialog_->Control(1028))->click();
        dialog_->SetRecipientText(u"123");
        static_cast<QPushButton*>(dialog_->Control(1028))->click();
        Type("x");
        static_cast<QPushButton*>(dialog_->Control(1028))->click();
        QCOMPARE(boxes_, (QStringList{"Invalid phone number", "Please input message"}));
        // Offline, the message waits in the Outbox, shown, and the status line says so.
        QCOMPARE(dialog_->CurrentFolderTab(), FolderTab(FolderId::Outbox));
        QCOMPARE(dialog_->Sms()->StatusText(),
                 QStringLiteral("In the Outbox: it goes at the next connection"));
        dialog_->Command(CommandId::kCompose);
    }

    void PictureModeAndKinds() {
        static_cast<QPushButton*>(dialog_->Control(1064))->click();
        QCOMPARE(dialog_->CurrentComposeMode(), ComposeMode::kPicture);
        QCOMPARE(static_cast<QPushButton*>(dialog_->Control(1064))->text(), QString("Text"));
        QVERIFY(!Box()->isVisible());
        PictureEditor* editor = dialog_->Picture();
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->height(), 84);
        QVERIFY(dialog_->PictureIsEmpty());
        auto* kinds = static_cast<QComboBox*>(dialog_->Control(1017));
        QCOMPARE(kinds->count(), 3);
        QCOMPARE(kinds->itemText(1), QString("PhoneLogo"));
        kinds->setCurrentIndex(1);
        emit kinds->activated(1);
        QCOMPARE(dialog_->CurrentPictureKind(), PictureKind::kOperatorLogo);
        QCOMPARE(dialog_->Picture()->height(), 42);
        QVERIFY(dialog_->Picture()->isVisible());
        dialog_->Picture()->PenDown({0, 0});
        dialog_->Picture()->PenUp({0, 0});
        QVERIFY(!dialog_->PictureIsEmpty());
        QCOMPARE(dialog_->PictureHex().substr(0, 1), std::u16string(u"8"));
        Screenshot("compose_picture_en");
        // Back to text: the picture is cleared and the folders return.
        static_cast<QPushButton*>(dialog_->Control(1064))->click();
        QCOMPARE(dialog_->CurrentComposeMode(), ComposeMode::kText);
        QVERIFY(dialog_->PictureIsEmpty());
        QVERIFY(Box()->isVisible());
        QCOMPARE(kinds->itemText(0), QString("Outbox"));
        QCOMPARE(dialog_->SaveToFolder(), 1);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    ComposeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "compose_test.moc"
