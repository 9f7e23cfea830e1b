#include "archive/CFolder.h"

#include "archive/ArchiveError.h"
#include "archive/Paths.h"
#include "archive/PortableNames.h"
#include "archive/win32/Win32.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
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

// Listed through the held handle, with each object's index and size in the same answers: no
// object is opened, and the path that named the folder is not read again.
std::vector<FolderItem> CFolder::items() const
{
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the folder is not open");
    win32::ObjectInfo folderInfo;
    if (!win32::infoOf(handle(m_nHandle), folderInfo))
        throw win32::failure(ErrorKind::cannotRead, m_strPath, ::GetLastError());
    std::vector<FolderItem> found;
    // LONGLONG-aligned, as the answers' records are.
    std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
    const auto bytes = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
    // The first call restarts the listing: the handle may have been listed before.
    FILE_INFO_BY_HANDLE_CLASS what = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(handle(m_nHandle), what, buffer.data(), bytes)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NO_MORE_FILES)
                break;
            throw win32::failure(ErrorKind::cannotRead, m_strPath, error);
        }
        what = FileIdBothDirectoryInfo;
        const auto* record = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            FILE_ID_BOTH_DIR_INFO entry;
            std::memcpy(&entry, record, sizeof entry);
            const std::wstring_view wideName(
                reinterpret_cast<const wchar_t*>(record +
                                                 offsetof(FILE_ID_BOTH_DIR_INFO, FileName)),
                entry.FileNameLength / sizeof(wchar_t));
            if (wideName != L"." && wideName != L"..") {
                FolderItem item;
                item.name = win32::utf8(wideName);
                // For a reparse point the listing gives its tag where the extended attributes'
                // size would be.
                if (win32::isLink(entry.FileAttributes, entry.EaSize)) {
                    item.kind = FolderItem::Kind::link;
                } else if (entry.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    item.kind = FolderItem::Kind::folder;
                } else if (entry.FileAttributes & FILE_ATTRIBUTE_DEVICE) {
                    item.kind = FolderItem::Kind::other;
                } else {
                    item.kind = FolderItem::Kind::file;
                    item.size = static_cast<std::uint64_t>(entry.EndOfFile.QuadPart);
                    item.id = {folderInfo.volume,
                               static_cast<std::uint64_t>(entry.FileId.QuadPart)};
                }
                found.push_back(std::move(item));
            }
            if (entry.NextEntryOffset == 0)
                break;
            record += entry.NextEntryOffset;
        }
    }
    return found;
}

std::optional<filesystem::ObjectId> CFolder::identity() const
{
    win32::ObjectInfo info;
    if (m_nHandle == kNoHandle || !win32::infoOf(handle(m_nHandle), info))
        return std::nullopt;
    return filesystem::ObjectId{info.volume, info.index};
}

std::optional<LinkedFile> CFolder::linkedFile(const std::string& name) const
{
    if (m_nHandle == kNoHandle)
        return std::nullopt;
    // Attributes only: a device at the end of the link is never opened for data.
    const HANDLE target =
        win32::openObject(pathOf(name), FILE_READ_ATTRIBUTES, win32::kShareAll, OPEN_EXISTING, 0);
    if (target == INVALID_HANDLE_VALUE)
        return std::nullopt;
    win32::ObjectInfo info;
    const bool isFile = win32::infoOf(target, info) &&
                        !(info.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) &&
                        ::GetFileType(target) == FILE_TYPE_DISK;
    // The path of the object actually reached, not one a later change of a link would give.
    std::string path = isFile ? win32::finalPath(target) : std::string();
    ::CloseHandle(target);
    if (path.empty())
        return std::nullopt;
    return LinkedFile{std::move(path), info.length};
}

std::size_t CFolder::readFile(const std::string& name, void* buffer, std::size_t capacity) const
{
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, pathOf(name), "the folder is not open");
    const HANDLE file = win32::openObject(pathOf(name), GENERIC_READ, FILE_SHARE_READ,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE)
        throw win32::failure(ErrorKind::cannotOpen, pathOf(name), ::GetLastError());
    win32::ObjectInfo info;
    if (!win32::infoOf(file, info)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        throw win32::failure(ErrorKind::cannotOpen, pathOf(name), error);
    }
    if (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        ::CloseHandle(file);
        throw FileError(ErrorKind::linkNotFollowed, pathOf(name),
                        "is a symbolic link, not followed");
    }
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < capacity) {
        DWORD n = 0;
        const auto ask = static_cast<DWORD>(std::min<std::size_t>(capacity - done, 1u << 30));
        if (!::ReadFile(file, p + done, ask, &n, nullptr)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(file);
            throw win32::failure(ErrorKind::cannotRead, pathOf(name), error);
        }
        done += n;
        if (n == 0 || n < ask)
            break;
    }
    ::CloseHandle(file);
    return done;
}

std::string CFolder::pathOf(const std::string& name) const
{
    return paths::join(m_strPath, name);
}

} // namespace archive
