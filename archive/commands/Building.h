#pragma once

#include "archive/commands/Progress.h"
#include "archive/format/CodePage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

// A file to be packed.
struct BuildEntry {
    std::string name;     // entry name bytes, relative to the folder packed
    std::string hostPath; // where its bytes are read from
    std::uint64_t size = 0;
};

// Adds every regular file below folder to list, with its entry name relative to root, and leaves
// list in entry-list order (cp.compareNoCase; equal names in the order they were added). Names
// are encoded in cp; a name it cannot hold is refused, never written with a stand-in character.
// Returns the sum of (name length + 1) over the files added. Hidden files count; FIFOs, sockets
// and devices are skipped; a link is packed (under its own name, with the bytes of the file it
// leads to) only when it leads to a regular file inside folder. Throws NameError for a name that
// cannot become an entry name, FormatError for a file of 2 GiB or more, FileError for a folder
// that cannot be read.
std::int64_t AddFolderEntries(std::vector<BuildEntry>& list, const std::string& folder,
                              const std::string& root, const CodePage& cp = CodePage::big5());
// The same, adding to skippedLinks the path of every symbolic link left out: all but those that
// lead to a regular file inside folder. The files are listed and later read through folders held
// open and opened level by level without following a link, so a folder swapped for a link while
// a build runs cannot lead outside.
std::int64_t AddFolderEntries(std::vector<BuildEntry>& list, const std::string& folder,
                              const std::string& root, std::vector<std::string>& skippedLinks,
                              const CodePage& cp = CodePage::big5());

// True when the folder that would hold archivePath, resolved to its canonical path, is
// sourceFolder (also resolved) or lies below it, compared component by component.
bool isArchiveInsideFolder(const std::string& archivePath, const std::string& sourceFolder);

struct BuildResult {
    int entries = 0;
    std::uint64_t bytes = 0; // size of the archive written
    bool cancelled = false;
    // Host paths of the symbolic links left out, in the order met.
    std::vector<std::string> skippedLinks;
};

// Enumerates sourceFolder, checks every name, size and offset before a byte is written, writes
// the archive to a temporary file beside archivePath and renames it into place when complete.
// After a failure or a cancel an earlier file at archivePath is untouched and no temporary file
// is left. Entry names are encoded in cp.
BuildResult buildArchive(const std::string& sourceFolder, const std::string& archivePath,
                         const ProgressFn& progress = {}, const CodePage& cp = CodePage::big5());

} // namespace archive
