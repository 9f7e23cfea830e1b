#include "archive/files/Platform.h"

#include "archive/posix/Descriptor.h"
#include "archive/posix/NameRefusal.h"
#include "archive/posix/Ownership.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

using posix::fd;

namespace {

std::atomic<bool> g_bLinkByDescriptor{true};

// An unnamed file is named through its /proc link, which needs no privilege.
bool canNameUnnamedFiles()
{
    static const bool isAvailable = ::access("/proc/self/fd", X_OK) == 0;
    return isAvailable;
}

// The file systems that cannot hold unnamed files say so with one of these.
bool isUnnamedRefused(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT;
}

platform::ErrorCode lastError() noexcept
{
    return static_cast<platform::ErrorCode>(errno);
}

// Renames without replacing: where the file system has no such rename, a hard link then the
// temporary name removed does the same.
int renameKeeping(int folder, const char* from, const char* to) noexcept
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    if (::linkat(folder, from, folder, to, 0) != 0)
        return errno;
    ::unlinkat(folder, from, 0);
    return 0;
}

} // namespace

void platform::requireHostableName(const std::string&, const std::string&) {}

FileError platform::creationFailure(ErrorKind kind, const std::string& path,
                                    const std::string& name, ErrorCode error)
{
    return posix::creationFailure(kind, path, name, static_cast<int>(error));
}

bool platform::isExistsError(ErrorCode error) noexcept
{
    return error == EEXIST;
}

bool platform::isUnsupported(ErrorCode error) noexcept
{
    return error == EPERM || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool platform::isHeldRefusal(ErrorCode) noexcept
{
    return false;
}

platform::ErrorCode platform::createUnnamed(NativeHandle folder, NativeHandle& file) noexcept
{
    file = kNoHandle;
    if (!canNameUnnamedFiles())
        return 0;
    // Mode 0666 so the umask decides, as for any file the user creates.
    file = posix::handleOf(::openat(fd(folder), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    return file != kNoHandle || isUnnamedRefused(errno) ? 0 : lastError();
}

platform::ErrorCode platform::createExclusive(NativeHandle folder, const std::string&,
                                              const std::string& name, NativeHandle& file) noexcept
{
    if (const int refused = posix::simulatedRefusal(name))
        return static_cast<ErrorCode>(refused);
    file = posix::handleOf(::openat(fd(folder), name.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file == kNoHandle)
        return lastError();
    // A later run removes it only once this lock is gone.
    ::flock(fd(file), LOCK_EX | LOCK_NB);
    return 0;
}

// Linking by descriptor is the cheaper call but needs a privilege; without it the /proc link is
// used from then on.
platform::ErrorCode platform::nameUnnamed(NativeHandle file, NativeHandle folder,
                                          const std::string& name) noexcept
{
    if (const int refused = posix::simulatedRefusal(name))
        return static_cast<ErrorCode>(refused);
    if (g_bLinkByDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd(file), "", fd(folder), name.c_str(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return lastError();
        g_bLinkByDescriptor.store(false, std::memory_order_relaxed);
    }
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd(file));
    return ::linkat(AT_FDCWD, link, fd(folder), name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                      : lastError();
}

platform::Target platform::targetAt(NativeHandle folder, const std::string& path,
                                    const std::string& name)
{
    Target target;
    struct stat st {};
    if (::fstatat(fd(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return target;
        if (errno == ENAMETOOLONG)
            throw posix::creationFailure(ErrorKind::cannotOpen, path, name, errno);
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
    }
    target.exists = true;
    target.isFolder = S_ISDIR(st.st_mode);
    target.isRegular = S_ISREG(st.st_mode);
    target.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    if (target.isRegular &&
        ::faccessat(fd(folder), name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0 &&
        errno == EACCES)
        target.writeRefusal = EACCES;
    return target;
}

platform::ErrorCode platform::renameIn(NativeHandle folder, const std::string&,
                                       const std::string& from, const std::string&,
                                       const std::string& to, bool isReplacing, bool) noexcept
{
    if (const int refused = posix::simulatedRefusal(to))
        return static_cast<ErrorCode>(refused);
    if (!isReplacing)
        return static_cast<ErrorCode>(renameKeeping(fd(folder), from.c_str(), to.c_str()));
    return ::renameat(fd(folder), from.c_str(), fd(folder), to.c_str()) == 0 ? 0 : lastError();
}

// A rename names over a held file here: never asked.
void platform::replaceHeldFile(const std::string&, const std::string& path, bool)
{
    throw FileError(ErrorKind::internal, path, "no held file needs letting go here");
}

platform::ErrorCode platform::removeName(NativeHandle folder, const std::string&,
                                         const std::string& name) noexcept
{
    return ::unlinkat(fd(folder), name.c_str(), 0) == 0 ? 0 : lastError();
}

void platform::removeIfUnused(NativeHandle folder, const std::string&,
                              const std::string& name) noexcept
{
    const int file =
        ::openat(fd(folder), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return;
    // The writer's lock goes with its process, wherever that ran.
    if (::flock(file, LOCK_EX | LOCK_NB) == 0)
        ::unlinkat(fd(folder), name.c_str(), 0);
    ::close(file);
}

// A rename replaces in one step here: no replacement leaves the name missing.
bool platform::recoverReplaced(const std::string&, const std::string&)
{
    return false;
}

platform::ErrorCode platform::syncFile(NativeHandle file) noexcept
{
    return ::fsync(fd(file)) == 0 ? 0 : lastError();
}

platform::ErrorCode platform::syncFolder(NativeHandle folder) noexcept
{
    return ::fsync(fd(folder)) == 0 ? 0 : lastError();
}

void platform::startWriteBack(NativeHandle file, std::uint64_t from, std::uint64_t length) noexcept
{
    ::sync_file_range(fd(file), static_cast<off_t>(from), static_cast<off_t>(length),
                      SYNC_FILE_RANGE_WRITE);
}

platform::ErrorCode platform::setPermissions(NativeHandle file, std::uint32_t mode) noexcept
{
    int error = seamPermissionRefusal();
    if (error == 0 && ::fchmod(fd(file), static_cast<mode_t>(mode & 07777)) != 0)
        error = errno;
    // FAT through FUSE keeps no permissions and says so: the file gets what every file there
    // gets, as any file copied there would.
    return error == ENOSYS || error == EPERM ? 0 : static_cast<ErrorCode>(error);
}

std::uint32_t platform::carryOwnership(NativeHandle from, NativeHandle to, std::uint32_t mode,
                                       const std::string& path)
{
    return posix::copyOwnership(fd(from), fd(to), mode, path);
}

platform::ErrorCode platform::closeReporting(NativeHandle file) noexcept
{
    const int result = ::close(fd(file));
    // A deferred write error may only show at close.
    return result != 0 && errno != EINTR ? lastError() : 0;
}

} // namespace archive
