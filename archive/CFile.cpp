#include "archive/CFile.h"

#include "archive/ArchiveError.h"
#include "archive/CFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace archive {

namespace {

// Files held open by any CFile of this process, by device and inode, so a second spelling of a
// path or a hard link cannot slip past the check.
struct Registry {
    std::mutex mutex;
    std::set<std::pair<std::uint64_t, std::uint64_t>> held;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

bool tryRegister(std::uint64_t device, std::uint64_t inode)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.held.emplace(device, inode).second;
}

void unregister(std::uint64_t device, std::uint64_t inode)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.held.erase({device, inode});
}

bool isWriteMode(unsigned flags)
{
    return (flags & CFile::modeWrite) != 0;
}

int openFlags(unsigned flags)
{
    // O_NONBLOCK keeps a FIFO put in the file's place from blocking the open; it is cleared
    // again once the object is known to be a regular file.
    int mode = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (isWriteMode(flags))
        mode |= O_WRONLY | ((flags & CFile::modeCreate) ? O_CREAT : 0);
    else
        mode |= O_RDONLY;
    return mode;
}

std::string lastComponent(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

CFile::~CFile()
{
    Close();
}

CFile::CFile(CFile&& other) noexcept
    : m_nFd(std::exchange(other.m_nFd, -1)), m_strPath(std::move(other.m_strPath)),
      m_nDevice(other.m_nDevice), m_nInode(other.m_nInode), m_nFlags(other.m_nFlags),
      m_nLengthAtOpen(other.m_nLengthAtOpen)
{
}

CFile& CFile::operator=(CFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_nFd = std::exchange(other.m_nFd, -1);
        m_strPath = std::move(other.m_strPath);
        m_nDevice = other.m_nDevice;
        m_nInode = other.m_nInode;
        m_nFlags = other.m_nFlags;
        m_nLengthAtOpen = other.m_nLengthAtOpen;
    }
    return *this;
}

void CFile::Open(const std::string& path, unsigned flags)
{
    Close();
    const int fd = ::open(path.c_str(), openFlags(flags), 0666);
    if (fd < 0)
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
    adopt(fd, path, flags);
}

void CFile::Open(const CFolder& folder, const std::string& name, unsigned flags)
{
    Close();
    const std::string path = folder.pathOf(name);
    if (!folder.isOpen())
        throw FileError(ErrorKind::internal, path, "the folder is not open");
    const int fd = ::openat(folder.handle(), name.c_str(), openFlags(flags) | O_NOFOLLOW, 0666);
    if (fd < 0) {
        if (errno == ELOOP)
            throw FileError(ErrorKind::linkNotFollowed, path, "is a symbolic link, not followed");
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
    }
    adopt(fd, path, flags);
}

void CFile::adopt(int fd, const std::string& path, unsigned flags)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FileError(ErrorKind::notAFile, path, "is not a regular file");
    }
    if (!tryRegister(st.st_dev, st.st_ino)) {
        ::close(fd);
        throw FileError(ErrorKind::alreadyOpen, path, "is already open in this program");
    }
    // Truncate only now: opening with O_TRUNC would have emptied a file this program is reading.
    // O_NONBLOCK may stay: it changes nothing for a regular file.
    if ((flags & modeCreate) && isWriteMode(flags) && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        unregister(st.st_dev, st.st_ino);
        ::close(fd);
        throw FileError::fromErrno(ErrorKind::cannotWrite, path, error);
    }
    m_nFd = fd;
    m_strPath = path;
    m_nDevice = st.st_dev;
    m_nInode = st.st_ino;
    m_nFlags = flags;
    m_nLengthAtOpen = (flags & modeCreate) ? 0 : static_cast<std::uint64_t>(st.st_size);
}

void CFile::requireOpen() const
{
    if (m_nFd < 0)
        throw FileError(ErrorKind::internal, m_strPath.empty() ? std::string("file") : m_strPath,
                        "the file is not open");
}

void CFile::Seek(std::uint64_t offset)
{
    requireOpen();
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, EINVAL);
    if (::lseek(m_nFd, static_cast<off_t>(offset), SEEK_SET) < 0)
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, errno);
}

std::size_t CFile::ReadAt(void* buffer, std::size_t count, std::uint64_t offset) const
{
    requireOpen();
    if (isWriteMode(m_nFlags))
        throw FileError(ErrorKind::internal, m_strPath, "the file is open for writing only");
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(m_nFd, p + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, errno);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t CFile::Read(void* buffer, std::size_t count)
{
    requireOpen();
    if (isWriteMode(m_nFlags))
        throw FileError(ErrorKind::internal, m_strPath, "the file is open for writing only");
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_nFd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, errno);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, std::size_t count)
{
    requireOpen();
    if (!isWriteMode(m_nFlags))
        throw FileError(ErrorKind::internal, m_strPath, "the file is open for reading only");
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_nFd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, errno);
        }
        if (n == 0)
            throw FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, EIO);
        done += static_cast<std::size_t>(n);
    }
}

std::uint64_t CFile::GetLength() const
{
    requireOpen();
    struct stat st {};
    if (::fstat(m_nFd, &st) != 0)
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

std::string CFile::GetFileName() const
{
    return lastComponent(m_strPath);
}

void CFile::Close() noexcept
{
    if (m_nFd < 0)
        return;
    unregister(m_nDevice, m_nInode);
    ::close(m_nFd);
    m_nFd = -1;
}

void CFile::closeOrThrow()
{
    if (m_nFd < 0)
        return;
    unregister(m_nDevice, m_nInode);
    const int result = ::close(m_nFd);
    const int error = errno;
    m_nFd = -1;
    if (result != 0 && error != EINTR)
        throw FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, error);
}

bool CFile::isHeldOpen(std::uint64_t device, std::uint64_t inode)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.held.count({device, inode}) != 0;
}

} // namespace archive
