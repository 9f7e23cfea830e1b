#include "mount/MountTree.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Updating.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"

#include <cerrno>

namespace mount {

namespace {

constexpr MountTree::NodeId kErased = 0xFFFFFFFEu;

char folded(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Host names are UTF-8, whose multi-byte characters hold no ASCII byte: folding ASCII letters
// here folds exactly the single-byte letters the entry list's collation folds.
bool isSameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (folded(a[i]) != folded(b[i]))
            return false;
    }
    return true;
}

std::size_t hashOf(MountTree::NodeId folder, std::string_view name)
{
    std::uint64_t hash = 1469598103934665603ull ^ folder;
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(folded(c))) * 1099511628211ull;
    return static_cast<std::size_t>(hash ^ (hash >> 29));
}

bool isFile(MountTree::Kind kind)
{
    return kind == MountTree::Kind::entry || kind == MountTree::Kind::scratch;
}

} // namespace

MountTree::MountTree() : m_pCodePage(&archive::CodePage::big5())
{
    m_nodes.emplace_back();
    m_slots.assign(64, kNone);
}

std::string_view MountTree::name(NodeId node) const
{
    return std::string_view(m_strNames).substr(m_nodes[node].nameOffset, m_nodes[node].nameBytes);
}

std::size_t MountTree::slotOf(NodeId folder, std::string_view name) const
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = hashOf(folder, name) & mask;
    std::size_t firstErased = m_slots.size();
    for (;; slot = (slot + 1) & mask) {
        const NodeId at = m_slots[slot];
        if (at == kNone)
            return firstErased < m_slots.size() ? firstErased : slot;
        if (at == kErased) {
            firstErased = std::min(firstErased, slot);
            continue;
        }
        if (m_nodes[at].parent == folder && isSameNoCase(this->name(at), name))
            return slot;
    }
}

MountTree::NodeId MountTree::childNoCase(NodeId folder, std::string_view name) const
{
    const NodeId at = m_slots[slotOf(folder, name)];
    return at == kErased ? kNone : at;
}

MountTree::NodeId MountTree::child(NodeId folder, std::string_view name) const
{
    const NodeId at = childNoCase(folder, name);
    return at != kNone && this->name(at) == name ? at : kNone;
}

void MountTree::grow()
{
    std::vector<NodeId> old(m_slots.size() * 2, kNone);
    old.swap(m_slots);
    m_nUsedSlots = 0;
    for (const NodeId node : old) {
        if (node != kNone && node != kErased)
            insertSlot(node);
    }
}

void MountTree::insertSlot(NodeId node)
{
    if ((m_nUsedSlots + 1) * 2 > m_slots.size())
        grow();
    const std::size_t slot = slotOf(m_nodes[node].parent, name(node));
    if (m_slots[slot] == kNone)
        ++m_nUsedSlots;
    m_slots[slot] = node;
}

void MountTree::eraseSlot(NodeId node)
{
    const std::size_t slot = slotOf(m_nodes[node].parent, name(node));
    if (m_slots[slot] == node)
        m_slots[slot] = kErased;
}

void MountTree::link(NodeId node, NodeId folder)
{
    Node& n = m_nodes[node];
    n.parent = folder;
    n.prev = kNone;
    n.next = m_nodes[folder].firstChild;
    if (n.next != kNone)
        m_nodes[n.next].prev = node;
    m_nodes[folder].firstChild = node;
    insertSlot(node);
}

void MountTree::unlink(NodeId node)
{
    eraseSlot(node);
    Node& n = m_nodes[node];
    if (n.prev != kNone)
        m_nodes[n.prev].next = n.next;
    else
        m_nodes[n.parent].firstChild = n.next;
    if (n.next != kNone)
        m_nodes[n.next].prev = n.prev;
    n.prev = n.next = kNone;
}

MountTree::NodeId MountTree::make(NodeId folder, std::string_view name, Kind kind,
                                  std::uint32_t data)
{
    Node n;
    n.nameOffset = static_cast<std::uint32_t>(m_strNames.size());
    n.nameBytes = static_cast<std::uint16_t>(name.size());
    n.kind = kind;
    n.data = data;
    m_strNames.append(name);
    const auto id = static_cast<NodeId>(m_nodes.size());
    m_nodes.push_back(n);
    link(id, folder);
    return id;
}

