#include "archive/EntryData.h"
#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

std::string str(const std::vector<unsigned char>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

struct EntryDataFixture : ::testing::Test {
    TempDir dir;
    archive::ArchiveReader file;

    archive::RecordView open(const ArchiveImage& image, bool absolute = false)
    {
        testsupport::writeFile(dir / "GAME00.DAT", image.bytes(absolute));
        file.Open(dir / "GAME00.DAT");
        return file.record(4);
    }
};

TEST_F(EntryDataFixture, ReadsTheAskedPartOfTheEntryOnly)
{
    ArchiveImage image;
    image.add("A.DAT", "0123456789");
    image.data += "trailing bytes of another entry";
    const archive::RecordView record = open(image);
    const struct {
        std::uint64_t offset;
        std::size_t max;
        const char* expected;
    } cases[] = {
        {0, 100, "0123456789"},   {0, 4, "0123"}, {7, 100, "789"}, {9, 1, "9"}, {10, 5, ""},
        {0xFFFFFFFFFFull, 5, ""}, {3, 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(archive::readEntryBytes(file, record, c.offset, c.max)), c.expected)
            << c.offset << " " << c.max;
}

TEST_F(EntryDataFixture, AnEntryPastTheEndIsRefusedAsDamagedBeforeAnythingIsRead)
{
    ArchiveImage image;
    image.add("B.WAV", "abc");
    image.records[0].dataSize = 0xFFFFFF00u; // claims far more than the file holds
    const archive::RecordView record = open(image);
    try {
        archive::readEntryBytes(file, record, 0, 16);
        FAIL() << "no error";
    } catch (const archive::FormatError& e) {
        EXPECT_EQ(e.kind(), archive::ErrorKind::damagedEntry);
        EXPECT_EQ(e.subject(), dir / "GAME00.DAT");
        EXPECT_NE(e.reason().find("B.WAV"), std::string::npos) << e.reason();
    }
}

} // namespace
