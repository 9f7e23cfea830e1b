#include "archive/CFolder.h"

#include "archive/ArchiveError.h"
#include "archive/Paths.h"
#include "archive/PortableNames.h"
#include "archive/win32/Win32.h"

#include <utility>

namespace archive {

using win32::handle;

namespace {

// A held folder shares reading and writing but not deleting: Windows then refuses to rename or
// remove it, or any folder above it, so the path that names it keeps naming it, and what is
// opened by path below it is opened below it.
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE openFolder(const std::string& path, DWORD flags)
{
    return win32::openObject(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kFolderShare,
                             OPEN_EXISTING, flags);
}

bool isDanglingLink(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(win32::wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const HANDLE target = win32::openObject(path, 0, win32::kShareAll, OPEN_EXISTING, 0);
    if (target != INVALID_HANDLE_VALUE) {
        ::CloseHandle(target);
        return false;
    }
    return true;
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// Each missing level from the top down; 0 or the error of the level that failed.
DWORD makeFolders(const std::string& path)
{
    if (::CreateDirectoryW(win32::wide(path).c_str(), nullptr))
        return 0;
    DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS)
        return 0;
    if (error != ERROR_PATH_NOT_FOUND)
        return error;
    std::size_t end = path.size();
    while (end > 0 && isSeparator(path[end - 1]))
        --end;
    while (end > 0 && !isSeparator(path[end - 1]))
        --end;
    while (end > 0 && isSeparator(path[end - 1]))
        --end;
    // Nothing left above, or only a drive ("C:").
    if (end == 0 || path[end - 1] == ':')
        return error;
    if ((error = makeFolders(path.substr(0, end))) != 0)
        return error;
    if (::CreateDirectoryW(win32::wide(path).c_str(), nullptr))
        return 0;
    error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS ? 0 : error;
}

} // namespace

CFolder::CFolder(NativeHandle nativeHandle, std::string path)
    : m_nHandle(nativeHandle), m_strPath(std::move(path))
{
}

CFolder::~CFolder()
{
    if (m_nHandle != kNoHandle)
        ::CloseHandle(handle(m_nHandle));
}

CFolder::CFolder(CFolder&& other) noexcept
    : m_nHandle(std::exchange(other.m_nHandle, kNoHandle)), m_strPath(std::move(other.m_strPath)),
      m_bCreated(other.m_bCreated)
{
}

CFolder& CFolder::operator=(CFolder&& other) noexcept
{
    if (this != &other) {
        if (m_nHandle != kNoHandle)
            ::CloseHandle(handle(m_nHandle));
        m_nHandle = std::exchange(other.m_nHandle, kNoHandle);
        std::string old = std::exchange(m_strPath, std::move(other.m_strPath));
        m_bCreated = other.m_bCreated;
    }
    return *this;
}

CFolder CFolder::open(const std::string& path)
{
    const HANDLE folder = openFolder(path, 0);
    if (folder == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
            isDanglingLink(path))
            throw FileError(ErrorKind::notAFolder, path, "is a link to nothing");
        throw win32::failure(ErrorKind::cannotOpen, path, error);
    }
    win32::ObjectInfo info;
    if (!win32::infoOf(folder, info) || !(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(folder);
        throw FileError(ErrorKind::notAFolder, path, "is not a folder");
    }
    return CFolder(win32::handleOf(folder), path);
}

CFolder CFolder::openOrCreate(const std::string& path)
{
    if (!path.empty() && !isDanglingLink(path)) {
        if (const DWORD error = makeFolders(path))
            throw win32::failure(ErrorKind::cannotCreateFolder, path, error);
    }
    return open(path);
}

CFolder CFolder::child(const std::string& name, bool create) const
{
    std::string path = pathOf(name);
    CFolder level = child(name, create, std::string_view(path));
    level.m_strPath = std::move(path);
    return level;
}

// Windows opens by path only, so every level keeps its path: the one given, which names it.
CFolder CFolder::child(const std::string& name, bool create, std::string_view pathView) const
{
    std::string path(pathView);
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, path, "the folder is not open");
    // One level only: a separator, a drive or stream part, or a dot name would reach somewhere
    // other than below this folder.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\:") != std::string::npos)
        throw FileError(ErrorKind::unsafeName, path, "is not a single folder name");
    win32::requireHostableName(path, name);
    HANDLE folder = openFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
    bool isCreated = false;
    if (folder == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND && create) {
        isCreated = ::CreateDirectoryW(win32::wide(path).c_str(), nullptr);
        if (!isCreated && ::GetLastError() != ERROR_ALREADY_EXISTS)
            throw win32::creationFailure(ErrorKind::cannotCreateFolder, path, ::GetLastError());
        folder = openFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
    }
    if (folder == INVALID_HANDLE_VALUE)
        throw win32::failure(ErrorKind::cannotOpen, path, ::GetLastError());
    win32::ObjectInfo info;
    if (!win32::infoOf(folder, info)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(folder);
        throw win32::failure(ErrorKind::cannotOpen, path, error);
    }
    if (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        ::CloseHandle(folder);
        throw FileError(ErrorKind::linkNotFollowed, path, "is a symbolic link, not followed");
    }
    if (!(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(folder);
        throw FileError(ErrorKind::inTheWay, path, "a file is in the way");
    }
    CFolder level(win32::handleOf(folder), std::move(path));
    level.m_bCreated = isCreated;
    return level;
}

std::optional<filesystem::ObjectId> CFolder::fileIdentity(const std::string& relativePath) const
{
    if (m_nHandle == kNoHandle)
        return std::nullopt;
    const HANDLE object =
        win32::openObject(pathOf(relativePath), FILE_READ_ATTRIBUTES, win32::kShareAll,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (object == INVALID_HANDLE_VALUE)
        return std::nullopt;
    win32::ObjectInfo info;
    const bool isFile =
        win32::infoOf(object, info) &&
        !(info.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    ::CloseHandle(object);
    if (!isFile)
        return std::nullopt;
    return filesystem::ObjectId{info.volume, info.index};
}

std::string CFolder::pathOf(const std::string& name) const
{
    return paths::join(m_strPath, name);
}

} // namespace archive