void MountTree::addArchive(const archive::ArchiveReader& reader)
{
    m_pCodePage = &reader.codePage();
    m_nodeOfRecord.assign(reader.size(), kNone);
    for (std::size_t i = 0; i < reader.size(); ++i) {
        std::vector<std::string> levels;
        try {
            levels = archive::names::hostComponents(reader.at(i).name, *m_pCodePage);
        } catch (const archive::NameError&) {
            continue; // extraction refuses it too
        }
        NodeId at = kRoot;
        for (std::size_t level = 0; at != kNone && level + 1 < levels.size(); ++level) {
            const NodeId next = childNoCase(at, levels[level]);
            if (next == kNone)
                at = make(at, levels[level], Kind::folder, 0);
            else
                at = kind(next) == Kind::folder ? next : kNone;
        }
        if (at == kNone || levels.back().size() > archive::names::kMaxHostComponentBytes)
            continue;
        NodeId node = childNoCase(at, levels.back());
        if (node == kNone) {
            node = make(at, levels.back(), Kind::entry, static_cast<std::uint32_t>(i));
        } else if (name(node) == levels.back() && kind(node) == Kind::entry) {
            // Of two records of one name, extraction leaves the later one's bytes.
            m_nodeOfRecord[m_nodes[node].data] = kNone;
            m_nodes[node].data = static_cast<std::uint32_t>(i);
        } else {
            continue;
        }
        m_nodeOfRecord[i] = node;
    }
}

MountTree::NodeId MountTree::find(std::string_view path) const
{
    NodeId at = kRoot;
    for (const std::string& level : archive::paths::components(path)) {
        if (kind(at) != Kind::folder)
            return kNone;
        at = child(at, level);
        if (at == kNone)
            return kNone;
    }
    return at;
}

std::string MountTree::path(NodeId node) const
{
    std::vector<std::string_view> levels;
    for (; node != kRoot; node = parent(node))
        levels.push_back(name(node));
    std::string text;
    for (auto it = levels.rbegin(); it != levels.rend(); ++it)
        text = archive::paths::join(text, *it);
    return text;
}

std::string MountTree::entryName(NodeId node) const
{
    return archive::names::entryName(path(node), *m_pCodePage);
}

int MountTree::checkNewName(NodeId folder, std::string_view name, NodeId self) const
{
    if (name.size() > archive::names::kMaxHostComponentBytes)
        return ENAMETOOLONG;
    try {
        archive::names::requireStorable(
            archive::names::entryName(archive::paths::join(path(folder), name), *m_pCodePage),
            *m_pCodePage);
    } catch (const archive::NameError& error) {
        return error.kind() == archive::ErrorKind::nameNotStorable ? EILSEQ : EINVAL;
    }
    const NodeId other = childNoCase(folder, name);
    return other != kNone && other != self && this->name(other) != name ? EEXIST : 0;
}

int MountTree::addFile(NodeId folder, std::string_view name, std::uint32_t scratchNumber,
                       NodeId& made)
{
    if (child(folder, name) != kNone)
        return EEXIST;
    if (const int refused = checkNewName(folder, name))
        return refused;
    made = make(folder, name, Kind::scratch, scratchNumber);
    return 0;
}

int MountTree::addFolder(NodeId folder, std::string_view name, NodeId& made)
{
    if (child(folder, name) != kNone)
        return EEXIST;
    if (const int refused = checkNewName(folder, name))
        return refused;
    made = make(folder, name, Kind::folder, 0);
    return 0;
}

int MountTree::remove(NodeId folder, std::string_view name, bool isFolder)
{
    const NodeId node = child(folder, name);
    if (node == kNone)
        return ENOENT;
    if (isFolder != (kind(node) == Kind::folder))
        return isFolder ? ENOTDIR : EISDIR;
    if (isFolder && firstChild(node) != kNone)
        return ENOTEMPTY;
    unlink(node);
    m_nodes[node].kind = Kind::gone;
    return 0;
}

