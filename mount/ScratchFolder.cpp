#include "mount/ScratchFolder.h"

#include "archive/ArchiveError.h"
#include "archive/format/Paths.h"

#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mount {

namespace {

std::string journalPath(const std::string& folder)
{
    return archive::paths::join(folder, "journal");
}

// The number a scratch file is named by, or 0 for any other name.
std::uint32_t numberOf(const char* name)
{
    std::uint32_t number = 0;
    const std::string_view text(name);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() ? number : 0;
}

template <typename Visit> void forEachFile(const std::string& folder, Visit visit)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* item = ::readdir(dir))
        visit(item->d_name);
    ::closedir(dir);
}

void writeWhole(int descriptor, const std::string& bytes, const std::string& path)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw archive::FileError::fromErrno(archive::ErrorKind::cannotWrite, path, errno);
        done += static_cast<std::size_t>(n);
    }
}

std::string encoded(const ScratchFolder::Record& record)
{
    std::string text(1, record.op);
    for (const std::string& field : record.fields)
        text += ' ' + std::to_string(field.size()) + ':' + field;
    return text + '\n';
}

// One record at text[at...], advancing at; false when it is cut short or malformed.
bool decoded(std::string_view text, std::size_t& at, ScratchFolder::Record& record)
{
    if (at >= text.size())
        return false;
    record = {text[at++], {}};
    while (at < text.size() && text[at] == ' ') {
        std::size_t length = 0;
        const auto [end, error] =
            std::from_chars(text.data() + at + 1, text.data() + text.size(), length);
        if (error != std::errc() || end == text.data() + text.size() || *end != ':')
            return false;
        const std::size_t start = static_cast<std::size_t>(end - text.data()) + 1;
        if (length > text.size() - start)
            return false;
        record.fields.emplace_back(text.substr(start, length));
        at = start + length;
    }
    return at < text.size() && text[at++] == '\n';
}

} // namespace

ScratchFolder::ScratchFolder(const std::string& archivePath)
{
    const auto [folder, name] = archive::paths::split(archivePath);
    m_strPath = archive::paths::join(folder, "." + name + ".velmora-mount");
    forEachFile(m_strPath,
                [&](const char* file) { m_nNextFile = std::max(m_nNextFile, numberOf(file) + 1); });
}

ScratchFolder::~ScratchFolder()
{
    if (m_nJournal >= 0)
        ::close(m_nJournal);
}

std::vector<ScratchFolder::Record> ScratchFolder::records() const
{
    std::string text;
    const int descriptor = ::open(journalPath(m_strPath).c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return {};
    char buffer[65536];
    for (ssize_t n; (n = ::read(descriptor, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(descriptor);
    std::vector<Record> records;
    Record record;
    for (std::size_t at = 0; decoded(text, at, record);)
        records.push_back(record);
    return records;
}

void ScratchFolder::ensureFolder()
{
    if (::mkdir(m_strPath.c_str(), 0700) != 0 && errno != EEXIST)
        throw archive::FileError::fromErrno(archive::ErrorKind::cannotCreateFolder, m_strPath,
                                            errno);
}

void ScratchFolder::reset(const archive::filesystem::FileStamp& base)
{
    ensureFolder();
    const std::string fresh = journalPath(m_strPath) + ".new";
    const int descriptor = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0)
        throw archive::FileError::fromErrno(archive::ErrorKind::cannotWrite, fresh, errno);
    try {
        writeWhole(descriptor, encoded({'B', {stampText(base)}}), fresh);
    } catch (...) {
        ::close(descriptor);
        throw;
    }
    ::close(descriptor);
    // The new journal takes the old one's place in one step: a kill leaves one or the other.
    if (::rename(fresh.c_str(), journalPath(m_strPath).c_str()) != 0)
        throw archive::FileError::fromErrno(archive::ErrorKind::cannotWrite, fresh, errno);
    forEachFile(m_strPath, [&](const char* file) {
        if (numberOf(file) != 0)
            ::unlink(archive::paths::join(m_strPath, file).c_str());
    });
    if (m_nJournal >= 0)
        ::close(m_nJournal);
    m_nJournal = ::open(journalPath(m_strPath).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (m_nJournal < 0)
        throw archive::FileError::fromErrno(archive::ErrorKind::cannotWrite, journalPath(m_strPath),
                                            errno);
}

void ScratchFolder::append(const Record& record)
{
    if (m_nJournal < 0) {
        m_nJournal = ::open(journalPath(m_strPath).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (m_nJournal < 0)
            throw archive::FileError::fromErrno(archive::ErrorKind::cannotWrite,
                                                journalPath(m_strPath), errno);
    }
    writeWhole(m_nJournal, encoded(record), journalPath(m_strPath));
}

void ScratchFolder::removeAll()
{
    if (m_nJournal >= 0)
        ::close(m_nJournal);
    m_nJournal = -1;
    forEachFile(m_strPath, [&](const char* file) {
        if (std::string_view(file) != "." && std::string_view(file) != "..")
            ::unlink(archive::paths::join(m_strPath, file).c_str());
    });
    ::rmdir(m_strPath.c_str());
}

std::uint32_t ScratchFolder::newFile()
{
    ensureFolder();
    const std::uint32_t number = m_nNextFile++;
    const std::string path = filePath(number);
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0)
        throw archive::FileError::fromErrno(archive::ErrorKind::cannotWrite, path, errno);
    ::close(descriptor);
    return number;
}

std::string ScratchFolder::filePath(std::uint32_t number) const
{
    return archive::paths::join(m_strPath, std::to_string(number));
}

int ScratchFolder::open(std::uint32_t number, bool isWritable) const
{
    const int descriptor =
        ::open(filePath(number).c_str(), (isWritable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    return descriptor < 0 ? -errno : descriptor;
}

void ScratchFolder::close(int descriptor) noexcept
{
    ::close(descriptor);
}

long long ScratchFolder::readAt(int descriptor, void* buffer, std::size_t count,
                                std::uint64_t offset)
{
    const ssize_t n = ::pread(descriptor, buffer, count, static_cast<off_t>(offset));
    return n < 0 ? -errno : n;
}

long long ScratchFolder::writeAt(int descriptor, const void* buffer, std::size_t count,
                                 std::uint64_t offset)
{
    const ssize_t n = ::pwrite(descriptor, buffer, count, static_cast<off_t>(offset));
    return n < 0 ? -errno : n;
}

int ScratchFolder::resize(int descriptor, std::uint64_t size)
{
    return ::ftruncate(descriptor, static_cast<off_t>(size)) != 0 ? -errno : 0;
}

bool ScratchFolder::examine(const std::string& path, std::uint64_t& size, std::int64_t& seconds,
                            std::int64_t& nanoseconds)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return false;
    size = static_cast<std::uint64_t>(status.st_size);
    seconds = status.st_mtim.tv_sec;
    nanoseconds = status.st_mtim.tv_nsec;
    return true;
}

std::string ScratchFolder::stampText(const archive::filesystem::FileStamp& stamp)
{
    return std::to_string(stamp.id.device) + '/' + std::to_string(stamp.id.inode) + '/' +
           std::to_string(stamp.size) + '/' + std::to_string(stamp.modified);
}

} // namespace mount
