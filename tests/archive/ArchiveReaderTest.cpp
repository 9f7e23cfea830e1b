#include "archive/format/ArchiveReader.h"
#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/format/ArchiveFormat.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace archive;
using testsupport::ArchiveImage;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

ArchiveImage threeEntries()
{
    ArchiveImage image;
    image.add("sub\\b.wav", "bbbbb"); // record at 4
    image.add("a.bmp", "aaa");        // at 4 + 26
    image.add("c.bmp", "");           // at 4 + 26 + 22
    return image;
}

TEST(ArchiveReader, ServesEveryRecordFromMemoryOnceOpened)
{
    TempDir temp;
    const ArchiveImage image = threeEntries();
    writeFile(temp / "GAME00.DAT", image.bytes());
    std::string bytes = image.bytes();
    for (const bool inMemory : {false, true}) {
        SCOPED_TRACE(inMemory ? "in memory" : "from the file");
        ArchiveReader reader;
        if (inMemory)
            reader.OpenMemory({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
                              "GAME00.DAT");
        else
            reader.Open(temp / "GAME00.DAT");
            // The file changes under the reader: what it serves is what it read when opened.
            // Windows keeps writers out of a file the reader holds, which keeps the promise too.
#ifdef _WIN32
        if (!inMemory)
            EXPECT_THROW(writeFile(temp / "GAME00.DAT", std::string(image.bytes().size(), '\xFF')),
                         std::runtime_error);
        else
#endif
            writeFile(temp / "GAME00.DAT", std::string(image.bytes().size(), '\xFF'));

        struct Case {
            std::uint32_t position;
            const char* name;
            std::uint32_t dataOffset;
            std::uint32_t dataSize;
        } cases[] = {
            {4, "sub\\b.wav", 4 + 70, 5}, {30, "a.bmp", 4 + 70 + 5, 3}, {52, "c.bmp", 82, 0}};
        ASSERT_EQ(reader.size(), 3u);
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            const RecordView record = reader.record(c.position);
            EXPECT_EQ(record.name, c.name);
            EXPECT_EQ(record.recordPosition, c.position);
            EXPECT_EQ(record.dataOffset, c.dataOffset) << c.name;
            EXPECT_EQ(record.dataSize, c.dataSize) << c.name;
            EXPECT_EQ(reader.at(i).name, c.name);
            EXPECT_EQ(reader.kept(c.position).name.data(), record.name.data());
            EXPECT_EQ(reader.kept(c.position).dataSize, c.dataSize);
            reader.checkData(record);
        }
        EXPECT_EQ(reader.dataAreaStart(), 74u);
        const Catalogue list(reader);
        const std::vector<std::uint32_t> bmp = list.filter("BMP");
        EXPECT_EQ(bmp.size(), 2u);
        EXPECT_EQ(list.position(bmp[0]), 30u);
        reader.Close();
        writeFile(temp / "GAME00.DAT", image.bytes());
    }
}

TEST(ArchiveReader, APositionWhereNoRecordStartsIsRefused)
{
    TempDir temp;
    writeFile(temp / "GAME00.DAT", threeEntries().bytes());
    ArchiveReader reader;
    reader.Open(temp / "GAME00.DAT");
    for (const std::uint32_t position : {0u, 3u, 5u, 8u, 29u, 31u, 73u, 74u, 0xFFFFFFFFu}) {
        try {
            reader.record(position);
            ADD_FAILURE() << position << " accepted";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::notAnArchive);
            EXPECT_EQ(e.subject(), temp / "GAME00.DAT");
        }
    }
}

TEST(ArchiveReader, AMalformedRecordKeepsTheOnesBeforeItAndListingRefuses)
{
    TempDir temp;
    ArchiveImage image = threeEntries();
    image.records[1].recordLength = 16;
    writeFile(temp / "GAME00.DAT", image.bytes());
    ArchiveReader reader;
    reader.Open(temp / "GAME00.DAT");
    ASSERT_TRUE(reader.damage());
    EXPECT_EQ(reader.damage()->kind(), ErrorKind::notAnArchive);
    ASSERT_EQ(reader.size(), 1u);
    EXPECT_EQ(reader.record(4).name, "sub\\b.wav");
    EXPECT_THROW(Catalogue{reader}, FormatError);
}

