#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace archive {

class ArchiveReader;
struct RecordView;

// Reads at most maxBytes of record's data starting offset bytes into the entry (fewer when the
// entry ends first; none at or past its end), so a viewer holds only what it shows. FormatError
// of kind damagedEntry naming the archive and the entry when the entry's data lies past the end
// of the file or the file ends while it is read; FileError when reading fails.
std::vector<unsigned char> readEntryBytes(const ArchiveReader& reader, const RecordView& record,
                                          std::uint64_t offset, std::size_t maxBytes);

} // namespace archive
