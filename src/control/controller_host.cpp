#include "control/controller_host.h"

namespace telvane {

bool LoadFolder(ControllerHost& host, MessageStore& store, FolderTableKind table, FolderId folder) {
    const int loaded =
        table == FolderTableKind::kShown ? store.LoadShown(folder) : store.LoadTransfer(folder);
    if (loaded != 0) return true;
    host.ReportLoadProblems();
    return false;
}

bool SaveFolder(ControllerHost& host, MessageStore& store, FolderTableKind table, FolderId folder) {
    const int saved =
        table == FolderTableKind::kShown ? store.SaveShown(folder) : store.SaveTransfer(folder);
    // A save over a damaged file kept its original: where it went is worth telling.
    host.ReportLoadProblems();
    if (saved != 0) return true;
    host.ReportFileError(ui_text::kSaveFailed, store.LastError());
    return false;
}

}  // namespace telvane
