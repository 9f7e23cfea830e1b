#include "archive/FileLock.h"

#include "archive/ArchiveError.h"
#include "archive/win32/Win32.h"

namespace archive {

using win32::handle;

namespace {

// Windows locks keep others from reading the bytes they cover: one byte far past any end of
// file is locked, so the lock holds up only other changes.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFu;

OVERLAPPED lockPlace()
{
    OVERLAPPED place{};
    place.Offset = kLockOffsetLow;
    place.OffsetHigh = kLockOffsetHigh;
    return place;
}

} // namespace

void FileLock::open(const std::string& path)
{
    // Sharing everything: readers and the rename of a new archive over this one go on.
    const HANDLE file = win32::openObject(path, GENERIC_READ, win32::kShareAll, OPEN_EXISTING, 0);
    if (file == INVALID_HANDLE_VALUE)
        throw win32::failure(ErrorKind::cannotOpen, path, ::GetLastError());
    win32::ObjectInfo info;
    if (!win32::infoOf(file, info) || (info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(file);
        throw FileError(ErrorKind::notAFile, path, "is not a regular file");
    }
    m_nHandle = win32::handleOf(file);
    m_id = {info.volume, info.index};
}

FileLock::Attempt FileLock::tryLock() noexcept
{
    OVERLAPPED place = lockPlace();
    if (::LockFileEx(handle(m_nHandle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                     0, &place))
        return Attempt::locked;
    const DWORD error = ::GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? Attempt::busy
                                                                      : Attempt::unsupported;
}

void FileLock::close() noexcept
{
    if (m_nHandle == kNoHandle)
        return;
    OVERLAPPED place = lockPlace();
    ::UnlockFileEx(handle(m_nHandle), 0, 1, 0, &place);
    ::CloseHandle(handle(m_nHandle));
    m_nHandle = kNoHandle;
}

} // namespace archive
