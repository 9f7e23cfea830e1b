#include "archive/files/Platform.h"

#include "archive/files/CFolder.h"
#include "archive/format/Paths.h"
#include "archive/win32/Win32.h"

#include <cstddef>
#include <cstring>
#include <sddl.h>

namespace archive {

using win32::handle;

namespace {

// A held folder shares reading and writing but not deleting: Windows then refuses to rename or
// remove it, or any folder above it, so the path that names it keeps naming it, and what is
// opened by path below it is opened below it.
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE openFolderHandle(const std::string& path, DWORD flags)
{
    return win32::openObject(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kFolderShare,
                             OPEN_EXISTING, flags);
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// The folder a child was opened as, checked: not a link, not a file. Closes it when it throws.
void requireFolder(HANDLE folder, const std::string& path)
{
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
}

// One record of a listing; false for "." and "..".
bool describe(const unsigned char* record, const FILE_ID_BOTH_DIR_INFO& entry, std::uint64_t volume,
              FolderItem& item)
{
    const std::wstring_view wideName(
        reinterpret_cast<const wchar_t*>(record + offsetof(FILE_ID_BOTH_DIR_INFO, FileName)),
        entry.FileNameLength / sizeof(wchar_t));
    if (wideName == L"." || wideName == L"..")
        return false;
    item.name = win32::utf8(wideName);
    // For a reparse point the listing gives its tag where the extended attributes' size would be.
    if (win32::isLink(entry.FileAttributes, entry.EaSize)) {
        item.kind = FolderItem::Kind::link;
    } else if (entry.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        item.kind = FolderItem::Kind::folder;
    } else if (entry.FileAttributes & FILE_ATTRIBUTE_DEVICE) {
        item.kind = FolderItem::Kind::other;
    } else {
        item.kind = FolderItem::Kind::file;
        item.size = static_cast<std::uint64_t>(entry.EndOfFile.QuadPart);
        item.id = {volume, static_cast<std::uint64_t>(entry.FileId.QuadPart)};
    }
    return true;
}

} // namespace

bool platform::opensByPath() noexcept
{
    return true;
}

const char* platform::levelBreakers() noexcept
{
    return "/\\:";
}

NativeHandle platform::openFolder(const std::string& path)
{
    const HANDLE folder = openFolderHandle(path, 0);
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
    return win32::handleOf(folder);
}

platform::ErrorCode platform::makeFolders(const std::string& path) noexcept
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

std::string platform::temporaryFolder()
{
    wchar_t path[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    std::wstring folder(path, length > 0 && length <= MAX_PATH ? length : 0);
    // Without its trailing separator, as a path joined below it expects.
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return folder.empty() ? std::string(".") : win32::utf8(folder);
}

platform::ErrorCode platform::makePrivateFolder(NativeHandle, const std::string& path,
                                                const std::string& name)
{
    // Only its owner, and the system, may reach it; nothing is inherited from the parent.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)", SDDL_REVISION_1, &descriptor, nullptr))
        return ::GetLastError();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const BOOL made = ::CreateDirectoryW(win32::wide(paths::join(path, name)).c_str(), &attributes);
    const DWORD error = made ? 0 : ::GetLastError();
    ::LocalFree(descriptor);
    return error;
}

bool platform::isDanglingLink(const std::string& path) noexcept
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

NativeHandle platform::openChildFolder(NativeHandle, const std::string& name,
                                       const std::string& path, bool create, bool& isCreated)
{
    win32::requireHostableName(path, name);
    HANDLE folder = openFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (folder == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND && create) {
        isCreated = ::CreateDirectoryW(win32::wide(path).c_str(), nullptr);
        if (!isCreated && ::GetLastError() != ERROR_ALREADY_EXISTS)
            throw win32::creationFailure(ErrorKind::cannotCreateFolder, path, ::GetLastError());
        folder = openFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT);
    }
    if (folder == INVALID_HANDLE_VALUE)
        throw win32::failure(ErrorKind::cannotOpen, path, ::GetLastError());
    requireFolder(folder, path);
    return win32::handleOf(folder);
}

// Listed through the held handle, with each object's index and size in the same answers: no
// object is opened, and the path that named the folder is not read again.
std::vector<FolderItem> platform::folderItems(NativeHandle folder, const std::string& path)
{
    win32::ObjectInfo folderInfo;
    if (!win32::infoOf(handle(folder), folderInfo))
        throw win32::failure(ErrorKind::cannotRead, path, ::GetLastError());
    std::vector<FolderItem> found;
    // LONGLONG-aligned, as the answers' records are.
    std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
    const auto bytes = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
    // The first call restarts the listing: the handle may have been listed before.
    FILE_INFO_BY_HANDLE_CLASS what = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(handle(folder), what, buffer.data(), bytes)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NO_MORE_FILES)
                return found;
            throw win32::failure(ErrorKind::cannotRead, path, error);
        }
        what = FileIdBothDirectoryInfo;
        const auto* record = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            FILE_ID_BOTH_DIR_INFO entry;
            std::memcpy(&entry, record, sizeof entry);
            FolderItem item;
            if (describe(record, entry, folderInfo.volume, item))
                found.push_back(std::move(item));
            if (entry.NextEntryOffset == 0)
                break;
            record += entry.NextEntryOffset;
        }
    }
}

std::optional<filesystem::ObjectId> platform::fileIdentityAt(NativeHandle, const std::string& path,
                                                             const std::string& relative)
{
    const HANDLE object =
        win32::openObject(paths::join(path, relative), FILE_READ_ATTRIBUTES, win32::kShareAll,
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

std::optional<LinkedFile> platform::linkedFileAt(NativeHandle, const std::string& path,
                                                 const std::string& name)
{
    // Attributes only: a device at the end of the link is never opened for data.
    const HANDLE target = win32::openObject(paths::join(path, name), FILE_READ_ATTRIBUTES,
                                            win32::kShareAll, OPEN_EXISTING, 0);
    if (target == INVALID_HANDLE_VALUE)
        return std::nullopt;
    win32::ObjectInfo info;
    const bool isFile = win32::infoOf(target, info) &&
                        !(info.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) &&
                        ::GetFileType(target) == FILE_TYPE_DISK;
    // The path of the object actually reached, not one a later change of a link would give.
    std::string reached = isFile ? win32::finalPath(target) : std::string();
    ::CloseHandle(target);
    if (reached.empty())
        return std::nullopt;
    return LinkedFile{std::move(reached), info.length};
}

} // namespace archive
