// The main window on the offscreen platform: start-up, pages, sorting, settings, language.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "control/ui_strings.h"
#include "platform/settings_store.h"
#include "store/message_store.h"
#include "ui/compose_page.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/phonebook_page.h"
#include "ui/picture_editor.h"
#include "ui/scaled_style.h"
#include "ui/settings_page.h"
#include "ui/sms_page.h"
#include "ui/ui_scale.h"

using namespace telvane;
namespace fs = std::filesystem;

namespace {

// A sysfs and /dev in miniature with `usbPorts` USB serial ports and an infrared port.
void MakeMachine(const fs::path& root, int usbPorts) {
    fs::remove_all(root);
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-1";
    fs::create_directories(usb);
    std::ofstream(usb / "manufacturer") << "Acme\n";
    std::ofstream(usb / "product") << "Modem\n";
    std::ofstream(usb / "idVendor") << "1234\n";
    fs::create_directories(root / "dev");
    auto tty = [&](const std::string& name, const fs::path& device) {
        const fs::path classDir = root / "sys/class/tty" / name;
        fs::create_directories(classDir);
        if (!device.empty()) {
            fs::create_directories(device);
            fs::create_directory_symlink(device, classDir / "device");
        }
        std::ofstream(root / "dev" / name) << "";
    };
    for (int i = 0; i < usbPorts; ++i) {
        std::string name = "ttyUSB" + std::to_string(i);
        tty(name, usb / ("1-1:1." + std::to_string(i)) / name);
    }
    tty("ircomm0", {});
}

int UsedSlots(const FolderTable& table) {
    int used = 0;
    for (int position = 0; position < kFolderSlots; ++position)
        used += table.IsUsed(position) ? 1 : 0;
    return used;
}

QString Text(QWidget* w) {
    return w->property("text").toString();
}

// The scales desktops get, in either language.
void AddScalesAndLanguages() {
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<int>("language");
    for (qreal scale : {1.0, 1.5, 2.0, 2.5, 3.0, 3.5}) {
        for (int language : {0, 1})
            QTest::addRow("x%g %s", scale, language ? "zh" : "en") << scale << language;
    }
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QStringList boxes_;
    QStringList questions_;
    bool answer_ = false;

    std::unique_ptr<MainDialog> Open(int usbPorts = 2, qreal scale = 1.0) {
        fs::path root = dir_.path().toStdString();
        MakeMachine(root / "machine", usbPorts);
        MainDialogOptions options;
        options.scale = scale;
        options.settingsFile = root / "config/settings.conf";
        options.sysRoot = root / "machine/sys";
        options.devRoot = root / "machine/dev";
        options.messageBox = [this](const QString& text) { boxes_ << text; };
        options.confirm = [this](const QString& question) {
            questions_ << question;
            return answer_;
        };
        auto dialog = std::make_unique<MainDialog>(options);
        dialog->show();
        return dialog;
    }

    // Opened at `scale` and switched to Chinese (1) or English (0) on the Settings page.
    std::unique_ptr<MainDialog> OpenInLanguage(qreal scale, int language) {
        auto dialog = Open(2, scale);
        dialog->Command(CommandId::kSettings);
        static_cast<QComboBox*>(dialog->Control(1042))->setCurrentIndex(language ? 0 : 1);
        static_cast<QPushButton*>(dialog->Control(1043))->click();
        return dialog;
    }

    void Screenshot(MainDialog& dialog, const QString& name) {
        QDir().mkpath(TELVANE_BINARY_DIR "/screenshots");
        QApplication::processEvents();
        dialog.grab().save(QString(TELVANE_BINARY_DIR "/screenshots/%1.png").arg(name));
    }

    void FillMessages(MainDialog& dialog) {
        dialog.AppendMessageRow(kIconRead, u"+85291234567", u"30/12/01 23:59:59", u"Old\r\nnews",
                                0);
        dialog.AppendMessageRow(kIconUnread, u"555", u"5/1/02 08:00:00", u"Newest", 1);
        dialog.AppendMessageRow(kIconRead, u"1234", u"1/1/02 00:00:00", u"Middle", 2);
        dialog.SortMessageListByTime();
    }

    static QStringList Column(MainDialog& dialog, int column) {
        ListView* list = dialog.Sms()->List();
        QStringList texts;
        for (int i = 0; i < list->RowCount(); ++i)
            texts << list->Text(i, column);
        return texts;
    }

    static QStringList Headings(ListView* list) {
        QStringList texts;
        for (int c = 0; c < list->model()->columnCount(); ++c)
            texts << list->model()->headerData(c, Qt::Horizontal).toString();
        return texts;
    }

  private slots:
    void init() {
        boxes_.clear();
        questions_.clear();
        answer_ = false;
        SetLanguage(0);
        fs::remove_all(dir_.path().toStdString() + "/config");
    }

    void FirstStartShowsTheInboxNewestFirst() {
        auto dialog = Open();
        auto* tabs = static_cast<QTabBar*>(dialog->Control(1012));
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->tabText(0), QString("Inbox"));
        QCOMPARE(tabs->count(), 5);
        auto* list = static_cast<ListView*>(dialog->Control(1013));
        QCOMPARE(Headings(list), (QStringList{"", "Phone", "Time", "Message"}));
        QCOMPARE(list->SortColumn(), 2);
        QCOMPARE(list->SortOrder(), Qt::DescendingOrder);
        FillMessages(*dialog);
        QCOMPARE(Column(*dialog, 1), (QStringList{"555", "1234", "+85291234567"}));
        QVERIFY(dialog->Control(1014)->isVisible());  // Reply on the Inbox
        QVERIFY(!dialog->Control(1030)->isVisible());
        QCOMPARE(dialog->CommandAction(CommandId::kCompose)->text(), QString("Compose"));
        QVERIFY(dialog->CurrentUiFont().families().first().contains("Condensed"));
        // Every page fits the 240-pixel layout.
        QCOMPARE(dialog->size(),
                 QSize(240, MainDialog::kClientHeight + MainDialog::kCommandBarHeight));
        Screenshot(*dialog, "sms_en");
    }

