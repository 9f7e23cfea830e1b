#include "archive/commands/ArchiveWriter.h"

#include "archive/ArchiveError.h"
#include "archive/files/CFile.h"
#include "archive/files/CFolder.h"
#include "archive/files/OutputFile.h"

#include <algorithm>
#include <utility>

namespace archive {

namespace {

constexpr std::size_t kBufferBytes = 1024 * 1024;

// Ranges the same distance from a block boundary in both files can share their blocks on file
// systems that share extents, but only from a boundary on.
constexpr std::uint64_t kBlockBytes = 4096;

} // namespace

ArchiveWriter::ArchiveWriter(OutputFile& out, std::uint64_t written, const ProgressFn& progress,
                             Progress& state, std::string changedSize)
    : m_out(out), m_nWritten(written), m_progress(progress), m_state(state),
      m_strChangedSize(std::move(changedSize))
{
}

bool ArchiveWriter::copyArchiveRange(const CFile& archive, std::uint64_t offset,
                                     std::uint64_t length, bool isOld)
{
    flush();
    FileCopier& copier = isOld ? m_archiveCopier : m_hostCopier;
    return copyRange(archive, offset, length, copier, [&archive] {
        throw FormatError(ErrorKind::damagedEntry, archive.GetFilePath(),
                          "the archive ended while its entries were copied");
    });
}

bool ArchiveWriter::copyHostFile(const std::string& path, std::uint64_t size)
{
    flush();
    CFile source;
    source.Open(path, CFile::modeRead);
    return copyOpened(source, size);
}

bool ArchiveWriter::copyFolderFile(const CFolder& folder, const std::string& name,
                                   std::uint64_t size)
{
    if (size > kSmallFileBytes) {
        flush();
        CFile source;
        source.Open(folder, name, CFile::modeRead);
        return copyOpened(source, size);
    }
    const auto small = static_cast<std::size_t>(size);
    // One byte more than listed: a file that grew since shows by filling it.
    if (m_buffer.size() - m_nFill < small + 1)
        flush();
    if (m_buffer.empty())
        m_buffer.resize(kBufferBytes);
    // The records are already written: data of any other length would shift every entry after
    // this one.
    if (folder.readFile(name, m_buffer.data() + m_nFill, small + 1) != small)
        throw FileError(ErrorKind::changedWhileBuilding, folder.pathOf(name), m_strChangedSize);
    m_nFill += small;
    m_nWritten += small;
    m_state.bytesDone += small;
    return true;
}

bool ArchiveWriter::copyFile(const CFile& file, std::uint64_t length,
                             const std::function<void()>& refuseShort)
{
    flush();
    return copyRange(file, 0, length, m_hostCopier, refuseShort);
}

void ArchiveWriter::write(std::span<const unsigned char> bytes)
{
    flush();
    m_out.Write(bytes.data(), bytes.size());
    m_nWritten += bytes.size();
}

void ArchiveWriter::flush()
{
    if (m_nFill > 0)
        m_out.Write(m_buffer.data(), m_nFill);
    m_nFill = 0;
}

bool ArchiveWriter::copyOpened(const CFile& source, std::uint64_t size)
{
    const auto refuse = [&source, this] {
        throw FileError(ErrorKind::changedWhileBuilding, source.GetFilePath(), m_strChangedSize);
    };
    // The records are already written: data of any other length would shift every entry after
    // this one.
    if (source.lengthAtOpen() != size)
        refuse();
    return copyRange(source, 0, size, m_hostCopier, refuse);
}

bool ArchiveWriter::copyRange(const CFile& source, std::uint64_t offset, std::uint64_t length,
                              FileCopier& copier, const std::function<void()>& refuseShort)
{
    while (length > 0) {
        std::uint64_t slice = std::min(length, FileCopier::kSliceBytes);
        const std::uint64_t intoBlock = m_nWritten % kBlockBytes;
        if (intoBlock != 0 && offset % kBlockBytes == intoBlock)
            slice = std::min(slice, kBlockBytes - intoBlock);
        if (copier.copy(source, offset, m_out, slice) != slice)
            refuseShort();
        offset += slice;
        length -= slice;
        m_nWritten += slice;
        m_state.bytesDone += slice;
        // Within a range only; a whole entry is followed by the caller's own report.
        if (length > 0 && !isGoing())
            return false;
    }
    return true;
}

} // namespace archive
