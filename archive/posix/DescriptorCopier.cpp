#include "archive/posix/DescriptorCopier.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace archive::posix {

namespace {

constexpr std::size_t kBufferBytes = 1024 * 1024;
// sendfile moves at most this much per call.
constexpr std::uint64_t kMaxCallBytes = 0x7FFFF000;

// The file systems refuse this way of copying; the next one may work.
bool isRefused(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == ENOTSUP || error == EBADF || error == ETXTBSY;
}

// Failures of the in-kernel calls that can only come from the file being written.
bool isTargetError(int error)
{
    return error == EFBIG || error == ENOSPC || error == EDQUOT || error == EROFS || error == EPERM;
}

} // namespace

long long DescriptorCopier::step(int sourceFd, std::uint64_t& offset, int targetFd,
                                 std::uint64_t count)
{
    const std::size_t chunk = static_cast<std::size_t>(std::min(count, kMaxCallBytes));
    if (m_method == Method::copyRange) {
        loff_t position = static_cast<loff_t>(offset);
        const ssize_t n = ::copy_file_range(sourceFd, &position, targetFd, nullptr, chunk, 0);
        if (n > 0)
            offset += static_cast<std::uint64_t>(n);
        return n;
    }
    off_t position = static_cast<off_t>(offset);
    const ssize_t n = ::sendfile(targetFd, sourceFd, &position, chunk);
    if (n > 0)
        offset += static_cast<std::uint64_t>(n);
    return n;
}

DescriptorCopier::Outcome DescriptorCopier::copy(int sourceFd, std::uint64_t offset, int targetFd,
                                                 std::uint64_t size)
{
    Outcome done;
    while (done.copied < size && m_method != Method::buffer) {
        const long long n = step(sourceFd, offset, targetFd, size - done.copied);
        if (n > 0) {
            done.copied += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n == 0)
            return done;
        if (errno == EINTR)
            continue;
        const int error = errno;
        // Refusals come before any byte moves, so the next method starts where this one was.
        if (isRefused(error)) {
            m_method = m_method == Method::copyRange ? Method::sendFile : Method::buffer;
            continue;
        }
        done.error = error;
        done.side = isTargetError(error) ? Side::target : Side::source;
        return done;
    }
    if (done.copied < size)
        return copyThroughBuffer(sourceFd, offset, targetFd, size, done);
    return done;
}

DescriptorCopier::Outcome DescriptorCopier::copyThroughBuffer(int sourceFd, std::uint64_t offset,
                                                              int targetFd, std::uint64_t size,
                                                              Outcome done)
{
    if (m_buffer.empty())
        m_buffer.resize(kBufferBytes);
    while (done.copied < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - done.copied, m_buffer.size()));
        const ssize_t got = ::pread(sourceFd, m_buffer.data(), want, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            done.error = errno;
            done.side = Side::source;
            return done;
        }
        if (got == 0)
            return done;
        std::size_t written = 0;
        while (written < static_cast<std::size_t>(got)) {
            const ssize_t n = ::write(targetFd, m_buffer.data() + written,
                                      static_cast<std::size_t>(got) - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                done.error = n < 0 ? errno : EIO;
                done.side = Side::target;
                return done;
            }
            written += static_cast<std::size_t>(n);
            done.copied += static_cast<std::uint64_t>(n);
        }
        offset += static_cast<std::uint64_t>(got);
    }
    return done;
}

} // namespace archive::posix