    void EveryColumnSorts() {
        auto dialog = Open();
        FillMessages(*dialog);
        ListView* list = dialog->Sms()->List();
        list->SetTicked(0, true);  // 555, data 1
        const struct {
            int column;
            Qt::SortOrder order;
            QStringList numbers;
        } clicks[] = {
            {1, Qt::AscendingOrder, {"+85291234567", "1234", "555"}},
            {1, Qt::DescendingOrder, {"555", "1234", "+85291234567"}},
            {3, Qt::AscendingOrder, {"1234", "555", "+85291234567"}},  // Middle, Newest, Old
            {0, Qt::AscendingOrder, {"1234", "555", "+85291234567"}},  // the tick column: no sort
            {2, Qt::AscendingOrder, {"+85291234567", "1234", "555"}},
        };
        for (const auto& c : clicks) {
            dialog->HeaderClicked(c.column);
            QCOMPARE(Column(*dialog, 1), c.numbers);
            QCOMPARE(list->header()->sortIndicatorOrder(), c.order);
        }
        QCOMPARE(list->header()->sortIndicatorSection(), 2);
        QCOMPARE(dialog->MessageRowData(2), 1);
        QVERIFY(dialog->IsMessageRowTicked(2));
        dialog->HeaderClicked(2);
        QCOMPARE(list->SortOrder(), Qt::DescendingOrder);
        QCOMPARE(Column(*dialog, 1), (QStringList{"555", "1234", "+85291234567"}));
        QCOMPARE(dialog->FindMessageRow(1), 0);
        // A refill re-sorts by the column's current direction.
        dialog->HeaderClicked(2);
        dialog->AppendMessageRow(kIconRead, u"9", u"1/1/00 00:00:00", u"x", 7);
        dialog->SortMessageListByTime();
        QCOMPARE(Column(*dialog, 1).first(), QString("9"));
    }

    void CheckAllAndPageChangesResetIt() {
        auto dialog = Open();
        auto* checkAll = static_cast<QToolButton*>(dialog->Control(1060));
        checkAll->click();  // empty list: only the image flips
        QVERIFY(dialog->AllChecked());
        dialog->Command(CommandId::kPhonebook);
        dialog->Command(CommandId::kMessages);
        QVERIFY(!dialog->AllChecked());
        FillMessages(*dialog);
        checkAll->click();
        for (int i = 0; i < 3; ++i)
            QVERIFY(dialog->IsMessageRowTicked(i));
        checkAll->click();
        for (int i = 0; i < 3; ++i)
            QVERIFY(!dialog->IsMessageRowTicked(i));
    }

    void EditCommandsActOnTheFocusedControl() {
        auto dialog = Open();
        dialog->Command(CommandId::kCompose);
        QCOMPARE(dialog->Page(), int(kPageCompose));
        auto* recipients = static_cast<QLineEdit*>(dialog->Control(1024));
        recipients->setText("12345");
        recipients->setFocus();
        recipients->setSelection(0, 2);
        dialog->Command(CommandId::kCut);  // Cut
        QCOMPARE(recipients->text(), QString("345"));
        recipients->setCursorPosition(3);
        dialog->Command(CommandId::kPaste);  // Paste
        QCOMPARE(recipients->text(), QString("34512"));
        recipients->setCursorPosition(0);
        dialog->Command(
            CommandId::kDelete);  // Delete: the character after the caret, nothing stored
        QCOMPARE(recipients->text(), QString("4512"));
        recipients->selectAll();
        dialog->Command(CommandId::kCopy);  // Copy
        recipients->setCursorPosition(4);
        dialog->Command(CommandId::kPaste);
        QCOMPARE(recipients->text(), QString("45124512"));

        dialog->Command(CommandId::kSettings);
        auto* centre = static_cast<QLineEdit*>(dialog->Control(1037));
        static_cast<QCheckBox*>(dialog->Control(1035))->click();  // editable
        centre->setText("+852");
        centre->setFocus();
        centre->setCursorPosition(0);
        dialog->Command(CommandId::kDelete);
        QCOMPARE(centre->text(), QString("852"));
    }

