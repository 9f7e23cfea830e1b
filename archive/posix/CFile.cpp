#include "archive/CFile.h"

#include "archive/ArchiveError.h"
#include "archive/CFolder.h"
#include "archive/Paths.h"
#include "archive/posix/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace archive {

using posix::fd;

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

} // namespace

CFile::~CFile()
{
    Close();
}

CFile::CFile(CFile&& other) noexcept
    : m_nHandle(std::exchange(other.m_nHandle, kNoHandle)), m_strPath(std::move(other.m_strPath)),
      m_nDevice(other.m_nDevice), m_nInode(other.m_nInode), m_nFlags(other.m_nFlags),
      m_nLengthAtOpen(other.m_nLengthAtOpen)
{
}

CFile& CFile::operator=(CFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_nHandle = std::exchange(other.m_nHandle, kNoHandle);
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
    const int descriptor = ::open(path.c_str(), openFlags(flags), 0666);
    if (descriptor < 0)
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
    adopt(posix::handleOf(descriptor), path, flags);
}

void CFile::Open(const CFolder& folder, const std::string& name, unsigned flags)
{
    Close();
    const std::string path = folder.pathOf(name);
    if (!folder.isOpen())
        throw FileError(ErrorKind::internal, path, "the folder is not open");
    const int descriptor =
        ::openat(fd(folder.m_nHandle), name.c_str(), openFlags(flags) | O_NOFOLLOW, 0666);
    if (descriptor < 0) {
        if (errno == ELOOP)
            throw FileError(ErrorKind::linkNotFollowed, path, "is a symbolic link, not followed");
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
    }
    adopt(posix::handleOf(descriptor), path, flags);
}

struct stat posix::regularFileStatus(int descriptor, const std::string& path)
{
    struct stat st {};
    if (::fstat(descriptor, &st) != 0) {
        const int error = errno;
        ::close(descriptor);
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(descriptor);
        throw FileError(ErrorKind::notAFile, path, "is not a regular file");
    }
    return st;
}

void CFile::adopt(NativeHandle handle, const std::string& path, unsigned flags)
{
    const int descriptor = fd(handle);
    const struct stat st = posix::regularFileStatus(descriptor, path);
    if (!tryRegister(st.st_dev, st.st_ino)) {
        ::close(descriptor);
        throw FileError(ErrorKind::alreadyOpen, path, "is already open in this program");
    }
    // Truncate only now: opening with O_TRUNC would have emptied a file this program is reading.
    // O_NONBLOCK may stay: it changes nothing for a regular file.
    if ((flags & modeCreate) && isWriteMode(flags) && ::ftruncate(descriptor, 0) != 0) {
        const int error = errno;
        unregister(st.st_dev, st.st_ino);
        ::close(descriptor);
        throw FileError::fromErrno(ErrorKind::cannotWrite, path, error);
    }
    m_nHandle = handle;
    m_strPath = path;
    m_nDevice = st.st_dev;
    m_nInode = st.st_ino;
    m_nFlags = flags;
    m_nLengthAtOpen = (flags & modeCreate) ? 0 : static_cast<std::uint64_t>(st.st_size);
}

void CFile::requireOpen() const
{
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath.empty() ? std::string("file") : m_strPath,
                        "the file is not open");
}

void CFile::Seek(std::uint64_t offset)
{
    requireOpen();
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, EINVAL);
    if (::lseek(fd(m_nHandle), static_cast<off_t>(offset), SEEK_SET) < 0)
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, errno);
}

std::size_t CFile::ReadAt(void* buffer, std::size_t count, std::uint64_t offset) const
{
    return readFully(buffer, count, offset);
}

std::size_t CFile::Read(void* buffer, std::size_t count)
{
    return readFully(buffer, count, std::nullopt);
}

std::size_t CFile::readFully(void* buffer, std::size_t count,
                             std::optional<std::uint64_t> offset) const
{
    requireOpen();
    if (isWriteMode(m_nFlags))
        throw FileError(ErrorKind::internal, m_strPath, "the file is open for writing only");
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = offset ? ::pread(fd(m_nHandle), p + done, count - done,
                                           static_cast<off_t>(*offset + done))
                                 : ::read(fd(m_nHandle), p + done, count - done);
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
        const ssize_t n = ::write(fd(m_nHandle), p + done, count - done);
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
    if (::fstat(fd(m_nHandle), &st) != 0)
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t CFile::linkCount() const
{
    requireOpen();
    struct stat st {};
    if (::fstat(fd(m_nHandle), &st) != 0)
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, errno);
    return static_cast<std::uint64_t>(st.st_nlink);
}

void CFile::expectSequentialReads() const noexcept
{
    if (m_nHandle != kNoHandle)
        ::posix_fadvise(fd(m_nHandle), 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::string CFile::GetFileName() const
{
    return paths::fileName(m_strPath);
}

void CFile::Close() noexcept
{
    if (m_nHandle == kNoHandle)
        return;
    unregister(m_nDevice, m_nInode);
    ::close(fd(m_nHandle));
    m_nHandle = kNoHandle;
}

void CFile::whileReleased(std::uint64_t, std::uint64_t, const std::string&,
                          const std::function<void()>& replace)
{
    replace();
}

bool CFile::isHeldOpen(std::uint64_t device, std::uint64_t inode)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.held.count({device, inode}) != 0;
}

} // namespace archive
