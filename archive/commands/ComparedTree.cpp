#include "archive/commands/ComparedTree.h"

#include "archive/ArchiveError.h"
#include "archive/commands/ContentHash.h"
#include "archive/files/FileSystem.h"
#include "archive/format/CodePage950.h"
#include "archive/format/EntryData.h"
#include "archive/format/LittleEndian.h"
#include "archive/format/NameMapping.h"

#include <algorithm>
#include <cstring>

namespace archive {

bool ComparedTree::isFolderPath(const std::string& path)
{
    try {
        filesystem::requireFolder(path);
        return true;
    } catch (const FileError& error) {
        if (error.kind() != ErrorKind::notAFolder)
            throw;
        return false;
    }
}

namespace {

// Large enough that a read costs little beside the bytes; small enough for two sides and a
// thread's stack to stay modest.
constexpr std::size_t kChunkBytes = 256 * 1024;

} // namespace

bool ComparedTree::isListedBefore(std::string_view a, std::string_view b)
{
    const int order = cp950::compareNoCase(a, b);
    return order != 0 ? order < 0 : a < b;
}

ComparedTree::ComparedTree(const std::string& path, std::optional<Encoding> forced)
    : m_strPath(path), m_pFolderCodePage(&CodePage::of(forced.value_or(Encoding::big5)))
{
    if (!isFolderPath(path)) {
        m_pOwnReader = std::make_unique<ArchiveReader>();
        m_pOwnReader->Open(path, forced);
        m_pReader = m_pOwnReader.get();
        listArchive();
        return;
    }
    AddFolderEntries(m_files, path, path, *m_pFolderCodePage);
    m_entries.reserve(m_files.size());
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        const BuildEntry& file = m_files[i];
        m_entries.push_back(
            {file.name, static_cast<std::uint32_t>(file.size), static_cast<std::uint32_t>(i)});
    }
    sortEntries();
}

ComparedTree::ComparedTree(const ArchiveReader& reader)
    : m_strPath(reader.path()), m_pReader(&reader)
{
    listArchive();
}

const CodePage& ComparedTree::codePage() const noexcept
{
    return m_pReader ? m_pReader->codePage() : *m_pFolderCodePage;
}

void ComparedTree::listArchive()
{
    m_pReader->requireWholeDirectory();
    m_entries.reserve(m_pReader->size());
    for (std::size_t i = 0; i < m_pReader->size(); ++i) {
        const RecordView record = m_pReader->at(i);
        m_entries.push_back({record.name, record.dataSize, record.recordPosition});
    }
    sortEntries();
}

void ComparedTree::sortEntries()
{
    const auto before = [](const Entry& a, const Entry& b) {
        return isListedBefore(a.name, b.name);
    };
    // An archive this program wrote is in this order already; checking costs a tenth of sorting.
    if (!std::is_sorted(m_entries.begin(), m_entries.end(), before))
        std::stable_sort(m_entries.begin(), m_entries.end(), before);
}

std::string ComparedTree::hostPath(const Entry& entry) const
{
    return isFolder() ? m_files[entry.ref].hostPath : std::string();
}

ComparedTree::Bytes::Bytes(const ComparedTree& tree, const Entry& entry)
    : m_tree(tree), m_entry(entry)
{
    if (!tree.isFolder())
        return;
    m_file.Open(tree.hostPath(entry), CFile::modeRead);
    if (m_file.lengthAtOpen() != entry.size)
        throw FileError(ErrorKind::changedWhileBuilding, m_file.GetFilePath(),
                        "changed size while it was compared");
    m_file.expectSequentialReads();
}

std::size_t ComparedTree::Bytes::read(std::span<unsigned char> buffer)
{
    std::size_t count = 0;
    if (m_tree.isFolder()) {
        const std::uint64_t left = m_entry.size - m_nOffset;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left));
        count = m_file.ReadAt(buffer.data(), want, m_nOffset);
        if (count != want)
            throw FileError(ErrorKind::changedWhileBuilding, m_file.GetFilePath(),
                            "changed size while it was compared");
    } else {
        const RecordView record = m_tree.m_pReader->kept(m_entry.ref);
        count = record.dataSize <= kWindowedBytes
                    ? m_tree.readWindowed(record, m_nOffset, buffer)
                    : readEntryBytes(*m_tree.m_pReader, record, m_nOffset, buffer);
    }
    m_nOffset += count;
    return count;
}

std::size_t ComparedTree::readWindowed(const RecordView& record, std::uint64_t offset,
                                       std::span<unsigned char> buffer) const
{
    m_pReader->checkData(record);
    if (offset >= record.dataSize)
        return 0;
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), record.dataSize - offset));
    const std::uint64_t at = record.dataOffset + offset;
    if (at < m_nWindowStart || at + count > m_nWindowStart + m_nWindowFill) {
        m_window.resize(kWindowBytes);
        m_nWindowStart = at;
        m_nWindowFill = m_pReader->readAt(m_window.data(), m_window.size(), at);
        if (m_nWindowFill < count)
            throw FormatError(ErrorKind::damagedEntry, m_pReader->path(),
                              "the file ended inside the entry " +
                                  names::entrySubject(record.name, record.recordPosition));
    }
    std::memcpy(buffer.data(), m_window.data() + (at - m_nWindowStart), count);
    return count;
}

std::uint64_t ComparedTree::hash(const Entry& entry) const
{
    std::vector<unsigned char> buffer(std::min<std::size_t>(kChunkBytes, entry.size));
    Bytes bytes(*this, entry);
    ContentHash hash;
    while (std::size_t count = bytes.read(buffer))
        hash.add({buffer.data(), count});
    return hash.value();
}

std::uint64_t ComparedTree::digest() const
{
    ContentHash digest;
    unsigned char fields[12];
    for (const Entry& entry : m_entries) {
        digest.add({reinterpret_cast<const unsigned char*>(entry.name.data()), entry.name.size()});
        const std::uint64_t value = hash(entry);
        writeLE32(fields, entry.size);
        writeLE32(fields + 4, static_cast<std::uint32_t>(value));
        writeLE32(fields + 8, static_cast<std::uint32_t>(value >> 32));
        // The size after the name also ends it: no name holds a NUL.
        const unsigned char end = 0;
        digest.add({&end, 1});
        digest.add(fields);
    }
    return digest.value();
}

} // namespace archive
