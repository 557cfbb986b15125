// The commands of the message page on the folder files: show, open, delete, copy and move, save
// a composed message, and reply, forward and edit, which fill the compose page.
//
// The rows of the window's list carry the positions of their records in the folder's one table
// (FolderTables).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
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
    // The rows' received messages marked unread, in the folder's table and file.
    void MarkUnread(const std::vector<int>& rows);

    // Ticked rows deleted, the folder saved once at the end of the run.  In the Inbox, while
    // online, every SIM part of each that this connection saw (listed or arrived) goes first,
    // one delete after the modem confirmed the last (Deleted), with a count on the status line;
    // an index of an earlier connection is never sent, its record only leaves the folder.
    void DeleteTicked();
    // The delete timer: a delete the engine refused while its last one was still ending, again.
    void DeleteTick();
    // The modem's answer to the run's delete.
    void Deleted(bool ok);
    // The link went: the run ends with what was deleted.
    void StopRuns();
    bool DeleteRunning() const { return deleteRun_.has_value(); }
    // Ticked rows copied to the Save-To folder (moved between Outbox and Draft); each folder
    // saved once.
    void CopyTicked();

    // Files the compose page's message in the Save-To folder.
    void SaveComposed();
    void Reply();
    void Forward();
    void EditMessage();
    // Draft, Edit, Send: once its message is queued the draft it came from goes, unless it
    // changed meanwhile.  A fresh message on the compose page forgets it.
    void EditedDraftQueued();
    void ForgetEditedDraft() { editedDraft_.reset(); }

    // A finished listing becomes the Inbox, shown: the parts of long messages joined, what the
    // user has not opened here unread.  `simHolds`: how many messages the SIM holds (-1 not
    // known), to tell the user of those the Inbox has no room for.
    void RefreshInbox(const std::vector<SmsPart>& listed, int simHolds = -1);
    // Messages that arrived while connected: added to the Inbox as unread (a part joins its
    // message), and announced.
    void AddArrived(const std::vector<SmsPart>& messages);
    // Status reports: each sets its Sent message's entry to delivered or failed.
    void ApplyStatusReports(const std::vector<StatusReport>& reports);
    // A new connection, or none: the SIM indexes seen so far may now hold other messages.
    void ForgetSimIndexes() { simSenders_.clear(); }

  private:
    struct DeleteRun {
        int folder = 0;
        std::vector<int> positions;  // the ticked records, in row order
        size_t record = 0;           // the one being deleted
        std::vector<int32_t> sim;    // its SIM indexes
        std::string store;           // the modem's store they are in; "": the SIM's
        size_t done = 0;             // of those, deleted
        int refusals = 0;            // in a row, for the one to delete now
        bool waiting = false;        // a delete is with the modem
    };

    // Starts the next SIM delete, or ends the record or the run.
    void DeleteNext();
    // Takes the current record out of the table and the list.
    void RemoveCurrent();
    // Saves the folder, shows it and frees the window; `failed` puts "Delete failed" last.
    void FinishDelete(bool failed);

    // The table of the folder the list shows.
    FolderTable& Shown();
    // This connection saw the parts at these SIM indexes, from these senders.
    void SawOnSim(const std::vector<SmsPart>& parts);
    // The record's SIM indexes that this connection saw holding its message; the others may
    // hold another message now, and are never sent.
    std::vector<int32_t> TrustedIndexes(const SmsRecord& record, const std::string& store) const;
    // The modem's store the record's indexes are in, as this connection saw them; nothing when
    // no store, or more than one, holds them.  The folder's file does not keep the store.
    std::optional<std::string> StoreOf(const SmsRecord& record) const;
    // The Inbox's rows of messages kept elsewhere than on the SIM get their store's mark.
    void MarkStores(const FolderTable& inbox);

    ControllerHost& host_;
    std::optional<DeleteRun> deleteRun_;
    // (store, index) -> sender and time, as this connection's listing and arrivals gave them.
    struct SeenOnModem {
        std::u16string number;
        std::u16string time;
    };
    std::map<std::pair<std::string, int32_t>, SeenOnModem> simSenders_;
    struct EditedDraft {
        int position = -1;
        SmsRecord record;
    };
    std::optional<EditedDraft> editedDraft_;
};

}  // namespace telvane
