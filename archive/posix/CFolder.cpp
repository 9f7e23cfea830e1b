#include "archive/CFolder.h"

#include "archive/ArchiveError.h"
#include "archive/Paths.h"
#include "archive/posix/Descriptor.h"
#include "archive/posix/NameRefusal.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
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

namespace {

FolderItem::Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FolderItem::Kind::file;
    if (S_ISDIR(mode))
        return FolderItem::Kind::folder;
    return S_ISLNK(mode) ? FolderItem::Kind::link : FolderItem::Kind::other;
}

class DirCloser {
public:
    explicit DirCloser(DIR* dir) : m_pDir(dir) {}
    ~DirCloser() { ::closedir(m_pDir); }
    DirCloser(const DirCloser&) = delete;
    DirCloser& operator=(const DirCloser&) = delete;

private:
    DIR* m_pDir;
};

class DescriptorCloser {
public:
    explicit DescriptorCloser(int descriptor) : m_nFd(descriptor) {}
    ~DescriptorCloser() { ::close(m_nFd); }
    DescriptorCloser(const DescriptorCloser&) = delete;
    DescriptorCloser& operator=(const DescriptorCloser&) = delete;

private:
    int m_nFd;
};

} // namespace

std::vector<FolderItem> CFolder::items() const
{
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the folder is not open");
    const int folder = fd(m_nHandle);
    // A listing of its own: reading through the held descriptor would move its position.
    const int listFd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        const int error = errno;
        if (listFd >= 0)
            ::close(listFd);
        throw FileError::fromErrno(ErrorKind::cannotOpen, m_strPath, error);
    }
    DirCloser closer(dir);
    std::vector<FolderItem> found;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, errno);
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        FolderItem item;
        switch (entry->d_type) {
        case DT_DIR:
            item.kind = FolderItem::Kind::folder;
            break;
        case DT_LNK:
            item.kind = FolderItem::Kind::link;
            break;
        case DT_REG:
        case DT_UNKNOWN: {
            struct stat st {};
            if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                // Gone since the listing was read: nothing to report.
                if (errno == ENOENT)
                    continue;
                throw FileError::fromErrno(ErrorKind::cannotRead, pathOf(name), errno);
            }
            item.kind = kindOf(st.st_mode);
            item.size = static_cast<std::uint64_t>(st.st_size);
            item.id = {static_cast<std::uint64_t>(st.st_dev),
                       static_cast<std::uint64_t>(st.st_ino)};
            break;
        }
        default:
            break;
        }
        item.name = name;
        found.push_back(std::move(item));
    }
    return found;
}

std::optional<filesystem::ObjectId> CFolder::identity() const
{
    struct stat st {};
    if (m_nHandle == kNoHandle || ::fstat(fd(m_nHandle), &st) != 0)
        return std::nullopt;
    return filesystem::ObjectId{static_cast<std::uint64_t>(st.st_dev),
                                static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<LinkedFile> CFolder::linkedFile(const std::string& name) const
{
    if (m_nHandle == kNoHandle)
        return std::nullopt;
    // A path handle opens nothing: a device or a FIFO at the end of the link is never woken.
    const int target = ::openat(fd(m_nHandle), name.c_str(), O_PATH | O_CLOEXEC);
    if (target < 0)
        return std::nullopt;
    DescriptorCloser closer(target);
    struct stat st {};
    if (::fstat(target, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    // The path of the object actually reached, not one a later change of a link would give.
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", target);
    char resolved[PATH_MAX];
    const ssize_t length = ::readlink(link, resolved, sizeof resolved);
    std::string path;
    if (length > 0 && static_cast<std::size_t>(length) < sizeof resolved && resolved[0] == '/') {
        path.assign(resolved, static_cast<std::size_t>(length));
    } else {
        const std::optional<std::string> canonical = filesystem::canonicalPath(pathOf(name));
        if (!canonical)
            return std::nullopt;
        path = *canonical;
    }
    return LinkedFile{std::move(path), static_cast<std::uint64_t>(st.st_size)};
}

std::size_t CFolder::readFile(const std::string& name, void* buffer, std::size_t capacity) const
{
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, pathOf(name), "the folder is not open");
    const int file = ::openat(fd(m_nHandle), name.c_str(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        if (errno == ELOOP)
            throw FileError(ErrorKind::linkNotFollowed, pathOf(name),
                            "is a symbolic link, not followed");
        throw FileError::fromErrno(ErrorKind::cannotOpen, pathOf(name), errno);
    }
    DescriptorCloser closer(file);
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < capacity) {
        const ssize_t n = ::read(file, p + done, capacity - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError::fromErrno(ErrorKind::cannotRead, pathOf(name), errno);
        }
        done += static_cast<std::size_t>(n);
        // A regular file reads short only at its end: asking again would cost a call per file.
        if (n == 0 || done < capacity)
            break;
    }
    return done;
}

std::string CFolder::pathOf(const std::string& name) const
{
    return paths::join(m_strPath, name);
}

} // namespace archive
