#pragma once

#include "archive/files/FileSystem.h"
#include "archive/files/NativeHandle.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace archive {

// One object of a folder as its listing shows it, links not followed.
struct FolderItem {
    enum class Kind : unsigned char { file, folder, link, other };
    std::string name;
    Kind kind = Kind::other;
    // For a file only.
    std::uint64_t size = 0;
    filesystem::ObjectId id;
};

// A regular file a symbolic link leads to.
struct LinkedFile {
    std::string path; // canonical: every link and dot resolved
    std::uint64_t size = 0;
};

// A folder held open by the system. Every level below it is opened relative to it and never
// through a symbolic link, so an entry name cannot be steered out of the destination by a link
// that already lies inside it.
class CFolder {
public:
    CFolder() = default;
    ~CFolder();
    CFolder(const CFolder&) = delete;
    CFolder& operator=(const CFolder&) = delete;
    CFolder(CFolder&& other) noexcept;
    CFolder& operator=(CFolder&& other) noexcept;

    // The folder the user chose; links in this path are followed, since the user named it.
    // Throws FileError when it is missing or not a folder.
    static CFolder open(const std::string& path);
    // The same, creating the folder and its missing parents first. A link to nothing is reported
    // as such instead of as a name in the way.
    static CFolder openOrCreate(const std::string& path);

    // One level below this folder: opened without following a link, and created first when
    // missing and create is set. Throws FileError naming the full path: a file or a link in the
    // way, no permission, no space, a name the file system cannot hold.
    CFolder child(const std::string& name, bool create) const;
    // The same, for a walk that keeps the path itself: the folder gets no path of its own, and
    // path (that of name) is read only to word a failure. A deep walk then costs no copy of the
    // path per level.
    CFolder child(const std::string& name, bool create, std::string_view path) const;
    // Every object but "." and "..", in the order the file system keeps them. Files are examined
    // (size and identity); folders, links and the rest are told apart by the listing alone where
    // the file system says. Throws FileError naming the folder when it cannot be read.
    std::vector<FolderItem> items() const;
    // Device and inode of the folder itself; nullopt when it cannot be examined.
    std::optional<filesystem::ObjectId> identity() const;
    // Where the link name leads, when that is a regular file; nullopt for a link to a folder, to
    // nothing, or to anything else. The bytes are never read through the link: this only says
    // where they lie.
    std::optional<LinkedFile> linkedFile(const std::string& name) const;
    // Reads up to capacity bytes of the file name (never through a link, never blocking on a
    // FIFO put in its place) and returns how many there were; fewer only at its end. Throws
    // FileError naming the file.
    std::size_t readFile(const std::string& name, void* buffer, std::size_t capacity) const;

    // Sets the path named by pathOf and the messages of what is opened inside.
    void setPath(std::string path) { m_strPath = std::move(path); }

    bool isOpen() const noexcept { return m_nHandle != kNoHandle; }
    // True when child() made this folder rather than found it: what it holds was put there
    // since, through this handle's name.
    bool wasCreated() const noexcept { return m_bCreated; }
    const std::string& path() const noexcept { return m_strPath; }
    // The regular file at relativePath below this folder (its last level not followed), or
    // nullopt: none there, or it cannot be examined.
    std::optional<filesystem::ObjectId> fileIdentity(const std::string& relativePath) const;

    // The path of name inside this folder, for messages.
    std::string pathOf(const std::string& name) const;

private:
    // What is opened below or inside a folder is opened relative to its handle.
    friend class CFile;
    friend class OutputFile;
    friend class SignalCleanup;

    CFolder(NativeHandle handle, std::string path);

    NativeHandle m_nHandle = kNoHandle;
    std::string m_strPath;
    bool m_bCreated = false;
};

} // namespace archive