TEST(ArchiveReader, OpeningFailuresCarryTheirKindAndLeaveItClosed)
{
    TempDir temp;
    ArchiveReader missing;
    EXPECT_THROW(missing.Open(temp / "missing.dat"), FileError);
    EXPECT_FALSE(missing.isOpen());
    writeFile(temp / "short.dat", "abc");
    writeFile(temp / "claims.dat", std::string("\x40\x00\x00\x00", 4) + "abc");
    const struct {
        std::string path;
        ErrorKind kind;
    } cases[] = {{temp / "short.dat", ErrorKind::notAnArchive},
                 {temp / "claims.dat", ErrorKind::notAnArchive}};
    for (const auto& c : cases) {
        ArchiveReader reader;
        try {
            reader.Open(c.path);
            ADD_FAILURE() << c.path << " opened";
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.kind(), c.kind) << c.path << ": " << e.what();
        }
        EXPECT_FALSE(reader.isOpen()) << c.path;
    }
    // Closed, it names no file and serves nothing; from memory, it has no file to give.
    ArchiveReader closed;
    EXPECT_THROW(closed.file(), FileError);
    const unsigned char empty[4] = {};
    ArchiveReader memory;
    memory.OpenMemory(empty, "empty.dat");
    EXPECT_EQ(memory.size(), 0u);
    EXPECT_THROW(memory.file(), FileError);
    for (const auto& c : cases) {
        const std::string bytes = testsupport::readFile(c.path);
        ArchiveReader reader;
        try {
            reader.OpenMemory({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
                              c.path);
            ADD_FAILURE() << c.path << " opened from memory";
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.kind(), c.kind) << c.path << ": " << e.what();
            EXPECT_EQ(e.subject(), c.path);
        }
        EXPECT_FALSE(reader.isOpen()) << c.path;
    }
}

TEST(ArchiveReader, DataMustLieInsideTheFileAndBelowFourGibibytes)
{
    constexpr std::uint64_t kFourGib = 1ull << 32;
    const struct {
        const char* label;
        std::uint64_t fileLength;
        std::uint32_t dataOffset;
        std::uint32_t dataSize;
        const char* reasonPart; // empty: accepted
    } cases[] = {
        {"ends at the end", 100, 90, 10, ""},
        {"one byte past", 100, 90, 11, "but the file holds only 100"},
        {"ends on the last 32-bit byte", kFourGib + 10, 0xFFFFFFFEu, 1, ""},
        // The file holds the bytes, but a 32-bit sum of offset and size wraps.
        {"ends past 4 GiB", kFourGib + 10, 0xFFFFFFFFu, 1, "past the 4 GiB"},
        {"starts at 4 GiB - 1, 10 bytes", kFourGib + 10, 0xFFFFFFFFu, 10, "past the 4 GiB"},
    };
    for (const auto& c : cases) {
        try {
            checkEntryData("GAME00.DAT", c.fileLength, "a.bmp", 4, c.dataOffset, c.dataSize);
            EXPECT_STREQ(c.reasonPart, "") << c.label << " accepted";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::damagedEntry) << c.label;
            EXPECT_NE(e.reason().find(c.reasonPart), std::string::npos) << c.label << e.what();
            EXPECT_NE(std::string(c.reasonPart), "") << c.label << " refused: " << e.what();
        }
    }
    // An entry without a name is named by its record.
    try {
        checkEntryData("GAME00.DAT", 10, "", 4, 8, 8);
        ADD_FAILURE() << "accepted";
    } catch (const FormatError& e) {
        EXPECT_NE(e.reason().find("record at 4"), std::string::npos) << e.what();
    }
}

} // namespace
