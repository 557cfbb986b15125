// The SMS page: the folder tabs, the message list, the reading pane with its number and time,
// the folder buttons, the status line and the signal bar.
#pragma once

#include <array>
#include <string>

#include "control/ui_strings.h"
#include "store/message_store.h"
#include "ui/page.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabBar;
class QToolButton;

namespace telvane {

class ListView;
class NumberNames;

constexpr int FolderTab(FolderId folder) {
    return static_cast<int>(folder);
}

// The folders' names, in tab order.
inline constexpr UiText kFolderNames[] = {ui_text::kInbox, ui_text::kOutbox, ui_text::kSent,
                                          ui_text::kDraft, ui_text::kSave};

class SmsPage : public Page {
    Q_OBJECT

  public:
    SmsPage(qreal scale, QWidget* parent);

    void Relayout() override;
    // Tabs, headings and buttons in the current language; the list is emptied.
    void Relabel();

    ListView* List() const { return list_; }
    QTabBar* Tabs() const { return tabs_; }
    QLineEdit* SearchBox() const { return search_; }
    int CurrentFolder() const;
    void SelectFolder(int folder);

    // Rows as the controller adds them; `name` is the phonebook's name for the number, or empty.
    void AppendRow(int icon, const std::u16string& number, const QString& name,
                   const std::u16string& date, const std::u16string& text, int itemData);
    void ClearRows();
    // Names the senders again, after the phonebook changed.
    void Rename(const NumberNames& names);
    // Sorts by the marked column, newest first on a fresh page, and sizes the columns.
    void SortRows();
    // The list takes the interface face, a little smaller where a long number and a date would
    // not both show whole beside the tick column at the first size.
    void ApplyListFont(const QFont& uiFont);
    void HeaderClicked(int column);

    void SetDetail(const std::u16string& number, const QString& name, const std::u16string& time,
                   const std::u16string& body);
    // After SetDetail: what the message's delivery reports said, beside its time.
    void SetDeliveryStatus(const QString& text);
    std::u16string DetailNumber() const { return detailNumber_; }
    std::u16string DetailBody() const;

    // The Save-To line of `folder`'s targets, and the folder of the chosen line.
    void FillSaveTo(int folder);
    int SaveToFolder() const;
    void ShowFolderButtons(bool replyAndForward, bool edit);

    void SetStatus(const QString& text);
    void SetSignal(int level);
    // The bar's tool tip: the signal in dBm; -1: not known.
    void SetSignalRssi(int rssi);
    // While the modem works the shown folder can still be read: rows open and the text scrolls.
    // What would change the list under a run (ticks, sorting, searching, another folder) or start
    // other work waits.
    void SetWorking(bool working);
    int SignalLevel() const;

    bool AllChecked() const { return allChecked_; }
    void ResetCheckAll();
    // Opens or closes the search row (Ctrl+F); a closed row shows the whole folder.
    void ToggleSearch();

  signals:
    void SignalClicked();
    void FolderChosen(int folder);
    void RowOpened(int row);
    void ReplyClicked();
    void ForwardClicked();
    void SaveToClicked();
    void EditClicked();
    void MarkUnreadClicked();
    void ExportClicked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnCheckAll();
    void SetCheckAllImage();
    void ShowBody(const std::u16string& text);

    QTabBar* tabs_;
    ListView* list_;
    QPushButton* reply_;
    QPushButton* forward_;
    QPushButton* saveTo_;
    QComboBox* target_;
    QPlainTextEdit* box_;
    QLabel* number_;
    QLabel* time_;
    QProgressBar* signal_;
    QLabel* status_;
    QLabel* counter_;
    QPushButton* edit_;
    QToolButton* checkAll_;
    QLineEdit* search_;
    QAction* markUnread_;
    QAction* export_;

    std::array<int, 5> folderOfLine_{};
    std::u16string detailNumber_;
    int shownItem_ = -1;
    bool allChecked_ = false;
    bool searchOpened_ = false;
    bool fitted_ = false;
};

}  // namespace telvane
