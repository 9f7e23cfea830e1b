#include "archive/format/ArchiveFormat.h"
#include "archive/ArchiveError.h"
#include "archive/format/ArchiveReader.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

using namespace archive;
using testsupport::ArchiveImage;
using testsupport::putLE32;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string le32(std::uint32_t v)
{
    std::string out;
    putLE32(out, v);
    return out;
}

struct Walked {
    std::string name;
    std::uint32_t position;
    bool operator==(const Walked&) const = default;
};

// A record as read, its name copied so it outlives the reader.
struct ReadRecord {
    std::uint32_t recordPosition = 0;
    std::uint32_t recordLength = 0;
    std::uint32_t reserved = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;
    std::string name;
};

// Reads and walks every record of the archive, then finds each again by its position, as
// listing and extraction do. Throws the first malformed record.
std::vector<ReadRecord> readAll(const ArchiveReader& reader)
{
    reader.requireWholeDirectory();
    std::vector<ReadRecord> records;
    for (std::size_t i = 0; i < reader.size(); ++i) {
        const RecordView walked = reader.at(i);
        const RecordView r = reader.record(walked.recordPosition);
        EXPECT_EQ(r.name, walked.name);
        records.push_back({r.recordPosition, r.recordLength, r.reserved, r.dataOffset, r.dataSize,
                           std::string(r.name)});
    }
    return records;
}

std::vector<ReadRecord> readAll(const std::string& path)
{
    ArchiveReader reader;
    reader.Open(path);
    return readAll(reader);
}

std::string failureOf(const std::string& path, bool checkData = false)
{
    try {
        ArchiveReader reader;
        reader.Open(path);
        reader.requireWholeDirectory();
        for (std::size_t i = 0; i < reader.size(); ++i) {
            if (checkData)
                reader.checkData(reader.at(i));
        }
        readAll(reader);
    } catch (const FormatError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(ArchiveFormatTest, MalformedArchivesAreRefusedWithTheReason)
{
    TempDir dir;
    auto image = [](std::int64_t recordLength, bool nul, std::string name = "a.bmp") {
        ArchiveImage a;
        a.add(name, "xyz");
        a.records[0].recordLength = recordLength;
        a.records[0].nul = nul;
        return a.bytes();
    };
    struct Case {
        const char* label;
        std::string bytes;
        std::string message; // after "path: "
    };
    const Case cases[] = {
        {"empty", "", "the file holds only 0 bytes, too few for an archive"},
        {"three bytes", std::string("\x01\x00\x00", 3),
         "the file holds only 3 bytes, too few for an archive"},
        {"4 GiB claim", le32(0xFFFFFFFF) + "abcdef",
         "the directory claims 4294967295 bytes but the file holds only 6 after its length field"},
        {"recordLength 16", le32(22) + le32(16) + std::string(18, '\0'),
         "the record at offset 4 claims a length of 16 bytes, below the least possible 17"},
        {"zero inside", le32(22) + le32(0) + std::string(18, '\0'),
         "the record at offset 4 claims a length of 0 bytes, below the least possible 17"},
        {"past directory", le32(22) + le32(23) + std::string(40, '\0'),
         "the record at offset 4 claims a length of 23 bytes but only 22 remain in the directory"},
        {"length word cut off",
         le32(24) + le32(22) + le32(0) + le32(0) + le32(0) + std::string("a.bmp", 6) + "zz",
         "the record at offset 26 is cut off by the end of the directory"},
        {"no NUL", image(21, false) + "zzz",
         "the name of the record at offset 4 has no terminating NUL"},
    };
    for (const Case& c : cases) {
        const std::string path = dir / "GAME00.DAT";
        writeFile(path, c.bytes);
        const std::string got = failureOf(path);
        EXPECT_EQ(got, path + ": " + c.message) << c.label;
    }
}

TEST(ArchiveFormatTest, ARecordIsRefusedAtPositionsOutsideTheDirectory)
{
    TempDir dir;
    ArchiveImage a;
    a.add("a.bmp", "123");
    writeFile(dir / "x.dat", a.bytes());
    ArchiveReader reader;
    reader.Open(dir / "x.dat");
    for (std::uint32_t position : {0u, 3u, 26u, 27u, 1000u, 0xFFFFFFFFu})
        EXPECT_THROW(reader.record(position), FormatError) << position;
    // Inside the directory but not a record start.
    EXPECT_THROW(reader.record(8), FormatError);
    EXPECT_EQ(reader.record(4).name, "a.bmp");
}

TEST(ArchiveFormatTest, DataPastTheEndIsReportedPerEntry)
{
    TempDir dir;
    ArchiveImage a;
    a.add("ok.bmp", "12");
    a.add("bad.bmp", "");
    a.records[1].dataOffset = 0xFFFFFFF0;
    a.records[1].dataSize = 0x20;
    const std::string path = dir / "GAME00.DAT";
    writeFile(path, a.bytes(true));
    // Listing works; only the entry's own check fails.
    EXPECT_EQ(readAll(path).size(), 2u);
    const std::string message = failureOf(path, true);
    EXPECT_NE(message.find("bad.bmp"), std::string::npos) << message;
    EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
}

TEST(ArchiveFormatTest, LongRecordsReadBackWhole)
{
    TempDir dir;
    const std::string longName = "folder\\" + std::string(176, 'n') + ".bmp"; // record of 200
    ASSERT_EQ(longName.size() + 17, 204u);
    const std::string name200(200 - 17, 'q');
    ArchiveImage a;
    a.add(longName, "A");
    a.add(name200, "BC");
    // Padded after its NUL: the name ends at the NUL, not at the record's end.
    a.add("pad.bmp", "D");
    a.records[2].recordLength = 7 + 17 + 6;
    writeFile(dir / "long.dat", a.bytes());
    const std::vector<ReadRecord> records = readAll(dir / "long.dat");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].name, longName);
    EXPECT_EQ(records[1].name, name200);
    EXPECT_EQ(records[1].recordLength, 200u);
    EXPECT_EQ(records[1].dataSize, 2u);
    EXPECT_EQ(records[2].name, "pad.bmp");
}

