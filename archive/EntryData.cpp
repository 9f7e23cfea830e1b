#include "archive/EntryData.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/CFile.h"
#include "archive/NameMapping.h"

#include <algorithm>
#include <string>

namespace archive {

std::vector<unsigned char> readEntryBytes(const ArchiveReader& reader, const RecordView& record,
                                          std::uint64_t offset, std::size_t maxBytes)
{
    reader.checkData(record);
    if (offset >= record.dataSize)
        return {};
    // Checked before the allocation: the count never exceeds what the entry holds.
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, record.dataSize - offset));
    std::vector<unsigned char> bytes(count);
    CFile& file = reader.file();
    file.Seek(record.dataOffset + offset);
    std::size_t got = 0;
    while (got < count) {
        const std::size_t n = file.Read(bytes.data() + got, count - got);
        if (n == 0)
            throw FormatError(ErrorKind::damagedEntry, reader.path(),
                              "the file ended inside the entry " +
                                  names::entrySubject(record.name, record.recordPosition));
        got += n;
    }
    return bytes;
}

} // namespace archive
