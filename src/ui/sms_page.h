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
class QListWidget;
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

    // The folders as a side list, beside the list and the reading pane (wide layout only).
    QListWidget* FolderList() const { return side_; }
    // The side list's line after the folders: the conversations in the list's and the reading
    // pane's place.  `view` is given when ConversationsChosen first asks for it.
    static constexpr int kConversationsLine = 5;
    void SetConversationsView(QWidget* view);
    void ChooseConversations();
    bool ConversationsShown() const;

    // Rows as the controller adds them; senders and recipients named from `names`.
    void AppendRow(int icon, const std::u16string& number, const NumberNames& names,
                   const std::u16string& date, const std::u16string& text, int itemData);
    // A Sent row's delivery mark (one of the kMark icons) and the state of each recipient.
    void SetDeliveryMark(int row, int mark, const QString& tip);
    // A short text beside a row's icon (the store an Inbox message is kept in) and its tip.
    void SetRowMark(int row, const QString& mark, const QString& tip);
    void ClearRows();
    // Names the senders again, after the phonebook changed.
    void Rename(const NumberNames& names);
    // Sorts by the marked column, newest first on a fresh page, and sizes the columns.
    void SortRows();
    // The list takes the interface face, a little smaller where a long number and a date would
    // not both show whole beside the tick column at the first size.
    void ApplyListFont(const QFont& uiFont);
    void HeaderClicked(int column);

    void SetDetail(const std::u16string& number, const NumberNames& names,
                   const std::u16string& time, const std::u16string& body);
    // After SetDetail: what the message's delivery reports said, beside its time.
    void SetDeliveryStatus(const QString& text);
    std::u16string DetailNumber() const { return detailNumber_; }
    std::u16string DetailBody() const;

    // The Save-To line of `folder`'s targets, and the folder of the chosen line.
    void FillSaveTo(int folder);
    int SaveToFolder() const;
    void ShowFolderButtons(bool replyAndForward, bool edit);

    void SetStatus(const QString& text);
    const QString& StatusText() const { return statusText_; }
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
    bool SearchShown() const;
    // Escape in the search row: clears it, and closes it once empty.
    void EscapeSearch();

    // The user's column widths of each folder ("SmsColumns" texts of ListView), by folder.
    QString FolderWidths(int folder);
    void SetFolderWidths(int folder, const QString& text);

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
    void ConversationsChosen();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void RelayoutWide();
    // The list and the reading pane, or the conversations in their place.
    void ShowListOrConversations();
    // The user's widths of the shown folder go with it; `folder`'s come in.
    void SwapWidths(int folder);
    // Multi-recipient rows show whole only the widest single recipient.
    void LimitPhoneColumn();
    void ClearDetail();
    void ShowStatus();
    // The list's face for the layout shown: the one fitted to the first size, or wide the
    // interface's where it fits.
    void ChooseListFont();
    void OnCheckAll();
    void SetCheckAllImage();
    void ShowBody(const std::u16string& text);

    QTabBar* tabs_;
    QListWidget* side_;
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
    QWidget* conversations_ = nullptr;

    std::array<int, 5> folderOfLine_{};
    std::u16string detailNumber_;
    QString statusText_;
    QFont fittedFont_;
    QFont uiFont_;
    int uiFontNeed_ = 0;
    bool listFontsKnown_ = false;  // the width a number and a date need in the interface's face
    int shownItem_ = -1;
    bool allChecked_ = false;
    bool conversationsChosen_ = false;
    // The buttons the shown folder offers (ShowFolderButtons), shown again after the
    // conversations.
    bool replyShown_ = true;
    bool editShown_ = true;
    bool searchOpened_ = false;
    bool searchClosed_ = false;  // by Escape: stays closed however tall the page
    std::array<QString, 5> folderWidths_;
    int widthsFolder_ = -1;
};

// Icons of the message list beyond the controller's (kIconUnread ... kIconOutgoing): a Sent
// message's delivery, all delivered, some pending, some failed.
inline constexpr int kMarkDelivered = 3;
inline constexpr int kMarkPending = 4;
inline constexpr int kMarkFailed = 5;

}  // namespace telvane
