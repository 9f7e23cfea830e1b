#include "archive/files/FolderCache.h"

#include "archive/ArchiveError.h"
#include "archive/format/Paths.h"

#include <utility>
#include <vector>

namespace archive {

FolderCache::FolderCache(std::string topPath, Use use, std::size_t heldFolders)
    : m_strTop(std::move(topPath)), m_use(use), m_nHeld(heldFolders)
{
    m_folders.push_back({kTop, &m_strTop, CFolder(), std::nullopt});
}

std::uint32_t FolderCache::child(std::uint32_t parent, const std::string& name)
{
    const auto found = m_index.find(std::pair<std::uint32_t, std::string_view>(parent, name));
    if (found != m_index.end())
        return found->second;
    const auto index = static_cast<std::uint32_t>(m_folders.size());
    const auto added = m_index.emplace(std::pair(parent, name), index).first;
    m_folders.push_back({parent, &added->first.second, CFolder(), std::nullopt});
    return index;
}

const CFolder& FolderCache::open(std::uint32_t index)
{
    // Walked up, then opened down: a recursion would be as deep as the name.
    std::vector<std::uint32_t> closed;
    for (std::uint32_t at = index; !m_folders[at].handle.isOpen(); at = m_folders[at].parent) {
        closed.push_back(at);
        if (at == kTop)
            break;
    }
    if (closed.empty())
        return m_folders[index].handle;
    std::string where = closed.back() == kTop ? m_strTop : path(m_folders[closed.back()].parent);
    for (auto at = closed.rbegin(); at != closed.rend(); ++at) {
        if (*at != kTop)
            where = paths::join(where, *m_folders[*at].name);
        openOne(*at, where);
    }
    return m_folders[index].handle;
}

void FolderCache::openOne(std::uint32_t index, const std::string& where)
{
    Folder& folder = m_folders[index];
    const bool isWrite = m_use == Use::write;
    CFolder handle = index == kTop
                         ? (isWrite ? CFolder::openOrCreate(m_strTop) : CFolder::open(m_strTop))
                         : m_folders[folder.parent].handle.child(*folder.name, isWrite, where);
    handle.setPath(where);
    const std::optional<filesystem::ObjectId> id = handle.identity();
    if (!folder.isKnown) {
        folder.id = id;
        folder.isKnown = true;
    } else if (id != folder.id) {
        throw FileError(isWrite ? ErrorKind::changedMeanwhile : ErrorKind::changedWhileBuilding,
                        where,
                        isWrite ? "was replaced while the entries were written into it"
                                : "was replaced while the archive was being built");
    }
    folder.handle = std::move(handle);
    // The top stays open throughout: every other folder is reached from it.
    if (index == kTop)
        return;
    if (m_held.size() >= m_nHeld) {
        m_folders[m_held.front()].handle = CFolder();
        m_held.pop_front();
    }
    m_held.push_back(index);
}

std::string FolderCache::path(std::uint32_t index) const
{
    std::vector<const std::string*> names;
    for (std::uint32_t at = index; at != kTop; at = m_folders[at].parent)
        names.push_back(m_folders[at].name);
    std::string result = m_strTop;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        result = paths::join(result, **name);
    return result;
}

} // namespace archive
