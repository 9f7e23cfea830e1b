#include "archive/CFileFind.h"

#include "archive/Paths.h"

// What a search found is held in memory by the platform's FindFile; walking it is the same
// everywhere.
namespace archive {

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
    const std::string& name = m_objects[m_nCurrent].name;
    return name == "." || name == "..";
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
