#include "archive/files/Platform.h"

#include "archive/files/CFile.h"
#include "archive/win32/Win32.h"

#include <algorithm>

namespace archive {

using win32::handle;

namespace {

// Other programs may read along, but none may write the file while it is open: the Windows form
// of the promise that no command changes the archive another one reads. A file read may be
// renamed over, as on POSIX: an archive is replaced by its update while its reader holds it.
HANDLE openFor(const std::string& path, platform::Access access, DWORD extraFlags)
{
    const bool isWrite = access != platform::Access::read;
    const DWORD disposition =
        access == platform::Access::writeOrCreate ? OPEN_ALWAYS : OPEN_EXISTING;
    const DWORD share = isWrite ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_DELETE;
    return win32::openObject(path, isWrite ? GENERIC_WRITE : GENERIC_READ, share, disposition,
                             extraFlags);
}

// Opening a folder for data is refused as access denied, and a file this program holds as a
// sharing violation: each said as what it is.
[[noreturn]] void throwOpenFailure(const std::string& path, DWORD error)
{
    if (error == ERROR_SHARING_VIOLATION) {
        const HANDLE object = win32::openObject(path, 0, win32::kShareAll, OPEN_EXISTING, 0);
        win32::ObjectInfo info;
        const bool isHeld = object != INVALID_HANDLE_VALUE && win32::infoOf(object, info) &&
                            CFile::isHeldOpen(info.volume, info.index);
        if (object != INVALID_HANDLE_VALUE)
            ::CloseHandle(object);
        if (isHeld)
            throw FileError(ErrorKind::alreadyOpen, path, "is already open in this program");
    }
    const DWORD attributes = ::GetFileAttributesW(win32::wide(path).c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(ErrorKind::notAFile, path, "is not a regular file");
    throw win32::failure(ErrorKind::cannotOpen, path, error);
}

} // namespace

FileError platform::failure(ErrorKind kind, const std::string& path, ErrorCode error)
{
    return win32::failure(kind, path, error);
}

bool platform::namesOverOpenFiles() noexcept
{
    return false;
}

// Windows opens by path alone; inside a held folder the path is the folder's and the name's, and
// a link there is seen on the handle and refused.
NativeHandle platform::openFile(NativeHandle folder, const std::string& path, const std::string&,
                                Access access)
{
    const bool isInside = folder != kNoHandle;
    const HANDLE file = openFor(path, access, isInside ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    if (file == INVALID_HANDLE_VALUE)
        throwOpenFailure(path, ::GetLastError());
    win32::ObjectInfo info;
    if (isInside && win32::infoOf(file, info) && (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ::CloseHandle(file);
        throw FileError(ErrorKind::linkNotFollowed, path, "is a symbolic link, not followed");
    }
    return win32::handleOf(file);
}

NativeHandle platform::reopenFile(const std::string& path, Access access) noexcept
{
    return win32::handleOf(openFor(path, access, 0));
}

platform::ErrorCode platform::fileStatus(NativeHandle file, FileStatus& status) noexcept
{
    BY_HANDLE_FILE_INFORMATION data{};
    if (!::GetFileInformationByHandle(handle(file), &data))
        return ::GetLastError();
    status.id = {data.dwVolumeSerialNumber,
                 (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow};
    status.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.links = data.nNumberOfLinks;
    status.isRegular = !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       ::GetFileType(handle(file)) == FILE_TYPE_DISK;
    return 0;
}

platform::ErrorCode platform::readSome(NativeHandle file, void* buffer, std::size_t count,
                                       std::optional<std::uint64_t> offset,
                                       std::size_t& done) noexcept
{
    // A read at an offset moves the file position on Windows: it is put back afterwards.
    LARGE_INTEGER position{};
    if (offset && !::SetFilePointerEx(handle(file), LARGE_INTEGER{}, &position, FILE_CURRENT))
        return ::GetLastError();
    OVERLAPPED at{};
    if (offset) {
        at.Offset = static_cast<DWORD>(*offset);
        at.OffsetHigh = static_cast<DWORD>(*offset >> 32);
    }
    DWORD n = 0;
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD error = 0;
    if (!::ReadFile(handle(file), buffer, ask, &n, offset ? &at : nullptr)) {
        error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF)
            error = 0;
        n = 0;
    }
    if (offset)
        ::SetFilePointerEx(handle(file), position, nullptr, FILE_BEGIN);
    done = n;
    return error;
}

platform::ErrorCode platform::writeSome(NativeHandle file, const void* buffer, std::size_t count,
                                        std::size_t& done) noexcept
{
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(handle(file), buffer, ask, &n, nullptr))
        return ::GetLastError();
    done = n;
    return 0;
}

platform::ErrorCode platform::truncate(NativeHandle file, std::uint64_t length) noexcept
{
    if (const ErrorCode error = seek(file, length))
        return error;
    return ::SetEndOfFile(handle(file)) ? 0 : ::GetLastError();
}

platform::ErrorCode platform::seek(NativeHandle file, std::uint64_t offset) noexcept
{
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(handle(file), distance, nullptr, FILE_BEGIN) ? 0 : ::GetLastError();
}

platform::ErrorCode platform::position(NativeHandle file, std::uint64_t& offset) noexcept
{
    LARGE_INTEGER at{};
    if (!::SetFilePointerEx(handle(file), LARGE_INTEGER{}, &at, FILE_CURRENT))
        return ::GetLastError();
    offset = static_cast<std::uint64_t>(at.QuadPart);
    return 0;
}

void platform::adviseSequential(NativeHandle) noexcept
{
    // The cache manager reads ahead on its own once it sees sequential reads.
}

void platform::close(NativeHandle object) noexcept
{
    ::CloseHandle(handle(object));
}

} // namespace archive
