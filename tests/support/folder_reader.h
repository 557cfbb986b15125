// Reads and writes message folder files the way the program does, for checking what a test's
// run left behind.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "store/message_store.h"

namespace telvane::testing {

// The records of a folder in position order; a file that does not load whole fails the test.
// Without `folder`, the data folder ($TELVANE_HOME) is read.
inline std::vector<SmsRecord> ReadFolder(FolderId id, const std::filesystem::path& folder = {}) {
    MessageStore store = folder.empty() ? MessageStore() : MessageStore(folder);
    if (store.LoadShown(id) != 1)
        ADD_FAILURE() << FolderFileName(id) << " does not load: " << store.LastError();
    std::vector<SmsRecord> records;
    for (const FolderEntry& entry : store.Shown().entries) {
        if (entry.slot >= 0) records.push_back(entry.record);
    }
    return records;
}

// Replaces a folder's file with `records`, in order.
inline void WriteFolder(FolderId id, const std::vector<SmsRecord>& records,
                        const std::filesystem::path& folder = {}) {
    MessageStore store = folder.empty() ? MessageStore() : MessageStore(folder);
    for (const SmsRecord& record : records) {
        if (store.AddShown(record) != 1) {
            ADD_FAILURE() << FolderFileName(id) << " is full";
            return;
        }
    }
    if (store.SaveShown(id) != 1)
        ADD_FAILURE() << FolderFileName(id) << " not saved: " << store.LastError();
}

}  // namespace telvane::testing
