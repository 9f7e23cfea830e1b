#pragma once

#include "archive/ArchiveError.h"
#include "archive/NativeHandle.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace archive {

class CFolder;
class FileCopier;

// A file that gets its name only when complete: created unnamed in its final folder where the
// file system allows it, else under a temporary name the signal handlers remove.
// A failed or cancelled write never leaves a partial file posing as whole, and an existing file
// of that name survives a failed overwrite.
class OutputFile {
public:
    enum class Existing {
        replace, // an existing file of the name is replaced at commit
        keep,    // an existing object of the name is kept: FileError of kind keptExisting
    };

    // Throws FileError when folder/name is a file this program holds open (the open archive),
    // is a folder, is a file the user could not open for writing, exists while existing is
    // keep, or the file cannot be created. folder must stay open, and where it is (not moved
    // from), until Commit or Discard.
    OutputFile(const CFolder& folder, const std::string& name,
               Existing existing = Existing::replace);
    // Removes the temporary file unless Commit succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* buffer, std::size_t count);
    // Commit then flushes the data before the file is named and the folder after, so a power
    // loss leaves either the earlier file or the whole new one. Set before writing, it also
    // starts writing back every few MiB as they are written, so that flush has little left.
    void setDurable(bool isDurable) noexcept { m_bDurable = isDurable; }
    // Names the file (a link at the final name is replaced, not followed). Throws FileError
    // naming the final path.
    void Commit();
    // Removes the temporary file now; nothing at the final name changes.
    void Discard() noexcept;

    // True while the file has no name in any folder.
    bool isUnnamed() const noexcept { return m_bUnnamed; }
    // false makes every later output a named temporary file, as on a file system without
    // unnamed files; for tests of that path.
    static void allowUnnamed(bool isAllowed) noexcept;
    // false makes keep mode name its files as on a file system with neither a rename that
    // refuses to replace nor hard links; for tests of that path.
    static void allowNoReplaceNaming(bool isAllowed) noexcept;

private:
    friend class FileCopier;

    // A write to the file failed with the system's error number.
    FileError failure(int errorNumber) const;
    NativeHandle folderHandle() const noexcept;
    void createNamed();
    void nameUnnamed();
    void renameIntoPlace();
    void copyIntoNewName();
    void closeFile();
    // count more bytes were written at the end of the file.
    void wrote(std::uint64_t count) noexcept;

    const CFolder* m_pFolder = nullptr;
    NativeHandle m_nHandle = kNoHandle;
    int m_nSlot = -1;
    std::uint64_t m_nWritten = 0;
    std::uint64_t m_nWriteBackFrom = 0; // written back, or started, up to here
    std::string m_strName;
    std::string m_strTempName;
    std::string m_strPath;
    Existing m_existing;
    bool m_bUnnamed = false;
    bool m_bTargetSeen = false;
    bool m_bDurable = false;
    bool m_bCommitted = false;
};

} // namespace archive
