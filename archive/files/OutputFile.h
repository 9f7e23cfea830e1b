#pragma once

#include "archive/ArchiveError.h"
#include "archive/files/FileSystem.h"
#include "archive/files/NativeHandle.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace archive {

class CFile;
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
        // As replace, even when this program holds the file open: an archive rewritten from
        // itself, whose reader keeps the old file open (without its name) afterwards.
        replaceOpen,
    };

    // Called with the identity of a regular file at the final name before it is replaced or
    // kept; throws to refuse.
    using ExistingCheck = std::function<void(const filesystem::ObjectId&)>;

    // Throws FileError when folder/name is a file this program holds open (the open archive),
    // is a folder, is a file the user could not open for writing, exists while existing is
    // keep, or the file cannot be created (of kind nameRefusedByFileSystem when the file system
    // cannot hold the name). folder must stay open, and where it is (not moved from), until
    // Commit or Discard; so must check, when given. In a folder this program made and holds
    // open, the name is not looked up first: something that came to it meanwhile is found when
    // the file is named, and checked then.
    OutputFile(const CFolder& folder, const std::string& name,
               Existing existing = Existing::replace, const ExistingCheck* check = nullptr);
    // Removes the temporary file unless Commit succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* buffer, std::size_t count);
    // Gives the file these permission bits now rather than those the umask leaves.
    void setPermissions(std::uint32_t mode);
    // Gives the file the owner, group and extended attributes (POSIX ACLs among them) of file as
    // far as this process may and the file system holds them, then the permission bits mode;
    // the set-user-ID and set-group-ID bits only where the owner and group were kept. Called once
    // the bytes are written, since writing clears those bits.
    void copyAttributesOf(const CFile& file, std::uint32_t mode);
    // Commit then flushes the data before the file is named and the folder after, so a power
    // loss leaves either the earlier file or the whole new one. Set before writing, it also
    // starts writing back every few MiB as they are written, so that flush has little left.
    void setDurable(bool isDurable) noexcept { m_bDurable = isDurable; }
    // Names the file (a link at the final name is replaced, not followed). Throws FileError
    // naming the final path.
    void Commit();
    // Removes the temporary file now; nothing at the final name changes.
    void Discard() noexcept;

    // Where path is missing because a replacement of the file there was stopped halfway (where
    // the system made it move the replaced file aside first), puts the replaced file back.
    // Returns whether it did.
    static bool recoverReplaced(const std::string& path);

    // The final path, for messages.
    const std::string& path() const noexcept { return m_strPath; }
    // True while the file has no name in any folder.
    bool isUnnamed() const noexcept { return m_bUnnamed; }
    // Removes the temporary files of name in folder that runs killed while writing left (with
    // unnamed files missing, and always on Windows): those whose process has ended and that no
    // writer holds. Never throws: what cannot be removed stays for a later run.
    static void removeLeftovers(const CFolder& folder, const std::string& name) noexcept;
    // The writer's process id in what follows a temporary name's prefix ("1234-89abcdef"), or 0
    // when it is no temporary name of that form.
    static long long tempNameWriter(std::string_view rest);

private:
    friend class FileCopier;

    // A free temporary name for name: hidden, and naming the process that writes it.
    static std::string tempName(const std::string& name, unsigned attempt);
    // "." and as much of name as a temporary name holds, then ".part-".
    static std::string tempNamePrefix(const std::string& name);

    // A write to the file failed with the system's error (errno, or a Windows error).
    FileError failure(std::uint32_t error) const;
    // The final name must not be a folder (naming would fail late, after all the writing), a
    // file this program has open (above all the archive being read), nor a file the user may
    // not write. Returns whether something has the name.
    bool checkTarget(Existing existing, const ExistingCheck* check) const;
    void requireOpen() const;
    NativeHandle folderHandle() const noexcept;
    void createNamed();
    // Gives the file a free temporary name through make (0, or the system's error; taken names
    // are tried again under another), registered for removal by the signal handlers.
    void takeTempName(const std::function<std::uint32_t(const std::string&)>& make);
    void nameUnnamed();
    void renameIntoPlace();
    // Names the complete file where no rename refuses to replace: the final name is made empty
    // first, so nothing that came meanwhile is replaced, and the file renamed over it.
    void nameOverPlaceholder();
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
    const ExistingCheck* m_pCheck = nullptr;
    bool m_bUnnamed = false;
    bool m_bTargetSeen = false;
    bool m_bDurable = false;
    bool m_bCommitted = false;
};

} // namespace archive
