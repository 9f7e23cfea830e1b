#pragma once

#include "archive/format/CodePage.h"

#include <functional>
#include <memory>
#include <string>

namespace archive {
class ArchiveError;
}

namespace session {

// What a mounted archive tells, from the thread that serves the folder (not the session's):
// hand it over with SessionWindow::post.
struct FolderMountEvents {
    // The folder's changes went into the archive, which was replaced.
    std::function<void()> committed;
    // They did not; they stay pending (and, past the unmount, in the scratch folder named).
    std::function<void(const archive::ArchiveError& error, const std::string& scratchPath)> failed;
};

// An archive shown as a folder any program may read and change, its changes put into the
// archive once the folder has been quiet for a moment and at the unmount.
class FolderMount {
public:
    // Unmounts as unmount() does.
    virtual ~FolderMount() = default;
    // Puts in what is pending and ends the mount; false when changes were left (told through
    // the events' failed).
    virtual bool unmount() = 0;
};

// The front end's way to mount (Linux, through FUSE); where there is none the dialog offers no
// folder view.
class FolderMounts {
public:
    virtual ~FolderMounts() = default;
    // Mounts the archive at archivePath on the empty folder, reading and writing names in
    // encoding. Throws ArchiveError when it cannot: FileError changedMeanwhile when an earlier
    // mount left changes pending and recover is not set (with it, they are put in first).
    virtual std::unique_ptr<FolderMount> mount(const std::string& archivePath,
                                               const std::string& folder,
                                               archive::Encoding encoding, bool recover,
                                               FolderMountEvents events) = 0;
};

} // namespace session
