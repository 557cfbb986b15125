// The message folders: the shown table (the folder in the list, or the one a command works on)
// and the transfer table (for appending to or moving into another folder), each loaded from and
// saved to its folder's file in the data folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "store/folder_table.h"
#include "store/load_report.h"
#include "store/message_listing.h"

namespace telvane {

// Equal to the folder's tab index in the window.
enum class FolderId : int32_t { Inbox = 0, Outbox = 1, Sent = 2, Draft = 3, Saved = 4 };

// "smsin.acr", "smsout.acr", "smssent.acr", "smsdraft.acr", "smssave.acr"; empty for an id
// outside 0..4.
const char* FolderFileName(FolderId folder);

class MessageStore {
  public:
    // Files live in the data folder, looked up on every load and save.
    MessageStore() = default;
    // Files live in `folder` (tests, the command-line tool).
    explicit MessageStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // Replace the table with the folder's file.  A missing file gives an empty table.  1 when the
    // file was read whole (or does not exist), 0 when it was unreadable or damaged: the table then
    // holds what could be read, LastError() says why, LastLoad() says what was found, and the
    // file is listed once by TakeLoadProblems().  An id outside 0..4 does nothing (0).  Temporary
    // files that interrupted saves left beside the file are removed first.
    [[nodiscard]] int LoadShown(FolderId folder);
    [[nodiscard]] int LoadTransfer(FolderId folder);

    // Replace the folder's file with the table, atomically.  A file that does not read whole is
    // first kept as <file>.damaged-<time>.  1 on success; 0 when the file could not be written
    // or kept (the old file stays, LastError() names the file, the operation and the system's
    // reason) or the id is outside 0..4.
    [[nodiscard]] int SaveShown(FolderId folder);
    [[nodiscard]] int SaveTransfer(FolderId folder);

    // 1 when placed in the lowest free position, 0 when the table is full.  Nothing is saved.
    int AddShown(const SmsRecord& record) { return shown_.Add(record); }
    int AddTransfer(const SmsRecord& record) { return transfer_.Add(record); }

    // Frees a used position; anything else is ignored.  Nothing is saved.
    void RemoveShown(int32_t position) { shown_.Remove(position); }
    void RemoveTransfer(int32_t position) { transfer_.Remove(position); }

    // Rebuilds the shown table from the listing (at most 200, in listing order) and saves it as
    // the Inbox.  Returns what the save returns.
    [[nodiscard]] int RefreshInboxFromModem(const MessageListing& listing);

    // Replaces the record at `position` of the folder's file and saves the file; neither table
    // changes (e.g. the send run recording who is still to be served).  1 when saved; 0 when the
    // position is not used in the file (nothing is written), when the file cannot be read or
    // saved (LastError() says why), or for an id outside 0..4.
    [[nodiscard]] int UpdateRecord(FolderId folder, int32_t position, const SmsRecord& record);

    const FolderTable& Shown() const { return shown_; }
    const FolderTable& Transfer() const { return transfer_; }
    // For a command that changes a record in place (e.g. marking it read) before saving.
    SmsRecord* ShownRecord(int32_t position);

    // As LoadShown and SaveShown, on a table the caller owns (the one copy of a folder that a
    // program keeps in memory).
    [[nodiscard]] int LoadTable(FolderId folder, FolderTable& table) { return Load(folder, table); }
    [[nodiscard]] int SaveTable(FolderId folder, const FolderTable& table) {
        return Save(folder, table);
    }

    // The path of a folder's file; empty for an id outside 0..4.
    std::filesystem::path FolderPath(FolderId folder) const;

    // The reason the last failed load or save failed, for the status line or a message box.
    const std::string& LastError() const { return lastError_; }
    // What the last load (or UpdateRecord's load) found.
    const LoadReport& LastLoad() const { return lastLoad_; }

  private:
    int Load(FolderId folder, FolderTable& table);
    int Save(FolderId folder, const FolderTable& table);

    std::filesystem::path folder_;
    FolderTable shown_;
    FolderTable transfer_;
    std::string lastError_;
    LoadReport lastLoad_;
};

}  // namespace telvane
