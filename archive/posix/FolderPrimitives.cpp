#include "archive/files/Platform.h"

#include "archive/files/CFolder.h"
#include "archive/format/Paths.h"
#include "archive/posix/Descriptor.h"
#include "archive/posix/NameRefusal.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

using posix::fd;

namespace {

// Why name inside dirFd could not be opened as a folder: the reason a user can act on.
FileError notAFolder(int dirFd, const std::string& name, const std::string& path, int error)
{
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return FileError(ErrorKind::linkNotFollowed, path, "is a symbolic link, not followed");
        if (!S_ISDIR(st.st_mode))
            return FileError(ErrorKind::inTheWay, path, "a file is in the way");
    }
    return FileError::fromErrno(ErrorKind::cannotOpen, path, error);
}

FolderItem::Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FolderItem::Kind::file;
    if (S_ISDIR(mode))
        return FolderItem::Kind::folder;
    return S_ISLNK(mode) ? FolderItem::Kind::link : FolderItem::Kind::other;
}

// The listing's own type where it gives one; otherwise the object examined. false: gone since
// the listing was read.
bool describe(int folder, const dirent& entry, const std::string& folderPath, FolderItem& item)
{
    switch (entry.d_type) {
    case DT_DIR:
        item.kind = FolderItem::Kind::folder;
        return true;
    case DT_LNK:
        item.kind = FolderItem::Kind::link;
        return true;
    case DT_REG:
    case DT_UNKNOWN:
        break;
    default:
        return true;
    }
    struct stat st {};
    if (::fstatat(folder, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return false;
        throw FileError::fromErrno(ErrorKind::cannotRead, paths::join(folderPath, entry.d_name),
                                   errno);
    }
    item.kind = kindOf(st.st_mode);
    item.size = static_cast<std::uint64_t>(st.st_size);
    item.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

} // namespace

bool platform::opensByPath() noexcept
{
    return false;
}

const char* platform::levelBreakers() noexcept
{
    return "/";
}

NativeHandle platform::openFolder(const std::string& path)
{
    const int descriptor =
        ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0)
        return posix::handleOf(descriptor);
    const int error = errno;
    if (error == ENOTDIR)
        throw FileError(ErrorKind::notAFolder, path, "is not a folder");
    if (error == ENOENT && isDanglingLink(path))
        throw FileError(ErrorKind::notAFolder, path, "is a link to nothing");
    throw FileError::fromErrno(ErrorKind::cannotOpen, path, error);
}

platform::ErrorCode platform::makeFolders(const std::string& path) noexcept
{
    if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return static_cast<ErrorCode>(errno);
    std::size_t end = path.find_last_not_of('/');
    end = end == std::string::npos ? std::string::npos : path.find_last_of('/', end);
    if (end == std::string::npos || end == 0)
        return ENOENT;
    if (const ErrorCode error = makeFolders(path.substr(0, end)))
        return error;
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST ? 0 : static_cast<ErrorCode>(errno);
}

std::string platform::temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? std::string(folder) : std::string("/tmp");
}

platform::ErrorCode platform::makePrivateFolder(NativeHandle folder, const std::string&,
                                                const std::string& name)
{
    return ::mkdirat(posix::fd(folder), name.c_str(), S_IRWXU) == 0 ? 0 : errno;
}

bool platform::isDanglingLink(const std::string& path) noexcept
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
           ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

NativeHandle platform::openChildFolder(NativeHandle parent, const std::string& name,
                                       const std::string& path, bool create, bool& isCreated)
{
    const int folder = fd(parent);
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int descriptor = ::openat(folder, name.c_str(), flags);
    if (descriptor < 0 && errno == ENOENT && create) {
        int error = posix::simulatedRefusal(name);
        if (error == 0)
            error = ::mkdirat(folder, name.c_str(), 0777) == 0 ? 0 : errno;
        if (error != 0 && error != EEXIST)
            throw posix::creationFailure(ErrorKind::cannotCreateFolder, path, name, error);
        isCreated = error == 0;
        descriptor = ::openat(folder, name.c_str(), flags);
    }
    if (descriptor >= 0)
        return posix::handleOf(descriptor);
    const int error = errno;
    if (error == ENOTDIR || error == ELOOP)
        throw notAFolder(folder, name, path, error);
    if (error == ENAMETOOLONG)
        throw posix::creationFailure(ErrorKind::cannotOpen, path, name, error);
    throw FileError::fromErrno(ErrorKind::cannotOpen, path, error);
}

std::vector<FolderItem> platform::folderItems(NativeHandle handle, const std::string& path)
{
    const int folder = fd(handle);
    // A listing of its own: reading through the held descriptor would move its position.
    const int listFd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        const int error = errno;
        if (listFd >= 0)
            ::close(listFd);
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, error);
    }
    posix::DirCloser closer(dir);
    std::vector<FolderItem> found;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                throw FileError::fromErrno(ErrorKind::cannotRead, path, errno);
            return found;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        FolderItem item;
        item.name = name;
        if (describe(folder, *entry, path, item))
            found.push_back(std::move(item));
    }
}

std::optional<filesystem::ObjectId>
platform::fileIdentityAt(NativeHandle folder, const std::string&, const std::string& relative)
{
    struct stat st {};
    if (::fstatat(fd(folder), relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    return filesystem::ObjectId{static_cast<std::uint64_t>(st.st_dev),
                                static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<LinkedFile> platform::linkedFileAt(NativeHandle folder, const std::string& path,
                                                 const std::string& name)
{
    // A path handle opens nothing: a device or a FIFO at the end of the link is never woken.
    const int target = ::openat(fd(folder), name.c_str(), O_PATH | O_CLOEXEC);
    if (target < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(target, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(target);
        return std::nullopt;
    }
    // The path of the object actually reached, not one a later change of a link would give.
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", target);
    char resolved[PATH_MAX];
    const ssize_t length = ::readlink(link, resolved, sizeof resolved);
    ::close(target);
    std::string reached;
    if (length > 0 && static_cast<std::size_t>(length) < sizeof resolved && resolved[0] == '/') {
        reached.assign(resolved, static_cast<std::size_t>(length));
    } else {
        const std::optional<std::string> canonical =
            filesystem::canonicalPath(paths::join(path, name));
        if (!canonical)
            return std::nullopt;
        reached = *canonical;
    }
    return LinkedFile{std::move(reached), static_cast<std::uint64_t>(st.st_size)};
}

} // namespace archive
