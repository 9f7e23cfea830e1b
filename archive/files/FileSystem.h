#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Questions about paths asked of the file system, for the checks made before a build.
namespace archive::filesystem {

// Which object of which device a path reaches, so two spellings of one folder compare equal.
struct ObjectId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const ObjectId&) const = default;
};

// One version of a file: the object, and its length and modification time, which tell a
// rewrite in place apart.
struct FileStamp {
    ObjectId id;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // in the system's own units; only compared
    bool operator==(const FileStamp&) const = default;
};

// Links are followed; nullopt when the object cannot be examined.
std::optional<ObjectId> identity(const std::string& path);
// The same for the file's version.
std::optional<FileStamp> stamp(const std::string& path);
// The absolute path with every link and dot resolved; nullopt when it does not exist.
std::optional<std::string> canonicalPath(const std::string& path);
// Where the symbolic link at path leads (a relative target taken from the link's folder), whether
// or not anything is there; nullopt when path is no symbolic link.
std::optional<std::string> linkTarget(const std::string& path);
// The permission bits of what path reaches (links followed); nullopt when it cannot be examined.
std::optional<std::uint32_t> permissions(const std::string& path);
// Throws FileError: cannotOpen with the system's reason, or notAFolder.
void requireFolder(const std::string& path);
// Throws FileError cannotWrite naming the folder when this user may not make files in it.
void requireWritableFolder(const std::string& path);
// A folder itself, not a link to one, and this user's: anyone may put a name into a shared
// temporary folder.
bool isOwnFolder(const std::string& path);
// A path that does not depend on the current folder ("/x"; on Windows also "\\x" and "C:...").
bool isAbsolute(const std::string& path);
// True where the system refuses the names nonPortableReason names (Windows): no entry may then
// be given one, and check calls one an error.
bool refusesNonPortableNames();

} // namespace archive::filesystem
