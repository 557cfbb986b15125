#include "store/phonebook_table.h"

#include <algorithm>

#include "platform/files.h"
#include "store/archive.h"
#include "store/damaged_original.h"

namespace telvane {

namespace {

std::u16string CutTo(std::u16string_view text, int32_t limit) {
    size_t keep = std::min(text.size(), static_cast<size_t>(std::max<int32_t>(limit, 0)));
    // Never keep half of a surrogate pair.
    if (keep > 0 && keep < text.size() && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF)
        --keep;
    return std::u16string(text.substr(0, keep));
}

// Where an entry could begin: changed 0 or 1, an index no SIM exceeds, and a string marker.
bool LooksLikeEntry(std::string_view bytes, size_t pos) {
    if (bytes.size() - pos < 11) return false;
    const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[pos + i]); };
    const uint32_t index = at(4) | at(5) << 8 | static_cast<uint32_t>(at(6)) << 16 |
                           static_cast<uint32_t>(at(7)) << 24;
    return at(0) <= 1 && at(1) == 0 && at(2) == 0 && at(3) == 0 &&
           index <= static_cast<uint32_t>(kMaxPhonebookCapacity) && at(8) == 0xFF &&
           at(9) == 0xFE && at(10) == 0xFF;
}

constexpr int kMaxResyncs = 4 * kMaxPhonebookCapacity;

}  // namespace

std::filesystem::path PhonebookFilePath() {
    return DataFile("simpbk.acr");
}

int PhonebookTable::SetLimits(int32_t numberLimit, int32_t textLimit, int32_t capacity) {
    if (numberLimit < 0 || textLimit < 0 || capacity < 0 || capacity > kMaxPhonebookCapacity)
        return 0;
    limits_ = {numberLimit, textLimit, capacity};
    entries_.assign(static_cast<size_t>(capacity), PhonebookEntry{});
    modified_ = true;
    return 1;
}

int PhonebookTable::AddEntry(std::u16string_view name, std::u16string_view number) {
    for (size_t p = 0; p < entries_.size(); ++p) {
        PhonebookEntry& entry = entries_[p];
        if (!entry.IsEmpty()) continue;
        entry.changed = 1;
        entry.index = static_cast<int32_t>(p) + 1;
        entry.name = CutTo(name, limits_.textLimit);
        entry.number = CutTo(number, limits_.numberLimit);
        modified_ = true;
        return 1;
    }
    return 0;
}

int PhonebookTable::DeleteEntry(int32_t index) {
    if (index < 1 || index > limits_.capacity) return 0;
    PhonebookEntry& entry = entries_[static_cast<size_t>(index - 1)];
    if (entry.IsEmpty()) return 0;
    entry.changed = 1;
    entry.name.clear();
    entry.number.clear();
    modified_ = true;
    return 1;
}

int PhonebookTable::UpdateEntry(int32_t index, std::u16string_view name,
                                std::u16string_view number) {
    if (index < 1 || index > limits_.capacity) return 0;
    PhonebookEntry& entry = entries_[static_cast<size_t>(index - 1)];
    entry.changed = 1;
    entry.name = name;
    entry.number = number;
    modified_ = true;
    return 1;
}

void PhonebookTable::MarkWritten(int32_t position) {
    if (position < 0 || position >= limits_.capacity) return;
    PhonebookEntry& entry = entries_[static_cast<size_t>(position)];
    if (entry.IsEmpty()) entry.index = 0;
    entry.changed = 0;
    modified_ = true;
}

void PhonebookTable::SetChanged(int32_t position, bool changed) {
    if (position < 0 || position >= limits_.capacity) return;
    entries_[static_cast<size_t>(position)].changed = changed ? 1 : 0;
    modified_ = true;
}

void PhonebookTable::StoreFromSim(int32_t index, std::u16string name, std::u16string number) {
    if (index < 1 || index > limits_.capacity) return;
    entries_[static_cast<size_t>(index - 1)] = {0, index, std::move(name), std::move(number)};
    modified_ = true;
}

std::string PhonebookTable::Encode() const {
    ArchiveWriter out;
    size_t size = 12;
    for (const PhonebookEntry& entry : entries_)
        size += 8 + 2 * 7 + 2 * (entry.name.size() + entry.number.size());
    out.Reserve(size);
    out.WriteInt32(limits_.numberLimit);
    out.WriteInt32(limits_.textLimit);
    out.WriteInt32(limits_.capacity);
    for (const PhonebookEntry& entry : entries_) {
        out.WriteInt32(entry.changed);
        out.WriteInt32(entry.index);
        out.WriteString(entry.name);
        out.WriteString(entry.number);
    }
    return out.Take();
}

