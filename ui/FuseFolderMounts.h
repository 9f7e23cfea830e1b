#pragma once

#include "session/edits/FolderMounts.h"

#include <memory>

// The dialog's folder view through mount/ (FUSE), each mount served on a thread of its own.
class FuseFolderMounts : public session::FolderMounts {
public:
    // nullptr where this build has no FUSE: the dialog then offers no folder view.
    static std::unique_ptr<session::FolderMounts> createIfAvailable();

    std::unique_ptr<session::FolderMount> mount(const std::string& archivePath,
                                                const std::string& folder,
                                                archive::Encoding encoding, bool recover,
                                                session::FolderMountEvents events) override;
};
