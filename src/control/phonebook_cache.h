// The SIM phonebook as the phonebook page sees it: the engine's table while online, the cache's
// own copy otherwise, and when either copy moves to or from the file and the SIM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "control/window_interface.h"
#include "store/phonebook_table.h"

namespace telvane {

// What the cache needs from its owner, the link controller.
class PhonebookCacheHost {
  public:
    virtual ~PhonebookCacheHost() = default;
    // The engine's table while the controller is online, else null.
    virtual PhonebookTable* OnlinePhonebook() = 0;
    // Engine job starters: 1 started, 0 refused.
    virtual int StartPhonebookRead() = 0;
    virtual int StartPhonebookWrite() = 0;
    virtual ControllerSettings CurrentSettings() const = 0;
    virtual void PostBusy(bool busy) = 0;
};

class PhonebookCache {
  public:
    explicit PhonebookCache(PhonebookCacheHost& host) : host_(host) {}

    const std::vector<PhonebookEntry>& Entries() { return Active().Entries(); }
    int32_t Capacity() { return Active().Capacity(); }
    PhonebookLimits Limits() { return Active().Limits(); }

    int Add(std::u16string_view name, std::u16string_view number) {
        return Active().AddEntry(name, number);
    }
    int Delete(int32_t index) { return Active().DeleteEntry(index); }
    int Update(int32_t index, std::u16string_view name, std::u16string_view number) {
        return Active().UpdateEntry(index, name, number);
    }

    // The file into the active table, and back.
    int Load();
    int Save();

    // Online: asks the engine to write every changed entry to the SIM (1 when it accepted within
    // 201 tries); offline: nothing to do, 1.
    int WriteToSim();

    // The connect-time transfer: read the SIM ("ReadSIMPbk" on) or write the file's changes to
    // it.  1 when the engine took the job (notification 4 or 5 follows), 0 when it refused;
    // offline it loads the file and reports 1.
    int Synchronise();

    // After the phonebook page added, edited or deleted an entry.  Online with "SyncSIMPbk" on,
    // the change goes to the SIM (busy until notification 5); otherwise, or when the engine
    // refuses the write, it is kept in the file, still marked changed.
    void AfterChange();

    // The cache's own table (what the offline page shows).
    const PhonebookTable& OfflineTable() const { return own_; }

  private:
    PhonebookTable& Active();

    PhonebookCacheHost& host_;
    PhonebookTable own_;
};

}  // namespace telvane
