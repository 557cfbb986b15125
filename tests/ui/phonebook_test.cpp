// The Phonebook page: SIM and contacts lines, the entry panel, deleting checked lines.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <cerrno>
#include <string>

#include "control/ui_strings.h"
#include "platform/files.h"
#include "store/phonebook_table.h"
#include "ui/import_preview.h"
#include "ui/list_view.h"
#include "ui/main_dialog.h"
#include "ui/phonebook_page.h"
#include "ui/sms_page.h"

using namespace telvane;

class PhonebookTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::unique_ptr<MainDialog> dialog_;

    QStringList questions_;
    QStringList boxes_;
    bool answer_ = true;

    ListView* List() { return dialog_->Phonebook()->List(); }
    QStringList Column(int column) {
        QStringList texts;
        for (int i = 0; i < List()->RowCount(); ++i)
            texts << List()->Text(i, column);
        return texts;
    }
    // The shown row whose No. reads `no`.
    int Line(const QString& no) {
        for (int i = 0; i < List()->RowCount(); ++i) {
            if (List()->Text(i, 1) == no) return i;
        }
        return -1;
    }
    void Tick(const QString& no, bool ticked = true) {
        QVERIFY(Line(no) >= 0);
        List()->SetTicked(Line(no), ticked);
    }
    void Select(const QString& no) {
        QVERIFY(Line(no) >= 0);
        List()->SelectRow(Line(no));
    }
    bool Ticked(const QString& no) { return List()->Ticked(Line(no)); }
    void Click(int id) { static_cast<QAbstractButton*>(dialog_->Control(id))->click(); }
    void Screenshot(const QString& name) {
        QDir().mkpath(TELVANE_BINARY_DIR "/screenshots");
        dialog_->grab().save(QString(TELVANE_BINARY_DIR "/screenshots/%1.png").arg(name));
    }

    void OpenDialog() {
        MainDialogOptions options;
        options.scale = 1.0;
        options.settingsFile = dir_.filePath("settings.conf").toStdString();
        options.sysRoot = dir_.filePath("none").toStdString();
        options.devRoot = dir_.filePath("none").toStdString();
        options.contactsFolder = dir_.filePath("contacts").toStdString();
        options.messageBox = [this](const QString& text) { boxes_ << text; };
        options.confirm = [this](const QString& question) {
            questions_ << question;
            return answer_;
        };
        questions_.clear();
        boxes_.clear();
        answer_ = true;
        dialog_ = std::make_unique<MainDialog>(options);
        dialog_->show();
        dialog_->Command(CommandId::kPhonebook);
    }

  private slots:
    void init() {
        SetLanguage(0);
        // A SIM copy with entries at SIM positions 1, 3 and 7 and a gap at 2.
        PhonebookTable sim;
        sim.SetLimits(20, 14, 10);
        sim.UpdateEntry(1, u"Alice", u"+85291111111");
        sim.UpdateEntry(3, u"Bob", u"92222222");
        sim.UpdateEntry(7, u"Carol", u"93333333");
        QVERIFY(sim.SaveFile(DataFile("simpbk.acr")));
        QDir(dir_.filePath("contacts")).removeRecursively();
        ContactsStore contacts(dir_.filePath("contacts").toStdString());
        QVERIFY(contacts.Initialize());
        for (const char16_t* name : {u"Ann", u"Ben", u"Cat", u"Dan", u"Eve"}) {
            QVERIFY(contacts.Add(name, u"6000" + std::u16string(name)));
        }
        OpenDialog();
    }
    void cleanup() { dialog_.reset(); }

    void SimLinesShowTheirPositions() {
        QCOMPARE(Column(1), (QStringList{"1", "3", "7"}));
        QCOMPARE(Column(2), (QStringList{"Alice", "Bob", "Carol"}));
        QCOMPARE(List()->model()->headerData(1, Qt::Horizontal).toString(), QString("No."));
        Screenshot("phonebook_en");
    }

    void EditingSimEntrySevenChangesPositionSix() {
        Select("7");
        Click(1030);
        QVERIFY(dialog_->Control(1055)->isVisible());
        QVERIFY(!dialog_->Control(1013)->isVisible());
        QVERIFY(!dialog_->Control(1057)->isVisible());
        QCOMPARE(static_cast<QLineEdit*>(dialog_->Control(1055))->text(), QString("Carol"));
        QCOMPARE(dialog_->findChild<QLabel*>("nameCounter")->text(), QString("5/14"));
        Screenshot("phonebook_entry_en");
        static_cast<QLineEdit*>(dialog_->Control(1055))->setText("Carola");
        Click(1058);
        const auto& entries = dialog_->Controller().Phonebook().Entries();
        QCOMPARE(entries[6].name, std::u16string(u"Carola"));
        QCOMPARE(entries[6].changed, 1);
        QVERIFY(dialog_->Control(1013)->isVisible());
        QCOMPARE(Column(2), (QStringList{"Alice", "Bob", "Carola"}));
        // Offline, the change is kept in the file.
        PhonebookTable saved;
        QVERIFY(saved.LoadFile(DataFile("simpbk.acr")));
        QCOMPARE(saved.Entries()[6].name, std::u16string(u"Carola"));
    }

    // The SIM's name limit counted as the compose box counts, in UCS2 once a character needs
    // it; a name too long cannot be confirmed and is never cut.
    void TheNameCounterShowsTheSimsLimit_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<bool>("fits");
        QTest::newRow("short") << "Carol"
                               << "5/14" << true;
        QTest::newRow("at the limit") << "Christopher Co"
                                      << "14/14" << true;
        QTest::newRow("too long") << "Christopher Columbus"
                                  << "20/14" << false;
        QTest::newRow("extension character") << "Costs 10€ each"
                                             << "15/14" << false;
        QTest::newRow("ucs2") << "李大華"
                              << "3/6" << true;
        QTest::newRow("ucs2 too long") << "Amy 李大華"
                                       << "7/6" << false;
    }
    void TheNameCounterShowsTheSimsLimit() {
        QFETCH(QString, name);
        QFETCH(QString, counter);
        QFETCH(bool, fits);
        const std::u16string before = dialog_->Controller().Phonebook().Entries()[6].name;
        Select("7");
        Click(1030);
        auto* edit = static_cast<QLineEdit*>(dialog_->Control(1055));
        edit->setText(name);
        QCOMPARE(edit->text(), name);
        QCOMPARE(dialog_->findChild<QLabel*>("nameCounter")->text(), counter);
        QCOMPARE(dialog_->Control(1058)->isEnabled(), fits);
        // Okay is pressed as a key would, whatever its state: a name too long changes nothing.
        emit dialog_->Phonebook()->Entry()->Okay();
        const std::u16string after = dialog_->Controller().Phonebook().Entries()[6].name;
        QCOMPARE(after, fits ? name.toStdU16String() : before);
        if (dialog_->Control(1055)->isVisible()) Click(1059);
        boxes_.clear();
        if (fits) {
            Select("7");
            Click(1030);
            static_cast<QLineEdit*>(dialog_->Control(1055))
                ->setText(QString::fromStdU16String(before));
            Click(1058);
        }
    }

    void ANumberTheSimCannotDialKeepsTheEntryPanelOpen() {
        Select("7");
        Click(1030);
        static_cast<QLineEdit*>(dialog_->Control(1056))->setText("9333 x333");
        Click(1058);
        QVERIFY(!boxes_.isEmpty());
        QVERIFY2(boxes_.last().startsWith("\"9333 x333\" is not a valid phone number"),
                 qPrintable(boxes_.last()));
        QVERIFY(dialog_->Control(1055)->isVisible());
        QCOMPARE(dialog_->Controller().Phonebook().Entries()[6].number,
                 std::u16string(u"93333333"));
        // Put right, it is stored cleaned.
        static_cast<QLineEdit*>(dialog_->Control(1056))->setText("9333-4333");
        Click(1058);
        QVERIFY(!dialog_->Control(1055)->isVisible());
        QCOMPARE(dialog_->Controller().Phonebook().Entries()[6].number,
                 std::u16string(u"93334333"));
    }

    void AnEntryAddedOnAFullDiskIsNotShownAsDone() {
        const std::string before = [&] {
            PhonebookTable file;
            return file.LoadFile(DataFile("simpbk.acr")) ? file.Encode() : std::string();
        }();
        QVERIFY(!before.empty());
        Click(1046);
        static_cast<QLineEdit*>(dialog_->Control(1055))->setText("Dora");
        static_cast<QLineEdit*>(dialog_->Control(1056))->setText("94444444");
        {
            ScopedWriteFault full(ENOSPC);
            Click(1058);
        }
        QVERIFY(!boxes_.isEmpty());
        QVERIFY2(boxes_.last().startsWith("Save failed: "), qPrintable(boxes_.last()));
        QVERIFY2(boxes_.last().contains("No space left on device"), qPrintable(boxes_.last()));
        QCOMPARE(Column(2), (QStringList{"Alice", "Bob", "Carol"}));
        PhonebookTable file;
        QVERIFY(file.LoadFile(DataFile("simpbk.acr")));
        QCOMPARE(file.Encode(), before);
    }

    void EditWithoutSelectionAndCancel() {
        Click(1030);
        QVERIFY(!dialog_->Control(1055)->isVisible());
        Click(1046);
        QVERIFY(dialog_->Control(1055)->isVisible());
        Click(1059);
        QVERIFY(dialog_->Control(1013)->isVisible());
        QCOMPARE(Column(1), (QStringList{"1", "3", "7"}));
    }

    void AddingWithEmptyFieldsStoresEmptyTexts() {
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(1);
        QCOMPARE(dialog_->CurrentPhonebookSource(), PhonebookSource::kContacts);
        Click(1046);
        Click(1058);
        QCOMPARE(Column(1), (QStringList{"1", "2", "3", "4", "5", "6"}));
        QCOMPARE(dialog_->Contacts().Count(), 6);
    }

    void ContactsAreNumberedInStoreOrderAndDeletedByCheckedLines() {
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(1);
        QCOMPARE(Column(1), (QStringList{"1", "2", "3", "4", "5"}));
        QStringList names;  // store order is file-name order
        for (int p = 0; p < 5; ++p) {
            names << QString::fromStdU16String(dialog_->Contacts().GetName(p));
        }
        QCOMPARE(Column(2), names);
        // Even when the list is shown in another order.
        dialog_->HeaderClicked(1);  // the column starts marked ascending
        QCOMPARE(Column(1).first(), QString("5"));
        Tick("2");
        Tick("4");
        dialog_->Command(CommandId::kDelete);
        QCOMPARE(questions_, QStringList{"Delete 2 contacts?"});
        QCOMPARE(Column(2), (QStringList{names[0], names[2], names[4]}));
        QCOMPARE(dialog_->Contacts().Count(), 3);
    }

    void DeletingSimLinesEmptiesTheirEntries() {
        Tick("1");
        Tick("7");
        // Cancel deletes nothing.
        answer_ = false;
        dialog_->Command(CommandId::kDelete);
        QCOMPARE(questions_, QStringList{"Delete 2 entries from the SIM phonebook?"});
        QCOMPARE(Column(1), (QStringList{"1", "3", "7"}));
        QCOMPARE(dialog_->Controller().Phonebook().Entries()[0].name, std::u16string(u"Alice"));
        answer_ = true;
        dialog_->Command(CommandId::kDelete);
        QCOMPARE(Column(1), (QStringList{"3"}));
        QVERIFY(dialog_->Controller().Phonebook().Entries()[0].IsEmpty());
    }

    void SwitchingTabsResetsTicks() {
        static_cast<QToolButton*>(dialog_->Control(1060))->click();
        QVERIFY(dialog_->AllChecked());
        QVERIFY(Ticked("3"));
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(1);
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(0);
        QVERIFY(!dialog_->AllChecked());
        QVERIFY(!Ticked("3"));
    }

    void EditingAFourDigitPositionChangesThatEntry() {
        // Positions 100 and 1001 share their first three digits.
        dialog_.reset();
        PhonebookTable sim;
        sim.SetLimits(20, 14, 1001);
        sim.UpdateEntry(100, u"Hundred", u"100");
        sim.UpdateEntry(1001, u"Thousand", u"1001");
        QVERIFY(sim.SaveFile(DataFile("simpbk.acr")));
        OpenDialog();
        QCOMPARE(Column(1), (QStringList{"100", "1001"}));
        Select("1001");
        Click(1030);
        static_cast<QLineEdit*>(dialog_->Control(1055))->setText("Thousand+1");
        Click(1058);
        const auto& entries = dialog_->Controller().Phonebook().Entries();
        QCOMPARE(entries[1000].name, std::u16string(u"Thousand+1"));
        QCOMPARE(entries[99].name, std::u16string(u"Hundred"));
    }

    void MessagesShowTheNamesOfKnownNumbers() {
        dialog_->Command(CommandId::kMessages);
        dialog_->AppendMessageRow(kIconRead, u"+85291111111", u"1/1/02 00:00:00", u"From Alice", 0);
        dialog_->AppendMessageRow(kIconRead, u"555", u"2/1/02 00:00:00", u"Unknown", 1);
        dialog_->SortMessageListByTime();
        ListView* list = dialog_->Sms()->List();
        QCOMPARE(list->Text(0, 1), QString("555"));
        QCOMPARE(list->Text(1, 1), QString("Alice"));
        const QModelIndex alice = list->model()->index(1, 1);
        QCOMPARE(alice.data(Qt::ToolTipRole).toString(), QString("+85291111111"));
        QVERIFY(!list->model()->index(0, 1).data(Qt::ToolTipRole).isValid());
        // The reading pane names the sender; a reply still goes to the number.
        list->SelectRow(1);
        dialog_->SetDetail(u"+85291111111", u"1/1/02 00:00:00", u"From Alice");
        QCOMPARE(static_cast<QLabel*>(dialog_->Control(1019))->text(), QString("Alice"));
        QCOMPARE(dialog_->DetailNumber(), std::u16string(u"+85291111111"));
        // The contacts name numbers too; a number with letters is nobody's.
        QVERIFY(dialog_->Contacts().Add(u"Zed", u"0988777666"));
        dialog_->ClearMessageList();
        dialog_->AppendMessageRow(kIconRead, u"+886988777666", u"1/1/02 00:00:00", u"x", 0);
        dialog_->AppendMessageRow(kIconRead, u"6000Ben", u"2/1/02 00:00:00", u"y", 1);
        dialog_->SortMessageListByTime();
        QCOMPARE(list->Text(0, 1), QString("6000Ben"));
        QCOMPARE(list->Text(1, 1), QString("Zed"));
    }

    void CopyAcrossAndExport() {
        Tick("1");
        dialog_->Phonebook()->CopyAcross();
        QCOMPARE(dialog_->Contacts().Count(), 6);
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(1);
        QVERIFY(Column(2).contains("Alice"));
        QVERIFY(dialog_->Contacts().Add(u"Fay", u"(02) 8765-4321"));
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(0);
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(1);
        const int fay = static_cast<int>(Column(2).indexOf("Fay"));
        QVERIFY(fay >= 0);
        List()->SelectRow(fay);  // nothing ticked: the selected line goes
        dialog_->Phonebook()->CopyAcross();
        // A number with letters is none the SIM can dial: that contact is named, not copied.
        List()->SetTicked(static_cast<int>(Column(2).indexOf("Ann")), true);
        dialog_->Phonebook()->CopyAcross();
        QVERIFY2(boxes_.last().startsWith("\"6000Ann\" is not a valid phone number"),
                 qPrintable(boxes_.last()));
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(0);
        QCOMPARE(Column(2), (QStringList{"Alice", "Fay", "Bob", "Carol"}));
        QCOMPARE(Column(3)[1], QString("0287654321"));
        const std::filesystem::path file = dir_.filePath("phonebook.vcf").toStdString();
        QVERIFY(dialog_->ExportPhonebook(file));
        QFile vcf(QString::fromStdString(file.string()));
        QVERIFY(vcf.open(QIODevice::ReadOnly));
        const QString cards = QString::fromUtf8(vcf.readAll());
        QCOMPARE(cards.count("BEGIN:VCARD"), 4 + 7);
        QVERIFY(cards.contains("FN:Carol\r\n"));
    }

    // A file's entries previewed, each added or skipped with its reason, and only the added
    // ones written: into the SIM's offline copy, and into the contacts.
    void ImportShowsWhatIsAddedAndSkipped() {
        const QString file = dir_.filePath("import.csv");
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(
                "Number,Name\r\n"
                "92222222,Bob again\r\n"
                "0955 000 111,Dora\r\n"
                "0933000000,Christopher Columbus\r\n"
                ",Name only\r\n"
                "0955000111,Dora twice\r\n");
        }
        std::unique_ptr<ImportPreview> preview = dialog_->Phonebook()->PreviewImport(file);
        QVERIFY(preview);
        QStringList states;
        for (int row = 0; row < preview->Table()->topLevelItemCount(); ++row)
            states << preview->Table()->topLevelItem(row)->text(2);
        QCOMPARE(states, (QStringList{"Skipped: the number is there already", "Added",
                                      "Skipped: too long for the SIM (20/14)", "Skipped: no number",
                                      "Skipped: the number is there already"}));
        QCOMPARE(preview->Summary()->text(), QString("1 to add, 4 skipped"));
        dialog_->Phonebook()->ApplyImport(preview->Lines());
        QCOMPARE(Column(2), (QStringList{"Alice", "Dora", "Bob", "Carol"}));
        // Offline, it waits in the file, marked for the SIM.
        PhonebookTable saved;
        QVERIFY(saved.LoadFile(DataFile("simpbk.acr")));
        QCOMPARE(saved.Entries()[1].name, std::u16string(u"Dora"));
        QCOMPARE(saved.Entries()[1].changed, 1);

        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(1);
        preview = dialog_->Phonebook()->PreviewImport(file);
        QVERIFY(preview);
        QCOMPARE(preview->Summary()->text(), QString("3 to add, 2 skipped"));
        dialog_->Phonebook()->ApplyImport(preview->Lines());
        QCOMPARE(dialog_->Contacts().Count(), 8);
        QVERIFY(Column(2).contains("Christopher Columbus"));

        const qsizetype boxes = boxes_.size();
        QVERIFY(!dialog_->Phonebook()->PreviewImport(dir_.filePath("missing.vcf")));
        QCOMPARE(boxes_.size(), boxes + 1);
        QVERIFY(boxes_.last().contains("missing.vcf"));
    }

    void AnEmptySimListSaysHowToFillIt() {
        QVERIFY(!dialog_->Phonebook()->EmptyHint()->isVisible());
        for (const char* no : {"1", "3", "7"})
            Tick(no);
        dialog_->Command(CommandId::kDelete);
        QCOMPARE(List()->RowCount(), 0);
        QVERIFY(dialog_->Phonebook()->EmptyHint()->isVisible());
        QVERIFY(dialog_->Phonebook()->EmptyHint()->text().contains("Settings"));
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(1);
        QVERIFY(!dialog_->Phonebook()->EmptyHint()->isVisible());
    }

    void PickingTicksTheRecipientsAndBuildsTheList() {
        dialog_->Command(CommandId::kCompose);
        dialog_->SetRecipientText(u"92222222;555");
        Click(1025);
        QVERIFY(Ticked("3"));
        QVERIFY(!Ticked("1"));
        Tick("3", false);
        Tick("7");
        Screenshot("picking_en");
        Click(1030);
        QVERIFY(!dialog_->Picking());
        QCOMPARE(dialog_->RecipientText(), std::u16string(u"555;93333333"));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    PhonebookTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "phonebook_test.moc"
