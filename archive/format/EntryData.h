#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace archive {

class ArchiveReader;
struct RecordView;

// Reads record's data starting offset bytes into the entry into buffer, as much as fits (less
// when the entry ends first; none at or past its end), and returns the count read, so a viewer
// holds only what it shows, in a buffer of its own. FormatError of kind damagedEntry naming the
// archive and the entry when the entry's data lies past the end of the file or the file ends
// while it is read; FileError when reading fails.
std::size_t readEntryBytes(const ArchiveReader& reader, const RecordView& record,
                           std::uint64_t offset, std::span<unsigned char> buffer);

} // namespace archive
