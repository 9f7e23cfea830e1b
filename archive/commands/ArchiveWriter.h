#pragma once

#include "archive/commands/Progress.h"
#include "archive/files/FileCopier.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace archive {

class CFile;
class CFolder;
class OutputFile;

// Writes an archive's bytes after its directory, whatever their source: ranges of an open
// archive (the old one, or another the entry comes from), host files named by path, or files in
// a held folder. Building, updating and undo all write through it, so there is one copy loop:
// slices the size of FileCopier::kSliceBytes, progress after each, a source that ends early
// refused, ranges kept in step with block boundaries so shared extents stay whole.
class ArchiveWriter {
public:
    // written: what out holds already (the directory). changedSize words a host file that grew
    // or shrank since it was listed.
    ArchiveWriter(OutputFile& out, std::uint64_t written, const ProgressFn& progress,
                  Progress& state, std::string changedSize);

    // Each returns false when progress asked to stop, and throws FileError (the source's
    // failure, or changedWhileBuilding) or FormatError (damagedEntry: an archive ended early).
    // isOld: the archive being rewritten, rather than one an entry is taken from.
    bool copyArchiveRange(const CFile& archive, std::uint64_t offset, std::uint64_t length,
                          bool isOld = true);
    bool copyHostFile(const std::string& path, std::uint64_t size);
    // Small files are read into one buffer written when full, so a file costs an open, a read
    // and a close; large ones are copied by the system.
    bool copyFolderFile(const CFolder& folder, const std::string& name, std::uint64_t size);
    // The first length bytes of file, short failing with refuseShort's error.
    bool copyFile(const CFile& file, std::uint64_t length,
                  const std::function<void()>& refuseShort);
    // Bytes of the archive's own, such as its directory, written as they are.
    void write(std::span<const unsigned char> bytes);
    // Writes what the buffer holds; call before out is committed.
    void flush();
    // Asks progress whether to go on.
    bool isGoing() const { return !m_progress || m_progress(m_state); }

    // Below this a file in a folder goes through the buffer: one read costs less than a copy
    // call.
    static constexpr std::uint64_t kSmallFileBytes = 64 * 1024;

private:
    bool copyRange(const CFile& source, std::uint64_t offset, std::uint64_t length,
                   FileCopier& copier, const std::function<void()>& refuseShort);
    bool copyOpened(const CFile& source, std::uint64_t size);

    OutputFile& m_out;
    std::uint64_t m_nWritten;
    const ProgressFn& m_progress;
    Progress& m_state;
    std::string m_strChangedSize;
    // Apart, so a host file on another file system that refuses the kernel copy does not turn
    // the archive's own ranges to buffered copies.
    FileCopier m_archiveCopier;
    FileCopier m_hostCopier;
    std::vector<unsigned char> m_buffer;
    std::size_t m_nFill = 0;
};

} // namespace archive
