#include "archive/win32/Win32.h"

#include "archive/format/PortableNames.h"

#include <cerrno>

namespace archive::win32 {

std::wstring wide(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                          size);
    return text;
}

std::string utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    return bytes;
}

int errnoOf(DWORD error) noexcept
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CURRENT_DIRECTORY:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_CANT_RESOLVE_FILENAME:
        return ELOOP;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    default:
        return EIO;
    }
}

std::string errorText(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    ::LocalFree(buffer);
    // The system's sentences end in a full stop and a line break; ours carry neither.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : utf8(text);
}

FileError failure(ErrorKind kind, const std::string& path, DWORD error)
{
    return FileError(kind, path, errorText(error), errnoOf(error));
}

void requireHostableName(const std::string& path, std::string_view name)
{
    // Host names are UTF-8: no trail byte can pass for one of the refused characters.
    if (const std::optional<std::string> reason = nonPortableReason(name))
        throw FileError(ErrorKind::nameRefusedByFileSystem, path,
                        "Windows cannot hold this name: " + *reason);
    // Wine reports a longer one as not found, Windows as an invalid name.
    if (wide(name).size() > 255)
        throw FileError(ErrorKind::nameRefusedByFileSystem, path,
                        "the file system cannot hold this name (longer than 255 characters)");
}

FileError creationFailure(ErrorKind kind, const std::string& path, DWORD error)
{
    if (error != ERROR_INVALID_NAME && error != ERROR_FILENAME_EXCED_RANGE &&
        error != ERROR_DIRECTORY)
        return failure(kind, path, error);
    return FileError(ErrorKind::nameRefusedByFileSystem, path,
                     "the file system cannot hold this name (" + errorText(error) + ")",
                     errnoOf(error));
}

bool isLink(DWORD attributes, DWORD reparseTag) noexcept
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(reparseTag);
}

HANDLE openObject(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                  DWORD flags)
{
    return ::CreateFileW(
        wide(path.empty() ? std::string_view(".") : std::string_view(path)).c_str(), access, share,
        nullptr, disposition, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

bool infoOf(HANDLE object, ObjectInfo& info) noexcept
{
    BY_HANDLE_FILE_INFORMATION data{};
    if (!::GetFileInformationByHandle(object, &data))
        return false;
    info.volume = data.dwVolumeSerialNumber;
    info.index = (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
    info.length = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.attributes = data.dwFileAttributes;
    return true;
}

std::string finalPath(HANDLE object)
{
    std::wstring text(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(object, text.data(), static_cast<DWORD>(text.size()),
                                               VOLUME_NAME_DOS);
    if (length >= text.size()) {
        text.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(object, text.data(), static_cast<DWORD>(text.size()),
                                             VOLUME_NAME_DOS);
    }
    if (length == 0 || length >= text.size())
        return {};
    text.resize(length);
    // "\\?\C:\x" -> "C:/x", the form the rest of the engine compares.
    if (text.starts_with(L"\\\\?\\"))
        text.erase(0, 4);
    std::string resolved = utf8(text);
    for (char& c : resolved)
        if (c == '\\')
            c = '/';
    return resolved;
}

} // namespace archive::win32
