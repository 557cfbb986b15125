// The canned-message tree of the message-writing page: a root, topic nodes, subtopic nodes
// and one leaf per message, built from a library's records in display order.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "canned/canned_library.h"

namespace telvane {

struct CannedNode {
    std::u16string text;
    bool isMessage = false;  // a leaf: its text is inserted into the message
    std::vector<CannedNode> children;
};

// Builds the tree under a root titled `rootTitle` ("Canned Message" in the current language).
// Record 0 is the header and is skipped.  A record starts a topic node when its topic differs
// from the record before; it hangs under a subtopic node when it has a subtopic, which is a new
// node unless the topic and subtopic both repeat the record before.
CannedNode BuildCannedTree(const std::vector<CannedEntry>& entries, std::u16string rootTitle);

// Reads the library `name` and replaces `tree` with its tree.  1 on success; 0 leaves `tree`
// untouched.  The window ignores tree selections while it rebuilds.
int LoadCannedLibrary(std::u16string_view name, std::u16string rootTitle, CannedNode& tree,
                      const std::vector<std::filesystem::path>& folders);
int LoadCannedLibrary(std::u16string_view name, std::u16string rootTitle, CannedNode& tree);

}  // namespace telvane
