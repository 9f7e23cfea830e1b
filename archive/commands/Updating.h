#pragma once

#include "archive/commands/Progress.h"
#include "archive/files/FileSystem.h"
#include "archive/format/CodePage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
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

// How long a change waits for another program's change of the same archive to end.
inline constexpr std::chrono::seconds kDefaultLockWait{10};

struct UpdateOptions {
    // An add onto an existing name keeps the entry and reports it to onKept instead.
    bool keepExisting = false;
    std::function<void(const FileError&)> onKept;
    // Works out and checks every change, and returns what would change, writing nothing.
    bool dryRun = false;
    // How long to wait while another program changes the archive (FileError cannotWrite after).
    std::chrono::milliseconds lockWait = kDefaultLockWait;
};

struct UpdateResult {
    // What each change did, in the order the changes were given.
    // unchanged: a rename to the name the entry has already, which changes nothing.
    enum class Outcome { added, replaced, kept, deleted, renamed, unchanged };

    int added = 0;
    int replaced = 0;
    int deleted = 0;
    int renamed = 0;
    int kept = 0;
    int entries = 0;         // entries in the new archive
    std::uint64_t bytes = 0; // its size
    bool cancelled = false;  // nothing was written
    // The archive had other hard links: the update gave only its own name the new archive, and
    // the other names keep the old one.
    bool splitHardLinks = false;
    // Dry runs only: the archive is not laid out as an update writes it (trailing bytes,
    // padding, reserved fields, record order), so more than the changed entries changes.
    bool isRelaidOut = false;
    // The names, in the new archive, of the entries added, replaced or renamed.
    std::vector<std::string> changedNames;
    std::vector<Outcome> outcomes; // one per change
    // The file named at the archive's path by this update, as it was once named; nullopt when
    // nothing was written.
    std::optional<filesystem::FileStamp> written;
};

// Applies changes to the open archive and replaces its file (a link to it is followed; its
// permission bits are kept) with one laid out as building the changed tree would lay it out.
// The new file is written unnamed beside the old one and named only when whole and on the disk;
// after any failure or cancel the old file is as it was. Throws NameError for a change naming no
// entry or two (ambiguousName), a rename onto an existing name, or a new name that
// names::requireStorable refuses; FormatError for an archive check finds damaged (an error about
// a name the changes delete or rename away excepted: so a bad name can always be mended) or a
// result the format cannot hold; FileError for what cannot be read or written. The reader stays
// open on the old file (which has no name once replaced). A change list that changes nothing
// (every add kept, every rename to the name the entry has) writes nothing. The new archive is
// refused, before anything is written, when an entry name would be both a file and a folder level,
// and when the file at the archive's path is no longer the one the reader opened
// (changedMeanwhile). From then until the new file has its name the archive is locked against other
// changes (FileLock), and the file at the path is checked again as it is replaced: of two changes
// at once, the later one is refused rather than the earlier one lost. Hidden temporary files an
// ended run left beside the archive are removed. Owner, group and extended attributes are kept as
// far as this process may, the set-user-ID and set-group-ID bits only with the owner and group.
UpdateResult updateArchive(const ArchiveReader& reader, const std::vector<ArchiveChange>& changes,
                           const ProgressFn& progress = {}, const UpdateOptions& options = {});

// The same for an archive that does not exist yet: only adds; writes a new archive at path, or
// where a symbolic link at path to nothing leads when that folder exists. A file that comes to
// the path meanwhile is kept (FileError keptExisting). Entry names are bytes in cp.
UpdateResult createArchive(const std::string& archivePath,
                           const std::vector<ArchiveChange>& changes,
                           const ProgressFn& progress = {}, const UpdateOptions& options = {},
                           const CodePage& cp = CodePage::big5());

// Puts earlier's bytes back at archivePath, byte for byte, as safely as updateArchive writes:
// undoing the last change while the reader still holds the replaced file open. The archive is
// locked against other changes meanwhile, as updateArchive locks it. Only over the file that
// change wrote (written, from its result): throws FileError changedMeanwhile, writing nothing,
// when the path holds another file or that one was written since, or nothing.
void restoreArchive(const ArchiveReader& earlier, const std::string& archivePath,
                    const filesystem::FileStamp& written, const ProgressFn& progress = {});

} // namespace archive
