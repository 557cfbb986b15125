#include "store/message_store.h"

#include "platform/files.h"
#include "store/damaged_original.h"

namespace telvane {

const char* FolderFileName(FolderId folder) {
    switch (folder) {
        case FolderId::Inbox:
            return "smsin.acr";
        case FolderId::Outbox:
            return "smsout.acr";
        case FolderId::Sent:
            return "smssent.acr";
        case FolderId::Draft:
            return "smsdraft.acr";
        case FolderId::Saved:
            return "smssave.acr";
    }
    return "";  // a tab index outside the five folders
}

std::filesystem::path MessageStore::FolderPath(FolderId folder) const {
    const std::string name = FolderFileName(folder);
    if (name.empty()) return {};
    return folder_.empty() ? DataFile(name) : folder_ / name;
}

int MessageStore::Load(FolderId folder, FolderTable& table) {
    const std::filesystem::path path = FolderPath(folder);
    lastLoad_ = LoadReport{};
    lastLoad_.file = path;
    if (path.empty()) return 0;
    RemoveInterruptedSaves(path);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) {
        table.Clear();
        return 1;
    }
    std::string error;
    const auto bytes = ReadWholeFile(path, &error);
    if (!bytes) {
        table.Clear();
        lastLoad_.error = lastError_ = error;
        detail::NoteLoad(lastLoad_);
        return 0;
    }
    const bool whole = DecodeFolder(*bytes, table);
    lastLoad_.recordsRead = table.usedCount;
    if (!whole) {
        lastLoad_.damaged = true;
        lastError_ = lastLoad_.Describe();
        detail::NoteLoad(lastLoad_);
        return 0;
    }
    return 1;
}

int MessageStore::Save(FolderId folder, const FolderTable& table) {
    const std::filesystem::path path = FolderPath(folder);
    if (path.empty()) return 0;
    std::string error;
    std::filesystem::path kept;
    if (!KeepDamagedOriginal(path, FolderReadsWhole, &error, &kept) ||
        !WriteFileAtomic(path, EncodeFolder(table), 0600, &error)) {
        lastError_ = error;
        return 0;
    }
    detail::NoteSavedWhole(path, kept);
    return 1;
}

int MessageStore::LoadShown(FolderId folder) {
    return Load(folder, shown_);
}

int MessageStore::LoadTransfer(FolderId folder) {
    return Load(folder, transfer_);
}

int MessageStore::SaveShown(FolderId folder) {
    return Save(folder, shown_);
}

int MessageStore::SaveTransfer(FolderId folder) {
    return Save(folder, transfer_);
}

int MessageStore::RefreshInboxFromModem(const MessageListing& listing) {
    int32_t size = listing.ListingSize();
    if (size > kFolderSlots) size = kFolderSlots;
    shown_.Clear();
    for (int32_t i = 0; i < size; ++i) {
        FolderEntry& entry = shown_.entries[static_cast<size_t>(i)];
        entry.slot = i;
        entry.record = listing.ListingEntry(i);
        ++shown_.usedCount;
    }
    return SaveShown(FolderId::Inbox);
}

int MessageStore::UpdateRecord(FolderId folder, int32_t position, const SmsRecord& record) {
    // A table of its own, so that neither the shown folder nor a transfer in progress moves.
    auto table = std::make_unique<FolderTable>();
    const int loaded = Load(folder, *table);
    if (!table->IsUsed(position)) {
        // An unreadable file keeps the load's reason.
        if (loaded != 0)
            lastError_ = "no message at position " + std::to_string(position) + " of " +
                         FolderPath(folder).string();
        return 0;
    }
    table->entries[static_cast<size_t>(position)].record = record;
    return Save(folder, *table);
}

SmsRecord* MessageStore::ShownRecord(int32_t position) {
    if (!shown_.IsUsed(position)) return nullptr;
    return &shown_.entries[static_cast<size_t>(position)].record;
}

}  // namespace telvane
