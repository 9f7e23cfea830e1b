#pragma once

#include "archive/FileSystem.h"
#include "archive/NativeHandle.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace archive {

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
