// What the folders hold, and what the SIM lists, written to the message history as well: the
// folders keep 200 messages each and the SIM a few dozen, the history keeps them all.
//
// The folder tables call FolderSaved after each save; the history's writer stores on its own
// thread, so the window never waits for the disk.  When the history is first made, the
// folders' files are loaded into it once.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codec/sms_record.h"
#include "history/history_message.h"
#include "history/history_writer.h"
#include "store/folder_table.h"
#include "store/message_store.h"

namespace telvane {

class ControllerHost;

// The messages a folder's record stands for: one per recipient of an outgoing record (its
// delivery state from the record's reports), none for a folder the history does not keep
// (Outbox, Draft) or a record without a number.  A record without a time takes `now`
// (seconds of the history's clock) for its place in time; its key stays that of the record.
std::vector<HistoryMessage> HistoryMessagesOf(FolderId folder, const SmsRecord& record,
                                              int64_t now);

// Every message of the folders the history keeps, read from their files in `dataFolder`.
std::vector<HistoryMessage> HistoryMessagesOfFolderFiles(const std::filesystem::path& dataFolder,
                                                         int64_t now);

class HistoryFeed {
  public:
    using NameOf = std::function<std::u16string(const std::u16string& number)>;

    // `dataFolder` holds the history and the folder files.  Problems reach the user through
    // the host, on the window thread.
    HistoryFeed(ControllerHost& host, std::filesystem::path dataFolder);
    ~HistoryFeed();

    // Window thread.
    void FolderSaved(FolderId folder, const FolderTable& table);
    // Messages not (or no longer) in a folder: the whole listing of the SIM, beyond the 200 the
    // Inbox keeps.
    void Listed(const std::vector<SmsRecord>& messages);
    // Names stored with new messages (the SIM phonebook's or the contacts').
    void SetNames(NameOf names) { names_ = std::move(names); }

    // The writer, for the pages that delete from the history.
    HistoryWriter& Writer() { return *writer_; }
    const std::filesystem::path& File() const { return file_; }

  private:
    void Report(const HistoryEvent& event);
    void Queue(FolderId folder, const std::vector<SmsRecord>& records);

    ControllerHost& host_;
    std::filesystem::path dataFolder_;
    std::filesystem::path file_;
    NameOf names_;
    // The last failure told: the same one is not told again at every save.
    std::string lastTold_;
    std::unique_ptr<HistoryWriter> writer_;
};

}  // namespace telvane
