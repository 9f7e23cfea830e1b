#include "archive/files/FileSystem.h"

#include "archive/ArchiveError.h"
#include "archive/format/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace archive::filesystem {

std::optional<FileStamp> stamp(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileStamp{{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
                     static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                         st.st_mtim.tv_nsec};
}

std::optional<ObjectId> identity(const std::string& path)
{
    const std::optional<FileStamp> found = stamp(path);
    return found ? std::optional(found->id) : std::nullopt;
}

std::optional<std::string> canonicalPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved)
        return std::nullopt;
    return std::string(resolved.get());
}

std::optional<std::string> linkTarget(const std::string& path)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size())
        return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    if (target.starts_with('/'))
        return target;
    return paths::join(paths::split(path).first, target);
}

std::optional<std::uint32_t> permissions(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(st.st_mode & 07777);
}

void requireWritableFolder(const std::string& path)
{
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0)
        return;
    // The number goes along, so front ends can word the reason in their own language.
    const int error = errno;
    if (error == EACCES || error == EPERM || error == EROFS)
        throw FileError(ErrorKind::cannotWrite, path,
                        error == EROFS ? "is a folder on a read-only file system"
                                       : "is a folder you may not make files in",
                        error);
}

void requireFolder(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
    if (!S_ISDIR(st.st_mode))
        throw FileError(ErrorKind::notAFolder, path, "is not a folder");
}

bool isOwnFolder(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool isAbsolute(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

bool refusesNonPortableNames()
{
    return false;
}

} // namespace archive::filesystem
