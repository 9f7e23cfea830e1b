#include "archive/format/ArchiveReader.h"

#include "archive/files/OutputFile.h"
#include "archive/format/CodePageDetector.h"

#include <algorithm>
#include <cstring>

namespace archive {

void ArchiveReader::Open(const std::string& path, std::optional<Encoding> forced, bool isShared)
{
    Close();
    OutputFile::recoverReplaced(path);
    m_file.Open(path, CFile::modeRead | (isShared ? CFile::modeShareRead : 0u));
    m_strPath = path;
    try {
        m_nFileLength = m_file.GetLength();
        readDirectory(forced);
    } catch (...) {
        Close();
        throw;
    }
}

void ArchiveReader::OpenMemory(std::span<const unsigned char> bytes, const std::string& name,
                               std::optional<Encoding> forced)
{
    Close();
    m_memory = bytes;
    m_bMemory = true;
    m_strPath = name;
    m_nFileLength = bytes.size();
    try {
        readDirectory(forced);
    } catch (...) {
        Close();
        throw;
    }
}

void ArchiveReader::Close() noexcept
{
    m_file.Close();
    m_memory = {};
    m_bMemory = false;
    m_strPath.clear();
    m_nFileLength = 0;
    m_directory.reset();
    m_positions.reset();
    m_nRecords = 0;
    m_slots.reset();
    m_tight.reset();
    m_damage.reset();
    m_pCodePage = &CodePage::big5();
    m_bCodePageDetected = false;
}

std::size_t ArchiveReader::readAt(void* buffer, std::size_t count, std::uint64_t offset) const
{
    if (!m_bMemory)
        return file().ReadAt(buffer, count, offset);
    if (offset >= m_memory.size())
        return 0;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, m_memory.size() - offset));
    if (n > 0)
        std::memcpy(buffer, m_memory.data() + offset, n);
    return n;
}

void ArchiveReader::readDirectory(std::optional<Encoding> forced)
{
    unsigned char field[format::kDirectorySizeBytes] = {};
    const std::size_t got = readAt(field, sizeof field, format::kDirectorySizeOffset);
    if (got != sizeof field && m_nFileLength >= sizeof field)
        throw FormatError(FormatCause::fileEndedEarly, {}, ErrorKind::notAnArchive, m_strPath,
                          "the file ended while its length was read");
    const std::uint32_t directorySize =
        checkedDirectorySize(std::span<const unsigned char, 4>(field), m_nFileLength, m_strPath);
    m_directory = ZeroedBlock(directorySize);
    if (readAt(m_directory.data(), directorySize, format::kFirstRecordPosition) != directorySize)
        throw FormatError(FormatCause::fileEndedEarly, {}, ErrorKind::notAnArchive, m_strPath,
                          "the file ended inside the directory");
    const std::size_t nMostRecords = directorySize / format::kMinRecordLength;
    m_positions = ZeroedBlock(nMostRecords * sizeof(std::uint32_t));
    m_slots = ZeroedBlock((nMostRecords + 1) * sizeof(std::uint32_t));
    m_tight = ZeroedBlock(nMostRecords / 8 + 1);
    auto* positions = m_positions.as<std::uint32_t>();
    auto* slots = m_slots.as<std::uint32_t>();
    CodePageDetector detector;
    try {
        walkDirectory(directory(), m_strPath, [&](const RecordView& record) {
            if (record.name.size() + format::kMinRecordLength == record.recordLength)
                m_tight.data()[m_nRecords / 8] |= static_cast<unsigned char>(1u << m_nRecords % 8);
            positions[m_nRecords++] = record.recordPosition;
            slots[slotOf(record.recordPosition)] = static_cast<std::uint32_t>(m_nRecords);
            if (!forced)
                detector.add(record.name);
        });
    } catch (const FormatError& error) {
        m_damage = error;
    }
    m_pCodePage = &CodePage::of(forced ? *forced : detector.result());
    m_bCodePageDetected = !forced;
}

CFile& ArchiveReader::file() const
{
    if (!m_file.isOpen())
        throw FileError(ErrorKind::internal, m_strPath.empty() ? "archive" : m_strPath,
                        m_bMemory ? "the archive is read from memory" : "no archive is open");
    return m_file;
}

const std::string& ArchiveReader::path() const
{
    if (!isOpen())
        file();
    return m_strPath;
}

std::uint64_t ArchiveReader::dataAreaStart() const noexcept
{
    return format::kFirstRecordPosition + m_directory.size();
}

void ArchiveReader::requireWholeDirectory() const
{
    if (m_damage)
        throw *m_damage;
}

std::size_t ArchiveReader::slotOf(std::uint32_t position)
{
    return (position - format::kFirstRecordPosition) / format::kMinRecordLength;
}

RecordView ArchiveReader::at(std::size_t index) const
{
    // The walk checked every record it kept, so this never throws.
    const std::uint64_t q = positions()[index] - format::kFirstRecordPosition;
    if (m_tight.data()[index / 8] & (1u << index % 8))
        return decodeTightRecord(directory(), q);
    return decodeRecord(directory(), q, m_strPath);
}

RecordView ArchiveReader::kept(std::uint32_t position) const
{
    return decodeRecord(directory(), position - format::kFirstRecordPosition, m_strPath);
}

RecordView ArchiveReader::record(std::uint32_t position) const
{
    const std::uint32_t slot =
        position >= format::kFirstRecordPosition && position < dataAreaStart()
            ? m_slots.as<std::uint32_t>()[slotOf(position)]
            : 0;
    if (slot == 0 || positions()[slot - 1] != position)
        throw FormatError(FormatCause::noRecordAt, {position}, ErrorKind::notAnArchive, path(),
                          "no record starts at offset " + std::to_string(position));
    return at(slot - 1);
}

void ArchiveReader::checkData(const RecordView& record) const
{
    checkEntryData(path(), m_nFileLength, record.name, record.recordPosition, record.dataOffset,
                   record.dataSize);
}

} // namespace archive
