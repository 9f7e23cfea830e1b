#include "archive/format/ArchiveFormat.h"

#include "archive/ArchiveError.h"
#include "archive/format/NameMapping.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace archive {

namespace {

using format::readLE32;

std::string num(std::uint64_t value)
{
    return std::to_string(value);
}

// How an entry is named in messages.
std::string entrySubject(std::string_view name)
{
    return names::displayName(name);
}

FormatError notAnArchive(const std::string& archiveName, FormatCause cause,
                         std::vector<std::uint64_t> figures, std::string reason)
{
    return FormatError(cause, std::move(figures), ErrorKind::notAnArchive, archiveName,
                       std::move(reason));
}

// Checks the record at offset q of a directory of size bytes whose first bytes (at least the
// length word) are at p, and returns its recordLength.
std::uint32_t checkedRecordLength(const unsigned char* p, std::uint64_t q, std::uint64_t size,
                                  const std::string& archiveName)
{
    const std::uint64_t position = q + format::kFirstRecordPosition;
    const std::uint64_t left = size - q;
    if (left < 4)
        throw notAnArchive(archiveName, FormatCause::recordCutOff, {position},
                           "the record at offset " + num(position) +
                               " is cut off by the end of the directory");
    const std::uint32_t recordLength = readLE32(p + format::kRecordLengthOffset);
    if (recordLength < format::kMinRecordLength)
        throw notAnArchive(archiveName, FormatCause::recordTooShort,
                           {position, recordLength, format::kMinRecordLength},
                           "the record at offset " + num(position) + " claims a length of " +
                               num(recordLength) + " bytes, below the least possible " +
                               num(format::kMinRecordLength));
    if (recordLength > left)
        throw notAnArchive(archiveName, FormatCause::recordTooLong, {position, recordLength, left},
                           "the record at offset " + num(position) + " claims a length of " +
                               num(recordLength) + " bytes but only " + num(left) +
                               " remain in the directory");
    return recordLength;
}

// The name bytes of a record already known to be recordLength bytes long, without the NUL.
std::string_view recordName(const unsigned char* record, std::uint32_t recordLength,
                            std::uint64_t position, const std::string& archiveName)
{
    const auto* name = reinterpret_cast<const char*>(record + format::kNameOffset);
    const std::size_t area = recordLength - format::kNameOffset;
    const void* nul = std::memchr(name, '\0', area);
    if (!nul)
        throw notAnArchive(archiveName, FormatCause::nameUnterminated, {position},
                           "the name of the record at offset " + num(position) +
                               " has no terminating NUL");
    return std::string_view(name, static_cast<const char*>(nul) - name);
}

} // namespace

std::uint32_t checkedDirectorySize(std::span<const unsigned char, 4> lengthField,
                                   std::uint64_t fileLength, const std::string& archiveName)
{
    if (fileLength < format::kDirectorySizeBytes)
        throw notAnArchive(
            archiveName, FormatCause::fileTooShort, {fileLength, format::kDirectorySizeBytes},
            "the file holds only " + num(fileLength) + " bytes, too few for an archive");
    const std::uint32_t directorySize = readLE32(lengthField.data());
    const std::uint64_t room = fileLength - format::kDirectorySizeBytes;
    // No magic number: this comparison is what stops a stray file from causing a huge allocation.
    if (directorySize > room)
        throw notAnArchive(archiveName, FormatCause::directoryTooLarge, {directorySize, room},
                           "the directory claims " + num(directorySize) +
                               " bytes but the file holds only " + num(room) +
                               " after its length field");
    return directorySize;
}

namespace {

// The fixed fields of the record at p, at file offset position.
RecordView fieldsOf(const unsigned char* p, std::uint64_t position, std::uint32_t recordLength)
{
    RecordView view;
    view.recordLength = recordLength;
    // recordLength >= 17 inside a directory below 4 GiB keeps the position within 32 bits.
    view.recordPosition = static_cast<std::uint32_t>(position);
    view.reserved = readLE32(p + format::kReservedOffset);
    view.dataOffset = readLE32(p + format::kDataOffsetOffset);
    view.dataSize = readLE32(p + format::kDataSizeOffset);
    return view;
}

} // namespace

