#pragma once

#include "session/edits/FolderMounts.h"

#include <memory>
#include <string>

namespace session {

class ScratchFolders;
class Session;

// The listed archive opened as a folder in the desktop's file manager: mounted on a scratch
// folder, listed again after each commit of the folder's changes, and unmounted (what is pending
// put in) when the session closes the archive (another loaded) and when this goes.
class MountedArchive {
public:
    MountedArchive(Session& session, ScratchFolders& scratch, FolderMounts& mounts);
    ~MountedArchive();
    MountedArchive(const MountedArchive&) = delete;
    MountedArchive& operator=(const MountedArchive&) = delete;

    // Mounts the listed archive, unless it is mounted already, and opens the folder.
    void open();
    void close();
    bool isMounted() const { return m_pMount != nullptr; }
    const std::string& folder() const { return m_strFolder; }

private:
    void mount(const std::string& archivePath);
    void relist();

    Session& m_session;
    ScratchFolders& m_scratch;
    FolderMounts& m_mounts;
    std::unique_ptr<FolderMount> m_pMount;
    std::string m_strArchive;
    std::string m_strFolder;
    // Cleared at the unmount: a commit told before then lists nothing afterwards.
    std::shared_ptr<bool> m_pCurrent;
};

} // namespace session
