// The folder loader on arbitrary bytes: no crash, no read past the end, and whatever it keeps
// satisfies the table's invariant and survives a save and a reload unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "store/folder_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvane;
    FolderTable table;
    DecodeFolder(std::string_view(reinterpret_cast<const char*>(data), size), table);
    int32_t used = 0;
    for (int32_t p = 0; p < kFolderSlots; ++p) {
        const int32_t slot = table.entries[static_cast<size_t>(p)].slot;
        if (slot != -1 && slot != p) std::abort();
        if (slot == p) ++used;
    }
    if (used != table.usedCount) std::abort();

    FolderTable again;
    if (!DecodeFolder(EncodeFolder(table), again)) std::abort();
    if (again.usedCount != table.usedCount || !(again.entries == table.entries)) std::abort();
    return 0;
}
