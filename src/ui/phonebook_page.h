// The Phonebook page: the SIM and contacts tabs, the list (also the address picker of the
// Compose page) and the entry panel that adds or edits one entry.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control/import_plan.h"
#include "control/window_interface.h"
#include "ui/page.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QToolButton;

namespace telvane {

class ImportPreview;
class ListView;
class MainDialog;

// Name, number and the add or edit buttons for one entry.
class EntryPanel : public Page {
    Q_OBJECT

  public:
    EntryPanel(qreal scale, QWidget* parent);
    void Relayout() override;
    void Relabel();
    void Fill(const QString& name, const QString& number, int position);
    // `simName`: the name is the SIM's, counted against its limit ("9/14") and refused, never
    // cut, when longer; otherwise `nameLimit` caps what can be typed.
    void SetLimits(int nameLimit, int numberLimit, bool simName);
    QString Name() const;
    QString Number() const;
    // The position of the entry being edited (1-based), 0 when adding.
    int Position() const { return position_; }

  signals:
    void Okay();
    void Cancel();

  private:
    void UpdateNameCount();

    QLabel* nameLabel_;
    QLabel* phoneLabel_;
    QLabel* noLabel_;
    QLineEdit* nameEdit_;
    QLineEdit* numberEdit_;
    QLineEdit* noEdit_;
    QPushButton* okay_;
    QPushButton* cancel_;
    QLabel* nameCount_;
    int position_ = 0;
    // The SIM's name limit (0 not known) while a SIM entry is edited; -1 for a contact.
    int simNameLimit_ = -1;
};

class PhonebookPage : public Page {
    Q_OBJECT

  public:
    PhonebookPage(MainDialog& host, qreal scale, QWidget* parent);

    void Relayout() override;
    void Relabel();

    ListView* List() const { return list_; }
    EntryPanel* Entry() const { return entry_; }
    QTabBar* Tabs() const { return tabs_; }
    PhonebookSource Source() const;

    // Fresh tabs and the SIM list; picking ticks the lines of `recipients` and shows Okay/Cancel.
    void Open(bool picking);
    bool Picking() const { return picking_; }
    // The lines again from the phonebook cache or the contacts.
    void Refill();
    void HeaderClicked(int column);
    // Empties the ticked SIM entries or removes the ticked contacts.
    void DeleteTicked();
    // The (number, ticked) pairs of the shown lines, for picking recipients.
    std::vector<std::pair<std::u16string, bool>> PickedLines() const;
    bool AllChecked() const { return allChecked_; }

    // The ticked lines, or the selected one when none is ticked, into the other list.
    void CopyAcross();
    QLabel* EmptyHint() const { return hint_; }

    // An import of a vCard or CSV file into the list shown (SIM or contacts): the preview of
    // what is added and skipped (null when the file cannot be read, which the user is told),
    // then what the user confirmed.
    std::unique_ptr<ImportPreview> PreviewImport(const QString& path);
    void ApplyImport(const std::vector<ImportLine>& lines);

  signals:
    void PickOkay();
    void PickCancel();
    void ExportClicked();

  private:
    void OnEdit();
    void OnImport();
    void OnAdd();
    void ApplyEntryLimits();
    void OnEntryOkay();
    void ShowEntry(bool shown);
    void ShowListBesideEntry();
    // A contacts file could not be written: the user hears why.
    void ContactsFailed();
    void OnCheckAll();
    void SetCheckAllImage();

    MainDialog& host_;
    QTabBar* tabs_;
    ListView* list_;
    QPushButton* edit_;
    QPushButton* add_;
    QPushButton* cancel_;
    QToolButton* checkAll_;
    EntryPanel* entry_;
    QLabel* hint_;
    QAction* copyAcross_;
    QAction* export_;
    QAction* import_;
    bool picking_ = false;
    bool allChecked_ = false;
};

}  // namespace telvane
