// Drives the directory reader, the record reader and the archive reader over arbitrary bytes,
// as an archive file.

#include "archive/ArchiveError.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/CFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int memory = memfd_create("fuzz-archive", MFD_CLOEXEC);
    if (memory < 0)
        return 0;
    if (ftruncate(memory, 0) != 0 || pwrite(memory, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(memory);

    archive::CFile file;
    try {
        file.Open(path, archive::CFile::modeRead);
        const std::vector<unsigned char> directory = archive::readDirectory(file);
        std::vector<std::uint32_t> positions;
        archive::walkDirectory(
            directory, file.GetFilePath(),
            [&](std::string_view, std::uint32_t position) { positions.push_back(position); });
        // Every offset, not just record starts: extraction trusts whatever position it kept.
        for (std::uint32_t position = 0; position < directory.size() + 8; ++position) {
            try {
                const archive::DirectoryRecord record = archive::readRecord(file, position);
                archive::checkEntryData(file, record);
            } catch (const archive::ArchiveError&) {
            }
        }
    } catch (const archive::ArchiveError&) {
    }

    // The reader serves records from memory: every position again, through it.
    try {
        archive::ArchiveReader reader;
        reader.Open(path);
        for (std::uint32_t position = 0; position < reader.dataAreaStart() + 4; ++position) {
            try {
                reader.checkData(reader.record(position));
            } catch (const archive::FormatError&) {
            }
        }
    } catch (const archive::ArchiveError&) {
    }
    return 0;
}
