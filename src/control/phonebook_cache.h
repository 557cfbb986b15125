// The SIM phonebook as the phonebook page sees it: the engine's table while online, the cache's
// own copy otherwise, and when either copy moves to or from the file and the SIM.
//
// The engine's table is shared with its phonebook workers: every use of it here holds the
// engine's phonebook lock, and what the page reads is a copy.
//
// Locks, in the order they may be taken: the engine's phonebook lock (LinkEngine::LockPhonebook)
// is the only lock the controller takes: never while it holds it already, never across file I/O
// or a call into the engine (which takes its own locks inside its calls).  The window thread
// holds it only to read, copy or replace the table.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/ui_strings.h"
#include "control/window_interface.h"
#include "store/phonebook_table.h"

namespace telvane {

// What the cache needs from its owner, the link controller.
class PhonebookCacheHost {
  public:
    virtual ~PhonebookCacheHost() = default;
    // The engine's table while the controller is online, with `lock` holding the engine's
    // phonebook lock; else null.
    virtual PhonebookTable* OnlinePhonebook(std::unique_lock<std::mutex>& lock) = 0;
    virtual bool PhonebookOnline() = 0;
    // Engine job starters: 1 started, 0 refused.
    [[nodiscard]] virtual int StartPhonebookRead() = 0;
    [[nodiscard]] virtual int StartPhonebookWrite() = 0;
    virtual ControllerSettings CurrentSettings() const = 0;
    // The phonebook file could not be written.
    virtual void ReportFileError(UiText what, const std::string& reason) = 0;
    // After a load or save: what the file's loader or saver found, told once.
    virtual void ReportLoadProblems() = 0;
};

class PhonebookCache {
  public:
    explicit PhonebookCache(PhonebookCacheHost& host) : host_(host) {}

    std::vector<PhonebookEntry> Entries();
    int32_t Capacity();
    PhonebookLimits Limits();

    // Edits of the active table: 1 done, 0 refused (full, no such entry, a number the SIM could
    // not dial or a name longer than it holds: RefusedNumber() then says why).  Numbers are stored
    // cleaned (NormalisePhoneNumber); an empty number is kept empty.
    int Add(std::u16string_view name, std::u16string_view number);
    int Delete(int32_t index);
    int Update(int32_t index, std::u16string_view name, std::u16string_view number);
    // Why the last Add or Update refused its number or name, for the user; empty when it did
    // not.
    const std::u16string& RefusedNumber() const { return refusal_; }

    // The file into the active table, and back.  True on success; a failure is reported to the
    // user through the host.
    // Load reports its own failure, and what could be read is in the table either way.
    bool Load();
    [[nodiscard]] bool Save();

    // Online: asks the engine to write every changed entry to the SIM (1 when it accepted within
    // 201 tries); offline: nothing to do, 1.
    [[nodiscard]] int WriteToSim();

    // The connect-time transfer: read the SIM ("ReadSIMPbk" on) or write the file's changes to
    // it.  1 when the engine took the job (Notification::kPhonebookRead or kPhonebookWritten
    // follows), 0 when it refused; offline it loads the file and reports 1.
    [[nodiscard]] int Synchronise();

    // After the phonebook page added, edited or deleted an entry.  Online with "SyncSIMPbk" on,
    // the change goes to the SIM (busy until Notification::kPhonebookWritten); otherwise, or when
    // the engine refuses the write, it is kept in the file, still marked changed.  Without an
    // edit done since the last time (a refused one), nothing is written anywhere.  When the file
    // cannot be written, the edits are undone in the table and the reason shown.
    void AfterChange();

    // The cache's own table (what the offline page shows).
    const PhonebookTable& OfflineTable() const { return own_; }

  private:
    // Runs `use` on the active table, under the engine's lock while it is the engine's.
    template <class Use>
    auto WithTable(Use use) {
        std::unique_lock<std::mutex> lock;
        PhonebookTable* online = host_.OnlinePhonebook(lock);
        return use(online != nullptr ? *online : own_);
    }

    // False (refusal_ set) when the SIM's limit, where known, has no room for the name.
    bool CheckName(std::u16string_view name);
    // The number as the table stores it, or nothing (refusal_ set) when it is refused.
    std::optional<std::u16string> CheckNumber(std::u16string_view number);

    // Runs `edit` on the active table, first keeping the table as it was before the first edit
    // since the last AfterChange.
    template <class Edit>
    int Change(Edit edit) {
        return Edited(WithTable([&](PhonebookTable& table) {
            if (!before_) before_ = table;
            return edit(table);
        }));
    }

    // Counts an edit that was done.
    int Edited(int done) {
        edited_ = edited_ || done != 0;
        return done;
    }

    PhonebookCacheHost& host_;
    PhonebookTable own_;
    bool edited_ = false;
    // The table before the edits AfterChange has yet to keep; put back when their save fails.
    std::optional<PhonebookTable> before_;
    std::u16string refusal_;
};

}  // namespace telvane
