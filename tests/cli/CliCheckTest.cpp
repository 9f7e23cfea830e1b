#include "tests/cli/RunProgram.h"

#include <gtest/gtest.h>

using clitest::lines;
using clitest::runDat;
using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

TEST(CliCheck, AGoodArchivePassesQuietly)
{
    TempDir dir;
    ArchiveImage image;
    image.add("a.bmp", "abc");
    image.add("sub\\b.wav", "12345");
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    const auto result = runDat({"check", dir / "GAME00.DAT"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, dir / "GAME00.DAT" + ": 2 entries, 0 errors, 0 warnings\n");
}

TEST(CliCheck, WarningsAloneDoNotFail)
{
    TempDir dir;
    ArchiveImage image;
    image.add("a.bmp", "abc");
    image.add("a.bmp", "def");
    image.records[1].dataOffset = 1; // overlaps the first entry's data
    testsupport::writeFile(dir / "GAME01.DAT", image.bytes());
    const auto result = runDat({"check", dir / "GAME01.DAT"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, dir / "GAME01.DAT" + ": 2 entries, 0 errors, 2 warnings\n");
    for (const std::string& line : lines(result.err))
        EXPECT_EQ(line.rfind("velmora-dat: a.bmp: warning: ", 0), 0u) << line;
    EXPECT_EQ(lines(result.err).size(), 2u) << result.err;
}

// What a new user extracting onto a stick or a Windows share would trip over: warned, named.
TEST(CliCheck, NamesOtherSystemsCannotHoldAreWarnedByName)
{
    const struct {
        std::vector<std::string> names;
        std::string line;
    } cases[] = {
        {{"a.bmp", "A.BMP"}, "velmora-dat: A.BMP: warning: differs only in letter case from a.bmp"},
        {{"Sub\\one.bmp", "sub\\one.bmp"},
         "velmora-dat: sub\\one.bmp: warning: differs only in letter case from Sub\\one.bmp"},
        {{"lt<gt>.bmp"}, "velmora-dat: lt<gt>.bmp: warning: holds '<'"},
        {{"aux\\x.bmp"}, "velmora-dat: aux\\x.bmp: warning: the folder \"aux\" is the device AUX"},
        {{"end."}, "velmora-dat: end.: warning: its name ends with a dot"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ArchiveImage image;
        for (const std::string& name : c.names)
            image.add(name, "1");
        testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
        const auto result = runDat({"check", dir / "GAME00.DAT"});
        ASSERT_EQ(lines(result.err).size(), 1u) << result.err;
#ifdef _WIN32
        // Names this system cannot hold cannot be extracted here: errors, not warnings.
        if (c.line.find("letter case") == std::string::npos) {
            EXPECT_EQ(result.exitCode, 1) << c.line;
            EXPECT_EQ(lines(result.err)[0].rfind("velmora-dat: " + c.names.back() + ": ", 0), 0u)
                << result.err;
            EXPECT_NE(result.out.find(", 1 error, 0 warnings\n"), std::string::npos) << result.out;
            continue;
        }
#endif
        EXPECT_EQ(result.exitCode, 0) << c.line;
        EXPECT_EQ(lines(result.err)[0].rfind(c.line, 0), 0u) << result.err;
        EXPECT_NE(result.out.find(", 0 errors, 1 warning\n"), std::string::npos) << result.out;
    }
}

struct MalformedCase {
    const char* label;
    std::string bytes;
    const char* subject; // "" for the archive's path
};

std::string le32(std::uint32_t v)
{
    std::string out;
    testsupport::putLE32(out, v);
    return out;
}

std::string imageWith(void (*change)(ArchiveImage&))
{
    ArchiveImage image;
    image.add("a.bmp", "abc");
    image.add("b.wav", "12345");
    change(image);
    return image.bytes();
}

class CliCheckMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(CliCheckMalformed, ReportsAnErrorWithClearLines)
{
    TempDir dir;
    const std::string path = dir / "GAME02.DAT";
    testsupport::writeFile(path, GetParam().bytes);
    const auto result = runDat({"check", path});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const auto errorLines = lines(result.err);
    ASSERT_FALSE(errorLines.empty());
    for (const std::string& line : errorLines)
        EXPECT_EQ(line.rfind("velmora-dat: ", 0), 0u) << line;
    const std::string subject = *GetParam().subject ? GetParam().subject : path;
    EXPECT_NE(result.err.find(subject), std::string::npos) << result.err;
    EXPECT_EQ(result.out.rfind(path + ": ", 0), 0u) << result.out;
    EXPECT_NE(result.out.find(" 1 error,"), std::string::npos) << result.out;
    EXPECT_EQ(testsupport::readFile(path), GetParam().bytes) << "check wrote to the archive";
}

INSTANTIATE_TEST_SUITE_P(
    Foundation, CliCheckMalformed,
    ::testing::Values(
        MalformedCase{"Empty", "", ""}, MalformedCase{"ThreeBytes", "\x01\x02\x03", ""},
        MalformedCase{"HugeDirectory", le32(0xFFFFFFFFu) + "abcdef", ""},
        MalformedCase{"DirectoryPastTheEnd", le32(30) + std::string(20, '\0'), ""},
        MalformedCase{"RecordLengthZero",
                      le32(20) + le32(0) + le32(0) + le32(24) + le32(0) + std::string("abc\0", 4),
                      ""},
        MalformedCase{"RecordLengthSixteen",
                      imageWith([](ArchiveImage& i) { i.records[0].recordLength = 16; }), ""},
        MalformedCase{"RecordPastTheDirectory",
                      le32(30) + le32(40) + le32(0) + le32(34) + le32(0) +
                          std::string("abcdefghijklmn", 14),
                      ""},
        MalformedCase{"NameWithoutNul", imageWith([](ArchiveImage& i) {
                          i.records[1].nul = false;
                          i.records[1].recordLength = 16 + 5;
                      }),
                      ""},
        MalformedCase{"DataPastTheEnd",
                      imageWith([](ArchiveImage& i) { i.records[1].dataSize = 6; }), "b.wav"},
        MalformedCase{"OffsetNearTheTop", imageWith([](ArchiveImage& i) {
                          i.records[0].dataOffset = 0xFFFFFFF0u - 4 - i.directorySize();
                          i.records[0].dataSize = 0x20;
                      }),
                      "a.bmp"},
        MalformedCase{"Traversal",
                      imageWith([](ArchiveImage& i) { i.records[0].name = "..\\a.bmp"; }), "a.bmp"},
        MalformedCase{"NotCodePage950",
                      imageWith([](ArchiveImage& i) { i.records[0].name = "a\xFF.bmp"; }), ".bmp"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CliCheck, AMissingFileIsReported)
{
    TempDir dir;
    const auto result = runDat({"check", dir / "none.dat"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lines(result.err).size(), 1u);
    EXPECT_EQ(result.err.rfind("velmora-dat: " + (dir / "none.dat") + ": ", 0), 0u) << result.err;
}

} // namespace
