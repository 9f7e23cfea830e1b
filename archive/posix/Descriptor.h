#pragma once

#include "archive/files/NativeHandle.h"

#include <string>

#include <dirent.h>
#include <sys/stat.h>

namespace archive::posix {

// A handle is a descriptor here.
inline int fd(NativeHandle handle) noexcept
{
    return static_cast<int>(handle);
}

inline NativeHandle handleOf(int descriptor) noexcept
{
    return descriptor < 0 ? kNoHandle : static_cast<NativeHandle>(descriptor);
}

// Closes a folder listing however the walk through it ends.
class DirCloser {
public:
    explicit DirCloser(DIR* dir) : m_pDir(dir) {}
    ~DirCloser() { ::closedir(m_pDir); }
    DirCloser(const DirCloser&) = delete;
    DirCloser& operator=(const DirCloser&) = delete;

private:
    DIR* m_pDir;
};

// The status of the regular file open as descriptor. Otherwise closes it and throws FileError:
// cannotOpen with the system's reason, or notAFile.
struct stat regularFileStatus(int descriptor, const std::string& path);

} // namespace archive::posix
