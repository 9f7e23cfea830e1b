#pragma once

#include "archive/ArchiveError.h"
#include "archive/files/CFileFind.h"
#include "archive/files/FileSystem.h"
#include "archive/files/NativeHandle.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The few calls the file-access classes make of the operating system. archive/posix/ and
// archive/win32/ each implement them and nothing more; the policy (what is refused, what is held,
// in which order) lives once in the classes above them.
namespace archive::platform {

// errno or GetLastError(); 0 is success on both.
using ErrorCode = std::uint32_t;

// kind with the system's words for error.
FileError failure(ErrorKind kind, const std::string& path, ErrorCode error);

// POSIX names a file over one held open; Windows refuses, so a held file must be let go first.
bool namesOverOpenFiles() noexcept;

enum class Access { read, write, writeOrCreate };

// What an open file is.
struct FileStatus {
    filesystem::ObjectId id;
    std::uint64_t size = 0;
    std::uint64_t links = 0;
    bool isRegular = false;
};

// Opens path for access without truncating it; with folder (not kNoHandle) path is name inside
// it, and a link there is refused rather than followed. A FIFO never blocks the open. Throws
// FileError worded for the user: cannotOpen, linkNotFollowed, notAFile, alreadyOpen.
NativeHandle openFile(NativeHandle folder, const std::string& path, const std::string& name,
                      Access access);
// The same without wording a failure: kNoHandle when it fails.
NativeHandle reopenFile(const std::string& path, Access access) noexcept;
ErrorCode fileStatus(NativeHandle file, FileStatus& status) noexcept;
// Reads up to count bytes at offset, or from the file position without one (the position is
// left alone by a read at an offset); done is 0 only at the end of the file.
ErrorCode readSome(NativeHandle file, void* buffer, std::size_t count,
                   std::optional<std::uint64_t> offset, std::size_t& done) noexcept;
ErrorCode writeSome(NativeHandle file, const void* buffer, std::size_t count,
                    std::size_t& done) noexcept;
ErrorCode truncate(NativeHandle file, std::uint64_t length) noexcept;
ErrorCode seek(NativeHandle file, std::uint64_t offset) noexcept;
ErrorCode position(NativeHandle file, std::uint64_t& offset) noexcept;
void adviseSequential(NativeHandle file) noexcept;
void close(NativeHandle object) noexcept;

} // namespace archive::platform

namespace archive::platform {

// What the signal handlers remove, kept where a handler can read it without allocating: a held
// folder and a name in it where the system removes relative to a folder (POSIX), else the whole
// path in UTF-8 with kNoHandle (Windows, whose folder paths may be gone from memory by then).
struct CleanupTarget {
    static constexpr std::size_t kTextBytes = 1024;
    NativeHandle folder = kNoHandle;
    char text[kTextBytes] = {};
};

// Fills target for name inside folder (held as handle, its path folderPath); false when it does
// not fit. Never allocates.
bool cleanupTarget(NativeHandle folder, const std::string& folderPath, const char* name,
                   CleanupTarget& target) noexcept;
// Removes target, with what it holds some levels deep when isTree (links inside removed, never
// followed). Safe in a signal handler.
void removeNow(const CleanupTarget& target, bool isTree) noexcept;
// Sends SIGINT and SIGTERM (Ctrl+C and Ctrl+Break on Windows), SIGHUP and SIGQUIT to handler; a
// signal it returns false for then ends the program as it would have without a handler. A signal
// ignored by whoever started the program stays ignored, and SIGXFSZ is ignored so a file-size
// limit shows as a failed write.
void installEndingHandlers(bool (*handler)(int signalNumber) noexcept);
// Ends the program as signalNumber would have without a handler; on Windows, where a console
// event has no such ending, it returns and the caller exits with 128 + signal. Safe in a handler.
void endAsSignal(int signalNumber) noexcept;
// Writes text to the standard error without the C library's buffers. Safe in a signal handler.
void writeToErrorStream(const char* text) noexcept;

} // namespace archive::platform

namespace archive::platform {

// The characters that end a level of a host path: "/", and "\" too on Windows.
const char* pathSeparators() noexcept;
// The error says the object or a folder on its way is not there.
bool isMissing(ErrorCode error) noexcept;
// Fills object (but its name) from what path reaches, a link there not followed.
ErrorCode examineObject(const std::string& path, FoundObject& object);
// Every object of folder, its "." and ".." included, whose name passes wanted, examined as
// examineObject does; one gone since the listing was read is left out. isAtOpen tells a folder
// that could not be opened from one that could not be read.
ErrorCode listObjects(const std::string& folder,
                      const std::function<bool(const std::string&)>& wanted,
                      std::vector<FoundObject>& found, bool& isAtOpen);

} // namespace archive::platform

namespace archive {
struct FolderItem;
struct LinkedFile;
} // namespace archive

