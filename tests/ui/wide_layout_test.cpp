// The window made wide: the side-by-side layout and back, the columns sharing the width, the
// commands on the highlighted message, the Sent marks, the search row's Escape and the window's
// place.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <utility>

#include "control/ui_strings.h"
#include "control/window_interface.h"
#include "history/history_db.h"
#include "history/history_keys.h"
#include "platform/files.h"
#include "platform/settings_store.h"
#include "store/message_store.h"
#include "ui/compose_page.h"
#include "ui/conversations_view.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/phonebook_page.h"
#include "ui/settings_page.h"
#include "ui/sms_page.h"
#include "window_rig.h"

using namespace telvane;
namespace fs = std::filesystem;

namespace {

SmsRecord Record(const char16_t* number, const char16_t* time, const char16_t* text,
                 const char16_t* status = u"STO UNSENT") {
    SmsRecord record;
    record.index = -1;
    record.status = status;
    record.number = number;
    record.time = time;
    record.text = text;
    return record;
}

void SaveFolder(FolderId folder, const std::vector<SmsRecord>& records) {
    MessageStore store;
    for (const SmsRecord& record : records)
        QVERIFY(store.AddShown(record));
    QVERIFY(store.SaveShown(folder));
}

int UsedSlots(FolderId folder) {
    MessageStore store;
    if (!store.LoadShown(folder)) return -1;
    int used = 0;
    for (int position = 0; position < kFolderSlots; ++position)
        used += store.Shown().IsUsed(position) ? 1 : 0;
    return used;
}

// What the delegate needs to draw the cell's text whole, with its tick and icon.
int CellNeed(ListView* list, int row, int column) {
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.font = list->font();
    option.decorationSize = list->iconSize();
    return list->itemDelegate()->sizeHint(option, list->model()->index(row, column)).width();
}

}  // namespace

class WideLayoutTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QStringList questions_;
    int beeps_ = 0;
    bool answer_ = true;

    // `watcher` sees the window's events from before it is shown.
    std::unique_ptr<MainDialog> Open(qreal scale = 1.0, QObject* watcher = nullptr) {
        const fs::path root = dir_.path().toStdString();
        MainDialogOptions options = testing::OfflineOptions(root, scale);
        options.confirm = [this](const QString& question) {
            questions_ << question;
            return answer_;
        };
        options.beep = [this] { ++beeps_; };
        auto dialog = std::make_unique<MainDialog>(options);
        if (watcher) dialog->installEventFilter(watcher);
        dialog->show();
        return dialog;
    }

    static void Shoot(MainDialog& dialog, const QString& name) {
        QDir().mkpath(TELVANE_BINARY_DIR "/screenshots");
        QApplication::processEvents();
        dialog.grab().save(QString(TELVANE_BINARY_DIR "/screenshots/%1.png").arg(name));
    }

    static QSize Wide(qreal scale) { return QSize(qRound(760 * scale), qRound(300 * scale)); }

    static void Choose(MainDialog& dialog, bool chinese) {
        dialog.Command(CommandId::kSettings);
        static_cast<QComboBox*>(dialog.Control(1042))->setCurrentIndex(chinese ? 0 : 1);
        static_cast<QPushButton*>(dialog.Control(1043))->click();
    }

  private slots:
    void init() {
        questions_.clear();
        beeps_ = 0;
        answer_ = true;
        SetLanguage(0);
        for (const char* name : {"config", "contacts", "folders"})
            fs::remove_all(fs::path(dir_.path().toStdString()) / name);
        for (FolderId folder :
             {FolderId::Inbox, FolderId::Outbox, FolderId::Sent, FolderId::Draft, FolderId::Saved})
            SaveFolder(folder, {});
    }

    // Made wide, the folders, the list and the reading pane stand side by side and the commands
    // show their names; made narrow again, the handheld's layout returns.  What the user chose,
    // scrolled to and typed stays through both.
    void SwitchingLayoutsKeepsSelectionScrollAndTyping() {
        std::vector<SmsRecord> records;
        for (int i = 0; i < 60; ++i) {
            const std::u16string text = u"Draft " + QString::number(i).toStdU16String();
            records.push_back(Record(u"555", u"26/12/01,09:15:00", text.c_str()));
        }
        SaveFolder(FolderId::Draft, records);
        auto dialog = Open();
        SmsPage* sms = dialog->Sms();
        ListView* list = sms->List();
        dialog->SelectFolderTab(FolderTab(FolderId::Draft));
        QCOMPARE(list->RowCount(), 60);
        list->SelectRow(40);
        list->scrollTo(list->model()->index(40, 0));
        const int scrolled = list->verticalScrollBar()->value();
        QVERIFY(scrolled > 0);
        const QString shown = static_cast<QPlainTextEdit*>(dialog->Control(1018))->toPlainText();
        QVERIFY(shown.startsWith("Draft"));
        QVERIFY(!sms->FolderList()->isVisible());
        dialog->Command(CommandId::kCompose);
        auto* body = static_cast<QPlainTextEdit*>(dialog->Control(1018));
        body->setPlainText("Half written");
        dialog->Command(CommandId::kMessages);
        dialog->SelectFolderTab(FolderTab(FolderId::Draft));
        list->SelectRow(40);
        list->verticalScrollBar()->setValue(scrolled);
        QToolBar* bar = dialog->findChild<QToolBar*>("commandBar");
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);

        for (int round = 0; round < 2; ++round) {
            dialog->resize(Wide(1.0));
            QVERIFY(sms->FolderList()->isVisible());
            QVERIFY(!sms->Tabs()->isVisible());
            QCOMPARE(sms->FolderList()->currentRow(), FolderTab(FolderId::Draft));
            QVERIFY(sms->SearchBox()->isVisible());
            // The reading pane beside the list, not under it.
            QVERIFY(dialog->Control(1018)->x() >= list->geometry().right());
            QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
            QCOMPARE(list->SelectedRow(), 40);
            QCOMPARE(list->verticalScrollBar()->value() > 0, true);
            dialog->resize(dialog->minimumSize());
            QVERIFY(sms->Tabs()->isVisible());
            QVERIFY(!sms->FolderList()->isVisible());
            QCOMPARE(list->SelectedRow(), 40);
            QCOMPARE(static_cast<QPlainTextEdit*>(dialog->Control(1018))->toPlainText(), shown);
        }
        // A search typed wide stays, and keeps its row, at the first size.
        dialog->resize(Wide(1.0));
        sms->SearchBox()->setText("Draft 4");
        QCOMPARE(list->RowCount(), 11);
        dialog->resize(dialog->minimumSize());
        QVERIFY(sms->SearchBox()->isVisible());
        QCOMPARE(sms->SearchBox()->text(), QString("Draft 4"));
        QCOMPARE(list->RowCount(), 11);
        // The side list picks the folder as the tabs do.
        dialog->resize(Wide(1.0));
        sms->FolderList()->setCurrentRow(FolderTab(FolderId::Inbox));
        QCOMPARE(dialog->CurrentFolderTab(), FolderTab(FolderId::Inbox));
        QCOMPARE(sms->Tabs()->currentIndex(), FolderTab(FolderId::Inbox));
        dialog->Command(CommandId::kCompose);
        QCOMPARE(static_cast<QPlainTextEdit*>(dialog->Control(1018))->toPlainText(),
                 QString("Half written"));
        // Wide, the canned messages stand beside the text; narrow, under it.
        static_cast<QPushButton*>(dialog->Control(1027))->click();
        QWidget* tree = dialog->Control(1029);
        QVERIFY(tree->isVisible());
        QVERIFY(tree->x() > dialog->Control(1018)->geometry().right());
        dialog->resize(dialog->minimumSize());
        QVERIFY(tree->y() > dialog->Control(1018)->geometry().bottom());
        // Settings keeps its boxes near their labels.
        dialog->resize(Wide(1.0));
        dialog->Command(CommandId::kSettings);
        QVERIFY(dialog->Control(1033)->width() < dialog->width() / 2);
    }

    // Wide, the side list's last line puts the conversations where the list and the reading
    // pane were; the folders, the narrow layout and the other language still work around it.
    void ConversationsHaveALineBesideTheFolders() {
        {
            HistoryDb db;
            QVERIFY(db.Open(DataFile(kHistoryFileName), HistoryAccess::kWrite));
            HistoryMessage m;
            m.number = u"+886912345678";
            m.timeText = u"26/12/01,09:00:00";
            m.time = *HistoryTime(m.timeText);
            m.text = u"Dinner at eight?";
            m.store = u"inbox";
            m.key = MessageKey(m.direction, m.number, m.timeText, m.text);
            QVERIFY(db.Store({m}).ok);
        }
        SaveFolder(FolderId::Draft, {Record(u"555", u"26/12/01,09:15:00", u"Half a draft")});
        auto dialog = Open();
        SmsPage* sms = dialog->Sms();
        QListWidget* side = sms->FolderList();
        dialog->SelectFolderTab(FolderTab(FolderId::Draft));
        sms->List()->SelectRow(0);
        dialog->resize(Wide(1.0));
        QCOMPARE(side->count(), SmsPage::kConversationsLine + 1);
        QCOMPARE(side->item(SmsPage::kConversationsLine)->text(), QString("Conversations"));

        side->setCurrentRow(SmsPage::kConversationsLine);
        // ConversationsView has no meta-object of its own: found through its list.
        auto* peopleList = sms->findChild<QListWidget*>("conversationList");
        QVERIFY(peopleList != nullptr);
        QWidget* view = peopleList->parentWidget();
        QVERIFY(view->isVisible());
        QVERIFY(view->x() > side->geometry().right());
        QVERIFY(view->geometry().right() < sms->width());
        for (int control : {1013, 1018, 1030})
            QVERIFY2(!dialog->Control(control)->isVisible(), qPrintable(QString::number(control)));
        QVERIFY(!sms->SearchBox()->isVisible());
        auto* people = view->findChild<QListWidget*>("conversationList");
        QCOMPARE(people->count(), 1);
        QVERIFY(people->item(0)->text().contains("Dinner at eight?"));
        // Tab goes from the folders into the conversations.
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        side->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return side->hasFocus(); }));
        QTest::keyClick(side, Qt::Key_Tab);
        QVERIFY(view->isAncestorOf(QApplication::focusWidget()));
        // Delete does not reach the hidden list's highlighted message.
        dialog->Command(CommandId::kDelete);
        QCOMPARE(beeps_, 1);
        QVERIFY(questions_.isEmpty());
        QCOMPARE(UsedSlots(FolderId::Draft), 1);
        // The context menu's command shows the same place, not a window of its own.
        QCOMPARE(static_cast<QWidget*>(dialog->ShowConversations()), view);

        // Narrow, the folder is back under its tabs; wide again, the conversations.
        dialog->resize(dialog->minimumSize());
        QVERIFY(!view->isVisible());
        QVERIFY(sms->List()->isVisible());
        QVERIFY(sms->Tabs()->isVisible());
        QCOMPARE(sms->Tabs()->currentIndex(), FolderTab(FolderId::Draft));
        dialog->resize(Wide(1.0));
        QVERIFY(view->isVisible());
        QVERIFY(!sms->List()->isVisible());

        // A folder of the side list brings back the list as it was, with the Draft's Edit.
        side->setCurrentRow(FolderTab(FolderId::Draft));
        QVERIFY(!view->isVisible());
        QVERIFY(sms->List()->isVisible());
        QVERIFY(dialog->Control(1030)->isVisible());
        QCOMPARE(sms->List()->SelectedRow(), 0);
        QCOMPARE(dialog->CurrentFolderTab(), FolderTab(FolderId::Draft));
        side->setCurrentRow(SmsPage::kConversationsLine);
        QVERIFY(view->isVisible());
        sms->Tabs()->setCurrentIndex(FolderTab(FolderId::Inbox));
        QVERIFY(!view->isVisible());
        QCOMPARE(side->currentRow(), FolderTab(FolderId::Inbox));

        Choose(*dialog, true);
        dialog->Command(CommandId::kMessages);
        QCOMPARE(side->item(SmsPage::kConversationsLine)->text(),
                 QString::fromStdU16String(LoadUiString(ui_text::kConversations)));
        QCOMPARE(side->item(SmsPage::kConversationsLine)->text(), QString::fromUtf8("對話"));
        side->setCurrentRow(SmsPage::kConversationsLine);
        QVERIFY(view->isVisible());
        Choose(*dialog, false);
    }

    // Numbers and times show whole, at the first size and wide, in either language; a message
    // to several people does not push the time out of view; each folder keeps the widths the
    // user gave it, and a column is no wider than its texts need.
    void ColumnsShareTheWidth_data() {
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<bool>("chinese");
        for (qreal scale : {1.0, 2.5}) {
            for (bool wide : {false, true}) {
                for (bool chinese : {false, true}) {
                    QTest::addRow("x%g %s %s", scale, wide ? "wide" : "first",
                                  chinese ? "zh" : "en")
                        << scale << wide << chinese;
                }
            }
        }
    }
    void ColumnsShareTheWidth() {
        QFETCH(qreal, scale);
        QFETCH(bool, wide);
        QFETCH(bool, chinese);
        SaveFolder(FolderId::Sent,
                   {Record(u"+886912345678;+886955123456;+886933221234", u"26/12/30,23:59:59",
                           u"To three", u"STO SENT"),
                    Record(u"+886912345678", u"26/12/28,20:48:08", u"To one", u"STO SENT")});
        SaveFolder(FolderId::Draft, {Record(u"555", u"26/12/01,09:15:00", u"Short")});
        auto dialog = Open(scale);
        Choose(*dialog, chinese);
        if (wide) dialog->resize(Wide(scale));
        ListView* list = dialog->Sms()->List();
        dialog->SelectFolderTab(FolderTab(FolderId::Sent));
        QCOMPARE(list->RowCount(), 2);
        const int one = list->FindData(1);
        for (int column : {0, 1, 2}) {
            const int need = CellNeed(list, one, column);
            QVERIFY2(need <= list->columnWidth(column),
                     qPrintable(QString("column %1 needs %2, has %3")
                                    .arg(column)
                                    .arg(need)
                                    .arg(list->columnWidth(column))));
        }
        QVERIFY(CellNeed(list, list->FindData(0), 2) <= list->columnWidth(2));
        const int used = list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2);
        QVERIFY2(used <= list->viewport()->width(),
                 qPrintable(QString("%1 of %2").arg(used).arg(list->viewport()->width())));
        // The three recipients are named in the tip of the row that shows them cut.
        QCOMPARE(list->model()->index(list->FindData(0), 1).data(Qt::ToolTipRole).toString(),
                 QString("+886912345678;+886955123456;+886933221234"));
        if (wide) {
            // Wide, the list has room for the interface's own face.
            QCOMPARE(list->font().pixelSize(), dialog->CurrentUiFont().pixelSize());
            // Wide, the message text takes what is left and is read whole.
            QVERIFY(list->columnWidth(3) >= CellNeed(list, one, 3));
        }

        // A width the user gave the Sent folder is its own; the Draft folder's phone column
        // is as wide as its heading and "555" need.
        list->setColumnWidth(1, list->columnWidth(1) + 40);
        const int sentPhone = list->columnWidth(1);
        dialog->SelectFolderTab(FolderTab(FolderId::Draft));
        const int draftNeed = std::max(CellNeed(list, 0, 1), list->header()->sectionSizeHint(1));
        QCOMPARE(list->columnWidth(1), draftNeed);
        dialog->SelectFolderTab(FolderTab(FolderId::Sent));
        QCOMPARE(list->columnWidth(1), sentPhone);
    }

    // A window left wide opens wide: laid out for that size before its first paint, with the
    // list in the interface's face and its numbers and times whole, as when made wide by hand.
    void OpensWideWhereItWasLeft_data() {
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<bool>("chinese");
        for (qreal scale : {1.0, 2.5}) {
            for (bool chinese : {false, true})
                QTest::addRow("x%g %s", scale, chinese ? "zh" : "en") << scale << chinese;
        }
    }
    void OpensWideWhereItWasLeft() {
        QFETCH(qreal, scale);
        QFETCH(bool, chinese);
        SaveFolder(FolderId::Inbox,
                   {Record(u"+886912345678", u"26/12/30,23:59:59", u"Late", u"REC READ"),
                    Record(u"+886933221234", u"26/12/28,20:48:08", u"Early", u"REC READ")});
        {
            auto dialog = Open(scale);
            Choose(*dialog, chinese);
            dialog->resize(Wide(scale));
        }
        MainDialog* painted = nullptr;
        struct FirstPaint : QObject {
            std::function<void()> check;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint && check) std::exchange(check, nullptr)();
                return false;
            }
        } spy;
        bool wideAtFirstPaint = false;
        QFont listFont;
        spy.check = [&] {
            wideAtFirstPaint = painted->Sms()->FolderList()->isVisible();
            listFont = painted->Sms()->List()->font();
        };
        auto dialog = Open(scale, &spy);
        painted = dialog.get();
        QVERIFY(QTest::qWaitFor([&] { return !spy.check; }, 60000));
        QCOMPARE(dialog->size(), Wide(scale));
        QVERIFY(wideAtFirstPaint);
        QCOMPARE(listFont.pixelSize(), dialog->CurrentUiFont().pixelSize());
        QCOMPARE(dialog->findChild<QToolBar*>("commandBar")->toolButtonStyle(),
                 Qt::ToolButtonTextBesideIcon);
        ListView* list = dialog->Sms()->List();
        QCOMPARE(list->RowCount(), 2);
        for (int row = 0; row < list->RowCount(); ++row) {
            for (int column : {0, 1, 2, 3}) {
                const int need = CellNeed(list, row, column);
                QVERIFY2(need <= list->columnWidth(column),
                         qPrintable(QString("column %1 needs %2, has %3")
                                        .arg(column)
                                        .arg(need)
                                        .arg(list->columnWidth(column))));
            }
        }
    }

    // The phonebook's numbers show whole at the first size; the names take what is left, and
    // a wide window gives them the room.
    void PhonebookNumbersWholeAndNamesTakeTheRest() {
        auto dialog = Open();
        QVERIFY(dialog->Contacts().Add(u"Customer Care Centre North", u"+886912345678"));
        QVERIFY(dialog->Contacts().Add(u"Amy", u"+85291234567"));
        dialog->Command(CommandId::kPhonebook);
        PhonebookPage* book = dialog->Phonebook();
        book->Tabs()->setCurrentIndex(static_cast<int>(PhonebookSource::kContacts));
        ListView* list = book->List();
        int narrowName = 0;
        for (bool wide : {false, true}) {
            if (wide) dialog->resize(Wide(1.0));
            for (int row = 0; row < list->RowCount(); ++row)
                QVERIFY(CellNeed(list, row, 3) <= list->columnWidth(3));
            int used = 0;
            for (int column = 0; column < 4; ++column)
                used += list->columnWidth(column);
            QCOMPARE(used, std::max(used, list->viewport()->width()));
            QVERIFY2(used <= list->viewport()->width() + 1,
                     qPrintable(QString("%1 %2 %3 %4 %5 of %6")
                                    .arg(wide)
                                    .arg(list->columnWidth(0))
                                    .arg(list->columnWidth(1))
                                    .arg(list->columnWidth(2))
                                    .arg(list->columnWidth(3))
                                    .arg(list->viewport()->width())));
            if (!wide) narrowName = list->columnWidth(2);
        }
        QVERIFY(list->columnWidth(2) > narrowName + 200);
        QVERIFY(CellNeed(list, 0, 2) <= list->columnWidth(2));
    }

    // The wide window as the README shows it, in both languages.
    void Screenshots() {
        SaveFolder(FolderId::Inbox, {Record(u"+886912345678", u"26/12/30,19:25:16",
                                            u"Dinner at eight? Bring the maps.", u"REC READ"),
                                     Record(u"+886955123456", u"26/12/30,08:02:41",
                                            u"Flight lands 07:55, gate B4.", u"REC UNREAD"),
                                     Record(u"+85291234567", u"26/12/29,21:14:09",
                                            u"明天下午三點開會，請準時。", u"REC READ"),
                                     Record(u"1955", u"26/12/28,10:00:00",
                                            u"Your bill for December is ready.", u"REC READ")});
        for (bool chinese : {false, true}) {
            auto dialog = Open();
            if (dialog->Contacts().Count() == 0) {
                QVERIFY(dialog->Contacts().Add(u"Amy Chen", u"+886912345678"));
                QVERIFY(dialog->Contacts().Add(u"李大華", u"+85291234567"));
            }
            Choose(*dialog, chinese);
            dialog->resize(860, 420);
            ListView* list = dialog->Sms()->List();
            list->SelectRow(0);
            const char* language = chinese ? "zh" : "en";
            Shoot(*dialog, QString("sms_wide_%1").arg(language));
            dialog->Command(CommandId::kPhonebook);
            dialog->Phonebook()->Tabs()->setCurrentIndex(
                static_cast<int>(PhonebookSource::kContacts));
            dialog->Phonebook()->List()->SelectRow(0);
            static_cast<QPushButton*>(dialog->Control(1030))->click();
            Shoot(*dialog, QString("phonebook_wide_%1").arg(language));
            dialog->Command(CommandId::kMessages);
        }
    }

    // The folder widths the user set outlive the session, each folder its own.
    void FolderWidthsAreRemembered() {
        SaveFolder(FolderId::Sent, {Record(u"555", u"26/12/01,09:15:00", u"a", u"STO SENT")});
        {
            auto dialog = Open();
            dialog->SelectFolderTab(FolderTab(FolderId::Sent));
            dialog->Sms()->List()->setColumnWidth(2, 150);
        }
        auto dialog = Open();
        ListView* list = dialog->Sms()->List();
        QVERIFY(list->columnWidth(2) < 150);
        dialog->SelectFolderTab(FolderTab(FolderId::Sent));
        QCOMPARE(list->columnWidth(2), 150);
    }

    // With nothing ticked, the commands act on the highlighted message, and the question
    // names how many; with nothing ticked or highlighted nothing happens but a beep.
    void CommandsActOnTheHighlightedMessage() {
        SaveFolder(FolderId::Draft, {Record(u"111", u"26/12/01,09:15:00", u"first"),
                                     Record(u"222", u"26/12/02,09:15:00", u"second"),
                                     Record(u"333", u"26/12/03,09:15:00", u"third")});
        auto dialog = Open();
        ListView* list = dialog->Sms()->List();
        dialog->SelectFolderTab(FolderTab(FolderId::Draft));
        QCOMPARE(list->RowCount(), 3);
        // The Delete key is the window's shortcut: it needs the window active.
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));

        // Save To with nothing chosen stays in the folder.
        static_cast<QPushButton*>(dialog->Control(1016))->click();
        QCOMPARE(dialog->CurrentFolderTab(), FolderTab(FolderId::Draft));
        QCOMPARE(beeps_, 1);
        dialog->Command(CommandId::kDelete);
        QCOMPARE(beeps_, 2);
        QVERIFY(questions_.isEmpty());

        // Save To copies the highlighted one to Save (the second line of Draft's targets).
        list->SelectRow(list->FindData(1));
        static_cast<QComboBox*>(dialog->Control(1017))->setCurrentIndex(1);
        static_cast<QPushButton*>(dialog->Control(1016))->click();
        QCOMPARE(dialog->CurrentFolderTab(), FolderTab(FolderId::Saved));
        QCOMPARE(list->RowCount(), 1);
        QCOMPARE(list->Text(0, 3), QString("second"));

        // The Delete key on the highlighted row: one, named in the question.
        dialog->SelectFolderTab(FolderTab(FolderId::Draft));
        list->SelectRow(list->FindData(2));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(questions_, QStringList{"Delete 1 message from Draft?"});
        QTRY_COMPARE(list->RowCount(), 2);
        QCOMPARE(UsedSlots(FolderId::Draft), 2);
        QCOMPARE(list->FindData(2), -1);

        // Ticks win over the highlight.
        list->SelectRow(0);
        const int highlighted = list->Data(0);
        list->SetTicked(1, true);
        dialog->Command(CommandId::kDelete);
        QCOMPARE(questions_.last(), QString("Delete 1 message from Draft?"));
        QTRY_COMPARE(list->RowCount(), 1);
        QCOMPARE(list->Data(0), highlighted);
    }

    // Ticked with nothing highlighted, Reply answers every ticked sender once, quoting the
    // first; Forward takes the first ticked message.
    void ReplyAndForwardTakeTheTickedMessages() {
        SaveFolder(FolderId::Inbox, {Record(u"111", u"26/12/01,09:15:00", u"first", u"REC READ"),
                                     Record(u"222", u"26/12/02,09:15:00", u"second", u"REC READ"),
                                     Record(u"111", u"26/12/03,09:15:00", u"third", u"REC READ")});
        auto dialog = Open();
        ListView* list = dialog->Sms()->List();
        QCOMPARE(list->RowCount(), 3);
        list->TickAll(true);
        static_cast<QPushButton*>(dialog->Control(1014))->click();
        QCOMPARE(dialog->Page(), int(kPageCompose));
        QCOMPARE(QString::fromStdU16String(dialog->RecipientText()), QString("111;222"));
        QVERIFY(QString::fromStdU16String(dialog->ComposeText()).contains("third"));

        dialog->Command(CommandId::kMessages);
        list->SetTicked(list->FindData(1), true);
        static_cast<QPushButton*>(dialog->Control(1015))->click();
        QCOMPARE(dialog->Page(), int(kPageCompose));
        QVERIFY(dialog->RecipientText().empty());
        QVERIFY(QString::fromStdU16String(dialog->ComposeText()).contains("second"));
    }

    // The same in the phonebook: the highlighted contact goes, after the question.
    void PhonebookDeletesTheHighlightedEntry() {
        auto dialog = Open();
        QVERIFY(dialog->Contacts().Add(u"Amy", u"0911111111"));
        QVERIFY(dialog->Contacts().Add(u"Bob", u"0922222222"));
        dialog->Command(CommandId::kPhonebook);
        PhonebookPage* book = dialog->Phonebook();
        book->Tabs()->setCurrentIndex(static_cast<int>(PhonebookSource::kContacts));
        ListView* list = book->List();
        QCOMPARE(list->RowCount(), 2);
        list->SelectRow(1);
        const QString kept = list->Text(0, 2);
        dialog->Command(CommandId::kDelete);
        QCOMPARE(questions_, QStringList{"Delete 1 contact?"});
        QCOMPARE(dialog->Contacts().Count(), 1);
        QCOMPARE(QString::fromStdU16String(dialog->Contacts().GetName(0)), kept);
    }

    // A Sent message shows how far it got: one mark, each recipient's state in its tip.
    void SentRowsMarkTheirDelivery() {
        SmsRecord pending =
            Record(u"+886912345678;+886955123456", u"26/12/30,23:59:59", u"Both", u"STO SENT");
        pending.extra = u"+886912345678|17|delivered;+886955123456|18|pending";
        SmsRecord failed = Record(u"+886912345678", u"26/12/29,23:59:59", u"One", u"STO SENT");
        failed.extra = u"+886912345678|19|failed";
        SmsRecord delivered = Record(u"555", u"26/12/28,23:59:59", u"Got it", u"STO SENT");
        delivered.extra = u"555|20|delivered";
        SmsRecord unasked = Record(u"556", u"26/12/27,23:59:59", u"No report", u"STO SENT");
        SaveFolder(FolderId::Sent, {pending, failed, delivered, unasked});
        auto dialog = Open();
        dialog->SelectFolderTab(FolderTab(FolderId::Sent));
        ListView* list = dialog->Sms()->List();
        const struct {
            int data;
            int icon;
            QStringList tip;
        } cases[] = {
            {0, kMarkPending, {"+886912345678: Delivered", "+886955123456: "}},
            {1, kMarkFailed, {"+886912345678: "}},
            {2, kMarkDelivered, {"555: Delivered"}},
            {3, -1, {}},
        };
        for (const auto& c : cases) {
            const int row = list->FindData(c.data);
            // -1: no report was asked for, and the row keeps the folder's own icon.
            if (c.icon >= 0) {
                QCOMPARE(list->Row(row)->icon, c.icon);
            } else {
                QVERIFY(list->Row(row)->icon < kMarkDelivered);
            }
            const QString tip = list->model()->index(row, 0).data(Qt::ToolTipRole).toString();
            for (const QString& part : c.tip)
                QVERIFY2(tip.contains(part), qPrintable(tip));
            QCOMPARE(tip.count('\n'), std::max<qsizetype>(0, c.tip.size() - 1));
        }
    }

    // Escape clears the search, a second one closes its row; the reading pane never shows a
    // message the search has hidden.
    void EscapeAndTheReadingPaneFollowTheSearch() {
        SaveFolder(FolderId::Draft, {Record(u"111", u"26/12/01,09:15:00", u"apples"),
                                     Record(u"222", u"26/12/02,09:15:00", u"pears")});
        auto dialog = Open();
        SmsPage* sms = dialog->Sms();
        ListView* list = sms->List();
        dialog->SelectFolderTab(FolderTab(FolderId::Draft));
        list->SelectRow(list->FindData(0));
        auto* box = static_cast<QPlainTextEdit*>(dialog->Control(1018));
        QCOMPARE(box->toPlainText(), QString("apples"));
        dialog->findChild<QAction*>("search")->trigger();
        QLineEdit* search = sms->SearchBox();
        QVERIFY(search->isVisible());
        QTest::keyClicks(search, "pear");
        QCOMPARE(list->RowCount(), 1);
        QCOMPARE(box->toPlainText(), QString());
        QVERIFY(dialog->DetailNumber().empty());
        QTest::keyClick(search, Qt::Key_Escape);
        QVERIFY(search->isVisible());
        QCOMPARE(search->text(), QString());
        QCOMPARE(list->RowCount(), 2);
        QTest::keyClick(search, Qt::Key_Escape);
        QVERIFY(!search->isVisible());
        QVERIFY(dialog->isVisible());
        // Closed by hand, it stays closed in a tall window until asked for again.
        dialog->resize(dialog->width(), dialog->height() * 2);
        QVERIFY(!search->isVisible());
        dialog->findChild<QAction*>("search")->trigger();
        QVERIFY(search->isVisible());
    }

    // A long status keeps its start and the end of its path; the whole text is the tip.
    void StatusLineShortensInTheMiddle() {
        auto dialog = Open();
        const QString text =
            "Initialize failed: cannot open "
            "/dev/serial/by-id/usb-Acme_Modem_0123456789-if00-port0: "
            "No such file or directory";
        dialog->SetStatusText(text.toStdU16String());
        auto* line = static_cast<QLabel*>(dialog->Control(1022));
        for (QSize size : {dialog->minimumSize(), Wide(1.0) * 2}) {
            dialog->resize(size);
            const bool whole = line->fontMetrics().horizontalAdvance(text) <= line->width();
            QCOMPARE(whole, size != dialog->minimumSize());
            if (whole) {
                QCOMPARE(line->text(), text);
                QCOMPARE(line->toolTip(), QString());
                continue;
            }
            QVERIFY2(line->text().startsWith("Init"), qPrintable(line->text()));
            QVERIFY2(line->text().endsWith("ory"), qPrintable(line->text()));
            QVERIFY(line->text().contains(QChar(0x2026)));
            QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
            QCOMPARE(line->toolTip(), text);
        }
        dialog->SetStatusText(u"Offline");
        QCOMPARE(line->text(), QString("Offline"));
        QCOMPARE(line->toolTip(), QString());
    }

    // Return in the entry panel confirms it as Okay does.
    void ReturnConfirmsTheEntryPanel() {
        auto dialog = Open();
        dialog->Command(CommandId::kPhonebook);
        PhonebookPage* book = dialog->Phonebook();
        book->Tabs()->setCurrentIndex(static_cast<int>(PhonebookSource::kContacts));
        static_cast<QPushButton*>(dialog->Control(1046))->click();
        QVERIFY(book->Entry()->isVisible());
        auto* name = static_cast<QLineEdit*>(dialog->Control(1055));
        auto* number = static_cast<QLineEdit*>(dialog->Control(1056));
        name->setText("Amy");
        number->setText("0911111111");
        QTest::keyClick(number, Qt::Key_Return);
        QVERIFY(!book->Entry()->isVisible());
        QCOMPARE(dialog->Contacts().Count(), 1);
        QVERIFY(dialog->isVisible());
    }

    // Unticking Auto Detect starts from the centre the modem named, not from nothing.
    void UntickingAutoDetectStartsFromTheDetectedCentre() {
        auto dialog = Open();
        dialog->Command(CommandId::kSettings);
        auto* detect = static_cast<QCheckBox*>(dialog->Control(1035));
        auto* centre = static_cast<QLineEdit*>(dialog->Control(1037));
        QVERIFY(detect->isChecked());
        dialog->ShowDetectedServiceCentre(u"+886935874443");
        QCOMPARE(centre->text(), QString("+886935874443"));
        detect->click();
        QCOMPARE(centre->text(), QString("+886935874443"));
        QVERIFY(centre->isEnabled());
        centre->setText("+886932400821");
        detect->click();
        detect->click();
        QCOMPARE(centre->text(), QString("+886932400821"));
    }

    // The window comes back where it was, unless no screen shows that place any more.
    void WindowPlaceIsRememberedOnAScreenThatExists() {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint inside = screen.topLeft() + QPoint(37, 23);
        {
            auto dialog = Open();
            dialog->move(inside);
            QCOMPARE(dialog->pos(), inside);
        }
        {
            auto dialog = Open();
            QCOMPARE(dialog->pos(), inside);
            dialog->move(screen.bottomRight() + QPoint(5000, 5000));
        }
        auto dialog = Open();
        QVERIFY(screen.intersects(dialog->frameGeometry()));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    qunsetenv("TELVANE_SCALE");
    QApplication app(argc, argv);
    WideLayoutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "wide_layout_test.moc"
