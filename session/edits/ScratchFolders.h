#pragma once

#include <cstdint>
#include <string>

namespace archive {
class ArchiveReader;
}

namespace session {

// The private temporary folders an entry is extracted into to be opened in another program (or
// dragged out), or an archive is mounted on, a fresh one each time, removed when the window closes
// or a signal ends the run.
class ScratchFolders {
public:
    virtual ~ScratchFolders() = default;
    // A new empty folder; throws FileError when it cannot be made.
    virtual std::string makeFolder() = 0;
    // Extracts the entry whose record starts at position into a new folder and returns the
    // file's path; throws what extraction throws.
    virtual std::string extractFile(const archive::ArchiveReader& reader,
                                    std::uint32_t position) = 0;
    // Whether path is one of the folders or lies inside one, however it is spelled.
    virtual bool holds(const std::string& path) const = 0;
};

} // namespace session
