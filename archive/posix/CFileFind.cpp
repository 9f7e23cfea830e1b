#include "archive/CFileFind.h"

#include "archive/ArchiveError.h"
#include "archive/Paths.h"
#include "archive/posix/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

namespace {

bool hasWildcard(const std::string& text)
{
    return text.find_first_of("*?") != std::string::npos;
}

// "*.*" matches every name, dotted or not, as the pattern has always meant.
bool matches(const std::string& mask, const std::string& name)
{
    if (mask == "*" || mask == "*.*")
        return true;
    return ::fnmatch(mask.c_str(), name.c_str(), FNM_PERIOD) == 0;
}

class DirCloser {
public:
    explicit DirCloser(DIR* dir) : m_dir(dir) {}
    ~DirCloser() { ::closedir(m_dir); }
    DirCloser(const DirCloser&) = delete;
    DirCloser& operator=(const DirCloser&) = delete;

private:
    DIR* m_dir;
};

} // namespace

bool CFileFind::examine(Object& object, NativeHandle folder, const char* name)
{
    const int dirFd = folder == kNoHandle ? AT_FDCWD : posix::fd(folder);
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    object.isLink = S_ISLNK(st.st_mode);
    object.isFolder = S_ISDIR(st.st_mode);
    if (object.isLink) {
        struct stat target {};
        if (::fstatat(dirFd, name, &target, 0) == 0 && S_ISREG(target.st_mode)) {
            object.isRegular = true;
            object.length = static_cast<std::uint64_t>(target.st_size);
        }
    } else if (S_ISREG(st.st_mode)) {
        object.isRegular = true;
        object.length = static_cast<std::uint64_t>(st.st_size);
    }
    return true;
}

bool CFileFind::FindFile(const std::string& pattern)
{
    Close();
    const std::size_t slash = pattern.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    // Keep "/" for the root; otherwise drop the separator, GetFilePath puts one back.
    if (folder.size() > 1)
        folder.pop_back();
    return hasWildcard(last) ? findMatching(folder, last) : findOne(folder, last);
}

bool CFileFind::findOne(std::string folder, std::string last)
{
    // A trailing separator names the folder itself.
    if (last.empty()) {
        if (folder.empty())
            return false;
        const std::size_t up = folder.size() > 1 ? folder.find_last_of('/') : std::string::npos;
        if (folder == "/") {
            last.assign(1, '/');
            folder.clear();
        } else if (up == std::string::npos) {
            last = folder;
            folder.clear();
        } else {
            last = folder.substr(up + 1);
            folder = up == 0 ? "/" : folder.substr(0, up);
        }
    }
    Object object;
    object.name = last;
    const std::string full = last == "/" ? last : paths::join(folder, last);
    if (!examine(object, kNoHandle, full.c_str())) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        throw FileError::fromErrno(ErrorKind::cannotRead, full, errno);
    }
    m_strFolder = folder;
    m_objects.push_back(std::move(object));
    return true;
}

bool CFileFind::findMatching(const std::string& folder, const std::string& mask)
{
    const std::string open = folder.empty() ? std::string(".") : folder;
    DIR* dir = ::opendir(open.c_str());
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        throw FileError::fromErrno(ErrorKind::cannotOpen, open, errno);
    }
    DirCloser closer(dir);
    const int dirFd = ::dirfd(dir);
    std::vector<Object> objects;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                throw FileError::fromErrno(ErrorKind::cannotRead, open, errno);
            break;
        }
        const std::string name = entry->d_name;
        if (!matches(mask, name))
            continue;
        Object object;
        object.name = name;
        // Gone since the listing was read: nothing to report.
        if (examine(object, posix::handleOf(dirFd), entry->d_name))
            objects.push_back(std::move(object));
    }
    // A stable order, the dots first, whatever order the file system keeps.
    std::sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) {
        const bool aDots = a.name == "." || a.name == "..";
        const bool bDots = b.name == "." || b.name == "..";
        if (aDots != bDots)
            return aDots;
        return a.name < b.name;
    });
    if (objects.empty())
        return false;
    m_strFolder = folder;
    m_objects = std::move(objects);
    return true;
}

} // namespace archive
