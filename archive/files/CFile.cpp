#include "archive/files/CFile.h"

#include "archive/ArchiveError.h"
#include "archive/files/CFolder.h"
#include "archive/files/Platform.h"
#include "archive/format/Paths.h"

#include <cerrno>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

namespace archive {

namespace {

// Files held open by any CFile of this process, by device and inode, so a second spelling of a
// path or a hard link cannot slip past the check; and which CFile holds each, for whileReleased.
// Recursive: wording a refused open asks whether the file is held, also while it is let go.
// A file shared by readings (modeShareRead) counts them; file is then one of them, or none once
// that one closed, and whileReleased lets none go.
struct Hold {
    CFile* file = nullptr;
    int sharers = 0; // 0: held by file alone
};

struct Registry {
    std::recursive_mutex mutex;
    std::map<std::pair<std::uint64_t, std::uint64_t>, Hold> held;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

bool tryRegister(std::uint64_t device, std::uint64_t inode, CFile* file, bool isShared)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto [it, isNew] = r.held.try_emplace({device, inode}, Hold{file, isShared ? 1 : 0});
    if (isNew)
        return true;
    if (!isShared || it->second.sharers == 0)
        return false;
    ++it->second.sharers;
    return true;
}

// The file moved from one CFile to another.
void rebind(std::uint64_t device, std::uint64_t inode, const CFile* from, CFile* to)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (const auto it = r.held.find({device, inode}); it != r.held.end() && it->second.file == from)
        it->second.file = to;
}

void unregister(std::uint64_t device, std::uint64_t inode, const CFile* file)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.held.find({device, inode});
    if (it == r.held.end())
        return;
    if (it->second.sharers > 1) {
        --it->second.sharers;
        if (it->second.file == file)
            it->second.file = nullptr;
        return;
    }
    r.held.erase(it);
}

bool isWriteMode(unsigned flags)
{
    return (flags & CFile::modeWrite) != 0;
}

platform::Access accessOf(unsigned flags)
{
    if (!isWriteMode(flags))
        return platform::Access::read;
    return (flags & CFile::modeCreate) ? platform::Access::writeOrCreate : platform::Access::write;
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
        rebind(m_nDevice, m_nInode, &other, this);
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
            rebind(m_nDevice, m_nInode, &other, this);
    }
    return *this;
}

void CFile::Open(const std::string& path, unsigned flags)
{
    Close();
    adopt(platform::openFile(kNoHandle, path, path, accessOf(flags)), path, flags);
}

void CFile::Open(const CFolder& folder, const std::string& name, unsigned flags)
{
    Close();
    const std::string path = folder.pathOf(name);
    if (!folder.isOpen())
        throw FileError(ErrorKind::internal, path, "the folder is not open");
    adopt(platform::openFile(folder.m_nHandle, path, name, accessOf(flags)), path, flags);
}

void CFile::adopt(NativeHandle handle, const std::string& path, unsigned flags)
{
    platform::FileStatus status;
    if (const platform::ErrorCode error = platform::fileStatus(handle, status)) {
        platform::close(handle);
        throw platform::failure(ErrorKind::cannotOpen, path, error);
    }
    if (!status.isRegular) {
        platform::close(handle);
        throw FileError(ErrorKind::notAFile, path, "is not a regular file");
    }
    const bool isShared = (flags & modeShareRead) && !isWriteMode(flags);
    if (!tryRegister(status.id.device, status.id.inode, this, isShared)) {
        platform::close(handle);
        throw FileError(ErrorKind::alreadyOpen, path, "is already open in this program");
    }
    // Truncated only now: truncating at the open would have emptied a file this program reads.
    if ((flags & modeCreate) && isWriteMode(flags)) {
        if (const platform::ErrorCode error = platform::truncate(handle, 0)) {
            unregister(status.id.device, status.id.inode, this);
            platform::close(handle);
            throw platform::failure(ErrorKind::cannotWrite, path, error);
        }
    }
    m_nHandle = handle;
    m_strPath = path;
    m_nDevice = status.id.device;
    m_nInode = status.id.inode;
    m_nFlags = flags;
    m_nLengthAtOpen = (flags & modeCreate) ? 0 : status.size;
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
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        throw FileError::fromErrno(ErrorKind::cannotRead, m_strPath, EINVAL);
    if (const platform::ErrorCode error = platform::seek(m_nHandle, offset))
        throw platform::failure(ErrorKind::cannotRead, m_strPath, error);
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
        std::size_t n = 0;
        const std::optional<std::uint64_t> at =
            offset ? std::optional<std::uint64_t>(*offset + done) : std::nullopt;
        if (const platform::ErrorCode error =
                platform::readSome(m_nHandle, p + done, count - done, at, n))
            throw platform::failure(ErrorKind::cannotRead, m_strPath, error);
        if (n == 0)
            break;
        done += n;
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
        std::size_t n = 0;
        if (const platform::ErrorCode error =
                platform::writeSome(m_nHandle, p + done, count - done, n))
            throw platform::failure(ErrorKind::cannotWrite, m_strPath, error);
        if (n == 0)
            throw FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, EIO);
        done += n;
    }
}

std::uint64_t CFile::GetLength() const
{
    requireOpen();
    platform::FileStatus status;
    if (const platform::ErrorCode error = platform::fileStatus(m_nHandle, status))
        throw platform::failure(ErrorKind::cannotRead, m_strPath, error);
    return status.size;
}

std::uint64_t CFile::linkCount() const
{
    requireOpen();
    platform::FileStatus status;
    if (const platform::ErrorCode error = platform::fileStatus(m_nHandle, status))
        throw platform::failure(ErrorKind::cannotRead, m_strPath, error);
    return status.links;
}

void CFile::expectSequentialReads() const noexcept
{
    if (m_nHandle != kNoHandle)
        platform::adviseSequential(m_nHandle);
}

std::string CFile::GetFileName() const
{
    return paths::fileName(m_strPath);
}

void CFile::Close() noexcept
{
    if (m_nHandle == kNoHandle)
        return;
    unregister(m_nDevice, m_nInode, this);
    platform::close(m_nHandle);
    m_nHandle = kNoHandle;
}

void CFile::whileReleased(std::uint64_t device, std::uint64_t inode, const std::string& path,
                          const std::function<void()>& replace)
{
    if (platform::namesOverOpenFiles()) {
        replace();
        return;
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.held.find({device, inode});
    if (it == r.held.end() || !it->second.file) {
        replace();
        return;
    }
    CFile& file = *it->second.file;
    std::uint64_t position = 0;
    platform::position(file.m_nHandle, position);
    platform::close(file.m_nHandle);
    // Taken up again whatever replace did: by then path is the file's only name that is sure.
    const auto reopen = [&] {
        file.m_nHandle =
            platform::reopenFile(path, accessOf(file.m_nFlags & ~unsigned{modeCreate}));
        if (file.m_nHandle == kNoHandle)
            unregister(device, inode, &file); // reads now fail as on a closed file
        else
            platform::seek(file.m_nHandle, position);
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
