#include "EntryData.h"

#include "ArchiveError.h"
#include "ArchiveFormat.h"
#include "CFile.h"
#include "NameMapping.h"

#include <algorithm>
#include <string>

namespace archive {

std::vector<unsigned char> readEntryBytes(CFile& archive, const DirectoryRecord& record,
                                          std::uint64_t offset, std::size_t maxBytes)
{
    const std::uint64_t end = std::uint64_t(record.dataOffset) + record.dataSize;
    const std::uint64_t length = archive.GetLength();
    const std::string entry = names::displayName(record.name);
    if (end > length)
        throw FormatError(ErrorKind::damagedEntry, archive.GetFilePath(),
                          "the entry " + entry + " claims bytes " +
                              std::to_string(record.dataOffset) + " to " + std::to_string(end) +
                              " but the file holds only " + std::to_string(length));
    if (offset >= record.dataSize)
        return {};
    // Checked before the allocation: the count never exceeds what the entry holds.
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, record.dataSize - offset));
    std::vector<unsigned char> bytes(count);
    archive.Seek(record.dataOffset + offset);
    std::size_t got = 0;
    while (got < count) {
        const std::size_t n = archive.Read(bytes.data() + got, count - got);
        if (n == 0)
            throw FormatError(ErrorKind::damagedEntry, archive.GetFilePath(),
                              "the file ended inside the entry " + entry);
        got += n;
    }
    return bytes;
}

} // namespace archive
