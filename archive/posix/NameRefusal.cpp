#include "archive/posix/NameRefusal.h"

#include "archive/files/Platform.h"
#include "archive/files/SystemError.h"

#include <cerrno>

namespace archive::posix {

bool isFatRefusedName(std::string_view name)
{
    if (!name.empty() && (name.back() == '.' || name.back() == ' '))
        return true;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos)
            return true;
    }
    return false;
}

int simulatedRefusal(std::string_view name) noexcept
{
    const int error = platform::seamFatRefusal();
    return error != 0 && isFatRefusedName(name) ? error : 0;
}

FileError creationFailure(ErrorKind kind, const std::string& path, std::string_view name, int error)
{
    const bool isRefused = error == EINVAL || error == EILSEQ || error == ENAMETOOLONG ||
                           (error == EPERM && isFatRefusedName(name));
    if (!isRefused)
        return FileError::fromErrno(kind, path, error);
    return FileError(ErrorKind::nameRefusedByFileSystem, path,
                     "the file system cannot hold this name (" + systemErrorText(error) + ")",
                     error);
}

} // namespace archive::posix
