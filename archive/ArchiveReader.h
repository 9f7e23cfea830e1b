#pragma once

#include "archive/ArchiveError.h"
#include "archive/CFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// One record as the reader holds it; name points into the reader's copy of the directory and
// stays valid while the reader is open.
struct RecordView {
    std::uint32_t recordPosition = 0; // file offset of the record
    std::uint32_t recordLength = 0;
    std::uint32_t reserved = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;
    std::string_view name; // stored bytes, without the NUL
};

// The open archive: the file, its length, and its whole directory read and walked once. Every
// record is then served from memory, by its place in file order or by its position (the value
// the entry list keeps), so no command reads a record from the file twice.
class ArchiveReader {
public:
    ArchiveReader() = default;
    // Reads the directory of an archive someone else holds open; the file must outlive this.
    explicit ArchiveReader(CFile& file);
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Opens path for reading and reads its directory. FileError when the file cannot be opened
    // or read; FormatError (the reader is then closed) when the length field claims more than the
    // file holds. A malformed record does not throw: the records before it
    // are kept and damage() tells what stopped the walk.
    void Open(const std::string& path);
    void Close() noexcept;
    bool isOpen() const noexcept { return m_pFile && m_pFile->isOpen(); }

    // The archive itself, for copying an entry's bytes.
    CFile& file() const;
    const std::string& path() const;
    std::uint64_t fileLength() const noexcept { return m_nFileLength; }
    // The first byte after the directory.
    std::uint64_t dataAreaStart() const noexcept;

    // The first malformed record, if the walk stopped at one.
    const std::optional<FormatError>& damage() const noexcept { return m_damage; }
    // Throws damage(), if any.
    void requireWholeDirectory() const;

    std::size_t size() const noexcept { return m_positions.size(); }
    // The index-th well-formed record in file order.
    RecordView at(std::size_t index) const;
    // The record starting at position. FormatError naming the archive when no record starts
    // there.
    RecordView record(std::uint32_t position) const;

    // FormatError naming the archive and the entry when the record's data lies past the end of
    // the file or past the last byte a 32-bit offset reaches.
    void checkData(const RecordView& record) const;

private:
    void readDirectory();
    static std::size_t slotOf(std::uint32_t position);

    CFile m_file;
    CFile* m_pFile = nullptr;
    std::uint64_t m_nFileLength = 0;
    std::vector<unsigned char> m_directory;
    std::vector<std::uint32_t> m_positions; // ascending
    // Index + 1 of the record starting at directory offset 17 * k + r, at slot k: records are at
    // least 17 bytes long, so no two share a slot and a position is found in one step.
    std::vector<std::uint32_t> m_slots;
    std::optional<FormatError> m_damage;
};

} // namespace archive
