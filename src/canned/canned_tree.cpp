#include "canned/canned_tree.h"

#include "platform/files.h"

namespace telvane {

CannedNode BuildCannedTree(const std::vector<CannedEntry>& entries, std::u16string rootTitle) {
    CannedNode root{std::move(rootTitle), false, {}};
    // Indices, not pointers: appending to a vector moves its nodes.
    size_t topic = 0;
    size_t subtopic = 0;
    bool haveSubtopic = false;
    for (size_t r = 1; r < entries.size(); ++r) {
        const CannedEntry& e = entries[r];
        const bool sameTopic = r > 1 && e.topic == entries[r - 1].topic;
        if (!sameTopic) {
            root.children.push_back({e.topic, false, {}});
            topic = root.children.size() - 1;
            haveSubtopic = false;
        }
        CannedNode& topicNode = root.children[topic];
        CannedNode* parent = &topicNode;
        if (!e.subtopic.empty()) {
            if (!(sameTopic && haveSubtopic && e.subtopic == entries[r - 1].subtopic)) {
                topicNode.children.push_back({e.subtopic, false, {}});
                subtopic = topicNode.children.size() - 1;
                haveSubtopic = true;
            }
            parent = &topicNode.children[subtopic];
        }
        parent->children.push_back({e.message, true, {}});
    }
    return root;
}

int LoadCannedLibrary(std::u16string_view name, std::u16string rootTitle, CannedNode& tree,
                      const std::vector<std::filesystem::path>& folders) {
    CannedLibraryReader reader(folders);
    if (!reader.Read(name)) return 0;
    tree = BuildCannedTree(reader.entries, std::move(rootTitle));
    return 1;
}

int LoadCannedLibrary(std::u16string_view name, std::u16string rootTitle, CannedNode& tree) {
    return LoadCannedLibrary(name, std::move(rootTitle), tree, ShippedFolders());
}

}  // namespace telvane