TEST(ArchiveFormatTest, ExampleArchiveIsByteForByte)
{
    const EntrySpec entries[] = {{"a.bmp", 3}, {"sub\\b.wav", 5}};
    const std::vector<unsigned char> directory = encodeDirectory(entries);
    std::string expected = le32(48);
    expected += le32(22) + le32(0) + le32(52) + le32(3) + std::string("a.bmp") + '\0';
    expected += le32(26) + le32(0) + le32(55) + le32(5) + std::string("sub\\b.wav") + '\0';
    ASSERT_EQ(std::string(directory.begin(), directory.end()), expected);
    EXPECT_EQ(expected.size() + 3 + 5, 60u);

    TempDir dir;
    writeFile(dir / "GAME00.DAT", expected + "abc" + "defgh");
    const std::vector<ReadRecord> records = readAll(dir / "GAME00.DAT");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].recordPosition, 4u);
    EXPECT_EQ(records[1].recordPosition, 26u);
    EXPECT_EQ(records[1].dataOffset, 55u);
    EXPECT_EQ(records[1].name, "sub\\b.wav");
}

TEST(ArchiveFormatTest, WriteThenReadRoundTrip)
{
    TempDir dir;
    std::vector<std::string> names = {
        "", "x", std::string(60, 'L'), "a\\b\\c.bmp", std::string("\xB3\x5C.bmp"), "dup", "dup"};
    names.erase(names.begin()); // no empty name
    // The directory is written a mebibyte at a time: records of odd lengths straddle the pieces,
    // and one record is longer than a piece.
    for (int i = 0; i < 40000; ++i)
        names.push_back(std::string(i % 41 + 1, static_cast<char>('a' + i % 26)));
    names.push_back(std::string(1 << 20, 'P'));
    names.push_back("after");
    std::vector<EntrySpec> specs;
    std::string data;
    for (std::size_t i = 0; i < names.size(); ++i) {
        specs.push_back({names[i], i % 9});
        data += std::string(i % 9, static_cast<char>('a' + i % 26));
    }
    const std::vector<unsigned char> directory = encodeDirectory(specs);
    writeFile(dir / "rt.dat", std::string(directory.begin(), directory.end()) + data);
    const std::vector<ReadRecord> records = readAll(dir / "rt.dat");
    ASSERT_EQ(records.size(), names.size());
    ArchiveReader reader;
    reader.Open(dir / "rt.dat");
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(records[i].name, names[i]) << i;
        EXPECT_EQ(records[i].reserved, 0u);
        reader.checkData(reader.record(records[i].recordPosition));
        std::string content(records[i].dataSize, '\0');
        reader.readAt(content.data(), content.size(), records[i].dataOffset);
        ASSERT_EQ(content, std::string(i % 9, static_cast<char>('a' + i % 26))) << i;
    }
}

