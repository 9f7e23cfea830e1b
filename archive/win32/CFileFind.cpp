#include "archive/CFileFind.h"

#include "archive/ArchiveError.h"
#include "archive/Paths.h"
#include "archive/win32/Win32.h"

#include <algorithm>

// The system's name for its A and W pair would rename our method.
#undef FindNextFile

namespace archive {

namespace {

bool hasWildcard(const std::string& text)
{
    return text.find_first_of("*?") != std::string::npos;
}

// '*' and '?' as the POSIX side's fnmatch reads them: neither matches a leading dot.
bool globMatches(const char* mask, const char* name, bool isStart)
{
    for (; *mask; ++mask, ++name) {
        if (*mask == '*') {
            if (isStart && *name == '.')
                return false;
            for (const char* rest = name;; ++rest) {
                if (globMatches(mask + 1, rest, false))
                    return true;
                if (!*rest)
                    return false;
            }
        }
        if (!*name || (*mask == '?' ? isStart && *name == '.' : *mask != *name))
            return false;
        isStart = false;
    }
    return !*name;
}

// "*.*" matches every name, dotted or not, as the pattern has always meant.
bool matches(const std::string& mask, const std::string& name)
{
    return mask == "*" || mask == "*.*" || globMatches(mask.c_str(), name.c_str(), true);
}

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

void describe(const WIN32_FIND_DATAW& data, const std::string& path, bool& isFolder,
              bool& isRegular, bool& isLink, std::uint64_t& length)
{
    isLink = win32::isLink(data.dwFileAttributes, data.dwReserved0);
    isFolder = !isLink && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    isRegular = false;
    length = 0;
    if (isLink) {
        isRegular = targetIsFile(path, length);
    } else if (!isFolder && !(data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)) {
        isRegular = true;
        length = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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

bool isMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME;
}

} // namespace

bool CFileFind::examine(Object& object, NativeHandle, const char* name)
{
    // The search answers for the link itself, never for its target.
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(win32::wide(name).c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        // A root ("C:/") has no entry in any folder.
        const DWORD attributes = ::GetFileAttributesW(win32::wide(name).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
        object.isFolder = true;
        return true;
    }
    ::FindClose(find);
    describe(data, name, object.isFolder, object.isRegular, object.isLink, object.length);
    return true;
}

bool CFileFind::FindFile(const std::string& pattern)
{
    Close();
    const std::size_t slash = pattern.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (folder.size() > 1 && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return hasWildcard(last) ? findMatching(folder, last) : findOne(folder, last);
}

bool CFileFind::findOne(std::string folder, std::string last)
{
    // A trailing separator names the folder itself.
    if (last.empty()) {
        if (folder.empty())
            return false;
        const std::size_t up = folder.size() > 1 ? folder.find_last_of("/\\") : std::string::npos;
        if (folder == "/" || up == folder.size() - 1) {
            last = folder;
            folder.clear();
        } else if (up == std::string::npos) {
            last = folder;
            folder.clear();
        } else {
            last = folder.substr(up + 1);
            folder = up == 0 ? "/" : folder.substr(0, up);
        }
    }
    Object object;
    object.name = last;
    const std::string full = folder.empty() ? last : paths::join(folder, last);
    if (!examine(object, kNoHandle, full.c_str())) {
        const DWORD error = ::GetLastError();
        if (isMissing(error))
            return false;
        throw win32::failure(ErrorKind::cannotRead, full, error);
    }
    m_strFolder = folder;
    m_objects.push_back(std::move(object));
    return true;
}

bool CFileFind::findMatching(const std::string& folder, const std::string& mask)
{
    const std::string open = folder.empty() ? std::string(".") : folder;
    WIN32_FIND_DATAW data{};
    const HANDLE find =
        ::FindFirstFileExW(win32::wide(paths::join(open, "*")).c_str(), FindExInfoBasic, &data,
                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (isMissing(error))
            return false;
        throw win32::failure(ErrorKind::cannotOpen, open, error);
    }
    FindCloser closer(find);
    std::vector<Object> objects;
    do {
        Object object;
        object.name = win32::utf8(data.cFileName);
        if (!matches(mask, object.name))
            continue;
        describe(data, paths::join(open, object.name), object.isFolder, object.isRegular,
                 object.isLink, object.length);
        objects.push_back(std::move(object));
    } while (::FindNextFileW(find, &data));
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES)
        throw win32::failure(ErrorKind::cannotRead, open, error);
    // A stable order, the dots first, whatever order the file system keeps.
    std::sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) {
        const bool aDots = a.name == "." || a.name == "..";
        const bool bDots = b.name == "." || b.name == "..";
        if (aDots != bDots)
            return aDots;
        return a.name < b.name;
    });
    if (objects.empty())
        return false;
    m_strFolder = folder;
    m_objects = std::move(objects);
    return true;
}

} // namespace archive