bool PhonebookTable::Decode(std::string_view bytes) {
    limits_ = {};
    entries_.clear();
    loadedFrom_.clear();
    modified_ = true;
    ArchiveReader in(bytes);
    PhonebookLimits limits;
    in.ReadInt32(limits.numberLimit);
    in.ReadInt32(limits.textLimit);
    in.ReadInt32(limits.capacity);
    if (in.Failed()) return false;
    bool clean = true;
    for (int32_t* limit : {&limits.numberLimit, &limits.textLimit}) {
        if (*limit >= 0) continue;
        *limit = 0;
        clean = false;
    }
    // A damaged capacity is no reason to drop the entries behind it: they are read until the
    // bytes end, and their number becomes the capacity.
    const bool capacityKnown = limits.capacity >= 0 && limits.capacity <= kMaxPhonebookCapacity;
    const size_t wanted =
        static_cast<size_t>(capacityKnown ? limits.capacity : kMaxPhonebookCapacity);
    std::vector<PhonebookEntry> entries;
    size_t pos = 12;
    bool resynced = false;
    int resyncs = 0;
    while (pos < bytes.size() && (resynced || entries.size() < wanted)) {
        PhonebookEntry read;
        ArchiveReader entry(bytes.substr(pos));
        entry.ReadInt32(read.changed);
        entry.ReadInt32(read.index);
        entry.ReadString(read.name);
        entry.ReadString(read.number);
        if (entry.Failed()) {
            // A damaged entry is dropped; the next intact one is looked for after it.  Bounded,
            // since a failed try may have read far: garbage stays cheap to load.
            clean = false;
            if (++resyncs > kMaxResyncs) break;
            size_t next = pos + 1;
            while (next < bytes.size() && !LooksLikeEntry(bytes, next))
                ++next;
            pos = next;
            resynced = true;
            continue;
        }
        pos += entry.Position();
        if (!resynced) {
            entries.push_back(std::move(read));
            continue;
        }
        // Past the damage, counting no longer tells the position; the entry's SIM index does
        // (an entry never filled has none and stays empty).
        if (read.index < 1 || static_cast<size_t>(read.index) > wanted) continue;
        const size_t position = static_cast<size_t>(read.index - 1);
        if (entries.size() <= position) entries.resize(position + 1);
        entries[position] = std::move(read);
    }
    if (capacityKnown) {
        clean = clean && entries.size() == wanted;
        entries.resize(wanted);
    } else {
        clean = false;
        limits.capacity = static_cast<int32_t>(entries.size());
    }
    limits_ = limits;
    entries_ = std::move(entries);
    return clean && pos == bytes.size();
}

int PhonebookTable::SaveFile(const std::filesystem::path& path) {
    const std::filesystem::path target = path.empty() ? PhonebookFilePath() : path;
    // Unchanged since it was read from this file: a save would only cut a damaged file down.
    if (!modified_ && loadedFrom_ == target) return 1;
    std::string error;
    std::filesystem::path kept;
    if (!KeepDamagedOriginal(target, PhonebookReadsWhole, &error, &kept) ||
        !WriteFileAtomic(target, Encode(), 0600, &error)) {
        lastError_ = error;
        return 0;
    }
    detail::NoteSavedWhole(target, kept);
    loadedFrom_ = target;
    modified_ = false;
    return 1;
}

int PhonebookTable::LoadFile(const std::filesystem::path& path) {
    const std::filesystem::path source = path.empty() ? PhonebookFilePath() : path;
    limits_ = {};
    entries_.clear();
    lastLoad_ = LoadReport{};
    lastLoad_.file = source;
    RemoveInterruptedSaves(source);
    std::error_code ec;
    if (!std::filesystem::exists(source, ec) && !ec) {
        loadedFrom_ = source;
        modified_ = false;
        return 1;
    }
    std::string error;
    const auto bytes = ReadWholeFile(source, &error);
    if (!bytes) {
        lastLoad_.error = lastError_ = error;
        detail::NoteLoad(lastLoad_);
        return 0;
    }
    const bool whole = Decode(*bytes);
    loadedFrom_ = source;
    modified_ = false;
    for (const PhonebookEntry& entry : entries_)
        if (!entry.IsEmpty()) ++lastLoad_.recordsRead;
    if (!whole) {
        lastLoad_.damaged = true;
        lastError_ = lastLoad_.Describe();
        detail::NoteLoad(lastLoad_);
        return 0;
    }
    return 1;
}

bool PhonebookReadsWhole(std::string_view bytes) {
    PhonebookTable table;
    return table.Decode(bytes);
}

}  // namespace telvane
