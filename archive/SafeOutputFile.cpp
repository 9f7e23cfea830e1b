#include "SafeOutputFile.h"

#include "ArchiveError.h"
#include "CFolder.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

namespace {

// Temporary names must stay within NAME_MAX however long the final name is.
constexpr std::size_t kTempNameStemBytes = 200;
constexpr int kTempNameAttempts = 100;

std::string tempName(const std::string& name, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned seed = std::random_device{}();
    const unsigned tag =
        seed ^ (static_cast<unsigned>(::getpid()) << 8) ^ (++counter * 2654435761u) ^ attempt;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", tag);
    return "." + name.substr(0, kTempNameStemBytes) + ".part-" + suffix;
}

// The final name must not be a folder (rename would fail late, after all the writing) nor a
// file this program has open, above all the archive being read.
void checkTarget(int folderFd, const std::string& name, const std::string& path)
{
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return;
        throw FileError::fromErrno(path, errno);
    }
    if (S_ISDIR(st.st_mode))
        throw FileError(path, "is a folder");
    if (S_ISREG(st.st_mode) && CFile::isHeldOpen(st.st_dev, st.st_ino))
        throw FileError(path, "is open in this program and cannot be replaced");
}

} // namespace

SafeOutputFile::SafeOutputFile(const CFolder& folder, const std::string& name)
    : m_strName(name), m_strPath(folder.pathOf(name))
{
    if (!folder.isOpen())
        throw FileError(m_strPath, "the folder is not open");
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        throw FileError(m_strPath, "is not a file name");
    checkTarget(folder.handle(), name, m_strPath);
    // A descriptor of our own: the caller's CFolder may go away before Commit.
    m_nFolderFd = ::fcntl(folder.handle(), F_DUPFD_CLOEXEC, 0);
    if (m_nFolderFd < 0)
        throw FileError::fromErrno(m_strPath, errno);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const std::string temp = tempName(name, static_cast<unsigned>(attempt));
        // Mode 0666 so the umask decides, as for any file the user creates.
        const int fd = ::openat(m_nFolderFd, temp.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            const int error = errno;
            ::close(m_nFolderFd);
            m_nFolderFd = -1;
            throw FileError::fromErrno(m_strPath, error);
        }
        m_strTempName = temp;
        try {
            m_file.adopt(fd, folder.pathOf(temp), CFile::modeWrite);
        } catch (...) {
            ::unlinkat(m_nFolderFd, temp.c_str(), 0);
            ::close(m_nFolderFd);
            m_nFolderFd = -1;
            throw;
        }
        return;
    }
    ::close(m_nFolderFd);
    m_nFolderFd = -1;
    throw FileError(m_strPath, "no free temporary name in its folder");
}

SafeOutputFile::~SafeOutputFile()
{
    Discard();
}

void SafeOutputFile::Write(const void* buffer, std::size_t count)
{
    if (m_bCommitted || !m_file.isOpen())
        throw FileError(m_strPath, "the file is not open");
    try {
        m_file.Write(buffer, count);
    } catch (const FileError& e) {
        // Report the name the user chose, not the temporary one.
        throw FileError(m_strPath, e.reason());
    }
}

void SafeOutputFile::Commit()
{
    if (m_bCommitted || !m_file.isOpen())
        throw FileError(m_strPath, "the file is not open");
    try {
        m_file.closeOrThrow();
    } catch (const FileError& e) {
        Discard();
        throw FileError(m_strPath, e.reason());
    }
    try {
        // The archive may have been opened under this name since the temporary file was made.
        checkTarget(m_nFolderFd, m_strName, m_strPath);
    } catch (...) {
        Discard();
        throw;
    }
    if (::renameat(m_nFolderFd, m_strTempName.c_str(), m_nFolderFd, m_strName.c_str()) != 0) {
        const int error = errno;
        Discard();
        throw FileError::fromErrno(m_strPath, error);
    }
    m_bCommitted = true;
    ::close(m_nFolderFd);
    m_nFolderFd = -1;
}

void SafeOutputFile::Discard() noexcept
{
    m_file.Close();
    if (m_nFolderFd < 0)
        return;
    if (!m_bCommitted && !m_strTempName.empty())
        ::unlinkat(m_nFolderFd, m_strTempName.c_str(), 0);
    ::close(m_nFolderFd);
    m_nFolderFd = -1;
}

} // namespace archive
