#include "archive/format/EntryData.h"
#include "archive/ArchiveError.h"
#include "archive/format/ArchiveReader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

// What readEntryBytes puts into a buffer of max bytes.
std::string read(const archive::ArchiveReader& reader, const archive::RecordView& record,
                 std::uint64_t offset, std::size_t max)
{
    std::vector<unsigned char> buffer(max, '#');
    const std::size_t count = archive::readEntryBytes(reader, record, offset, buffer);
    EXPECT_LE(count, max);
    return std::string(buffer.begin(), buffer.begin() + std::ptrdiff_t(std::min(count, max)));
}

struct EntryDataFixture : ::testing::Test {
    TempDir dir;
    archive::ArchiveReader file;
    std::string m_strBytes;

    // The archive from a file, or from memory when inMemory is set.
    archive::RecordView open(const ArchiveImage& image, bool absolute = false,
                             bool inMemory = false)
    {
        m_strBytes = image.bytes(absolute);
        if (inMemory) {
            file.OpenMemory(
                {reinterpret_cast<const unsigned char*>(m_strBytes.data()), m_strBytes.size()},
                dir / "GAME00.DAT");
        } else {
            testsupport::writeFile(dir / "GAME00.DAT", m_strBytes);
            file.Open(dir / "GAME00.DAT");
        }
        return file.record(4);
    }
};

TEST_F(EntryDataFixture, ReadsTheAskedPartOfTheEntryOnly)
{
    ArchiveImage image;
    image.add("A.DAT", "0123456789");
    image.data += "trailing bytes of another entry";
    const struct {
        std::uint64_t offset;
        std::size_t max;
        const char* expected;
    } cases[] = {
        {0, 100, "0123456789"},   {0, 4, "0123"}, {7, 100, "789"}, {9, 1, "9"}, {10, 5, ""},
        {0xFFFFFFFFFFull, 5, ""}, {3, 0, ""},
    };
    for (const bool inMemory : {false, true}) {
        const archive::RecordView record = open(image, false, inMemory);
        for (const auto& c : cases)
            EXPECT_EQ(read(file, record, c.offset, c.max), c.expected)
                << c.offset << " " << c.max << (inMemory ? " in memory" : "");
    }
}

TEST_F(EntryDataFixture, AnEntryPastTheEndIsRefusedAsDamagedBeforeAnythingIsRead)
{
    ArchiveImage image;
    image.add("B.WAV", "abc");
    image.records[0].dataSize = 0xFFFFFF00u; // claims far more than the file holds
    for (const bool inMemory : {false, true}) {
        const archive::RecordView record = open(image, false, inMemory);
        try {
            read(file, record, 0, 16);
            ADD_FAILURE() << "no error" << (inMemory ? " in memory" : "");
        } catch (const archive::FormatError& e) {
            EXPECT_EQ(e.kind(), archive::ErrorKind::damagedEntry);
            EXPECT_EQ(e.subject(), dir / "GAME00.DAT");
            EXPECT_NE(e.reason().find("B.WAV"), std::string::npos) << e.reason();
        }
    }
}

} // namespace
