#include "archive/files/FileLock.h"

#include "archive/ArchiveError.h"
#include "archive/posix/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

using posix::fd;

void FileLock::open(const std::string& path)
{
    // Read-only: locking must not need the right to write, nor block on a FIFO in the way.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
    const struct stat st = posix::regularFileStatus(descriptor, path);
    m_nHandle = posix::handleOf(descriptor);
    m_id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// A flock lock belongs to the open file, so it dies with the last descriptor of it, and it needs
// no write access.
FileLock::Attempt FileLock::tryLock() noexcept
{
    while (::flock(fd(m_nHandle), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        // NFS without its lock service, or a file system that keeps no locks: the identity check
        // at commit is then the only guard.
        return errno == EWOULDBLOCK ? Attempt::busy : Attempt::unsupported;
    }
    return Attempt::locked;
}

void FileLock::close() noexcept
{
    if (m_nHandle != kNoHandle)
        ::close(fd(m_nHandle));
    m_nHandle = kNoHandle;
}

} // namespace archive
