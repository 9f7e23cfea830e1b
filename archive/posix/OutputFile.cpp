#include "archive/OutputFile.h"

#include "archive/CFile.h"
#include "archive/CFolder.h"
#include "archive/SignalCleanup.h"
#include "archive/posix/Descriptor.h"
#include "archive/posix/NameRefusal.h"
#include "archive/posix/Ownership.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

using posix::fd;

namespace {

constexpr int kTempNameAttempts = 100;

std::atomic<bool> g_bUnnamedAllowed{true};
std::atomic<bool> g_bNoReplaceNamingAllowed{true};

// An unnamed file is named through its /proc link, which needs no privilege.
bool canNameUnnamedFiles()
{
    static const bool isAvailable = ::access("/proc/self/fd", X_OK) == 0;
    return isAvailable && g_bUnnamedAllowed.load(std::memory_order_relaxed);
}

// The file systems that cannot hold unnamed files say so with one of these.
bool isUnnamedRefused(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT;
}

// The final name must not be a folder (naming would fail late, after all the writing), a file
// this program has open (above all the archive being read), nor a file the user may not write.
// Returns whether something has the name.
bool checkTarget(int folderFd, const std::string& name, const std::string& path,
                 OutputFile::Existing existing, const OutputFile::ExistingCheck* check)
{
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return false;
        if (errno == ENAMETOOLONG)
            throw posix::creationFailure(ErrorKind::cannotOpen, path, name, errno);
        throw FileError::fromErrno(ErrorKind::cannotOpen, path, errno);
    }
    if (S_ISDIR(st.st_mode))
        throw FileError(ErrorKind::inTheWay, path, "is a folder");
    if (check && S_ISREG(st.st_mode))
        (*check)({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
    if (existing == OutputFile::Existing::keep)
        throw FileError(ErrorKind::keptExisting, path, "already exists; kept as it was");
    if (S_ISREG(st.st_mode)) {
        if (existing != OutputFile::Existing::replaceOpen &&
            CFile::isHeldOpen(st.st_dev, st.st_ino))
            throw FileError(ErrorKind::alreadyOpen, path,
                            "is open in this program and cannot be replaced");
        // Naming over the file would bypass its own permission.
        if (::faccessat(folderFd, name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0 &&
            errno == EACCES)
            throw FileError::fromErrno(ErrorKind::cannotWrite, path, EACCES);
    }
    return true;
}

} // namespace

OutputFile::OutputFile(const CFolder& folder, const std::string& name, Existing existing,
                       const ExistingCheck* check)
    : m_strName(name), m_strPath(folder.pathOf(name)), m_existing(existing), m_pCheck(check)
{
    if (!folder.isOpen())
        throw FileError(ErrorKind::internal, m_strPath, "the folder is not open");
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        throw FileError(ErrorKind::unsafeName, m_strPath, "is not a file name");
    m_pFolder = &folder;
    // A name in a folder made by this program is free unless naming says otherwise.
    m_bTargetSeen =
        !folder.wasCreated() && checkTarget(fd(folderHandle()), name, m_strPath, existing, check);
    if (canNameUnnamedFiles()) {
        // Mode 0666 so the umask decides, as for any file the user creates.
        m_nHandle = posix::handleOf(
            ::openat(fd(folderHandle()), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (m_nHandle != kNoHandle) {
            m_bUnnamed = true;
            return;
        }
        if (!isUnnamedRefused(errno))
            throw FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, errno);
    }
    createNamed();
}

NativeHandle OutputFile::folderHandle() const noexcept
{
    return m_pFolder->m_nHandle;
}

void OutputFile::createNamed()
{
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::string temp = tempName(m_strName, static_cast<unsigned>(attempt));
        // Registered before it exists: a signal between the two would otherwise leave it.
        m_nSlot = SignalCleanup::add(*m_pFolder, temp.c_str());
        int error = posix::simulatedRefusal(temp);
        if (error == 0) {
            m_nHandle = posix::handleOf(
                ::openat(fd(folderHandle()), temp.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (m_nHandle != kNoHandle) {
                // Held while it is written: a later run removes it only once this lock is gone.
                ::flock(fd(m_nHandle), LOCK_EX | LOCK_NB);
                m_strTempName = std::move(temp);
                return;
            }
            error = errno;
        }
        SignalCleanup::remove(m_nSlot);
        m_nSlot = -1;
        if (error != EEXIST)
            throw posix::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
    }
    throw FileError(ErrorKind::cannotWrite, m_strPath, "no free temporary name in its folder");
}

void OutputFile::allowUnnamed(bool isAllowed) noexcept
{
    g_bUnnamedAllowed.store(isAllowed);
}

void OutputFile::allowNoReplaceNaming(bool isAllowed) noexcept
{
    g_bNoReplaceNamingAllowed.store(isAllowed);
}

// A rename replaces in one step here: no replacement leaves the name missing.
bool OutputFile::recoverReplaced(const std::string&)
{
    return false;
}

void OutputFile::refuseNamesAsFat(int errorNumber) noexcept
{
    posix::simulateFatRefusals(errorNumber);
}

OutputFile::~OutputFile()
{
    Discard();
}

FileError OutputFile::failure(int errorNumber) const
{
    return FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, errorNumber);
}

void OutputFile::Write(const void* buffer, std::size_t count)
{
    if (m_bCommitted || m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the file is not open");
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t n = ::write(fd(m_nHandle), p, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw failure(n < 0 ? errno : EIO);
        p += n;
        count -= static_cast<std::size_t>(n);
        wrote(static_cast<std::uint64_t>(n));
    }
}

void OutputFile::setPermissions(std::uint32_t mode)
{
    if (m_bCommitted || m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the file is not open");
    int error = posix::simulatedPermissionRefusal();
    if (error == 0 && ::fchmod(fd(m_nHandle), static_cast<mode_t>(mode & 07777)) != 0)
        error = errno;
    // FAT through FUSE keeps no permissions and says so: the file gets what every file there
    // gets, as any file copied there would.
    if (error != 0 && error != ENOSYS && error != EPERM)
        throw failure(error);
}

void OutputFile::copyAttributesOf(const CFile& file, std::uint32_t mode)
{
    if (m_bCommitted || m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the file is not open");
    setPermissions(posix::copyOwnership(fd(file.m_nHandle), fd(m_nHandle), mode, m_strPath));
}

void OutputFile::wrote(std::uint64_t count) noexcept
{
    // Large enough that the disk sees long runs, small enough that it never idles meanwhile.
    constexpr std::uint64_t kWriteBackBytes = 8 * 1024 * 1024;
    m_nWritten += count;
    if (!m_bDurable || m_nWritten - m_nWriteBackFrom < kWriteBackBytes)
        return;
    // Only a start, with no wait: a failure shows at Commit's fsync, which is never skipped.
    ::sync_file_range(fd(m_nHandle), static_cast<off_t>(m_nWriteBackFrom),
                      static_cast<off_t>(m_nWritten - m_nWriteBackFrom), SYNC_FILE_RANGE_WRITE);
    m_nWriteBackFrom = m_nWritten;
}

void OutputFile::closeFile()
{
    const int result = ::close(fd(m_nHandle));
    const int error = errno;
    m_nHandle = kNoHandle;
    // A deferred write error may only show at close.
    if (result != 0 && error != EINTR)
        throw failure(error);
}

void OutputFile::Commit()
{
    if (m_bCommitted || m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the file is not open");
    try {
        if (m_bDurable && ::fsync(fd(m_nHandle)) != 0)
            throw failure(errno);
        if (m_bUnnamed) {
            nameUnnamed();
        } else {
            closeFile();
            // The archive may have been opened under this name since the file was made.
            checkTarget(fd(folderHandle()), m_strName, m_strPath,
                        m_existing == Existing::replaceOpen ? m_existing : Existing::replace,
                        m_pCheck);
            renameIntoPlace();
        }
    } catch (...) {
        Discard();
        throw;
    }
    m_bCommitted = true;
    if (m_nHandle != kNoHandle) {
        ::close(fd(m_nHandle));
        m_nHandle = kNoHandle;
    }
    const int folder = fd(folderHandle());
    m_pFolder = nullptr;
    if (m_bDurable && ::fsync(folder) != 0)
        throw failure(errno);
}

namespace {

std::atomic<bool> g_bLinkByDescriptor{true};

// Names the unnamed file fd as name in folderFd. Linking by descriptor is the cheaper call but
// needs a privilege; without it the /proc link is used from then on.
int linkUnnamed(int fd, int folderFd, const char* name)
{
    if (const int error = posix::simulatedRefusal(name)) {
        errno = error;
        return -1;
    }
    if (g_bLinkByDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", folderFd, name, AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return -1;
        g_bLinkByDescriptor.store(false, std::memory_order_relaxed);
    }
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, link, folderFd, name, AT_SYMLINK_FOLLOW);
}

} // namespace

void OutputFile::nameUnnamed()
{
    // Nothing had the name when the file was made: it is named in one step, without ever
    // replacing something that came meanwhile.
    if (!m_bTargetSeen) {
        if (linkUnnamed(fd(m_nHandle), fd(folderHandle()), m_strName.c_str()) == 0)
            return;
        if (errno != EEXIST)
            throw posix::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, errno);
    }
    checkTarget(fd(folderHandle()), m_strName, m_strPath, m_existing, m_pCheck);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::string temp = tempName(m_strName, static_cast<unsigned>(attempt));
        m_nSlot = SignalCleanup::add(*m_pFolder, temp.c_str());
        if (linkUnnamed(fd(m_nHandle), fd(folderHandle()), temp.c_str()) == 0) {
            m_strTempName = std::move(temp);
            renameIntoPlace();
            return;
        }
        const int error = errno;
        SignalCleanup::remove(m_nSlot);
        m_nSlot = -1;
        if (error != EEXIST)
            throw posix::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
    }
    throw FileError(ErrorKind::cannotWrite, m_strPath, "no free temporary name in its folder");
}

void OutputFile::renameIntoPlace()
{
    const char* temp = m_strTempName.c_str();
    const int folder = fd(folderHandle());
    if (const int refused = posix::simulatedRefusal(m_strName))
        throw posix::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, refused);
    if (m_existing == Existing::keep) {
        // Whatever came to the name meanwhile is kept too.
        int error = EPERM;
        if (g_bNoReplaceNamingAllowed.load(std::memory_order_relaxed)) {
            error = ::renameat2(folder, temp, folder, m_strName.c_str(), RENAME_NOREPLACE) == 0
                        ? 0
                        : errno;
            if (error == EINVAL) {
                error = ::linkat(folder, temp, folder, m_strName.c_str(), 0) == 0 ? 0 : errno;
                if (error == 0)
                    ::unlinkat(folder, temp, 0);
            }
        }
        // Some file systems (FAT through FUSE) have neither.
        if (error == EPERM || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
            nameOverPlaceholder();
            error = 0;
        }
        if (error == EEXIST)
            throw FileError(ErrorKind::keptExisting, m_strPath, "already exists; kept as it was");
        if (error != 0)
            throw posix::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
    } else if (::renameat(folder, temp, folder, m_strName.c_str()) != 0) {
        throw posix::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, errno);
    }
    SignalCleanup::remove(m_nSlot);
    m_nSlot = -1;
    m_strTempName.clear();
}

void OutputFile::nameOverPlaceholder()
{
    const int folder = fd(folderHandle());
    const int placeholder = ::openat(folder, m_strName.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (placeholder < 0) {
        if (errno == EEXIST)
            throw FileError(ErrorKind::keptExisting, m_strPath, "already exists; kept as it was");
        throw posix::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, errno);
    }
    ::close(placeholder);
    // Between the two calls only an empty file has the name, which no reader takes for an
    // archive; a signal then removes it.
    const int slot = SignalCleanup::add(*m_pFolder, m_strName.c_str());
    const int error =
        ::renameat(folder, m_strTempName.c_str(), folder, m_strName.c_str()) == 0 ? 0 : errno;
    if (error != 0)
        ::unlinkat(folder, m_strName.c_str(), 0);
    SignalCleanup::remove(slot);
    if (error != 0)
        throw posix::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
}

void OutputFile::removeIfUnused(const CFolder& folder, const std::string& name) noexcept
{
    const int file = ::openat(fd(folder.m_nHandle), name.c_str(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return;
    // The writer's lock goes with its process, wherever that ran.
    if (::flock(file, LOCK_EX | LOCK_NB) == 0)
        ::unlinkat(fd(folder.m_nHandle), name.c_str(), 0);
    ::close(file);
}

void OutputFile::Discard() noexcept
{
    if (m_nHandle != kNoHandle) {
        ::close(fd(m_nHandle));
        m_nHandle = kNoHandle;
    }
    if (!m_bCommitted && !m_strTempName.empty() && m_pFolder)
        ::unlinkat(fd(folderHandle()), m_strTempName.c_str(), 0);
    m_strTempName.clear();
    SignalCleanup::remove(m_nSlot);
    m_nSlot = -1;
    m_pFolder = nullptr;
}

} // namespace archive