    void BusyKeepsTheShownFolderReadable() {
        MessageStore store;
        for (const char16_t* text : {u"first", u"second"}) {
            SmsRecord record;
            record.status = u"REC UNREAD";
            record.number = u"555";
            record.time =
                text == std::u16string(u"first") ? u"26/12/01,09:15:00" : u"26/12/02,09:15:00";
            record.text = text;
            QVERIFY(store.AddShown(record));
        }
        QVERIFY(store.SaveShown(FolderId::Inbox));
        auto dialog = Open();
        QCOMPARE(dialog->MessageRowCount(), 2);
        ListView* list = dialog->Sms()->List();
        dialog->Controller().OnBusyMessage(1, 1);
        QVERIFY(dialog->WaitCursorShown());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        // What needs the modem, or would change the list under the work, waits.
        for (CommandId id :
             {CommandId::kCompose, CommandId::kDelete, CommandId::kConnect, CommandId::kSettings})
            QVERIFY(!dialog->CommandAction(id)->isEnabled());
        for (int id : {1012, 1014, 1015, 1016, 1060})
            QVERIFY2(!dialog->Control(id)->isEnabled(), qPrintable(QString::number(id)));
        QVERIFY(!(list->model()->index(0, 0).flags() & Qt::ItemIsUserCheckable));
        QVERIFY(!list->header()->sectionsClickable());
        // Reading goes on.
        QVERIFY(list->isEnabled() && dialog->Control(1018)->isEnabled());
        list->SelectRow(1);
        QCOMPARE(dialog->DetailBody(), std::u16string(u"first"));
        list->SelectRow(0);
        QCOMPARE(dialog->DetailBody(), std::u16string(u"second"));

        dialog->Controller().OnBusyMessage(0, 1);
        QVERIFY(!dialog->WaitCursorShown());
        QVERIFY(!QApplication::overrideCursor());
        for (int id : {1012, 1014, 1060})
            QVERIFY(dialog->Control(id)->isEnabled());
        QVERIFY(dialog->CommandAction(CommandId::kCompose)->isEnabled());
        QVERIFY(list->model()->index(0, 0).flags() & Qt::ItemIsUserCheckable);
        QVERIFY(list->header()->sectionsClickable());
        dialog.reset();
        fs::remove(store.FolderPath(FolderId::Inbox));
        dialog = Open();
        // Connect while busy only beeps: the page stays.
        dialog->Command(CommandId::kSettings);
        dialog->Controller().OnBusyMessage(1, 0);
        dialog->Command(CommandId::kConnect);
        QCOMPARE(dialog->Page(), int(kPageSettings));
        dialog->Controller().OnBusyMessage(0, 0);
    }