TEST(ArchiveFormatTest, EncodingRefusesWhatWouldNotFit)
{
    const std::uint64_t gib = 1ull << 30;
    struct Case {
        const char* label;
        std::vector<EntrySpec> entries;
        std::string subject;
    };
    const Case cases[] = {
        {"2 GiB entry", {{"small", 1}, {"huge.bin", 2 * gib}}, "huge.bin"},
        {"offsets past 4 GiB", {{"a", 2 * gib - 1}, {"b", 2 * gib - 1}, {"c", 1}}, "c"},
        {"NUL in name", {{std::string_view("a\0b", 3), 1}}, std::string("a\0b", 3)},
        // The last entry starts at byte 4,294,967,295 and its end would wrap in 32 bits.
        {"data ending past 4 GiB", {{"a", 2 * gib - 1}, {"b", 2147483590}, {"c", 10}}, "c"},
        {"one byte past 4 GiB", {{"a", 2 * gib - 1}, {"b", 2147483609}}, "b"},
    };
    for (const Case& c : cases) {
        try {
            encodeDirectory(c.entries);
            ADD_FAILURE() << c.label << " accepted";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.subject(), c.subject) << c.label;
        }
    }
    // Ending on the last byte a 32-bit offset reaches is fine.
    const EntrySpec fits[] = {{"a", 2 * gib - 1}, {"b", 2147483608}};
    EXPECT_EQ(encodeDirectory(fits).size(), 4u + 18 + 18);
    EXPECT_EQ(encodeDirectory({}).size(), 4u);
}

TEST(ArchiveFormatTest, FuzzRegressionInputsAreRefusedCleanly)
{
    // From the build, not __FILE__: a compiler cache may hand the compiler a relative path.
    const std::filesystem::path data = VELMORA_TEST_DATA;
    ASSERT_TRUE(std::filesystem::is_directory(data)) << data;
    // What each input must give: refused with a FormatError, or listed with that many entries.
    // Every input needs its line here, so one added without saying what it must give fails.
    constexpr int kRefused = -1;
    const std::map<std::string, int> expected = {
        {"claims-4gib.dat", kRefused}, {"record-length-16.dat", kRefused}, {"two-entries.dat", 2},
        {"big5-and-slash.dat", 3},     {"detection-flips.dat", 2},
    };
    std::size_t seen = 0;
    for (const auto& input : std::filesystem::directory_iterator(data)) {
        const std::string name = input.path().filename().string();
        const auto it = expected.find(name);
        if (it == expected.end()) {
            ADD_FAILURE() << name << " has no expected outcome";
            continue;
        }
        ++seen;
        int got = kRefused;
        std::string why;
        try {
            ArchiveReader reader;
            reader.Open(testsupport::utf8Path(input.path()));
            const std::vector<ReadRecord> records = readAll(reader);
            for (std::size_t i = 0; i < reader.size(); ++i)
                reader.checkData(reader.at(i));
            got = static_cast<int>(records.size());
        } catch (const FormatError& e) {
            why = e.what();
        }
        EXPECT_EQ(got, it->second) << name << ": " << why;
    }
    EXPECT_EQ(seen, expected.size());
}

} // namespace
