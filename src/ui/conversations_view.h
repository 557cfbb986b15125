// The conversations: the people the user exchanged messages with (newest first, last message,
// unread count) and, for the one chosen, the exchange in time order, received and sent apart,
// with the delivery state of sent ones and a reply box.  Typing in the search box turns the
// right side into the history's search results, which can be deleted from the history (after
// a confirmation).
//
// Reads the history in pages of 50 from the window thread; writes (marking read, deleting) go
// to the history's writer, and the view reloads when they are done.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "history/history_db.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace telvane {

class HistoryFeed;

class ConversationsView : public QWidget {
  public:
    // `send` puts a reply in the Outbox (number, text); `nameOf` gives the phonebook's or the
    // contacts' name of a number, empty when none.
    using Send = std::function<void(const std::u16string& number, const std::u16string& text)>;
    using NameOf = std::function<std::u16string(const std::u16string& number)>;
    ConversationsView(HistoryFeed* history, Send send, NameOf nameOf, QWidget* parent = nullptr);
    ~ConversationsView() override;

    // The people again from the history (after new messages), keeping the one open.
    void Reload();
    void OpenConversation(int row);
    void Relabel();

  private:
    bool EnsureOpen();
    void LoadPeople(bool more);
    void ShowThread(bool older);
    void Search(const QString& text);
    void DeleteChecked();
    void DeleteConversation();
    void SendReply();
    // After the writer ran `task`, Reload on the window thread.
    void Write(std::function<void(HistoryDb&)> task);

    HistoryFeed* history_;
    Send send_;
    NameOf nameOf_;
    std::unique_ptr<HistoryDb> db_;
    std::vector<Conversation> people_;
    std::optional<Conversation> open_;
    std::vector<HistoryMessage> thread_;
    std::vector<HistoryHit> hits_;

    QLineEdit* search_;
    QListWidget* peopleList_;
    QLabel* title_;
    QPushButton* older_;
    QListWidget* threadList_;
    QPlainTextEdit* reply_;
    QPushButton* sendButton_;
    QPushButton* delete_;
};

}  // namespace telvane
