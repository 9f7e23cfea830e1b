#include "archive/CFile.h"

#include "archive/ArchiveError.h"
#include "archive/CFolder.h"
#include "archive/Paths.h"
#include "archive/win32/Win32.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

namespace archive {

using win32::handle;

namespace {

// Files held open by any CFile of this process, by volume and file index, so a second spelling
// of a path or a hard link cannot slip past the check; and which CFile holds each.
struct Registry {
    std::mutex mutex;
    std::map<std::pair<std::uint64_t, std::uint64_t>, CFile*> held;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

bool tryRegister(std::uint64_t volume, std::uint64_t index, CFile* file)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.held.emplace(std::pair{volume, index}, file).second;
}

// The file moved to another CFile.
void rebind(std::uint64_t volume, std::uint64_t index, CFile* file)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (const auto it = r.held.find({volume, index}); it != r.held.end())
        it->second = file;
}

void unregister(std::uint64_t volume, std::uint64_t index)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.held.erase({volume, index});
}

bool isWriteMode(unsigned flags)
{
    return (flags & CFile::modeWrite) != 0;
}

// Other programs may read along, but none may write the file while it is open: the Windows form
// of the promise that no command changes the archive another one reads. A file read may be
// renamed over, as on POSIX: an archive is replaced by its update while its reader holds it.
HANDLE openFile(const std::string& path, unsigned flags, DWORD extraFlags)
{
    const DWORD access = isWriteMode(flags) ? GENERIC_WRITE : GENERIC_READ;
    const DWORD disposition =
        isWriteMode(flags) && (flags & CFile::modeCreate) ? OPEN_ALWAYS : OPEN_EXISTING;
    const DWORD share = isWriteMode(flags) ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_DELETE;
    return win32::openObject(path, access, share, disposition, extraFlags);
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

CFile::~CFile()
{
    Close();
}

CFile::CFile(CFile&& other) noexcept
    : m_nHandle(std::exchange(other.m_nHandle, kNoHandle)), m_strPath(std::move(other.m_strPath)),
      m_nDevice(other.m_nDevice), m_nInode(other.m_nInode), m_nFlags(other.m_nFlags),
      m_nLengthAtOpen(other.m_nLengthAtOpen)
{
    if (m_nHandle != kNoHandle)
        rebind(m_nDevice, m_nInode, this);
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
        if (m_nHandle != kNoHandle)
            rebind(m_nDevice, m_nInode, this);
    }
    return *this;
}

void CFile::Open(const std::string& path, unsigned flags)
{
    Close();
    const HANDLE file = openFile(path, flags, 0);
    if (file == INVALID_HANDLE_VALUE)
        throwOpenFailure(path, ::GetLastError());
    adopt(win32::handleOf(file), path, flags);
}

