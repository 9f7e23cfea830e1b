#include "archive/ArchiveReader.h"

#include "archive/ArchiveFormat.h"

namespace archive {

ArchiveReader::ArchiveReader(CFile& file) : m_pFile(&file)
{
    readDirectory();
}

void ArchiveReader::Open(const std::string& path)
{
    Close();
    m_file.Open(path, CFile::modeRead);
    m_pFile = &m_file;
    try {
        readDirectory();
    } catch (...) {
        Close();
        throw;
    }
}

void ArchiveReader::Close() noexcept
{
    m_file.Close();
    m_pFile = nullptr;
    m_nFileLength = 0;
    m_directory = {};
    m_positions = {};
    m_slots = {};
    m_damage.reset();
}

void ArchiveReader::readDirectory()
{
    CFile& archive = file();
    m_nFileLength = archive.GetLength();
    m_directory = archive::readDirectory(archive);
    m_slots.assign(m_directory.size() / format::kMinRecordLength + 1, 0);
    try {
        walkDirectory(
            m_directory, archive.GetFilePath(), [&](std::string_view, std::uint32_t position) {
                m_positions.push_back(position);
                m_slots[slotOf(position)] = static_cast<std::uint32_t>(m_positions.size());
            });
    } catch (const FormatError& error) {
        m_damage = error;
    }
}

CFile& ArchiveReader::file() const
{
    if (!m_pFile)
        throw FileError(ErrorKind::internal, "archive", "no archive is open");
    return *m_pFile;
}

const std::string& ArchiveReader::path() const
{
    return file().GetFilePath();
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
    // The walk checked the length and the NUL of every record it kept.
    const std::uint32_t position = m_positions[index];
    const unsigned char* p = m_directory.data() + (position - format::kFirstRecordPosition);
    RecordView view;
    view.recordPosition = position;
    view.recordLength = format::readLE32(p + format::kRecordLengthOffset);
    view.reserved = format::readLE32(p + format::kReservedOffset);
    view.dataOffset = format::readLE32(p + format::kDataOffsetOffset);
    view.dataSize = format::readLE32(p + format::kDataSizeOffset);
    const auto* name = reinterpret_cast<const char*>(p + format::kNameOffset);
    view.name = std::string_view(name);
    return view;
}

RecordView ArchiveReader::record(std::uint32_t position) const
{
    const std::uint32_t slot =
        position >= format::kFirstRecordPosition && position < dataAreaStart()
            ? m_slots[slotOf(position)]
            : 0;
    if (slot == 0 || m_positions[slot - 1] != position)
        throw FormatError(ErrorKind::notAnArchive, path(),
                          "no record starts at offset " + std::to_string(position));
    return at(slot - 1);
}

void ArchiveReader::checkData(const RecordView& record) const
{
    checkEntryData(path(), m_nFileLength, record.name, record.recordPosition, record.dataOffset,
                   record.dataSize);
}

} // namespace archive
