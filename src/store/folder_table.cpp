#include "store/folder_table.h"

#include <memory>

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

namespace {

// One record at `pos`; on success `pos` moves past it.
bool ReadRecord(std::string_view bytes, size_t& pos, int32_t& slot, SmsRecord& r) {
    ArchiveReader in(bytes.substr(pos));
    in.ReadInt32(slot);
    in.ReadString(r.status);
    in.ReadInt32(r.index);
    in.ReadString(r.number);
    in.ReadString(r.extra);
    in.ReadString(r.time);
    in.ReadString(r.text);
    if (in.Failed()) return false;
    pos += in.Position();
    return true;
}

// Where a record could begin: a slot below 200 (little-endian) and a string marker after it.
bool LooksLikeRecord(std::string_view bytes, size_t pos) {
    if (bytes.size() - pos < 8) return false;
    const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[pos + i]); };
    return at(0) < kFolderSlots && at(1) == 0 && at(2) == 0 && at(3) == 0 && at(4) == 0xFF &&
           at(5) == 0xFE && at(6) == 0xFF;
}

constexpr int kMaxResyncs = 4 * kFolderSlots;

}  // namespace

bool DecodeFolder(std::string_view bytes, FolderTable& table) {
    table.Clear();
    ArchiveReader header(bytes);
    int32_t count = 0;
    if (!header.ReadInt32(count)) return false;
    bool clean = true;
    int32_t records = 0;
    int resyncs = 0;
    size_t pos = 4;
    while (pos < bytes.size()) {
        int32_t slot = 0;
        SmsRecord r;
        if (!ReadRecord(bytes, pos, slot, r)) {
            // A damaged record is dropped whole; the next intact one is looked for after it.
            // Bounded, since a failed try may have read far: garbage stays cheap to load.
            clean = false;
            if (++resyncs > kMaxResyncs) break;
            size_t next = pos + 1;
            while (next < bytes.size() && !LooksLikeRecord(bytes, next))
                ++next;
            pos = next;
            continue;
        }
        ++records;
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
    return clean && records == count;
}

bool FolderReadsWhole(std::string_view bytes) {
    auto table = std::make_unique<FolderTable>();
    return DecodeFolder(bytes, *table);
}

}  // namespace telvane
