#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

constexpr unsigned FILE_ATTRIBUTE_DIRECTORY = 0x10;

// One object a search found, examined without following a link.
struct FoundObject {
    std::string name;
    bool isFolder = false;
    bool isRegular = false; // a regular file, or a link to one
    bool isLink = false;
    std::uint64_t length = 0; // of the file a link leads to, for a link
};

// Folder search. Objects are examined with lstat, so a symbolic link is never taken for the
// folder it points to.
class CFileFind {
public:
    // "folder/*.*" or "folder/*" lists the folder, its "." and ".." included; a path without a
    // wildcard finds that one object. TRUE when at least one object matches; FALSE when the
    // folder or object does not exist. Throws FileError when a folder exists but cannot be read.
    bool FindFile(const std::string& pattern);
    // Steps to the next object, which is then current; FALSE when the object it stepped to is
    // the last one. Must be called once before the first object can be examined.
    bool FindNextFile();

    bool IsDots() const;
    // FILE_ATTRIBUTE_DIRECTORY: a real folder, not a link to one.
    bool MatchesMask(unsigned mask) const;
    // The searched folder and the name joined by one '/' (never doubled after a trailing '/').
    std::string GetFilePath() const;
    std::string GetFileName() const;
    // Size of a regular file (of the link's target for a link to a file).
    std::uint64_t GetLength() const;

    bool isRegularFile() const;  // a regular file, or a symbolic link to one
    bool isSymbolicLink() const; // of any kind
    void Close();

private:
    // A path without a wildcard: that one object.
    bool findOne(std::string folder, std::string last);
    // Every object of folder whose name matches mask.
    bool findMatching(const std::string& folder, const std::string& mask);

    std::string m_strFolder;
    std::vector<FoundObject> m_objects;
    std::size_t m_nNext = 0;
    std::size_t m_nCurrent = 0;
    bool m_bHasCurrent = false;
};

} // namespace archive
