// The commands of the message page on the folder files: show, open, delete, copy and move, save
// a composed message, and reply, forward and edit, which fill the compose page.
//
// It owns the shown table: the folder in the window's list, whose rows carry the table
// positions of their records.
#pragma once

#include <optional>
#include <vector>

#include "control/controller_host.h"
#include "store/message_listing.h"
#include "store/message_store.h"

namespace telvane {

class FolderCommands {
  public:
    explicit FolderCommands(ControllerHost& host) : host_(host) {}

    // Selects the folder's tab and fills the list from its file.
    void ShowFolder(int folder);
    void FillMessageList();
    // Shows the row's message; an unread one is marked read in its file.
    void OpenMessage(int row);

    // Ticked rows, one a tick of their timers: deleted (on the SIM too, for the Inbox while
    // online), or copied to the Save-To folder (moved between Outbox and Draft).
    void DeleteTicked();
    void DeleteTick();
    void CopyTicked();
    void CopyTick();

    // Files the compose page's message in the Save-To folder.
    void SaveComposed();
    void Reply();
    void Forward();
    void EditMessage();
    // Draft, Edit, Send: once its message is queued the draft it came from goes, unless it
    // changed meanwhile.  A fresh message on the compose page forgets it.
    void EditedDraftQueued();
    void ForgetEditedDraft() { editedDraft_.reset(); }

    // A finished listing becomes the Inbox, shown: what the user has not opened here stays
    // unread.  `simHolds`: how many messages the SIM holds (-1 not known), to tell the user of
    // those the Inbox has no room for.
    void RefreshInbox(const MessageListing& listing, int simHolds = -1);
    // Messages that arrived while connected: added to the Inbox as unread, and announced.
    void AddArrived(const std::vector<SmsRecord>& messages);

  private:
    // True when the run is over.
    bool DeleteStep();
    bool CopyStep();

    ControllerHost& host_;
    MessageStore store_;
    // Multi-item commands: the row reached, and the folders involved.
    int cursor_ = -1;
    int sourceFolder_ = 0;
    int targetFolder_ = 0;
    struct EditedDraft {
        int position = -1;
        SmsRecord record;
    };
    std::optional<EditedDraft> editedDraft_;
};

}  // namespace telvane
