#include "archive/FileSystem.h"

#include "archive/ArchiveError.h"
#include "archive/win32/Win32.h"

namespace archive::filesystem {

std::optional<ObjectId> identity(const std::string& path)
{
    const HANDLE object =
        win32::openObject(path, FILE_READ_ATTRIBUTES, win32::kShareAll, OPEN_EXISTING, 0);
    if (object == INVALID_HANDLE_VALUE)
        return std::nullopt;
    win32::ObjectInfo info;
    const bool isKnown = win32::infoOf(object, info);
    ::CloseHandle(object);
    if (!isKnown)
        return std::nullopt;
    return ObjectId{info.volume, info.index};
}

std::optional<std::string> canonicalPath(const std::string& path)
{
    const HANDLE object =
        win32::openObject(path, FILE_READ_ATTRIBUTES, win32::kShareAll, OPEN_EXISTING, 0);
    if (object == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::wstring text(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(object, text.data(), static_cast<DWORD>(text.size()),
                                               VOLUME_NAME_DOS);
    if (length >= text.size()) {
        text.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(object, text.data(), static_cast<DWORD>(text.size()),
                                             VOLUME_NAME_DOS);
    }
    ::CloseHandle(object);
    if (length == 0 || length >= text.size())
        return std::nullopt;
    text.resize(length);
    // "\\?\C:\x" -> "C:/x", the form the rest of the engine compares.
    if (text.starts_with(L"\\\\?\\"))
        text.erase(0, 4);
    std::string resolved = win32::utf8(text);
    for (char& c : resolved)
        if (c == '\\')
            c = '/';
    return resolved;
}

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

} // namespace archive::filesystem
