#include "store/folder_table.h"

#include "store/archive.h"

namespace telvane {

void FolderTable::Clear() {
    usedCount = 0;
    for (FolderEntry& entry : entries) {
        entry.slot = -1;
        ClearSmsRecord(entry.record);
    }
}

int FolderTable::Add(const SmsRecord& record) {
    for (int32_t p = 0; p < kFolderSlots; ++p) {
        FolderEntry& entry = entries[static_cast<size_t>(p)];
        if (entry.slot == p) continue;
        entry.slot = p;
        entry.record = record;
        ++usedCount;
        return 1;
    }
    return 0;
}

void FolderTable::Remove(int32_t position) {
    if (!IsUsed(position)) return;
    FolderEntry& entry = entries[static_cast<size_t>(position)];
    entry.slot = -1;
    ClearSmsRecord(entry.record);
    --usedCount;
}

bool FolderTable::IsUsed(int32_t position) const {
    return position >= 0 && position < kFolderSlots &&
           entries[static_cast<size_t>(position)].slot == position;
}

std::string EncodeFolder(const FolderTable& table) {
    ArchiveWriter out;
    size_t size = 4;
    for (const FolderEntry& entry : table.entries) {
        const SmsRecord& r = entry.record;
        size += 8 + 5 * 7 +
                2 * (r.status.size() + r.number.size() + r.extra.size() + r.time.size() +
                     r.text.size());
    }
    out.Reserve(size);
    out.WriteInt32(table.usedCount);
    for (int32_t p = 0; p < kFolderSlots; ++p) {
        if (!table.IsUsed(p)) continue;
        const SmsRecord& r = table.entries[static_cast<size_t>(p)].record;
        out.WriteInt32(p);
        out.WriteString(r.status);
        out.WriteInt32(r.index);
        out.WriteString(r.number);
        out.WriteString(r.extra);
        out.WriteString(r.time);
        out.WriteString(r.text);
    }
    return out.Take();
}

bool DecodeFolder(std::string_view bytes, FolderTable& table) {
    table.Clear();
    ArchiveReader in(bytes);
    int32_t count = 0;
    in.ReadInt32(count);
    bool clean = count >= 0;
    // The count is only an upper bound: the records end where the bytes do.
    for (int32_t i = 0; !in.Failed() && i < count; ++i) {
        int32_t slot = 0;
        SmsRecord r;
        in.ReadInt32(slot);
        in.ReadString(r.status);
        in.ReadInt32(r.index);
        in.ReadString(r.number);
        in.ReadString(r.extra);
        in.ReadString(r.time);
        in.ReadString(r.text);
        if (in.Failed()) break;  // a record cut short is dropped whole
        if (slot < 0 || slot >= kFolderSlots) {
            clean = false;
            continue;
        }
        FolderEntry& entry = table.entries[static_cast<size_t>(slot)];
        if (entry.slot == slot) clean = false;  // listed twice: the later copy wins
        entry.slot = slot;
        entry.record = std::move(r);
    }
    table.usedCount = 0;
    for (int32_t p = 0; p < kFolderSlots; ++p)
        if (table.IsUsed(p)) ++table.usedCount;
    return clean && !in.Failed() && in.AtEnd();
}

}  // namespace telvane
