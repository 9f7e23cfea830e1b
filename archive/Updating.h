#pragma once

#include "archive/Progress.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace archive {

class ArchiveReader;
class FileError;

// One change to an archive's entries. Names are entry-name bytes ('\' between levels) as they
// stand in the directory; front ends match what the user typed to them first.
struct ArchiveChange {
    enum class Kind {
        // hostPath's bytes (or those of sourceArchive's entry) become the entry name (an entry
        // of that exact name is replaced)
        add,
        remove, // the entry name goes
        rename, // the entry name becomes newName (which may move it to another folder level)
    };
    Kind kind = Kind::add;
    std::string name;
    std::string hostPath; // add only
    std::string newName;  // rename only
    // add only: the entry whose record is at sourceRecord in this other open archive gives the
    // bytes instead of hostPath (a patch's entries).
    const ArchiveReader* sourceArchive = nullptr;
    std::uint32_t sourceRecord = 0;
};

struct UpdateOptions {
    // An add onto an existing name keeps the entry and reports it to onKept instead.
    bool keepExisting = false;
    std::function<void(const FileError&)> onKept;
    // Works out and checks every change, and returns what would change, writing nothing.
    bool dryRun = false;
};

struct UpdateResult {
    // What each change did, in the order the changes were given.
    enum class Outcome { added, replaced, kept, deleted, renamed };

    int added = 0;
    int replaced = 0;
    int deleted = 0;
    int renamed = 0;
    int kept = 0;
    int entries = 0;         // entries in the new archive
    std::uint64_t bytes = 0; // its size
    bool cancelled = false;  // nothing was written
    // The names, in the new archive, of the entries added, replaced or renamed.
    std::vector<std::string> changedNames;
    std::vector<Outcome> outcomes; // one per change
};

// Applies changes to the open archive and replaces its file (a link to it is followed; its
// permission bits are kept) with one laid out as building the changed tree would lay it out.
// The new file is written unnamed beside the old one and named only when whole and on the disk;
// after any failure or cancel the old file is as it was. Throws NameError for a change naming no
// entry or two (ambiguousName), or a rename onto an existing name; FormatError for an archive
// check finds damaged or a result the format cannot hold; FileError for what cannot be read or
// written. The reader stays open on the old file (which has no name once replaced). A change list
// that changes nothing (every add kept) writes nothing. The new archive is refused, before
// anything is written, when an entry name would be both a file and a folder level, and when
// the file at the archive's path is no longer the one the reader opened.
UpdateResult updateArchive(const ArchiveReader& reader, const std::vector<ArchiveChange>& changes,
                           const ProgressFn& progress = {}, const UpdateOptions& options = {});

// The same for an archive that does not exist yet: only adds; writes a new archive at path. A
// file that comes to the path meanwhile is kept (FileError keptExisting).
UpdateResult createArchive(const std::string& archivePath,
                           const std::vector<ArchiveChange>& changes,
                           const ProgressFn& progress = {}, const UpdateOptions& options = {});

// Puts earlier's bytes back at archivePath, byte for byte, as safely as updateArchive writes:
// undoing the last change while the reader still holds the replaced file open.
void restoreArchive(const ArchiveReader& earlier, const std::string& archivePath,
                    const ProgressFn& progress = {});

} // namespace archive
