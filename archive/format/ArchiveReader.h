#pragma once

#include "archive/ArchiveError.h"
#include "archive/files/CFile.h"
#include "archive/files/ZeroedBlock.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/CodePage.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// The open archive: the file (or an image of one in memory), its length, and its whole directory
// read and walked once. Every record is then served from memory, by its place in file order or by
// its position (the value the entry list keeps), so no command reads a record from the file
// twice. Reads go to an offset, never through a file position, so const readers may share it.
class ArchiveReader {
public:
    ArchiveReader() = default;
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Opens path for reading and reads its directory. FileError when the file cannot be opened
    // or read; FormatError (the reader is then closed) when the length field claims more than the
    // file holds. A malformed record does not throw: the records before it
    // are kept and damage() tells what stopped the walk. The names are read in the code page
    // forced, or without one in the code page the names themselves show (CodePageDetector).
    // isShared: a reading other shared readings of this program may hold at once
    // (CFile::modeShareRead).
    void Open(const std::string& path, std::optional<Encoding> forced = std::nullopt,
              bool isShared = false);
    // The same over an archive's bytes held by the caller, who keeps them alive and unchanged
    // while the reader is open; name stands for the archive in errors.
    void OpenMemory(std::span<const unsigned char> bytes, const std::string& name,
                    std::optional<Encoding> forced = std::nullopt);
    void Close() noexcept;
    bool isOpen() const noexcept { return m_file.isOpen() || m_bMemory; }

    // The archive file itself, for copying an entry's bytes; FileError of kind internal when the
    // reader reads from memory or nothing is open.
    CFile& file() const;
    const std::string& path() const;
    // Up to count bytes at offset; short only at the end of the archive. FileError when reading
    // fails or nothing is open.
    std::size_t readAt(void* buffer, std::size_t count, std::uint64_t offset) const;
    std::uint64_t fileLength() const noexcept { return m_nFileLength; }
    // The first byte after the directory.
    std::uint64_t dataAreaStart() const noexcept;

    // The code page the names are in, and whether detection chose it (false: forced).
    const CodePage& codePage() const noexcept { return *m_pCodePage; }
    bool isCodePageDetected() const noexcept { return m_bCodePageDetected; }

    // The first malformed record, if the walk stopped at one.
    const std::optional<FormatError>& damage() const noexcept { return m_damage; }
    // Throws damage(), if any.
    void requireWholeDirectory() const;

    std::size_t size() const noexcept { return m_nRecords; }
    // The index-th well-formed record in file order.
    RecordView at(std::size_t index) const;
    // The record starting at position. FormatError naming the archive when no record starts
    // there.
    RecordView record(std::uint32_t position) const;

    // The record at a position this reader's walk kept (from at() or a catalogue), decoded
    // without looking the position up: a listing in name order then touches only the record.
    RecordView kept(std::uint32_t position) const;

    // FormatError naming the archive and the entry when the record's data lies past the end of
    // the file or past the last byte a 32-bit offset reaches.
    void checkData(const RecordView& record) const;

private:
    void readDirectory(std::optional<Encoding> forced);
    static std::size_t slotOf(std::uint32_t position);

    mutable CFile m_file;
    std::span<const unsigned char> m_memory;
    bool m_bMemory = false;
    std::string m_strPath;
    std::uint64_t m_nFileLength = 0;
    std::span<const unsigned char> directory() const
    {
        return {m_directory.data(), m_directory.size()};
    }
    const std::uint32_t* positions() const noexcept { return m_positions.as<std::uint32_t>(); }

    // Taken from the system in large pages, not from vectors: a fault per 4 KiB page of tens of
    // megabytes, and zero-filling them only to read over them, cost more than reading them.
    ZeroedBlock m_directory;
    ZeroedBlock m_positions; // record positions, ascending, m_nRecords of them
    std::size_t m_nRecords = 0;
    // Index + 1 of the record starting at directory offset 17 * k + r, at slot k: records are at
    // least 17 bytes long, so no two share a slot and a position is found in one step.
    ZeroedBlock m_slots;
    // A bit per record whose name ends at its last byte, as every record this program writes:
    // at() then takes the name's length from the record's, without searching for its NUL.
    ZeroedBlock m_tight;
    std::optional<FormatError> m_damage;
    const CodePage* m_pCodePage = &CodePage::big5();
    bool m_bCodePageDetected = false;
};

} // namespace archive
