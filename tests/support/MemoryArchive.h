#pragma once

#include "archive/format/ArchiveReader.h"
#include "tests/support/TestSupport.h"

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// An archive of the given names (entries of one byte each) held in memory and open.
class MemoryArchive {
public:
    explicit MemoryArchive(const std::vector<std::string>& names,
                           std::optional<archive::Encoding> forced = std::nullopt)
    {
        ArchiveImage image;
        for (const std::string& name : names)
            image.add(name, "x");
        m_strBytes = image.bytes();
        reader.OpenMemory(
            {reinterpret_cast<const unsigned char*>(m_strBytes.data()), m_strBytes.size()},
            "GAME00.DAT", forced);
    }
    MemoryArchive(const MemoryArchive&) = delete;
    MemoryArchive& operator=(const MemoryArchive&) = delete;

    // The record position of the index-th name given.
    std::uint32_t position(std::size_t index) const { return reader.at(index).recordPosition; }

    archive::ArchiveReader reader;

private:
    std::string m_strBytes;
};

} // namespace testsupport