RecordView decodeRecord(std::span<const unsigned char> directory, std::uint64_t q,
                        const std::string& archiveName)
{
    const unsigned char* p = directory.data() + q;
    const std::uint64_t position = q + format::kFirstRecordPosition;
    RecordView view =
        fieldsOf(p, position, checkedRecordLength(p, q, directory.size(), archiveName));
    view.name = recordName(p, view.recordLength, position, archiveName);
    return view;
}

RecordView decodeTightRecord(std::span<const unsigned char> directory, std::uint64_t q)
{
    const unsigned char* p = directory.data() + q;
    RecordView view =
        fieldsOf(p, q + format::kFirstRecordPosition, readLE32(p + format::kRecordLengthOffset));
    view.name = std::string_view(reinterpret_cast<const char*>(p + format::kNameOffset),
                                 view.recordLength - format::kMinRecordLength);
    return view;
}

void walkDirectory(std::span<const unsigned char> directory, const std::string& archiveName,
                   const RecordVisitor& visit)
{
    for (std::uint64_t q = 0; q < directory.size();) {
        const RecordView record = decodeRecord(directory, q, archiveName);
        visit(record);
        q += record.recordLength;
    }
}

void checkEntryData(const std::string& archiveName, std::uint64_t fileLength, std::string_view name,
                    std::uint32_t recordPosition, std::uint32_t dataOffset, std::uint32_t dataSize)
{
    // An empty entry reads no byte, wherever its offset points.
    if (dataSize == 0)
        return;
    const std::uint64_t end = std::uint64_t(dataOffset) + dataSize;
    if (end > fileLength)
        throw FormatError(ErrorKind::damagedEntry, archiveName,
                          "the entry " + names::entrySubject(name, recordPosition) +
                              " claims bytes " + num(dataOffset) + " to " + num(end) +
                              " but the file holds only " + num(fileLength));
    // Readers that add the two fields in 32 bits would wrap to the start of the file.
    if (end > format::kMaxFieldValue)
        throw FormatError(ErrorKind::damagedEntry, archiveName,
                          "the entry " + names::entrySubject(name, recordPosition) +
                              " claims bytes " + num(dataOffset) + " to " + num(end) +
                              ", past the 4 GiB an archive can address");
}

namespace {

// The directory's size and the data's, after refusing any record the 32-bit fields cannot hold.
DirectoryLayout checkedSizes(const EntrySequence& entries)
{
    DirectoryLayout layout;
    entries([&layout](const EntrySpec& entry) {
        const std::uint64_t recordLength =
            std::uint64_t(entry.name.size()) + format::kMinRecordLength;
        if (entry.name.find('\0') != std::string_view::npos)
            throw FormatError(ErrorKind::nameNotStorable, entrySubject(entry.name),
                              "the name holds a NUL byte");
        if (entry.size > format::kMaxEntryBytes)
            format::requireEntrySize(entrySubject(entry.name), entry.size);
        if (recordLength > format::kMaxFieldValue)
            throw FormatError(ErrorKind::nameTooLong, entrySubject(entry.name),
                              "the name is too long for a record");
        layout.directorySize += recordLength;
        if (layout.directorySize + format::kFirstRecordPosition > format::kMaxFieldValue)
            throw FormatError(ErrorKind::tooLarge, entrySubject(entry.name),
                              "the directory would pass 4 GiB, more than an archive can hold");
        layout.dataBytes += entry.size;
        ++layout.entries;
    });
    return layout;
}

// Refuses the entries whose data would start or end past what a 32-bit offset reaches.
void checkDataOffsets(const EntrySequence& entries, std::uint64_t directorySize)
{
    std::uint64_t dataOffset = format::kFirstRecordPosition + directorySize;
    // The first entry whose data would end past 4 GiB.
    std::optional<std::string> pastTheEnd;
    entries([&](const EntrySpec& entry) {
        if (dataOffset > format::kMaxFieldValue)
            throw FormatError(ErrorKind::tooLarge, entrySubject(entry.name),
                              "its data would start past 4 GiB, beyond what an archive can reach");
        dataOffset += entry.size;
        // A reader adding offset and size in 32 bits would wrap to the start of the file.
        if (dataOffset > format::kMaxFieldValue && !pastTheEnd)
            pastTheEnd = entrySubject(entry.name);
    });
    if (pastTheEnd)
        throw FormatError(ErrorKind::tooLarge, *pastTheEnd,
                          "its data would end past 4 GiB, beyond what an archive can hold");
}

} // namespace

