#pragma once

#include "archive/files/CFolder.h"
#include "archive/files/NativeHandle.h"

#include <string>

namespace archive {

// A temporary folder only this user may open, made under a fresh random name and removed with
// what it holds when let go. Folders a run names with its process id (prefix, the id, '-' and
// the random part) are also removed by a signal that ends the run, and swept away by a later run
// when the run ended without removing them (a crash, a KILL). A file system mounted inside one is
// never emptied: its removal stops there.
class PrivateFolder {
public:
    PrivateFolder() = default;
    ~PrivateFolder();
    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&& other) noexcept;

    // Where temporary files go: $TMPDIR, else /tmp; on Windows the user's temporary folder.
    static std::string temporaryFolder();
    // A new folder in parent named prefix followed by random characters. Throws FileError
    // cannotCreateFolder (or cannotOpen for parent).
    static PrivateFolder make(const std::string& parent, const std::string& prefix);
    // The same named for this run (prefix, the process id, '-', random), removed by a signal.
    static PrivateFolder makeForRun(const std::string& parent, const std::string& prefix);
    // Removes the run folders of prefix in parent whose run is gone (or whose process id another
    // program now has) and that this user owns; returns how many went.
    static int sweepStale(const std::string& parent, const std::string& prefix);

    // A new private folder inside this one, removed with it; its path. Throws as make does.
    std::string makeChild() const;

    bool isMade() const noexcept { return !m_strName.empty(); }
    const std::string& path() const noexcept { return m_strPath; }
    // Removes it now with what it holds; the same as letting it go.
    void remove() noexcept;

private:
    void take(PrivateFolder& other) noexcept;

    // The parent held twice: as a CFolder for the signal's removal, and as the handle the
    // folder is made and removed through.
    CFolder m_parent;
    NativeHandle m_nParent = kNoHandle;
    std::string m_strName;
    std::string m_strPath;
    int m_nSignalSlot = -1;
};

} // namespace archive
