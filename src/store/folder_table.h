// One message folder in memory: 200 slots whose positions stay put, so a list row can name its
// record by position across removals, saves and reloads.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/sms_record.h"

namespace telvane {

inline constexpr int32_t kFolderSlots = 200;

struct FolderEntry {
    int32_t slot = -1;  // -1 when free, else the entry's own position
    SmsRecord record;

    bool operator==(const FolderEntry&) const = default;
};

// Invariant: entries[p].slot == p exactly for the used entries, and usedCount counts them.
struct FolderTable {
    int32_t usedCount = 0;
    std::array<FolderEntry, kFolderSlots> entries;

    // Frees every entry.
    void Clear();
    // Copies `record` into the lowest free position: 1, or 0 when all 200 are used.
    int Add(const SmsRecord& record);
    // Frees a used position; anything else is ignored.
    void Remove(int32_t position);
    bool IsUsed(int32_t position) const;
};

// The folder file's bytes: usedCount, then each used entry in position order as slot, status,
// index, number, extra, time, text.
std::string EncodeFolder(const FolderTable& table);

// Replaces `table` with the records of a folder file.  Returns true when the file was read to its
// end without fault.  A damaged file keeps every record that can still be read: the count is
// only checked, records are read until the bytes end, and after a damaged record reading goes on
// at the next record found intact.  Slots outside 0..199 are skipped; a slot listed twice keeps
// its later record; usedCount always counts the entries actually filled.
bool DecodeFolder(std::string_view bytes, FolderTable& table);

// Whether a folder file's bytes decode whole (DecodeFolder's verdict, without a table).
bool FolderReadsWhole(std::string_view bytes);

}  // namespace telvane
