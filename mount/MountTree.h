#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace archive {
class ArchiveReader;
class CodePage;
struct ArchiveChange;
} // namespace archive

namespace mount {

// The folder view of an archive: one node per file and per folder level, named by the host name
// extraction gives it. Kept compact for a million entries: a node is a few indices (no string of
// its own: its name is a slice of one shared arena), and a folder's children are found through
// one open-addressed table keyed by folder and name with ASCII case folded, so a name that
// differs only by case from a sibling is found in the same step as the name itself.
// Node ids are never reused, so they serve as inode numbers for as long as the tree lives.
// Changes answer 0 or an errno value, as a file system answers them.
class MountTree {
public:
    using NodeId = std::uint32_t;
    static constexpr NodeId kRoot = 0;
    static constexpr NodeId kNone = 0xFFFFFFFFu;

    enum class Kind : std::uint8_t {
        folder,
        entry,   // the bytes of a record of the archive (data: its index in file order)
        scratch, // the bytes of a scratch file (data: its number)
        gone,    // removed; the id stays taken
    };

    MountTree();

    // Puts in every record of reader that extraction would write, under the path extraction
    // gives it. A record whose name extraction refuses, whose path a folder level or an earlier
    // record (case ignored) already takes, or that needs a folder where a file is, stays out of
    // the view and untouched in the archive.
    void addArchive(const archive::ArchiveReader& reader);

    std::size_t nodeCount() const noexcept { return m_nodes.size(); }
    bool isLive(NodeId node) const { return node < m_nodes.size() && kind(node) != Kind::gone; }
    Kind kind(NodeId node) const { return m_nodes[node].kind; }
    std::uint32_t data(NodeId node) const { return m_nodes[node].data; }
    NodeId parent(NodeId node) const { return m_nodes[node].parent; }
    std::string_view name(NodeId node) const;
    NodeId firstChild(NodeId folder) const { return m_nodes[folder].firstChild; }
    NodeId nextSibling(NodeId node) const { return m_nodes[node].next; }
    // The child named exactly name, or kNone.
    NodeId child(NodeId folder, std::string_view name) const;
    // The node at a '/'-separated path below the root, or kNone.
    NodeId find(std::string_view path) const;
    // The '/'-separated host path below the root ("" for the root).
    std::string path(NodeId node) const;
    // The entry name a file at node is written under.
    std::string entryName(NodeId node) const;

    // Why name cannot be given to a new node in folder (self: the node being renamed, which
    // may take its own name in another case): ENAMETOOLONG for a level the format cannot hold,
    // EILSEQ for what the archive's code page cannot hold, EINVAL for a name extraction refuses,
    // EEXIST for a sibling of the same name but for case; 0 when it may.
    int checkNewName(NodeId folder, std::string_view name, NodeId self = kNone) const;

    // Each answers 0 or an errno value; made receives the new node.
    int addFile(NodeId folder, std::string_view name, std::uint32_t scratchNumber, NodeId& made);
    int addFolder(NodeId folder, std::string_view name, NodeId& made);
    // A file (isFolder false) or an empty folder.
    int remove(NodeId folder, std::string_view name, bool isFolder);
    // rename(2) within the view: a file replaces a file, an empty folder is replaced by a folder.
    int rename(NodeId from, std::string_view name, NodeId to, std::string_view newName,
               bool noReplace);
    // The file's bytes now come from scratch file number.
    void setScratch(NodeId node, std::uint32_t number);

    // The changes that make the archive reader (the one added) hold this view's files:
    // removals first, then additions (a scratch file's path from scratchPath(number), or a
    // moved record's bytes from reader itself).
    std::vector<archive::ArchiveChange>
    changes(const archive::ArchiveReader& reader,
            const std::function<std::string(std::uint32_t)>& scratchPath) const;
    // After the changes went in: every file takes its record in the new archive. False when
    // a file of the view is not found there.
    bool remap(const archive::ArchiveReader& reader);
    // Folders without files below them ('/'-separated paths), which no archive keeps.
    std::vector<std::string> emptyFolders() const;

private:
    struct Node {
        NodeId parent = kNone;
        NodeId firstChild = kNone;
        NodeId next = kNone;
        NodeId prev = kNone;
        std::uint32_t nameOffset = 0;
        std::uint16_t nameBytes = 0;
        Kind kind = Kind::folder;
        bool isRenamed = false; // its path differs from the one it was added under
        std::uint32_t data = 0;
    };

    NodeId childNoCase(NodeId folder, std::string_view name) const;
    NodeId make(NodeId folder, std::string_view name, Kind kind, std::uint32_t data);
    void link(NodeId node, NodeId folder);
    void unlink(NodeId node);
    std::size_t slotOf(NodeId folder, std::string_view name) const;
    void insertSlot(NodeId node);
    void eraseSlot(NodeId node);
    void grow();
    bool isMoved(NodeId node) const;

    std::vector<Node> m_nodes;
    std::string m_strNames;
    // Open addressing over (parent, folded name): node ids, kNone for a free slot, kErased for
    // one a removal left (a probe goes on past it).
    std::vector<NodeId> m_slots;
    std::size_t m_nUsedSlots = 0;
    // The code page of the archive added: names are read and written in it.
    const archive::CodePage* m_pCodePage;
    // For each record of the archive added, in file order, the node showing it (kNone: none).
    std::vector<NodeId> m_nodeOfRecord;
};

} // namespace mount
