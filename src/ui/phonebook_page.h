// The Phonebook page: the SIM and contacts tabs, the list (also the address picker of the
// Compose page) and the entry panel that adds or edits one entry.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "control/window_interface.h"
#include "ui/page.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QToolButton;

namespace telvane {

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
    void SetLimits(int nameLimit, int numberLimit);
    QString Name() const;
    QString Number() const;
    // The position of the entry being edited (1-based), 0 when adding.
    int Position() const { return position_; }

  signals:
    void Okay();
    void Cancel();

  private:
    QLabel* nameLabel_;
    QLabel* phoneLabel_;
    QLabel* noLabel_;
    QLineEdit* nameEdit_;
    QLineEdit* numberEdit_;
    QLineEdit* noEdit_;
    QPushButton* okay_;
    QPushButton* cancel_;
    int position_ = 0;
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

  signals:
    void PickOkay();
    void PickCancel();
    void ExportClicked();

  private:
    void OnEdit();
    void OnAdd();
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
    bool picking_ = false;
    bool allChecked_ = false;
};

}  // namespace telvane
