#include "archive/format/EntryData.h"

#include "archive/ArchiveError.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"

#include <algorithm>
#include <string>

namespace archive {

std::size_t readEntryBytes(const ArchiveReader& reader, const RecordView& record,
                           std::uint64_t offset, std::span<unsigned char> buffer)
{
    reader.checkData(record);
    if (offset >= record.dataSize)
        return 0;
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), record.dataSize - offset));
    std::size_t got = 0;
    while (got < count) {
        const std::size_t n =
            reader.readAt(buffer.data() + got, count - got, record.dataOffset + offset + got);
        if (n == 0)
            throw FormatError(ErrorKind::damagedEntry, reader.path(),
                              "the file ended inside the entry " +
                                  names::entrySubject(record.name, record.recordPosition));
        got += n;
    }
    return count;
}

} // namespace archive
