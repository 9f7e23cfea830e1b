// Drives the directory reader, the record decoder and the archive reader over arbitrary bytes,
// as an archive held in memory.

#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/ArchiveReader.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    archive::ArchiveReader reader;
    try {
        reader.OpenMemory(std::span<const unsigned char>(data, size), "fuzz.dat");
    } catch (const archive::ArchiveError&) {
        return 0;
    }
    // Every offset, not just record starts: extraction trusts whatever position it kept.
    for (std::uint32_t position = 0; position < reader.dataAreaStart() + 4; ++position) {
        try {
            reader.checkData(reader.record(position));
        } catch (const archive::FormatError&) {
        }
    }
    try {
        const archive::Catalogue catalogue(reader);
        for (const std::uint32_t row : catalogue.filter("BMP"))
            reader.checkData(catalogue.record(row));
    } catch (const archive::FormatError&) {
    }
    return 0;
}
