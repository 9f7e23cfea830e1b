#include "archive/files/Platform.h"

#include "archive/files/CFile.h"
#include "archive/files/OutputFile.h"
#include "archive/format/Paths.h"
#include "archive/win32/Win32.h"

namespace archive {

using win32::handle;

namespace {

// Suffixes of the replaced file's names beside its temporary file's.
constexpr char kAsideSuffix[] = ".old";
constexpr char kLinkSuffix[] = ".link";

// The volume and file index of the file at path itself, a link not followed.
bool identityOf(const std::string& path, win32::ObjectInfo& info)
{
    const HANDLE object = win32::openObject(path, FILE_READ_ATTRIBUTES, win32::kShareAll,
                                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (object == INVALID_HANDLE_VALUE)
        return false;
    const bool isKnown = win32::infoOf(object, info);
    ::CloseHandle(object);
    return isKnown;
}

// The held file moved aside, the new one moved in. Between the two the name is missing: a kill
// there leaves the pair, which recoverReplaced mends. A failure of the second puts the held file
// back.
void moveAsideAndIn(const std::wstring& temp, const std::wstring& final, const std::wstring& aside,
                    const std::string& path, DWORD durable)
{
    if (!::MoveFileExW(final.c_str(), aside.c_str(), durable))
        throw win32::creationFailure(ErrorKind::cannotWrite, path, ::GetLastError());
    if (!::MoveFileExW(temp.c_str(), final.c_str(), durable)) {
        const DWORD error = ::GetLastError();
        ::MoveFileExW(aside.c_str(), final.c_str(), durable);
        throw win32::creationFailure(ErrorKind::cannotWrite, path, error);
    }
    // Open elsewhere, it goes when its last handle closes.
    ::DeleteFileW(aside.c_str());
}

// A name moveAsideAndIn gives a replaced file beside name: its temporary name and the aside
// suffix, nothing else.
bool isAsideName(const std::string& found, const std::string& prefix)
{
    const std::size_t suffix = sizeof kAsideSuffix - 1;
    return found.size() > prefix.size() + suffix && found.starts_with(prefix) &&
           found.ends_with(kAsideSuffix) &&
           OutputFile::tempNameWriter(std::string_view(found).substr(
               prefix.size(), found.size() - prefix.size() - suffix)) != 0;
}

} // namespace

void platform::requireHostableName(const std::string& path, const std::string& name)
{
    win32::requireHostableName(path, name);
}

FileError platform::creationFailure(ErrorKind kind, const std::string& path, const std::string&,
                                    ErrorCode error)
{
    return win32::creationFailure(kind, path, error);
}

bool platform::isExistsError(ErrorCode error) noexcept
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool platform::isUnsupported(ErrorCode) noexcept
{
    return false;
}

bool platform::isHeldRefusal(ErrorCode error) noexcept
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

// Windows has no unnamed files: every output takes the named temporary path.
platform::ErrorCode platform::createUnnamed(NativeHandle, NativeHandle& file) noexcept
{
    file = kNoHandle;
    return 0;
}

// A writer holds its file without letting it be deleted, so only an abandoned one goes.
platform::ErrorCode platform::createExclusive(NativeHandle, const std::string& path,
                                              const std::string&, NativeHandle& file) noexcept
{
    file = win32::handleOf(::CreateFileW(win32::wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file == kNoHandle ? ::GetLastError() : 0;
}

platform::ErrorCode platform::nameUnnamed(NativeHandle, NativeHandle, const std::string&) noexcept
{
    return ERROR_NOT_SUPPORTED;
}

platform::Target platform::targetAt(NativeHandle, const std::string& path, const std::string&)
{
    Target target;
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(win32::wide(path).c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return target;
        throw win32::failure(ErrorKind::cannotOpen, path, error);
    }
    ::FindClose(find);
    target.exists = true;
    const bool isLink = win32::isLink(data.dwFileAttributes, data.dwReserved0);
    target.isFolder = !isLink && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (isLink || target.isFolder)
        return target;
    win32::ObjectInfo info;
    target.isRegular = identityOf(path, info);
    target.id = {info.volume, info.index};
    if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        target.writeRefusal = ERROR_ACCESS_DENIED;
    return target;
}

// Write-through: the rename is on the disk when the call returns, as the folder's flush ensures
// on POSIX.
platform::ErrorCode platform::renameIn(NativeHandle, const std::string& fromPath,
                                       const std::string&, const std::string& toPath,
                                       const std::string&, bool isReplacing,
                                       bool isDurable) noexcept
{
    const DWORD flags =
        (isReplacing ? MOVEFILE_REPLACE_EXISTING : 0) | (isDurable ? MOVEFILE_WRITE_THROUGH : 0);
    return ::MoveFileExW(win32::wide(fromPath).c_str(), win32::wide(toPath).c_str(), flags)
               ? 0
               : ::GetLastError();
}

// Some systems (Wine among them) refuse to name over a file that is open, even one opened to
// allow it. The held file gets a second name, so that its own is never missing, and this
// program lets go of it while the new file takes the name, then holds it again by the second
// name, which goes with the last handle. Without hard links, or with the file open in another
// program, it is moved aside instead.
void platform::replaceHeldFile(const std::string& tempPath, const std::string& path, bool isDurable)
{
    const DWORD durable = isDurable ? MOVEFILE_WRITE_THROUGH : 0;
    const std::wstring temp = win32::wide(tempPath);
    const std::wstring final = win32::wide(path);
    const std::wstring link = win32::wide(tempPath + kLinkSuffix);
    win32::ObjectInfo info;
    if (identityOf(path, info) && ::CreateHardLinkW(link.c_str(), final.c_str(), nullptr)) {
        DWORD error = 0;
        CFile::whileReleased(info.volume, info.index, tempPath + kLinkSuffix, [&] {
            if (!::MoveFileExW(temp.c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING | durable))
                error = ::GetLastError();
        });
        ::DeleteFileW(link.c_str());
        if (error == 0)
            return;
        if (!isHeldRefusal(error))
            throw win32::creationFailure(ErrorKind::cannotWrite, path, error);
    }
    moveAsideAndIn(temp, final, win32::wide(tempPath + kAsideSuffix), path, durable);
}

platform::ErrorCode platform::removeName(NativeHandle, const std::string& path,
                                         const std::string&) noexcept
{
    return ::DeleteFileW(win32::wide(path).c_str()) ? 0 : ::GetLastError();
}

// A writer holds its file without letting it be deleted, so only an abandoned one goes.
void platform::removeIfUnused(NativeHandle folder, const std::string& path,
                              const std::string& name) noexcept
{
    removeName(folder, path, name);
}

bool platform::recoverReplaced(const std::string& path, const std::string& tempPrefix)
{
    const std::wstring final = win32::wide(path);
    if (::GetFileAttributesW(final.c_str()) != INVALID_FILE_ATTRIBUTES ||
        ::GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    const std::string folder = paths::split(path).first;
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(
        win32::wide(paths::join(folder, tempPrefix + "*" + kAsideSuffix)).c_str(), FindExInfoBasic,
        &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    // More than one is left only by runs stopped one after another: the newest is the latest.
    std::string newest;
    FILETIME newestTime{};
    do {
        const std::string found = win32::utf8(data.cFileName);
        if (isAsideName(found, tempPrefix) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            (newest.empty() || ::CompareFileTime(&data.ftLastWriteTime, &newestTime) > 0)) {
            newest = found;
            newestTime = data.ftLastWriteTime;
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    // Without the replace flag: a file that came to the name meanwhile is kept.
    return !newest.empty() && ::MoveFileExW(win32::wide(paths::join(folder, newest)).c_str(),
                                            final.c_str(), MOVEFILE_WRITE_THROUGH);
}

platform::ErrorCode platform::syncFile(NativeHandle file) noexcept
{
    return ::FlushFileBuffers(handle(file)) ? 0 : ::GetLastError();
}

// Renames are written through instead.
platform::ErrorCode platform::syncFolder(NativeHandle) noexcept
{
    return 0;
}

// Windows writes back on its own; there is no start of write-back to ask for.
void platform::startWriteBack(NativeHandle, std::uint64_t, std::uint64_t) noexcept {}

// Only the read-only bit has a meaning here: a file nobody may write.
platform::ErrorCode platform::setPermissions(NativeHandle file, std::uint32_t mode) noexcept
{
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(handle(file), FileBasicInfo, &info, sizeof info))
        return ::GetLastError();
    const DWORD old = info.FileAttributes;
    DWORD attributes =
        (mode & 0222) ? (old & ~DWORD{FILE_ATTRIBUTE_READONLY}) : (old | FILE_ATTRIBUTE_READONLY);
    if (attributes == old)
        return 0;
    if (attributes == 0)
        attributes = FILE_ATTRIBUTE_NORMAL;
    info = FILE_BASIC_INFO{};
    info.FileAttributes = attributes;
    return ::SetFileInformationByHandle(handle(file), FileBasicInfo, &info, sizeof info)
               ? 0
               : ::GetLastError();
}

// A new file takes its folder's inherited security as the archive did, and setPermissions gives
// it the read-only bit: there is no owner or mode beyond those to carry over.
std::uint32_t platform::carryOwnership(NativeHandle, NativeHandle, std::uint32_t mode,
                                       const std::string&)
{
    return mode;
}

platform::ErrorCode platform::closeReporting(NativeHandle file) noexcept
{
    ::CloseHandle(handle(file));
    return 0;
}

} // namespace archive
