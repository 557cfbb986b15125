// The Phonebook page: SIM and contacts lines, the entry panel, deleting checked lines.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "control/ui_strings.h"
#include "platform/files.h"
#include "store/phonebook_table.h"
#include "ui/main_dialog.h"

using namespace telvane;

class PhonebookTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::unique_ptr<MainDialog> dialog_;

    QTreeWidget* List() { return static_cast<QTreeWidget*>(dialog_->Control(1013)); }
    QStringList Column(int column) {
        QStringList texts;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            texts << List()->topLevelItem(i)->text(column);
        }
        return texts;
    }
    QTreeWidgetItem* Line(const QString& no) {
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            if (List()->topLevelItem(i)->text(1) == no) return List()->topLevelItem(i);
        }
        return nullptr;
    }
    void Click(int id) { static_cast<QAbstractButton*>(dialog_->Control(id))->click(); }
    void Screenshot(const QString& name) {
        QDir().mkpath(TELVANE_BINARY_DIR "/screenshots");
        dialog_->grab().save(QString(TELVANE_BINARY_DIR "/screenshots/%1.png").arg(name));
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
        contacts.Initialize();
        for (const char16_t* name : {u"Ann", u"Ben", u"Cat", u"Dan", u"Eve"}) {
            contacts.Add(name, u"6000" + std::u16string(name));
        }
        MainDialogOptions options;
        options.scale = 1.0;
        options.settingsFile = dir_.filePath("settings.conf").toStdString();
        options.sysRoot = dir_.filePath("none").toStdString();
        options.devRoot = dir_.filePath("none").toStdString();
        options.contactsFolder = dir_.filePath("contacts").toStdString();
        options.messageBox = [](const QString&) {};
        dialog_ = std::make_unique<MainDialog>(options);
        dialog_->show();
        dialog_->Command(1077);
    }
    void cleanup() { dialog_.reset(); }

    void SimLinesShowTheirPositions() {
        QCOMPARE(Column(1), (QStringList{"1", "3", "7"}));
        QCOMPARE(Column(2), (QStringList{"Alice", "Bob", "Carol"}));
        QCOMPARE(List()->headerItem()->text(1), QString("No."));
        Screenshot("phonebook_en");
    }

    void EditingSimEntrySevenChangesPositionSix() {
        Line("7")->setSelected(true);
        Click(1030);
        QVERIFY(dialog_->Control(1055)->isVisible());
        QVERIFY(!dialog_->Control(1013)->isVisible());
        QVERIFY(!dialog_->Control(1057)->isVisible());
        QCOMPARE(static_cast<QLineEdit*>(dialog_->Control(1055))->text(), QString("Carol"));
        QCOMPARE(static_cast<QLineEdit*>(dialog_->Control(1055))->maxLength(), 14);
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
        QCOMPARE(dialog_->PhonebookSource(), 1);
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
        Line("2")->setCheckState(0, Qt::Checked);
        Line("4")->setCheckState(0, Qt::Checked);
        dialog_->Command(1075);
        QCOMPARE(Column(2), (QStringList{names[0], names[2], names[4]}));
        QCOMPARE(dialog_->Contacts().Count(), 3);
    }

    void DeletingSimLinesEmptiesTheirEntries() {
        Line("1")->setCheckState(0, Qt::Checked);
        Line("7")->setCheckState(0, Qt::Checked);
        dialog_->Command(1075);
        QCOMPARE(Column(1), (QStringList{"3"}));
        QVERIFY(dialog_->Controller().Phonebook().Entries()[0].IsEmpty());
    }

    void SwitchingTabsResetsTicks() {
        static_cast<QToolButton*>(dialog_->Control(1060))->click();
        QVERIFY(dialog_->AllChecked());
        QCOMPARE(Line("3")->checkState(0), Qt::Checked);
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(1);
        static_cast<QTabBar*>(dialog_->Control(1012))->setCurrentIndex(0);
        QVERIFY(!dialog_->AllChecked());
        QCOMPARE(Line("3")->checkState(0), Qt::Unchecked);
    }

    void PickingTicksTheRecipientsAndBuildsTheList() {
        dialog_->Command(1071);
        dialog_->SetRecipientText(u"92222222;555");
        Click(1025);
        QCOMPARE(Line("3")->checkState(0), Qt::Checked);
        QCOMPARE(Line("1")->checkState(0), Qt::Unchecked);
        Line("3")->setCheckState(0, Qt::Unchecked);
        Line("7")->setCheckState(0, Qt::Checked);
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