int MountTree::rename(NodeId from, std::string_view name, NodeId to, std::string_view newName,
                      bool noReplace)
{
    const NodeId node = child(from, name);
    if (node == kNone)
        return ENOENT;
    for (NodeId up = to; up != kNone; up = parent(up)) {
        if (up == node)
            return EINVAL; // into itself
    }
    const NodeId target = child(to, newName);
    if (target == node)
        return 0;
    if (const int refused = checkNewName(to, newName, node))
        return refused;
    if (target != kNone) {
        if (noReplace)
            return EEXIST;
        const bool isFolder = kind(node) == Kind::folder;
        if (isFolder != (kind(target) == Kind::folder))
            return isFolder ? ENOTDIR : EISDIR;
        if (const int refused = remove(to, newName, isFolder))
            return refused;
    }
    unlink(node);
    Node& n = m_nodes[node];
    if (name != newName) {
        n.nameOffset = static_cast<std::uint32_t>(m_strNames.size());
        n.nameBytes = static_cast<std::uint16_t>(newName.size());
        m_strNames.append(newName);
    }
    n.isRenamed = true;
    link(node, to);
    return 0;
}

void MountTree::setScratch(NodeId node, std::uint32_t number)
{
    m_nodes[node].kind = Kind::scratch;
    m_nodes[node].data = number;
}

bool MountTree::isMoved(NodeId node) const
{
    for (; node != kRoot; node = parent(node)) {
        if (m_nodes[node].isRenamed)
            return true;
    }
    return false;
}

std::vector<archive::ArchiveChange>
MountTree::changes(const archive::ArchiveReader& reader,
                   const std::function<std::string(std::uint32_t)>& scratchPath) const
{
    using archive::ArchiveChange;
    std::vector<ArchiveChange> removals;
    std::vector<ArchiveChange> additions;
    for (std::size_t i = 0; i < m_nodeOfRecord.size(); ++i) {
        const NodeId node = m_nodeOfRecord[i];
        if (node == kNone)
            continue;
        const bool isKept = kind(node) == Kind::entry && data(node) == i;
        if (isKept && !isMoved(node))
            continue;
        // Changed in place: the addition under the same name replaces the record.
        if (kind(node) == Kind::scratch && !isMoved(node) && entryName(node) == reader.at(i).name)
            continue;
        ArchiveChange removal;
        removal.kind = ArchiveChange::Kind::remove;
        removal.name = std::string(reader.at(i).name);
        removals.push_back(std::move(removal));
        if (isKept) {
            ArchiveChange moved;
            moved.name = entryName(node);
            moved.sourceArchive = &reader;
            moved.sourceRecord = reader.at(i).recordPosition;
            additions.push_back(std::move(moved));
        }
    }
    for (NodeId node = 0; node < m_nodes.size(); ++node) {
        if (kind(node) != Kind::scratch)
            continue;
        ArchiveChange added;
        added.name = entryName(node);
        added.hostPath = scratchPath(data(node));
        additions.push_back(std::move(added));
    }
    removals.insert(removals.end(), std::make_move_iterator(additions.begin()),
                    std::make_move_iterator(additions.end()));
    return removals;
}

bool MountTree::remap(const archive::ArchiveReader& reader)
{
    std::vector<NodeId> nodeOfRecord(reader.size(), kNone);
    std::vector<bool> isMapped(m_nodes.size());
    for (std::size_t i = 0; i < reader.size(); ++i) {
        std::vector<std::string> levels;
        try {
            levels = archive::names::hostComponents(reader.at(i).name, *m_pCodePage);
        } catch (const archive::NameError&) {
            continue;
        }
        NodeId at = kRoot;
        for (std::size_t level = 0; at != kNone && level < levels.size(); ++level)
            at = kind(at) == Kind::folder ? child(at, levels[level]) : kNone;
        if (at == kNone || !isFile(kind(at)))
            continue;
        if (isMapped[at])
            nodeOfRecord[m_nodes[at].data] = kNone;
        isMapped[at] = true;
        m_nodes[at].kind = Kind::entry;
        m_nodes[at].data = static_cast<std::uint32_t>(i);
        nodeOfRecord[i] = at;
    }
    bool isWhole = true;
    for (NodeId node = 0; node < m_nodes.size(); ++node) {
        m_nodes[node].isRenamed = false;
        isWhole = isWhole && (!isFile(kind(node)) || isMapped[node]);
    }
    m_nodeOfRecord = std::move(nodeOfRecord);
    return isWhole;
}

std::vector<std::string> MountTree::emptyFolders() const
{
    std::vector<std::string> folders;
    for (NodeId node = 1; node < m_nodes.size(); ++node) {
        if (kind(node) == Kind::folder && firstChild(node) == kNone)
            folders.push_back(path(node));
    }
    return folders;
}

} // namespace mount
