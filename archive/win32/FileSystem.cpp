#include "archive/files/FileSystem.h"

#include "archive/ArchiveError.h"
#include "archive/win32/Win32.h"

namespace archive::filesystem {

std::optional<FileStamp> stamp(const std::string& path)
{
    const HANDLE object =
        win32::openObject(path, FILE_READ_ATTRIBUTES, win32::kShareAll, OPEN_EXISTING, 0);
    if (object == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION data{};
    const bool isKnown = ::GetFileInformationByHandle(object, &data);
    ::CloseHandle(object);
    if (!isKnown)
        return std::nullopt;
    const auto wide = [](DWORD high, DWORD low) {
        return (static_cast<std::uint64_t>(high) << 32) | low;
    };
    return FileStamp{{data.dwVolumeSerialNumber, wide(data.nFileIndexHigh, data.nFileIndexLow)},
                     wide(data.nFileSizeHigh, data.nFileSizeLow),
                     static_cast<std::int64_t>(wide(data.ftLastWriteTime.dwHighDateTime,
                                                    data.ftLastWriteTime.dwLowDateTime))};
}

std::optional<ObjectId> identity(const std::string& path)
{
    const std::optional<FileStamp> found = stamp(path);
    return found ? std::optional(found->id) : std::nullopt;
}

std::optional<std::string> canonicalPath(const std::string& path)
{
    const HANDLE object =
        win32::openObject(path, FILE_READ_ATTRIBUTES, win32::kShareAll, OPEN_EXISTING, 0);
    if (object == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string resolved = win32::finalPath(object);
    ::CloseHandle(object);
    if (resolved.empty())
        return std::nullopt;
    return resolved;
}

// Not read here yet: a link to nothing at an archive's name is refused as a name in the way.
std::optional<std::string> linkTarget(const std::string&)
{
    return std::nullopt;
}

// Windows has one permission bit of its own: read-only, which takes the write bits away.
std::optional<std::uint32_t> permissions(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(win32::wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    const std::uint32_t mode = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0777 : 0666;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? mode & ~std::uint32_t{0222} : mode;
}

// Rights to make files are in the folder's access list, which only an attempt reads truly; the
// creation of the temporary file then says why it cannot, naming the file.
void requireWritableFolder(const std::string&) {}

void requireFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(win32::wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        throw win32::failure(ErrorKind::cannotOpen, path, ::GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(ErrorKind::notAFolder, path, "is not a folder");
}

// Every user has a temporary folder of their own on Windows: a real folder is enough.
bool isOwnFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(win32::wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool isAbsolute(const std::string& path)
{
    // "C:x" is relative to the drive's own current folder: joined to another folder it would
    // name something else, so it counts as absolute too.
    return (!path.empty() && (path.front() == '/' || path.front() == '\\')) ||
           (path.size() >= 2 && path[1] == ':');
}

bool refusesNonPortableNames()
{
    return true;
}

} // namespace archive::filesystem