    void StrayTimersAndEscapeChangeNothing() {
        auto dialog = Open();
        dialog->StartTimer(11023, 5);
        dialog->StartTimer(11032, 5);
        // A later timer of our own marks that the stray ones have had their ticks.
        bool marker = false;
        QTimer::singleShot(30, [&] { marker = true; });
        QTRY_VERIFY_WITH_TIMEOUT(marker, 10000);
        dialog->TimerFired(5);
        QCOMPARE(dialog->Page(), int(kPageMessages));
        QVERIFY(dialog->isEnabled());
        dialog->KillTimer(11023);
        dialog->KillTimer(11032);
        // Escape in a box does not close the program's only window.
        QTest::keyClick(dialog->Control(1013), Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
    }

    void FirstRunDefaultsAndInfraredPort() {
        auto dialog = Open();
        SettingsStore store(dir_.path().toStdString() + "/config/settings.conf");
        const std::string key = MainDialog::kSettingsKey;
        // The infrared port becomes the port before the page is ever opened.
        QCOMPARE(store.GetText(key, "Port"), std::optional<std::u16string>(u"COM3"));
        QCOMPARE(store.GetNumber(key, "AutoSC"), std::optional<uint32_t>(1));
        QCOMPARE(store.GetText(key, "SC"), std::optional<std::u16string>(u""));
        QCOMPARE(store.GetNumber(key, "Language"), std::optional<uint32_t>(0));
        QCOMPARE(store.GetNumber(key, "SyncSMS"), std::optional<uint32_t>(1));
        QCOMPARE(store.GetNumber(key, "SyncSIMPbk"), std::optional<uint32_t>(0));
        QCOMPARE(store.GetNumber(key, "ReadSIMPbk"), std::optional<uint32_t>(1));
        auto* ports = static_cast<QComboBox*>(dialog->Control(1033));
        QCOMPARE(ports->count(), 3);
        QCOMPARE(ports->currentIndex(), 2);
        QVERIFY(ports->currentText().startsWith("COM3"));
        QVERIFY(!static_cast<QRadioButton*>(dialog->Control(1062))->isEnabled());
        QVERIFY(boxes_.isEmpty());
    }

    void SettingsAreStoredAndReadBack() {
        {
            auto dialog = Open();
            dialog->Command(CommandId::kSettings);
            Screenshot(*dialog, "settings_en");
            static_cast<QComboBox*>(dialog->Control(1033))->setCurrentIndex(0);
            static_cast<QCheckBox*>(dialog->Control(1035))->click();
            static_cast<QLineEdit*>(dialog->Control(1037))->setText("+85290288000");
            static_cast<QCheckBox*>(dialog->Control(1039))->click();
            static_cast<QCheckBox*>(dialog->Control(1040))->click();
            QVERIFY(static_cast<QRadioButton*>(dialog->Control(1063))->isEnabled());
            static_cast<QRadioButton*>(dialog->Control(1063))->click();
            auto* reports = dialog->findChild<QCheckBox*>("deliveryReports");
            QVERIFY(reports && !reports->isChecked());
            QCOMPARE(reports->text(), QString("Request delivery reports"));
            reports->click();
            static_cast<QPushButton*>(dialog->Control(1043))->click();
            QCOMPARE(dialog->Page(), int(kPageMessages));
            // The controller's own number (the last concatenation reference) outlives the window.
            QVERIFY(!dialog->KeptNumber(kConcatReferenceName));
            QVERIFY(dialog->KeepNumber(kConcatReferenceName, 200));
            ControllerSettings s = dialog->Settings();
            QVERIFY(s.deliveryReports);
            QCOMPARE(s.port, std::u16string(u"COM1"));
            QVERIFY(!s.autoServiceCentre);
            QCOMPARE(s.serviceCentre, std::u16string(u"+85290288000"));
            QVERIFY(!s.syncSms && s.syncSimPhonebook && !s.readSimPhonebook);
        }
        SettingsStore store(dir_.path().toStdString() + "/config/settings.conf");
        // The confirmed COM name now belongs to the device's path.
        auto pinned = store.GetText(MainDialog::kPortsKey, "COM1");
        QVERIFY(pinned && pinned->find(u"ttyUSB0") != std::u16string::npos);
        auto dialog = Open();
        QCOMPARE(dialog->Settings().port, std::u16string(u"COM1"));
        QCOMPARE(static_cast<QComboBox*>(dialog->Control(1033))->currentIndex(), 0);
        QCOMPARE(static_cast<QLineEdit*>(dialog->Control(1037))->text(), QString("+85290288000"));
        QVERIFY(!static_cast<QCheckBox*>(dialog->Control(1039))->isChecked());
        QVERIFY(static_cast<QRadioButton*>(dialog->Control(1063))->isChecked());
        QVERIFY(dialog->findChild<QCheckBox*>("deliveryReports")->isChecked());
        QVERIFY(dialog->Settings().deliveryReports);
        QCOMPARE(dialog->KeptNumber(kConcatReferenceName), std::optional<uint32_t>(200));
        // Auto Detect stores an empty centre whatever the box shows.
        dialog->Command(CommandId::kSettings);
        static_cast<QCheckBox*>(dialog->Control(1035))->click();
        static_cast<QPushButton*>(dialog->Control(1043))->click();
        SettingsStore after(dir_.path().toStdString() + "/config/settings.conf");
        QCOMPARE(after.GetNumber(MainDialog::kSettingsKey, "AutoSC"), std::optional<uint32_t>(1));
        // Confirming with no port line selected keeps the port.
        dialog->Command(CommandId::kSettings);
        static_cast<QComboBox*>(dialog->Control(1033))->setCurrentIndex(-1);
        static_cast<QPushButton*>(dialog->Control(1043))->click();
        QCOMPARE(dialog->Settings().port, std::u16string(u"COM1"));
        QCOMPARE(after.GetText(MainDialog::kSettingsKey, "SC"), std::optional<std::u16string>(u""));
    }

    // Every Settings control is whole and on the page at the first size, in either language:
    // a tick box's or button's text fits the room its style leaves beside the mark or frame.
    void SettingsFitTheFirstSize_data() { AddScalesAndLanguages(); }
    void SettingsFitTheFirstSize() {
        QFETCH(qreal, scale);
        QFETCH(int, language);
        auto dialog = OpenInLanguage(scale, language);
        dialog->Command(CommandId::kSettings);
        QApplication::processEvents();
        SettingsPage* page = dialog->SettingsView();
        QCOMPARE(page->size(), Scaled(scale, 0, 0, 240, MainDialog::kClientHeight).size());
        QStringList faults;
        for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->isHidden()) continue;
            QString text = w->property("text").toString();
            const QString name = text.isEmpty() ? w->objectName() : text;
            if (!page->rect().contains(w->geometry()))
                faults << QString("%1 at (%2,%3 %4x%5) is off the page")
                              .arg(name)
                              .arg(w->x())
                              .arg(w->y())
                              .arg(w->width())
                              .arg(w->height());
            QRect room = w->contentsRect();
            if (auto* box = qobject_cast<QCheckBox*>(w)) {
                QStyleOptionButton option;
                option.initFrom(box);
                option.text = text;
                room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
            } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
                QStyleOptionButton option;
                option.initFrom(radio);
                option.text = text;
                room =
                    radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio);
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                QStyleOptionButton option;
                option.initFrom(button);
                option.text = text;
                room =
                    button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            } else if (!qobject_cast<QLabel*>(w)) {
                continue;
            }
            const int need = w->fontMetrics().horizontalAdvance(text.remove('&'));
            if (need > room.width())
                faults << QString("%1 needs %2 px, has %3").arg(name).arg(need).arg(room.width());
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
    }

    void PortDetectionKeepsLinesAndEntriesInStep() {
        auto many = Open(9);
        auto* ports = static_cast<QComboBox*>(many->Control(1033));
        QCOMPARE(int(many->Ports().size()), MainDialog::kMaxPorts);
        QCOMPARE(ports->count(), MainDialog::kMaxPorts);
        for (int i = 0; i < ports->count(); ++i) {
            QVERIFY(ports->itemText(i).startsWith(QString::fromStdString(many->Ports()[i].name)));
        }
        many.reset();
        // No port at all: the box, and the program runs on.
        fs::path root = dir_.path().toStdString();
        MainDialogOptions options;
        options.scale = 1.0;
        options.settingsFile = root / "config/none.conf";
        options.sysRoot = root / "nothing/sys";
        options.devRoot = root / "nothing/dev";
        options.messageBox = [this](const QString& text) { boxes_ << text; };
        MainDialog none(options);
        QCOMPARE(boxes_, QStringList{"No valid Communication Port found"});
        QCOMPARE(static_cast<QComboBox*>(none.Control(1033))->count(), 0);
    }

    void ChineseAfterConfirming() {
        auto dialog = Open();
        dialog->SetSignalLevel(4);
        dialog->Command(CommandId::kSettings);
        static_cast<QComboBox*>(dialog->Control(1042))->setCurrentIndex(0);
        static_cast<QPushButton*>(dialog->Control(1043))->click();
        QCOMPARE(chineseUi.load(), 1);
        QCOMPARE(dialog->CommandAction(CommandId::kCompose)->text(), QString("編寫"));
        QCOMPARE(dialog->CommandAction(CommandId::kConnect)->text(), QString("連線"));
        QCOMPARE(static_cast<QTabBar*>(dialog->Control(1012))->tabText(0), QString("收件"));
        QCOMPARE(Text(dialog->Control(1014)), QString("回覆"));
        QCOMPARE(Text(dialog->Control(1028)), QString("發送"));
        QCOMPARE(Headings(dialog->Sms()->List())[2], QString("時間"));
        QCOMPARE(dialog->CannedTreeWidget()->topLevelItem(0)->text(0), QString("預設信息"));
        // Chinese in the Chinese face, Latin text in the same face as in English.
        const QStringList families = dialog->CurrentUiFont().families();
        QVERIFY(families.filter("UMing").size() > 0);
        QCOMPARE(families.first(), LatinUiFont(1).families().first());
        QCOMPARE(dialog->Control(1014)->font().families(), families);
        // The bar keeps the level it had: only the link changes it.
        QCOMPARE(static_cast<QProgressBar*>(dialog->Control(1021))->value(), 4);
        QCOMPARE(dialog->Page(), int(kPageMessages));
        SettingsStore store(dir_.path().toStdString() + "/config/settings.conf");
        QCOMPARE(store.GetNumber(MainDialog::kSettingsKey, "Language"), std::optional<uint32_t>(1));
        FillMessages(*dialog);
        Screenshot(*dialog, "sms_zh");
        dialog->Command(CommandId::kCompose);
        Screenshot(*dialog, "compose_zh");
        dialog->Command(CommandId::kPhonebook);
        Screenshot(*dialog, "phonebook_zh");
        dialog->Command(CommandId::kSettings);
        Screenshot(*dialog, "settings_zh");
        static_cast<QPushButton*>(dialog->Control(1067))->click();
        Screenshot(*dialog, "about_zh");
        // Cancel after changing the language changes nothing stored.
        dialog->Command(CommandId::kSettings);
        static_cast<QComboBox*>(dialog->Control(1042))->setCurrentIndex(1);
        static_cast<QPushButton*>(dialog->Control(1044))->click();
        QCOMPARE(chineseUi.load(), 1);
        SettingsStore again(dir_.path().toStdString() + "/config/settings.conf");
        QCOMPARE(again.GetNumber(MainDialog::kSettingsKey, "Language"), std::optional<uint32_t>(1));
    }

    void AboutPageAndBack() {
        auto dialog = Open();
        dialog->Command(CommandId::kSettings);
        static_cast<QPushButton*>(dialog->Control(1067))->click();
        QCOMPARE(dialog->Page(), int(kPageAbout));
        QVERIFY(static_cast<QLabel*>(dialog->Control(1068))->text().startsWith("Version 1.03"));
        QVERIFY(dialog->Control(1066)->isVisible());
        QVERIFY(!dialog->Control(1033)->isVisible());
        Screenshot(*dialog, "about_en");
        static_cast<QPushButton*>(dialog->Control(1043))->click();
        QCOMPARE(dialog->Page(), int(kPageSettings));
        QVERIFY(dialog->Control(1033)->isVisible());
        QVERIFY(!dialog->Control(1068)->isVisible());
    }

    void AboutOkayTakesARealClick() {
        auto dialog = Open();
        dialog->Command(CommandId::kSettings);
        static_cast<QPushButton*>(dialog->Control(1067))->click();
        QWidget* okay = dialog->Control(1043);
        const QPoint centre = okay->mapTo(dialog.get(), okay->rect().center());
        // Nothing lies over the button: the click lands on it.
        QCOMPARE(dialog->childAt(centre), okay);
        QTest::mouseClick(okay, Qt::LeftButton);
        QCOMPARE(dialog->Page(), int(kPageSettings));
    }

    void ChineseDetailShowsTheWholeDate() {
        auto dialog = Open();
        for (int language : {0, 1}) {
            SetLanguage(language);
            dialog->Command(CommandId::kSettings);
            static_cast<QComboBox*>(dialog->Control(1042))->setCurrentIndex(language ? 0 : 1);
            static_cast<QPushButton*>(dialog->Control(1043))->click();
            dialog->SetDetail(u"+886933221234", u"26/12/26 19:25:16", u"Hi");
            auto* time = static_cast<QLabel*>(dialog->Control(1020));
            QCOMPARE(time->text(), QString("26/12/26 19:25:16"));
            QVERIFY2(time->width() >= time->fontMetrics().horizontalAdvance(time->text()),
                     qPrintable(QString::number(language)));
            QVERIFY(time->geometry().right() <= dialog->width());
            QVERIFY(!time->geometry().intersects(dialog->Control(1019)->geometry()));
        }
    }

    void ShortcutsRunTheCommandsAndShowInTheTips() {
        auto dialog = Open();
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        const struct {
            CommandId command;
            QKeySequence key;
            int page;
        } cases[] = {
            {CommandId::kPhonebook, QKeySequence(Qt::CTRL | Qt::Key_2), kPagePhonebook},
            {CommandId::kSettings, QKeySequence(Qt::CTRL | Qt::Key_3), kPageSettings},
            {CommandId::kCompose, QKeySequence(Qt::CTRL | Qt::Key_N), kPageCompose},
            {CommandId::kMessages, QKeySequence(Qt::CTRL | Qt::Key_1), kPageMessages},
        };
        for (const auto& c : cases) {
            QAction* action = dialog->CommandAction(c.command);
            QCOMPARE(action->shortcut(), c.key);
            QVERIFY2(action->toolTip().startsWith(action->text() + " (") &&
                         action->toolTip().contains(c.key.toString(QKeySequence::NativeText)),
                     qPrintable(action->toolTip()));
            QTest::keySequence(dialog.get(), c.key);
            QCOMPARE(dialog->Page(), c.page);
        }
        QCOMPARE(dialog->CommandAction(CommandId::kConnect)->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_K));
        QCOMPARE(dialog->CommandAction(CommandId::kDelete)->shortcut(),
                 QKeySequence(Qt::Key_Delete));
    }

    // A long number and a date show whole beside the tick column at the first size, in either
    // language's face, at the scales desktops get: nothing is elided or scrolled out of view.
    void NumbersAndDatesFitTheFirstSize_data() { AddScalesAndLanguages(); }
    void NumbersAndDatesFitTheFirstSize() {
        QFETCH(qreal, scale);
        QFETCH(int, language);
        auto dialog = OpenInLanguage(scale, language);
        QCOMPARE(dialog->Page(), int(kPageMessages));
        dialog->AppendMessageRow(kIconUnread, u"+886912345678", u"30/12/26 23:59:59", u"Hi", 0);
        dialog->AppendMessageRow(kIconRead, u"+886933221234", u"28/12/26 20:48:08", u"Yo", 1);
        dialog->SortMessageListByTime();
        ListView* list = dialog->Sms()->List();
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.font = list->font();
        option.decorationSize = list->iconSize();
        for (int row = 0; row < list->RowCount(); ++row) {
            for (int column : {0, 1, 2}) {
                // What the delegate lays out in the cell: its text whole, and check box and icon.
                const QModelIndex index = list->model()->index(row, column);
                const int need = list->itemDelegate()->sizeHint(option, index).width();
                QVERIFY2(need <= list->columnWidth(column),
                         qPrintable(QString("%1 needs %2, has %3")
                                        .arg(list->Text(row, column))
                                        .arg(need)
                                        .arg(list->columnWidth(column))));
            }
        }
        const int used = list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2);
        QVERIFY2(used <= list->viewport()->width(),
                 qPrintable(QString("%1 of %2").arg(used).arg(list->viewport()->width())));
        // Nor is the list's face smaller than it must be: one pixel more would not fit.
        QFont larger = list->font();
        if (larger.pixelSize() < dialog->CurrentUiFont().pixelSize()) {
            larger.setPixelSize(larger.pixelSize() + 1);
            const int need = list->CellWidth(0, {}, larger) +
                             list->CellWidth(1, "+886912345678", larger) +
                             list->CellWidth(2, "30/12/26 23:59:59", larger);
            QVERIFY2(need > list->width() - 2 * list->frameWidth(),
                     qPrintable(QString("%1 px would fit").arg(larger.pixelSize())));
        }
    }

    void GrowsWithTheWindowAndRemembersIt() {
        {
            auto dialog = Open();
            QCOMPARE(dialog->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
            FillMessages(*dialog);
            // At the first size the numbers and dates show whole.
            ListView* list = dialog->Sms()->List();
            for (int column : {1, 2}) {
                for (int row = 0; row < list->RowCount(); ++row) {
                    QVERIFY(list->columnWidth(column) >=
                            list->fontMetrics().horizontalAdvance(list->Text(row, column)));
                }
            }
            const QRect listBefore = list->geometry();
            const QRect boxBefore = dialog->Control(1018)->geometry();
            // Taller only: the handheld's column grows.
            dialog->resize(240, 1000);
            QVERIFY(list->height() > listBefore.height() + 300);
            QVERIFY(dialog->Control(1018)->height() > boxBefore.height() + 200);
            // Wide too: the list and the reading pane share the width, side by side.
            dialog->resize(1200, 1000);
            QCOMPARE(dialog->size(), QSize(1200, 1000));
            QVERIFY(list->width() > listBefore.width() + 300);
            QVERIFY(dialog->Control(1018)->width() > boxBefore.width() + 200);
            QVERIFY(dialog->Control(1018)->x() > list->geometry().right());
            QVERIFY(dialog->Sms()->SearchBox()->isVisible());
            QVERIFY(dialog->Control(1012)->geometry().bottom() < 1000);
            dialog->Command(CommandId::kCompose);
            QVERIFY(dialog->Control(1018)->width() > 1100);
            dialog->Command(CommandId::kMessages);
            list->setColumnWidth(2, 300);  // as a drag of the heading's edge
            dialog->Command(CommandId::kPhonebook);
            QVERIFY(dialog->Control(1013)->height() > 800);
            Screenshot(*dialog, "phonebook_large_en");
        }
        auto dialog = Open();
        QCOMPARE(dialog->size(), QSize(1200, 1000));
        QCOMPARE(dialog->Page(), int(kPagePhonebook));
        dialog->Command(CommandId::kMessages);
        QCOMPARE(dialog->Sms()->List()->columnWidth(2), 300);
    }

    // A session that never shows a list keeps the widths the user gave it before.
    void ColumnWidthsOutliveASessionThatDoesNotShowTheList() {
        {
            auto dialog = Open();
            dialog->Command(CommandId::kMessages);
            dialog->Sms()->List()->setColumnWidth(1, 150);
            dialog->Command(CommandId::kPhonebook);
            dialog->Phonebook()->List()->setColumnWidth(3, 170);
        }
        // Back on the Phonebook page, and closed before the messages are shown.
        Open().reset();
        {
            auto dialog = Open();
            dialog->Command(CommandId::kMessages);
            QCOMPARE(dialog->Sms()->List()->columnWidth(1), 150);
        }
        // Closed on the messages, the Phonebook page never made.
        Open().reset();
        auto dialog = Open();
        dialog->Command(CommandId::kPhonebook);
        QCOMPARE(dialog->Phonebook()->List()->columnWidth(3), 170);
    }

    // Pages are made when first needed: one made late takes the window's size, language and
    // busy state as the others have them.
    void PagesMadeLateFollowTheWindow() {
        auto dialog = Open();
        dialog->resize(700, 900);
        dialog->Command(CommandId::kSettings);
        static_cast<QComboBox*>(dialog->Control(1042))->setCurrentIndex(0);
        static_cast<QPushButton*>(dialog->Control(1043))->click();
        dialog->SetWindowEnabled(false);
        for (QWidget* page : std::initializer_list<QWidget*>{dialog->Compose(), dialog->Phonebook(),
                                                             dialog->About()}) {
            QVERIFY(!page->isEnabled());
            QCOMPARE(page->size(), dialog->Sms()->size());
        }
        QCOMPARE(Text(dialog->Control(1028)), QString("發送"));
        QCOMPARE(Text(dialog->Control(1046)), QString("加入"));
        dialog->SetWindowEnabled(true);
        dialog->Command(CommandId::kCompose);
        QVERIFY(dialog->Compose()->isVisible());
        QVERIFY(dialog->Control(1028)->isEnabled());
        QVERIFY(!dialog->Sms()->isVisible());
    }

    void DeletingAsksFirstAndCancelKeepsEverything() {
        MessageStore store;
        for (const char16_t* text : {u"one", u"two", u"three"}) {
            SmsRecord record;
            record.index = -1;
            record.status = u"STO UNSENT";
            record.number = u"555";
            record.time = u"26/12/01,09:15:00";
            record.text = text;
            QVERIFY(store.AddShown(record));
        }
        QVERIFY(store.SaveShown(FolderId::Draft));
        auto dialog = Open();
        // The SIM's Inbox cannot lose anything offline; the user is told why.
        dialog->AppendMessageRow(kIconRead, u"1", u"1/1/02 00:00:00", u"x", 0);
        dialog->Sms()->List()->SetTicked(0, true);
        dialog->Command(CommandId::kDelete);
        QCOMPARE(boxes_, QStringList{"Please connect first"});
        QVERIFY(questions_.isEmpty());
        QCOMPARE(dialog->MessageRowCount(), 1);

        dialog->SelectFolderTab(FolderTab(FolderId::Draft));
        QCOMPARE(dialog->MessageRowCount(), 3);
        static_cast<QToolButton*>(dialog->Control(1060))->click();
        dialog->Command(CommandId::kDelete);
        QCOMPARE(questions_, QStringList{"Delete 3 messages from Draft?"});
        QCOMPARE(dialog->MessageRowCount(), 3);
        MessageStore after;
        QVERIFY(after.LoadShown(FolderId::Draft));
        QCOMPARE(UsedSlots(after.Shown()), 3);
        answer_ = true;
        dialog->Command(CommandId::kDelete);
        QTRY_COMPARE_WITH_TIMEOUT(dialog->MessageRowCount(), 0, 20000);
        QVERIFY(after.LoadShown(FolderId::Draft));
        QCOMPARE(UsedSlots(after.Shown()), 0);
    }

    void MarkAsUnreadAndExportTheFolder() {
        MessageStore store;
        SmsRecord record;
        record.status = u"REC READ";
        record.number = u"555";
        record.time = u"26/12/01,09:15:00";
        record.text = u"Kept, read";
        QVERIFY(store.AddShown(record));
        QVERIFY(store.SaveShown(FolderId::Saved));
        auto dialog = Open();
        dialog->SelectFolderTab(FolderTab(FolderId::Saved));
        QCOMPARE(dialog->MessageRowCount(), 1);
        dialog->Sms()->List()->SelectRow(0);
        dialog->MarkUnread();
        QCOMPARE(dialog->Sms()->List()->Row(0)->icon, kIconUnread);
        MessageStore after;
        QVERIFY(after.LoadShown(FolderId::Saved));
        QCOMPARE(after.Shown().entries[0].record.status, std::u16string(u"REC UNREAD"));

        const fs::path csv = fs::path(dir_.path().toStdString()) / "export/saved.csv";
        QVERIFY(!dialog->ExportFolder(csv));  // no such folder: refused, and said why
        QCOMPARE(boxes_.size(), 1);
        QVERIFY2(boxes_[0].contains("saved.csv"), qPrintable(boxes_[0]));
        fs::create_directories(csv.parent_path());
        QVERIFY(dialog->ExportFolder(csv));
        std::ifstream in(csv, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        QCOMPARE(QString::fromStdString(text),
                 QString::fromUtf8("\xEF\xBB\xBFNumber,Name,Time,Message\r\n"
                                   "555,,1/12/26 09:15:00,\"Kept, read\"\r\n"));
    }

    void ScalesTheWholeLayout() {
        fs::path root = dir_.path().toStdString();
        MainDialogOptions options;
        options.scale = 2.0;
        options.settingsFile = root / "config/settings.conf";
        options.messageBox = [](const QString&) {};
        MainDialog dialog(options);
        QCOMPARE(dialog.size(),
                 QSize(480, 2 * (MainDialog::kClientHeight + MainDialog::kCommandBarHeight)));
        QCOMPARE(dialog.Control(1013)->geometry(), QRect(24, 282, 426, 208));
        // Menus, tips, boxes and file dialogs take the window's face; tick boxes and scroll bars
        // its scale.
        QCOMPARE(QApplication::font().pixelSize(), dialog.CurrentUiFont().pixelSize());
        QCOMPARE(QApplication::font("QMenu").pixelSize(), dialog.CurrentUiFont().pixelSize());
        QCOMPARE(QToolTip::font().pixelSize(), dialog.CurrentUiFont().pixelSize());
        auto* style = qobject_cast<ScaledStyle*>(QApplication::style());
        QVERIFY(style);
        for (QStyle::PixelMetric metric : {QStyle::PM_IndicatorWidth, QStyle::PM_ScrollBarExtent}) {
            QCOMPARE(style->pixelMetric(metric, nullptr, nullptr),
                     2 * style->baseStyle()->pixelMetric(metric));
        }
        dialog.show();
        Screenshot(dialog, "sms_en_scale2");
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    qunsetenv("TELVANE_SCALE");
    QApplication app(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
