#pragma once

#include "CFile.h"

#include <cstddef>
#include <string>

namespace archive {

class CFolder;

// A file written under a temporary name in its final folder and renamed into place only when
// complete: a failed or cancelled write never leaves a partial file posing as whole, and an
// existing file of that name survives a failed overwrite.
class SafeOutputFile {
public:
    // Throws FileError when folder/name is a file this program holds open (the open archive),
    // is a folder, or the temporary file cannot be created.
    SafeOutputFile(const CFolder& folder, const std::string& name);
    // Removes the temporary file unless Commit succeeded.
    ~SafeOutputFile();
    SafeOutputFile(const SafeOutputFile&) = delete;
    SafeOutputFile& operator=(const SafeOutputFile&) = delete;

    void Write(const void* buffer, std::size_t count);
    // Closes the temporary file and renames it over the final name (a link there is replaced,
    // not followed). Throws FileError naming the final path.
    void Commit();
    // Removes the temporary file now; nothing at the final name changes.
    void Discard() noexcept;

    // The final path, for messages.
    const std::string& path() const noexcept { return m_strPath; }

private:
    int m_nFolderFd = -1;
    std::string m_strName;
    std::string m_strTempName;
    std::string m_strPath;
    CFile m_file;
    bool m_bCommitted = false;
};

} // namespace archive
