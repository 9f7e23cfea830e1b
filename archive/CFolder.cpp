#include "CFolder.h"

#include "ArchiveError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace archive {

namespace {

// Why name inside dirFd could not be opened as a folder: the reason a user can act on.
FileError notAFolder(int dirFd, const std::string& name, const std::string& path, int error)
{
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return FileError(path, "is a symbolic link, not followed");
        if (!S_ISDIR(st.st_mode))
            return FileError(path, "a file is in the way");
    }
    return FileError::fromErrno(path, error);
}

} // namespace

CFolder::CFolder(int fd, std::string path) : m_nFd(fd), m_strPath(std::move(path)) {}

CFolder::~CFolder()
{
    if (m_nFd >= 0)
        ::close(m_nFd);
}

CFolder::CFolder(CFolder&& other) noexcept
    : m_nFd(std::exchange(other.m_nFd, -1)), m_strPath(std::move(other.m_strPath))
{
}

CFolder& CFolder::operator=(CFolder&& other) noexcept
{
    if (this != &other) {
        if (m_nFd >= 0)
            ::close(m_nFd);
        m_nFd = std::exchange(other.m_nFd, -1);
        m_strPath = std::move(other.m_strPath);
    }
    return *this;
}

CFolder CFolder::open(const std::string& path)
{
    const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOTDIR)
            throw FileError(path, "is not a folder");
        throw FileError::fromErrno(path, errno);
    }
    return CFolder(fd, path);
}

CFolder CFolder::child(const std::string& name, bool create) const
{
    const std::string path = pathOf(name);
    if (m_nFd < 0)
        throw FileError(path, "the folder is not open");
    // One level only: a '/' or a dot name would reach somewhere other than below this folder.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        throw FileError(path, "is not a single folder name");
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(m_nFd, name.c_str(), flags);
    if (fd < 0 && errno == ENOENT && create) {
        if (::mkdirat(m_nFd, name.c_str(), 0777) != 0 && errno != EEXIST)
            throw FileError::fromErrno(path, errno);
        fd = ::openat(m_nFd, name.c_str(), flags);
    }
    if (fd < 0) {
        const int error = errno;
        if (error == ENOTDIR || error == ELOOP)
            throw notAFolder(m_nFd, name, path, error);
        throw FileError::fromErrno(path, error);
    }
    return CFolder(fd, path);
}

std::string CFolder::pathOf(const std::string& name) const
{
    if (m_strPath.empty())
        return name;
    return m_strPath.back() == '/' ? m_strPath + name : m_strPath + '/' + name;
}

int _mkdir(const std::string& path)
{
    return ::mkdir(path.c_str(), 0777);
}

} // namespace archive
