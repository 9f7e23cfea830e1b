#include "archive/files/Platform.h"

#include "archive/posix/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

using posix::fd;

namespace {

int openFlags(platform::Access access)
{
    // O_NONBLOCK keeps a FIFO put in the file's place from blocking the open; it changes nothing
    // for the regular file the caller then insists on.
    constexpr int always = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    switch (access) {
    case platform::Access::read:
        return always | O_RDONLY;
    case platform::Access::write:
        return always | O_WRONLY;
    case platform::Access::writeOrCreate:
        break;
    }
    return always | O_WRONLY | O_CREAT;
}

platform::ErrorCode lastError() noexcept
{
    return static_cast<platform::ErrorCode>(errno);
}

} // namespace

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

FileError platform::failure(ErrorKind kind, const std::string& path, ErrorCode error)
{
    return FileError::fromErrno(kind, path, static_cast<int>(error));
}

bool platform::namesOverOpenFiles() noexcept
{
    return true;
}

NativeHandle platform::openFile(NativeHandle folder, const std::string& path,
                                const std::string& name, Access access)
{
    const int descriptor = folder == kNoHandle ? ::open(path.c_str(), openFlags(access), 0666)
                                               : ::openat(fd(folder), name.c_str(),
                                                          openFlags(access) | O_NOFOLLOW, 0666);
    if (descriptor >= 0)
        return posix::handleOf(descriptor);
    if (errno == ELOOP && folder != kNoHandle)
        throw FileError(ErrorKind::linkNotFollowed, path, "is a symbolic link, not followed");
    throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
}

NativeHandle platform::reopenFile(const std::string& path, Access access) noexcept
{
    return posix::handleOf(::open(path.c_str(), openFlags(access), 0666));
}

platform::ErrorCode platform::fileStatus(NativeHandle file, FileStatus& status) noexcept
{
    struct stat st {};
    if (::fstat(fd(file), &st) != 0)
        return lastError();
    status.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.links = static_cast<std::uint64_t>(st.st_nlink);
    status.isRegular = S_ISREG(st.st_mode);
    return 0;
}

platform::ErrorCode platform::readSome(NativeHandle file, void* buffer, std::size_t count,
                                       std::optional<std::uint64_t> offset,
                                       std::size_t& done) noexcept
{
    for (;;) {
        const ssize_t n = offset ? ::pread(fd(file), buffer, count, static_cast<off_t>(*offset))
                                 : ::read(fd(file), buffer, count);
        if (n >= 0) {
            done = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR)
            return lastError();
    }
}

platform::ErrorCode platform::writeSome(NativeHandle file, const void* buffer, std::size_t count,
                                        std::size_t& done) noexcept
{
    for (;;) {
        const ssize_t n = ::write(fd(file), buffer, count);
        if (n >= 0) {
            done = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR)
            return lastError();
    }
}

platform::ErrorCode platform::truncate(NativeHandle file, std::uint64_t length) noexcept
{
    return ::ftruncate(fd(file), static_cast<off_t>(length)) == 0 ? 0 : lastError();
}

platform::ErrorCode platform::seek(NativeHandle file, std::uint64_t offset) noexcept
{
    return ::lseek(fd(file), static_cast<off_t>(offset), SEEK_SET) < 0 ? lastError() : 0;
}

platform::ErrorCode platform::position(NativeHandle file, std::uint64_t& offset) noexcept
{
    const off_t at = ::lseek(fd(file), 0, SEEK_CUR);
    if (at < 0)
        return lastError();
    offset = static_cast<std::uint64_t>(at);
    return 0;
}

void platform::adviseSequential(NativeHandle file) noexcept
{
    ::posix_fadvise(fd(file), 0, 0, POSIX_FADV_SEQUENTIAL);
}

void platform::close(NativeHandle object) noexcept
{
    ::close(fd(object));
}

} // namespace archive
