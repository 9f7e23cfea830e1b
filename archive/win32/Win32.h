#pragma once

#include "archive/ArchiveError.h"
#include "archive/files/NativeHandle.h"

#include <string>
#include <string_view>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace archive::win32 {

// A handle is a HANDLE here; INVALID_HANDLE_VALUE has the value of kNoHandle.
inline HANDLE handle(NativeHandle nativeHandle) noexcept
{
    return reinterpret_cast<HANDLE>(nativeHandle);
}

inline NativeHandle handleOf(HANDLE systemHandle) noexcept
{
    return systemHandle == INVALID_HANDLE_VALUE || systemHandle == nullptr
               ? kNoHandle
               : reinterpret_cast<NativeHandle>(systemHandle);
}

// Host paths are UTF-8 in our strings and UTF-16 only at the system's calls.
std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view text);

// The C library's number for a Windows error, so what words errno values words these too.
int errnoOf(DWORD error) noexcept;
// The system's own words for error, in the system's language.
std::string errorText(DWORD error);
// kind with the system's words for error; its number as errnoOf gives it.
FileError failure(ErrorKind kind, const std::string& path, DWORD error);

// Throws FileError of kind nameRefusedByFileSystem when Windows cannot hold name (one level of
// path): its characters, a trailing dot or space, a device name. The system would refuse it
// too, or worse, open the device.
void requireHostableName(const std::string& path, std::string_view name);
// Creating path failed with error: of kind nameRefusedByFileSystem when the error says the name
// cannot be held, else of kind with the system's reason.
FileError creationFailure(ErrorKind kind, const std::string& path, DWORD error);

// Junctions and symbolic links (name surrogates) are what a link is on POSIX; other reparse
// points (deduplicated or cloud files) are ordinary files and folders.
bool isLink(DWORD attributes, DWORD reparseTag) noexcept;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Opens path ("" is the current folder); flags add to FILE_FLAG_BACKUP_SEMANTICS, which folders
// need. INVALID_HANDLE_VALUE with the error set.
HANDLE openObject(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                  DWORD flags);

// The volume and file index of an open object, and its attributes.
struct ObjectInfo {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t length = 0;
    DWORD attributes = 0;
};
bool infoOf(HANDLE object, ObjectInfo& info) noexcept;
// The path of the object open as object, every link resolved, in the engine's form ("C:/x/y");
// empty when the system cannot say.
std::string finalPath(HANDLE object);

} // namespace archive::win32
