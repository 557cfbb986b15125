#include "control/folder_tables.h"

#include "control/controller_host.h"
#include "control/history_feed.h"

namespace telvane {

FolderTables::FolderTables(ControllerHost& host) : host_(host) {}

FolderTables::Slot& FolderTables::SlotOf(FolderId folder) {
    const auto index = static_cast<size_t>(folder);
    return slots_[index < slots_.size() - 1 ? index : slots_.size() - 1];
}

bool FolderTables::LoadSlot(FolderId folder, Slot& slot) {
    if (!slot.table) slot.table = std::make_unique<FolderTable>();
    const bool whole = files_.LoadTable(folder, *slot.table) != 0;
    slot.unsaved = false;
    if (!whole) host_.ReportLoadProblems();
    return whole;
}

FolderTable& FolderTables::Table(FolderId folder) {
    Slot& slot = SlotOf(folder);
    // What could be read of a damaged file is used; the load told the user.
    if (!slot.table) static_cast<void>(LoadSlot(folder, slot));
    return *slot.table;
}

SmsRecord* FolderTables::Record(FolderId folder, int position) {
    FolderTable& table = Table(folder);
    if (!table.IsUsed(position)) return nullptr;
    return &table.entries[static_cast<size_t>(position)].record;
}

bool FolderTables::Reload(FolderId folder) {
    Slot& slot = SlotOf(folder);
    if (slot.table && slot.unsaved) return true;
    return LoadSlot(folder, slot);
}

bool FolderTables::Save(FolderId folder) {
    Slot& slot = SlotOf(folder);
    FolderTable& table = Table(folder);
    const bool saved = files_.SaveTable(folder, table) != 0;
    slot.unsaved = !saved;
    // A save over a damaged file kept its original: where it went is worth telling.
    host_.ReportLoadProblems();
    if (!saved) host_.ReportFileError(ui_text::kSaveFailed, files_.LastError());
    if (saved && history_ != nullptr) history_->FolderSaved(folder, table);
    return saved;
}

bool FolderTables::SaveOrRestore(FolderId folder, std::unique_ptr<FolderTable> before,
                                 bool wasUnsaved) {
    if (Save(folder)) return true;
    Slot& slot = SlotOf(folder);
    *slot.table = std::move(*before);
    slot.unsaved = wasUnsaved;
    return false;
}

bool FolderTables::Unsaved(FolderId folder) const {
    const auto index = static_cast<size_t>(folder);
    return index < slots_.size() - 1 && slots_[index].unsaved;
}

int AddRecord(FolderTable& table, const SmsRecord& record) {
    for (int position = 0; position < kFolderSlots; ++position) {
        if (table.IsUsed(position)) continue;
        return table.Add(record) != 0 ? position : -1;
    }
    return -1;
}

}  // namespace telvane
