#include "archive/files/CFileFind.h"

#include "archive/ArchiveError.h"
#include "archive/files/Platform.h"
#include "archive/format/Paths.h"

#include <algorithm>

// What a search found is held in memory, so walking it never meets the file system again.
namespace archive {

namespace {

bool hasWildcard(const std::string& text)
{
    return text.find_first_of("*?") != std::string::npos;
}

// '*' and '?' as the shells read them: neither matches a leading dot.
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

bool isDots(const std::string& name)
{
    return name == "." || name == "..";
}

} // namespace

bool CFileFind::FindFile(const std::string& pattern)
{
    Close();
    const char* separators = platform::pathSeparators();
    const std::size_t slash = pattern.find_last_of(separators);
    std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    // Keep the separator of a root ("/", "C:/"); otherwise drop it, GetFilePath puts one back.
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
        const char* separators = platform::pathSeparators();
        const std::size_t up =
            folder.size() > 1 ? folder.find_last_of(separators) : std::string::npos;
        if (up == std::string::npos || up == folder.size() - 1) {
            last = folder;
            folder.clear();
        } else {
            last = folder.substr(up + 1);
            folder = up == 0 ? "/" : folder.substr(0, up);
        }
    }
    FoundObject object;
    object.name = last;
    const std::string full = folder.empty() ? last : paths::join(folder, last);
    if (const platform::ErrorCode error = platform::examineObject(full, object)) {
        if (platform::isMissing(error))
            return false;
        throw platform::failure(ErrorKind::cannotRead, full, error);
    }
    m_strFolder = folder;
    m_objects.push_back(std::move(object));
    return true;
}

bool CFileFind::findMatching(const std::string& folder, const std::string& mask)
{
    const std::string open = folder.empty() ? std::string(".") : folder;
    std::vector<FoundObject> objects;
    bool isAtOpen = false;
    const auto wanted = [&mask](const std::string& name) { return matches(mask, name); };
    if (const platform::ErrorCode error = platform::listObjects(open, wanted, objects, isAtOpen)) {
        if (isAtOpen && platform::isMissing(error))
            return false;
        throw platform::failure(isAtOpen ? ErrorKind::cannotOpen : ErrorKind::cannotRead, open,
                                error);
    }
    // A stable order, the dots first, whatever order the file system keeps.
    std::sort(objects.begin(), objects.end(), [](const FoundObject& a, const FoundObject& b) {
        if (isDots(a.name) != isDots(b.name))
            return isDots(a.name);
        return a.name < b.name;
    });
    if (objects.empty())
        return false;
    m_strFolder = folder;
    m_objects = std::move(objects);
    return true;
}

bool CFileFind::FindNextFile()
{
    if (m_nNext >= m_objects.size())
        return false;
    m_nCurrent = m_nNext++;
    m_bHasCurrent = true;
    return m_nNext < m_objects.size();
}

bool CFileFind::IsDots() const
{
    if (!m_bHasCurrent)
        return false;
    return isDots(m_objects[m_nCurrent].name);
}

bool CFileFind::MatchesMask(unsigned mask) const
{
    if (!m_bHasCurrent)
        return false;
    return (mask & FILE_ATTRIBUTE_DIRECTORY) != 0 && m_objects[m_nCurrent].isFolder;
}

std::string CFileFind::GetFilePath() const
{
    if (!m_bHasCurrent)
        return m_strFolder;
    return paths::join(m_strFolder, m_objects[m_nCurrent].name);
}

std::string CFileFind::GetFileName() const
{
    return m_bHasCurrent ? m_objects[m_nCurrent].name : std::string();
}

std::uint64_t CFileFind::GetLength() const
{
    return m_bHasCurrent ? m_objects[m_nCurrent].length : 0;
}

bool CFileFind::isRegularFile() const
{
    return m_bHasCurrent && m_objects[m_nCurrent].isRegular;
}

bool CFileFind::isSymbolicLink() const
{
    return m_bHasCurrent && m_objects[m_nCurrent].isLink;
}

void CFileFind::Close()
{
    m_strFolder.clear();
    m_objects.clear();
    m_nNext = 0;
    m_nCurrent = 0;
    m_bHasCurrent = false;
}

} // namespace archive
