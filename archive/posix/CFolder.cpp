#include "archive/CFolder.h"

#include "archive/ArchiveError.h"
#include "archive/Paths.h"
#include "archive/posix/Descriptor.h"
#include "archive/posix/NameRefusal.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

bool isDanglingLink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
           ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

// mkdir -p: each missing level from the top down; 0 or the errno of the level that failed.
int makeFolders(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    std::size_t end = path.find_last_not_of('/');
    end = end == std::string::npos ? std::string::npos : path.find_last_of('/', end);
    if (end == std::string::npos || end == 0)
        return ENOENT;
    if (const int error = makeFolders(path.substr(0, end)))
        return error;
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

} // namespace

CFolder::CFolder(NativeHandle handle, std::string path)
    : m_nHandle(handle), m_strPath(std::move(path))
{
}

CFolder::~CFolder()
{
    if (m_nHandle != kNoHandle)
        ::close(fd(m_nHandle));
}

CFolder::CFolder(CFolder&& other) noexcept
    : m_nHandle(std::exchange(other.m_nHandle, kNoHandle)), m_strPath(std::move(other.m_strPath)),
      m_bCreated(other.m_bCreated)
{
}

CFolder& CFolder::operator=(CFolder&& other) noexcept
{
    if (this != &other) {
        if (m_nHandle != kNoHandle)
            ::close(fd(m_nHandle));
        m_nHandle = std::exchange(other.m_nHandle, kNoHandle);
        // Assigning an empty path would keep the old one's buffer.
        std::string old = std::exchange(m_strPath, std::move(other.m_strPath));
        m_bCreated = other.m_bCreated;
    }
    return *this;
}

CFolder CFolder::open(const std::string& path)
{
    const int descriptor =
        ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOTDIR)
            throw FileError(ErrorKind::notAFolder, path, "is not a folder");
        if (error == ENOENT && isDanglingLink(path))
            throw FileError(ErrorKind::notAFolder, path, "is a link to nothing");
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, error);
    }
    return CFolder(posix::handleOf(descriptor), path);
}

CFolder CFolder::openOrCreate(const std::string& path)
{
    if (!path.empty() && !isDanglingLink(path)) {
        if (const int error = makeFolders(path))
            throw FileError::fromErrno(ErrorKind::cannotCreateFolder, path, error);
    }
    return open(path);
}

CFolder CFolder::child(const std::string& name, bool create) const
{
    std::string path = pathOf(name);
    CFolder level = child(name, create, std::string_view(path));
    level.m_strPath = std::move(path);
    return level;
}

CFolder CFolder::child(const std::string& name, bool create, std::string_view pathView) const
{
    const auto path = [pathView] { return std::string(pathView); };
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, path(), "the folder is not open");
    const int folder = fd(m_nHandle);
    // One level only: a '/' or a dot name would reach somewhere other than below this folder.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        throw FileError(ErrorKind::unsafeName, path(), "is not a single folder name");
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int descriptor = ::openat(folder, name.c_str(), flags);
    bool isCreated = false;
    if (descriptor < 0 && errno == ENOENT && create) {
        int error = posix::simulatedRefusal(name);
        if (error == 0)
            error = ::mkdirat(folder, name.c_str(), 0777) == 0 ? 0 : errno;
        if (error != 0 && error != EEXIST)
            throw posix::creationFailure(ErrorKind::cannotCreateFolder, path(), name, error);
        isCreated = error == 0;
        descriptor = ::openat(folder, name.c_str(), flags);
    }
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOTDIR || error == ELOOP)
            throw notAFolder(folder, name, path(), error);
        if (error == ENAMETOOLONG)
            throw posix::creationFailure(ErrorKind::cannotOpen, path(), name, error);
        throw FileError::fromErrno(ErrorKind::cannotOpen, path(), error);
    }
    CFolder level(posix::handleOf(descriptor), std::string());
    level.m_bCreated = isCreated;
    return level;
}

std::optional<filesystem::ObjectId> CFolder::fileIdentity(const std::string& relativePath) const
{
    struct stat st {};
    if (m_nHandle == kNoHandle ||
        ::fstatat(fd(m_nHandle), relativePath.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    return filesystem::ObjectId{static_cast<std::uint64_t>(st.st_dev),
                                static_cast<std::uint64_t>(st.st_ino)};
}

std::string CFolder::pathOf(const std::string& name) const
{
    return paths::join(m_strPath, name);
}

} // namespace archive