DirectoryLayout checkedLayout(const EntrySequence& entries)
{
    const DirectoryLayout layout = checkedSizes(entries);
    // Only an archive that ends past 4 GiB has an entry to name, which takes a second walk.
    if (format::kFirstRecordPosition + layout.directorySize + layout.dataBytes >
        format::kMaxFieldValue)
        checkDataOffsets(entries, layout.directorySize);
    return layout;
}

void writeDirectory(const EntrySequence& entries, const DirectoryLayout& layout,
                    const std::function<void(std::span<const unsigned char>)>& write)
{
    constexpr std::size_t kPieceBytes = 1024 * 1024;
    const std::size_t total = format::kDirectorySizeBytes + layout.directorySize;
    std::vector<unsigned char> piece(std::min(total, kPieceBytes));
    format::writeLE32(piece.data(), static_cast<std::uint32_t>(layout.directorySize));
    std::size_t fill = format::kDirectorySizeBytes;
    std::uint64_t dataOffset = format::kFirstRecordPosition + layout.directorySize;
    entries([&](const EntrySpec& entry) {
        const std::size_t recordLength = entry.name.size() + format::kMinRecordLength;
        if (piece.size() - fill < recordLength) {
            write({piece.data(), fill});
            fill = 0;
            // A name longer than a piece gets a piece of its own.
            if (piece.size() < recordLength)
                piece.resize(recordLength);
        }
        unsigned char* p = piece.data() + fill;
        format::writeLE32(p + format::kRecordLengthOffset,
                          static_cast<std::uint32_t>(recordLength));
        format::writeLE32(p + format::kReservedOffset, 0);
        format::writeLE32(p + format::kDataOffsetOffset, static_cast<std::uint32_t>(dataOffset));
        format::writeLE32(p + format::kDataSizeOffset, static_cast<std::uint32_t>(entry.size));
        if (!entry.name.empty())
            std::memcpy(p + format::kNameOffset, entry.name.data(), entry.name.size());
        p[format::kNameOffset + entry.name.size()] = 0;
        fill += recordLength;
        dataOffset += entry.size;
    });
    if (fill > 0)
        write({piece.data(), fill});
}

std::vector<unsigned char> encodeDirectory(std::span<const EntrySpec> entries)
{
    const EntrySequence sequence = [entries](const std::function<void(const EntrySpec&)>& visit) {
        for (const EntrySpec& entry : entries)
            visit(entry);
    };
    // Everything is checked before a byte is produced, so a refused archive leaves no file.
    const DirectoryLayout layout = checkedLayout(sequence);
    std::vector<unsigned char> out;
    out.reserve(format::kDirectorySizeBytes + layout.directorySize);
    writeDirectory(sequence, layout, [&out](std::span<const unsigned char> piece) {
        out.insert(out.end(), piece.begin(), piece.end());
    });
    return out;
}

} // namespace archive

namespace archive::format {

void requireEntrySize(const std::string& subject, std::uint64_t size)
{
    if (size > kMaxEntryBytes)
        throw FormatError(ErrorKind::tooLarge, subject,
                          "is 2 GiB or larger, more than an archive entry can hold");
}

} // namespace archive::format