void CFile::Open(const CFolder& folder, const std::string& name, unsigned flags)
{
    Close();
    const std::string path = folder.pathOf(name);
    if (!folder.isOpen())
        throw FileError(ErrorKind::internal, path, "the folder is not open");
    const HANDLE file = openFile(path, flags, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE)
        throwOpenFailure(path, ::GetLastError());
    win32::ObjectInfo info;
    if (win32::infoOf(file, info) && (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ::CloseHandle(file);
        throw FileError(ErrorKind::linkNotFollowed, path, "is a symbolic link, not followed");
    }
    adopt(win32::handleOf(file), path, flags);
}

void CFile::adopt(NativeHandle nativeHandle, const std::string& path, unsigned flags)
{
    const HANDLE file = handle(nativeHandle);
    win32::ObjectInfo info;
    if (!win32::infoOf(file, info)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        throw win32::failure(ErrorKind::cannotOpen, path, error);
    }
    if ((info.attributes & FILE_ATTRIBUTE_DIRECTORY) || ::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        throw FileError(ErrorKind::notAFile, path, "is not a regular file");
    }
    if (!tryRegister(info.volume, info.index, this)) {
        ::CloseHandle(file);
        throw FileError(ErrorKind::alreadyOpen, path, "is already open in this program");
    }
    // Truncated only now: truncating at the open would have emptied a file this program reads.
    if ((flags & modeCreate) && isWriteMode(flags) && !::SetEndOfFile(file)) {
        const DWORD error = ::GetLastError();
        unregister(info.volume, info.index);
        ::CloseHandle(file);
        throw win32::failure(ErrorKind::cannotWrite, path, error);
    }
    m_nHandle = nativeHandle;
    m_strPath = path;
    m_nDevice = info.volume;
    m_nInode = info.index;
    m_nFlags = flags;
    m_nLengthAtOpen = (flags & modeCreate) ? 0 : info.length;
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
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (offset > static_cast<std::uint64_t>(INT64_MAX))
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, EINVAL);
    if (!::SetFilePointerEx(handle(m_nHandle), distance, nullptr, FILE_BEGIN))
        throw win32::failure(ErrorKind::cannotRead, m_strPath, ::GetLastError());
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
    // A read at an offset moves the file position on Windows: it is put back afterwards.
    LARGE_INTEGER position{};
    const LARGE_INTEGER none{};
    if (offset && !::SetFilePointerEx(handle(m_nHandle), none, &position, FILE_CURRENT))
        throw win32::failure(ErrorKind::cannotRead, m_strPath, ::GetLastError());
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD n = 0;
        OVERLAPPED at{};
        if (offset) {
            const std::uint64_t where = *offset + done;
            at.Offset = static_cast<DWORD>(where);
            at.OffsetHigh = static_cast<DWORD>(where >> 32);
        }
        if (!::ReadFile(handle(m_nHandle), p + done, ask, &n, offset ? &at : nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF)
                break;
            throw win32::failure(ErrorKind::cannotRead, m_strPath, error);
        }
        if (n == 0)
            break;
        done += n;
    }
    if (offset)
        ::SetFilePointerEx(handle(m_nHandle), position, nullptr, FILE_BEGIN);
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
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD n = 0;
        if (!::WriteFile(handle(m_nHandle), p + done, ask, &n, nullptr))
            throw win32::failure(ErrorKind::cannotWrite, m_strPath, ::GetLastError());
        if (n == 0)
            throw FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, EIO);
        done += n;
    }
}

std::uint64_t CFile::GetLength() const
{
    requireOpen();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle(m_nHandle), &size))
        throw win32::failure(ErrorKind::cannotRead, m_strPath, ::GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::uint64_t CFile::linkCount() const
{
    requireOpen();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle(m_nHandle), &info))
        throw win32::failure(ErrorKind::cannotRead, m_strPath, ::GetLastError());
    return info.nNumberOfLinks;
}

void CFile::expectSequentialReads() const noexcept
{
    // The cache manager reads ahead on its own once it sees sequential reads.
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
    ::CloseHandle(handle(m_nHandle));
    m_nHandle = kNoHandle;
}

void CFile::whileReleased(std::uint64_t device, std::uint64_t inode, const std::string& path,
                          const std::function<void()>& replace)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.held.find({device, inode});
    if (it == r.held.end()) {
        replace();
        return;
    }
    CFile& file = *it->second;
    LARGE_INTEGER position{};
    ::SetFilePointerEx(handle(file.m_nHandle), LARGE_INTEGER{}, &position, FILE_CURRENT);
    ::CloseHandle(handle(file.m_nHandle));
    // Taken up again whatever replace did: by then path is the file's only name that is sure.
    const auto reopen = [&] {
        const HANDLE reopened = openFile(path, file.m_nFlags & ~unsigned{modeCreate}, 0);
        file.m_nHandle = win32::handleOf(reopened);
        if (reopened == INVALID_HANDLE_VALUE)
            r.held.erase(it); // reads now fail as on a closed file
        else
            ::SetFilePointerEx(reopened, position, nullptr, FILE_BEGIN);
    };
    try {
        replace();
    } catch (...) {
        reopen();
        throw;
    }
    reopen();
}

bool CFile::isHeldOpen(std::uint64_t device, std::uint64_t inode)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.held.count({device, inode}) != 0;
}

} // namespace archive
