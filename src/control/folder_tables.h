// The one copy in memory of each message folder.  Arrivals, status reports, the folder commands,
// the send runs and the window change a folder only here, and save it from here, so that no
// copy loaded earlier is ever saved over a newer change.
//
// A change is saved at once.  When that save fails the table keeps the change as unsaved: a
// reload keeps it (the file is older), and the next save writes it.  Change() instead puts the
// table back as it was, for the edits that must not stand without their file.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "store/folder_table.h"
#include "store/message_store.h"

namespace telvane {

class ControllerHost;
class HistoryFeed;

class FolderTables {
  public:
    explicit FolderTables(ControllerHost& host);

    // The folder's table; read from its file at the first use.  An id outside 0..4 gets an
    // empty table that is never saved.
    FolderTable& Table(FolderId folder);
    SmsRecord* Record(FolderId folder, int position);

    // The file read again into the table, unless the table holds changes its file lacks.  A
    // damaged file leaves what could be read, told through the host; false then.
    [[nodiscard]] bool Reload(FolderId folder);
    // The table to its file; a failure is told through the host and leaves the change unsaved.
    [[nodiscard]] bool Save(FolderId folder);
    // `edit` on the table, then saved; when the save fails the table is put back as it was.
    template <class Edit>
    [[nodiscard]] bool Change(FolderId folder, Edit edit) {
        FolderTable& table = Table(folder);
        auto before = std::make_unique<FolderTable>(table);
        const bool wasUnsaved = Unsaved(folder);
        if (!edit(table)) return false;
        return SaveOrRestore(folder, std::move(before), wasUnsaved);
    }

    bool Unsaved(FolderId folder) const;

    // Every saved folder is also written to the history, when there is one.
    void SetHistory(HistoryFeed* history) { history_ = history; }
    HistoryFeed* History() const { return history_; }

  private:
    struct Slot {
        std::unique_ptr<FolderTable> table;
        bool unsaved = false;
    };
    Slot& SlotOf(FolderId folder);
    [[nodiscard]] bool SaveOrRestore(FolderId folder, std::unique_ptr<FolderTable> before,
                                     bool wasUnsaved);
    [[nodiscard]] bool LoadSlot(FolderId folder, Slot& slot);

    ControllerHost& host_;
    MessageStore files_;
    HistoryFeed* history_ = nullptr;
    // The five folders, and one for an id outside them.
    std::array<Slot, 6> slots_;
};

// The lowest free position of `table` given `record`, or -1 when the table is full.
int AddRecord(FolderTable& table, const SmsRecord& record);

}  // namespace telvane
