#pragma once

#include "archive/files/CFolder.h"
#include "archive/files/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace archive {

// The folders below one top folder that a run of extraction or building visits. Each is
// reached again from its parent by name, never through a link, so whatever is renamed or swapped
// meanwhile, nothing outside the tree is read or written. Besides the top, only the folders
// opened last stay open, a fixed number of them, so no limit on open files is reached however
// many a run visits; one let go is opened again from its nearest open ancestor and must be the
// folder it was. A folder keeps its name only, never its path, so a name of many levels costs
// memory in its length.
class FolderCache {
public:
    // write: missing folders, the top and its parents included, are created.
    enum class Use : unsigned char { read, write };
    static constexpr std::uint32_t kTop = 0;

    FolderCache(std::string topPath, Use use, std::size_t heldFolders);
    FolderCache(const FolderCache&) = delete;
    FolderCache& operator=(const FolderCache&) = delete;

    // The folder name inside parent, numbered when first asked for; nothing is opened.
    std::uint32_t child(std::uint32_t parent, const std::string& name);
    // The folder, opened level by level from its nearest open ancestor when it is not open; its
    // path set for messages. FileError naming the level that fails, or when a level let go is
    // no longer the folder first opened under its name.
    const CFolder& open(std::uint32_t index);
    std::string path(std::uint32_t index) const;
    // Taken when the folder was first opened; nullopt before, or when it cannot be examined.
    std::optional<filesystem::ObjectId> identity(std::uint32_t index) const
    {
        return m_folders[index].id;
    }

private:
    struct Folder {
        std::uint32_t parent;
        const std::string* name; // the key of m_index that numbered it
        CFolder handle;
        std::optional<filesystem::ObjectId> id;
        bool isKnown = false; // id was taken
    };
    struct ByParentAndName {
        using is_transparent = void;
        template <class A, class B> bool operator()(const A& a, const B& b) const
        {
            return a.first != b.first ? a.first < b.first
                                      : std::string_view(a.second) < std::string_view(b.second);
        }
    };

    // where: the folder's path.
    void openOne(std::uint32_t index, const std::string& where);

    std::string m_strTop;
    Use m_use;
    std::size_t m_nHeld;
    std::deque<Folder> m_folders; // a deque: a folder handed out stays where it is
    std::map<std::pair<std::uint32_t, std::string>, std::uint32_t, ByParentAndName> m_index;
    std::deque<std::uint32_t> m_held; // the open ones but the top, oldest first
};

} // namespace archive
