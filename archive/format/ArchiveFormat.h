#pragma once

#include "archive/format/LittleEndian.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// Layout of a data archive: a 32-bit directorySize, the directory of records back to back, then
// the entries' bytes. Every integer is unsigned 32-bit little-endian; there is no magic number,
// so every claimed size is checked against the file before it is used or allocated.
namespace format {

constexpr std::uint64_t kDirectorySizeOffset = 0;
constexpr std::size_t kDirectorySizeBytes = 4;
constexpr std::uint64_t kFirstRecordPosition = 4; // directory offset q lies at file offset q + 4

// Offsets inside a record.
constexpr std::size_t kRecordLengthOffset = 0;
constexpr std::size_t kReservedOffset = 4;
constexpr std::size_t kDataOffsetOffset = 8;
constexpr std::size_t kDataSizeOffset = 12;
constexpr std::size_t kNameOffset = 16;
constexpr std::size_t kFixedFieldsBytes = 16;
// The fixed fields and the name's NUL.
constexpr std::size_t kMinRecordLength = kFixedFieldsBytes + 1;

constexpr std::uint64_t kMaxFieldValue = 0xFFFFFFFFu;
// Entries of 2 GiB or more are refused when building: older readers count in signed 32 bits.
constexpr std::uint64_t kMaxEntryBytes = 0x7FFFFFFFu;
// Throws FormatError tooLarge naming subject when size is more than an entry may hold; the one
// place that refusal is made and worded.
void requireEntrySize(const std::string& subject, std::uint64_t size);

using archive::readLE32;
using archive::writeLE32;

} // namespace format

// One record as read from a directory; name points into the directory's bytes.
struct RecordView {
    std::uint32_t recordPosition = 0; // file offset of the record
    std::uint32_t recordLength = 0;
    std::uint32_t reserved = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;
    std::string_view name; // stored bytes, without the NUL
};

// FormatError naming the archive for a file shorter than 4 bytes or whose directorySize field
// (its first 4 bytes, lengthField) claims more than the file holds after it. To be called before
// anything of that size is allocated.
std::uint32_t checkedDirectorySize(std::span<const unsigned char, 4> lengthField,
                                   std::uint64_t fileLength, const std::string& archiveName);

// The record at directory offset q, checked: FormatError naming archiveName and the record's
// position for a recordLength below 17 or running past the directory, or a name without its NUL.
RecordView decodeRecord(std::span<const unsigned char> directory, std::uint64_t q,
                        const std::string& archiveName);

using RecordVisitor = std::function<void(const RecordView& record)>;

// The record at directory offset q as decodeRecord gave it once, with a name that ends at the
// record's last byte (recordLength is 17 more than the name): nothing is checked or searched
// again.
RecordView decodeTightRecord(std::span<const unsigned char> directory, std::uint64_t q);

// Visits every record in file order; the first malformed one throws as decodeRecord does.
void walkDirectory(std::span<const unsigned char> directory, const std::string& archiveName,
                   const RecordVisitor& visit);

// FormatError naming the archive and the entry when dataOffset + dataSize lies past the end of
// the file, or past the last byte a 32-bit offset reaches.
void checkEntryData(const std::string& archiveName, std::uint64_t fileLength, std::string_view name,
                    std::uint32_t recordPosition, std::uint32_t dataOffset, std::uint32_t dataSize);

// One entry of an archive to be written, in list order.
struct EntrySpec {
    std::string_view name; // entry name bytes, without NUL
    std::uint64_t size = 0;
};

// Calls its argument once per entry of an archive to be written, in list order, the same
// entries each time: a caller with a million entries lends them without a list of its own.
using EntrySequence = std::function<void(const std::function<void(const EntrySpec&)>&)>;

// What an archive of some entries takes: its directory (without the length field) and data.
struct DirectoryLayout {
    std::uint64_t directorySize = 0;
    std::uint64_t dataBytes = 0;
    std::size_t entries = 0;
};

// The layout of an archive holding entries in this order, with the offsets of the writing rule
// (data back to back after the directory). FormatError naming the entry (display text) whose
// record or data would not fit the 32-bit fields or is 2 GiB or more: every entry's data must end
// by byte 4,294,967,295.
DirectoryLayout checkedLayout(const EntrySequence& entries);

// directorySize and the records of entries as checkedLayout laid them out, handed to write in
// pieces of at most a mebibyte: the directory of a million entries is never whole in memory.
void writeDirectory(const EntrySequence& entries, const DirectoryLayout& layout,
                    const std::function<void(std::span<const unsigned char>)>& write);

// checkedLayout and writeDirectory into one block.
std::vector<unsigned char> encodeDirectory(std::span<const EntrySpec> entries);

} // namespace archive
