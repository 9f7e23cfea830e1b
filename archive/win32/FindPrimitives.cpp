#include "archive/files/Platform.h"

#include "archive/format/Paths.h"
#include "archive/win32/Win32.h"

namespace archive {

namespace {

// The length of a link's target when it is a regular file.
bool targetIsFile(const std::string& path, std::uint64_t& length)
{
    const HANDLE target =
        win32::openObject(path, FILE_READ_ATTRIBUTES, win32::kShareAll, OPEN_EXISTING, 0);
    if (target == INVALID_HANDLE_VALUE)
        return false;
    win32::ObjectInfo info;
    const bool isFile =
        win32::infoOf(target, info) && !(info.attributes & FILE_ATTRIBUTE_DIRECTORY);
    ::CloseHandle(target);
    if (isFile)
        length = info.length;
    return isFile;
}

// The search answers for a link itself, never for its target.
void describe(const WIN32_FIND_DATAW& data, const std::string& path, FoundObject& object)
{
    object.isLink = win32::isLink(data.dwFileAttributes, data.dwReserved0);
    object.isFolder = !object.isLink && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    object.isRegular = false;
    object.length = 0;
    if (object.isLink) {
        object.isRegular = targetIsFile(path, object.length);
    } else if (!object.isFolder && !(data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)) {
        object.isRegular = true;
        object.length = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
}

class FindCloser {
public:
    explicit FindCloser(HANDLE find) : m_find(find) {}
    ~FindCloser() { ::FindClose(m_find); }
    FindCloser(const FindCloser&) = delete;
    FindCloser& operator=(const FindCloser&) = delete;

private:
    HANDLE m_find;
};

} // namespace

const char* platform::pathSeparators() noexcept
{
    return "/\\";
}

bool platform::isMissing(ErrorCode error) noexcept
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME;
}

platform::ErrorCode platform::examineObject(const std::string& path, FoundObject& object)
{
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(win32::wide(path).c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A root ("C:/") has no entry in any folder.
        const DWORD attributes = ::GetFileAttributesW(win32::wide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return error;
        object.isFolder = true;
        return 0;
    }
    ::FindClose(find);
    describe(data, path, object);
    return 0;
}

platform::ErrorCode platform::listObjects(const std::string& folder,
                                          const std::function<bool(const std::string&)>& wanted,
                                          std::vector<FoundObject>& found, bool& isAtOpen)
{
    WIN32_FIND_DATAW data{};
    const HANDLE find =
        ::FindFirstFileExW(win32::wide(paths::join(folder, "*")).c_str(), FindExInfoBasic, &data,
                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    isAtOpen = find == INVALID_HANDLE_VALUE;
    if (isAtOpen)
        return ::GetLastError();
    FindCloser closer(find);
    do {
        FoundObject object;
        object.name = win32::utf8(data.cFileName);
        if (!wanted(object.name))
            continue;
        describe(data, paths::join(folder, object.name), object);
        found.push_back(std::move(object));
    } while (::FindNextFileW(find, &data));
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : error;
}

} // namespace archive
