#include "archive/files/Platform.h"

#include "archive/posix/Descriptor.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace archive {

namespace {

// Fills object from name inside dirFd without following a link; the error when it cannot be
// examined.
platform::ErrorCode examineAt(int dirFd, const char* name, FoundObject& object)
{
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return static_cast<platform::ErrorCode>(errno);
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
    return 0;
}

} // namespace

const char* platform::pathSeparators() noexcept
{
    return "/";
}

bool platform::isMissing(ErrorCode error) noexcept
{
    return error == ENOENT || error == ENOTDIR;
}

platform::ErrorCode platform::examineObject(const std::string& path, FoundObject& object)
{
    return examineAt(AT_FDCWD, path.c_str(), object);
}

platform::ErrorCode platform::listObjects(const std::string& folder,
                                          const std::function<bool(const std::string&)>& wanted,
                                          std::vector<FoundObject>& found, bool& isAtOpen)
{
    DIR* dir = ::opendir(folder.c_str());
    isAtOpen = dir == nullptr;
    if (!dir)
        return static_cast<ErrorCode>(errno);
    posix::DirCloser closer(dir);
    const int dirFd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            return static_cast<ErrorCode>(errno);
        FoundObject object;
        object.name = entry->d_name;
        // Gone since the listing was read: nothing to report.
        if (wanted(object.name) && examineAt(dirFd, entry->d_name, object) == 0)
            found.push_back(std::move(object));
    }
}

} // namespace archive