namespace archive::platform {

// Windows opens by path alone, so each folder opened below another keeps its own path; POSIX
// opens relative to the held folder and a deep walk needs no path per level.
bool opensByPath() noexcept;
// What cannot stand in one level of a path: "/", and "\" and ":" too on Windows.
const char* levelBreakers() noexcept;

// The folder at path, links followed. Throws FileError: cannotOpen, or notAFolder (also for a
// link to nothing).
NativeHandle openFolder(const std::string& path);
// Each missing level of path from the top down.
ErrorCode makeFolders(const std::string& path) noexcept;
// Where temporary files go: $TMPDIR, else /tmp; on Windows the user's temporary folder.
std::string temporaryFolder();
// The new folder name inside folder (path its path), which only this user may open, list or
// change; refused (isExistsError) when anything has the name.
ErrorCode makePrivateFolder(NativeHandle folder, const std::string& path, const std::string& name);
// path is a symbolic link that leads nowhere.
bool isDanglingLink(const std::string& path) noexcept;
// name inside parent (path for messages and, on Windows, for opening), never through a link,
// created first when missing and create is set (isCreated then says so). Throws FileError:
// cannotOpen, cannotCreateFolder, nameRefusedByFileSystem, linkNotFollowed, inTheWay.
NativeHandle openChildFolder(NativeHandle parent, const std::string& name, const std::string& path,
                             bool create, bool& isCreated);
// What the held folder lists, as CFolder::items says. Throws FileError naming path.
std::vector<FolderItem> folderItems(NativeHandle folder, const std::string& path);
// The regular file at relative below folder (path that of folder), its last level not followed.
std::optional<filesystem::ObjectId> fileIdentityAt(NativeHandle folder, const std::string& path,
                                                   const std::string& relative);
// Where the link name inside folder leads, when that is a regular file.
std::optional<LinkedFile> linkedFileAt(NativeHandle folder, const std::string& path,
                                       const std::string& name);

} // namespace archive::platform

namespace archive::platform {

// What archive/files/TestSeams.h switched; as on this machine unless a test asked otherwise.
bool seamAllowsUnnamed() noexcept;
bool seamAllowsNoReplaceNaming() noexcept;
int seamFatRefusal() noexcept;
int seamPermissionRefusal() noexcept;

// Throws FileError of kind nameRefusedByFileSystem when the system cannot hold name (one level of
// path) at all (Windows: its characters, a trailing dot or space, a device name).
void requireHostableName(const std::string& path, const std::string& name);
// Creating name (at path) failed with error: of kind nameRefusedByFileSystem when the error says
// the file system cannot hold the name, else of kind with the system's reason.
FileError creationFailure(ErrorKind kind, const std::string& path, const std::string& name,
                          ErrorCode error);
// Something already has the name.
bool isExistsError(ErrorCode error) noexcept;
// The file system cannot refuse to replace in a rename.
bool isUnsupported(ErrorCode error) noexcept;
// A replacing rename was refused because this program holds the replaced file (Windows).
bool isHeldRefusal(ErrorCode error) noexcept;

// An unnamed file in folder; kNoHandle and 0 where the system or the file system has none.
ErrorCode createUnnamed(NativeHandle folder, NativeHandle& file) noexcept;
// A new file name inside folder (path its path), refused when anything has the name; marked as
// held, so that no later run takes it for a leftover while it is written.
ErrorCode createExclusive(NativeHandle folder, const std::string& path, const std::string& name,
                          NativeHandle& file) noexcept;
// Gives the unnamed file the name inside folder, refused when something has it.
ErrorCode nameUnnamed(NativeHandle file, NativeHandle folder, const std::string& name) noexcept;

// What has a name an output is to take, a link not followed.
struct Target {
    bool exists = false;
    bool isFolder = false;
    bool isRegular = false;
    filesystem::ObjectId id;    // for a regular file
    ErrorCode writeRefusal = 0; // the file's own protection refuses this user writing it
};
// Throws FileError naming path when the name cannot be examined.
Target targetAt(NativeHandle folder, const std::string& path, const std::string& name);

// Renames from to to inside folder (fromPath and toPath their paths): replacing what has the
// name, or else refusing when something does. Durable: on the disk when the call returns, or
// once syncFolder has run.
ErrorCode renameIn(NativeHandle folder, const std::string& fromPath, const std::string& from,
                   const std::string& toPath, const std::string& to, bool isReplacing,
                   bool isDurable) noexcept;
// Replaces the file at path, which this program holds open, with the one at tempPath, so that
// its name is never missing where the system allows. Throws FileError naming path.
void replaceHeldFile(const std::string& tempPath, const std::string& path, bool isDurable);
ErrorCode removeName(NativeHandle folder, const std::string& path,
                     const std::string& name) noexcept;
// Removes the temporary file name in folder unless a writer holds it.
void removeIfUnused(NativeHandle folder, const std::string& path, const std::string& name) noexcept;
// Where path is missing because a replacement was stopped halfway, puts the replaced file back
// from beside the temporary names that begin with tempPrefix.
bool recoverReplaced(const std::string& path, const std::string& tempPrefix);

ErrorCode syncFile(NativeHandle file) noexcept;
ErrorCode syncFolder(NativeHandle folder) noexcept;
// Starts writing back that range of file, without waiting.
void startWriteBack(NativeHandle file, std::uint64_t from, std::uint64_t length) noexcept;
// Where the file system keeps no permissions, that is no failure.
ErrorCode setPermissions(NativeHandle file, std::uint32_t mode) noexcept;
// Gives to the owner, group and extended attributes of from where the system has them, and
// returns the permission bits mode leaves for it. Throws FileError naming path.
std::uint32_t carryOwnership(NativeHandle from, NativeHandle to, std::uint32_t mode,
                             const std::string& path);
// Closes file, saying a write error that only shows then.
ErrorCode closeReporting(NativeHandle file) noexcept;

} // namespace archive::platform

namespace archive::platform {

// Zero-filled memory straight from the system, in large pages where it has them, or nullptr.
// bytes > 0.
void* allocateZeroed(std::size_t bytes) noexcept;
// Gives back what allocateZeroed gave, with the same size.
void releaseZeroed(void* block, std::size_t bytes) noexcept;

} // namespace archive::platform
