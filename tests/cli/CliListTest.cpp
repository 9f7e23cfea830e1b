#include "tests/cli/RunProgram.h"

#include <gtest/gtest.h>

using clitest::lines;
using clitest::runDat;
using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

// U+F0000 + byte, the escape of an undecodable byte (and, in printed names, of a control byte).
std::string escaped(unsigned char c)
{
    const char32_t cp = 0xF0000 + c;
    std::string out;
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    return out;
}

// Records in a file order that differs from the sorted order; names of every kind the listing
// has to show.
ArchiveImage sampleImage()
{
    ArchiveImage image;
    image.add("sub\\b.wav", "bbbbb");
    image.add("A.BMP", "AAA");
    image.add("XWAV", "x");
    image.add("a.bmp", "aa");
    image.add("\xB3\x5C.bmp", "xu"); // 許: its trail byte is 0x5C
    image.add("x.wave", "");
    image.add("\xFFz.dat", "z"); // 0xFF is no code page 950 character
    return image;
}

const std::string kXu = "\xE8\xA8\xB1"; // 許 in UTF-8

std::vector<std::string> sortedNames()
{
    // Equal under the collation (A.BMP, a.bmp): file order; ASCII before the high bytes.
    return {"A.BMP", "a.bmp",      "sub\\b.wav",           "x.wave",
            "XWAV",  kXu + ".bmp", escaped(0xFF) + "z.dat"};
}

struct Fixture {
    TempDir dir;
    ArchiveImage image = sampleImage();
    std::string path = dir / "GAME00.DAT";
    Fixture() { testsupport::writeFile(path, image.bytes()); }

    // size \t offset \t name for the record of that stored name.
    std::string longLine(const std::string& stored, const std::string& shown) const
    {
        for (const auto& r : image.records) {
            if (r.name == stored)
                return std::to_string(r.dataSize) + "\t" +
                       std::to_string(r.dataOffset + 4 + image.directorySize()) + "\t" + shown;
        }
        return "?";
    }
};

TEST(CliList, PrintsEveryEntryInListOrder)
{
    Fixture f;
    const auto result = runDat({"list", f.path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(lines(result.out), sortedNames());
}

struct TypeCase {
    const char* label;
    const char* type;
    std::vector<std::string> expected;
};

class CliListType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(CliListType, KeepsTheEntriesOfThatType)
{
    Fixture f;
    const auto result = runDat({"list", "--type", GetParam().type, f.path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(lines(result.out), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Types, CliListType,
                         ::testing::Values(TypeCase{"Wav", "WAV", {"sub\\b.wav", "XWAV"}},
                                           TypeCase{"LowerCase", "wav", {"sub\\b.wav", "XWAV"}},
                                           TypeCase{"Bmp", "bmp", {"A.BMP", "a.bmp", kXu + ".bmp"}},
                                           TypeCase{"Dat", "DAT", {escaped(0xFF) + "z.dat"}},
                                           TypeCase{"NoneOfThatType", "EGA", {}},
                                           TypeCase{"Every", "*", sortedNames()}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CliList, TypeTakesTheEqualsForm)
{
    Fixture f;
    const auto result = runDat({"list", "--type=wav", f.path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(lines(result.out), (std::vector<std::string>{"sub\\b.wav", "XWAV"}));
}

TEST(CliList, LongPutsSizeAndOffsetBeforeTheName)
{
    Fixture f;
    const auto result = runDat({"list", "--long", "--type", "bmp", f.path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(lines(result.out), (std::vector<std::string>{
                                     "# names: big5 (detected)",
                                     f.longLine("A.BMP", "A.BMP"),
                                     f.longLine("a.bmp", "a.bmp"),
                                     f.longLine("\xB3\x5C.bmp", kXu + ".bmp"),
                                 }));
    // The sizes and offsets as stored, not recomputed: A.BMP is the second record's data.
    EXPECT_EQ(lines(result.out)[1],
              "3\t" + std::to_string(4 + f.image.directorySize() + 5) + "\tA.BMP");
}

TEST(CliList, JsonEscapesNamesAndGivesEveryField)
{
    TempDir dir;
    ArchiveImage image;
    image.add("say \"hi\"\x01\t.scr", "12");
    image.add("d\\e.ega", "");
    image.add("\xB3\x5C\xFF.dat", "q");
    const std::string path = dir / "GAME01.DAT";
    testsupport::writeFile(path, image.bytes());
    const std::uint32_t data = 4 + image.directorySize();

    const auto result = runDat({"list", "--json", path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string kBig5Detected = "\"encoding\": \"big5\", \"encoding_detected\": true, ";
    // Records in file order: say... at 4 (31 bytes), d\e.ega at 35 (24 bytes), then 許... at 59.
    const std::string expected =
        "[\n"
        "  {\"name\": \"d\\\\e.ega\", \"name_hex\": \"645c652e656761\", " +
        kBig5Detected +
        "\"size\": 0, "
        "\"offset\": " +
        std::to_string(data + 2) +
        ", \"record\": 35},\n"
        "  {\"name\": \"say \\\"hi\\\"\\u0001\\t.scr\", "
        "\"name_hex\": \"736179202268692201092e736372\", " +
        kBig5Detected + "\"size\": 2, \"offset\": " + std::to_string(data) +
        ", \"record\": 4},\n"
        "  {\"name\": \"" +
        kXu + escaped(0xFF) + ".dat\", \"name_hex\": \"b35cff2e646174\", " + kBig5Detected +
        "\"size\": 1, \"offset\": " + std::to_string(data + 2) +
        ", \"record\": 59}\n"
        "]\n";
    EXPECT_EQ(result.out, expected);
}

TEST(CliList, JsonOfAnEmptyArchiveIsAnEmptyArray)
{
    TempDir dir;
    testsupport::writeFile(dir / "e.dat", std::string(4, '\0'));
    const auto result = runDat({"list", "--json", dir / "e.dat"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "[]\n");
}

TEST(CliList, ControlBytesInNamesStayOnOneLine)
{
    // Either side of the bytes a name may show as they are, in both listings.
    const struct {
        const char* name;
        std::string shown;
    } cases[] = {
        {"two\nlines.dat", "two" + escaped('\n') + "lines.dat"},
        {"del\x7F.dat", "del" + escaped(0x7F) + ".dat"},
        {"unit\x1F.dat", "unit" + escaped(0x1F) + ".dat"},
        {" ~.dat", " ~.dat"},
        {"\xB3\x5C\x7F", kXu + escaped(0x7F)},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ArchiveImage image;
        image.add(c.name, "x");
        testsupport::writeFile(dir / "c.dat", image.bytes());
        const auto result = runDat({"list", dir / "c.dat"});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(lines(result.out), std::vector<std::string>{c.shown}) << c.name;
        const auto longResult = runDat({"list", "--long", dir / "c.dat"});
        ASSERT_EQ(lines(longResult.out).size(), 2u) << c.name;
        EXPECT_EQ(lines(longResult.out)[1],
                  "1\t" + std::to_string(4 + image.directorySize()) + "\t" + c.shown)
            << c.name;
    }
}

TEST(CliList, TheC1ControlOfByte0x80IsShownEscaped)
{
    TempDir dir;
    ArchiveImage image;
    image.add("\x80z.dat", "x");
    testsupport::writeFile(dir / "c1.dat", image.bytes());
    const auto plain = runDat({"list", dir / "c1.dat"});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(lines(plain.out), std::vector<std::string>{escaped(0x80) + "z.dat"});
    const auto json = runDat({"list", "--json", dir / "c1.dat"});
    EXPECT_NE(json.out.find("{\"name\": \"\\u0080z.dat\", \"name_hex\": \"807a2e646174\""),
              std::string::npos)
        << json.out;
}

TEST(CliList, AMissingArchiveIsReportedWithItsPath)
{
    TempDir dir;
    const auto result = runDat({"list", dir / "none.dat"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("velmora-dat: " + (dir / "none.dat") + ": ", 0), 0u) << result.err;
    EXPECT_EQ(lines(result.err).size(), 1u);
}

TEST(CliList, AMalformedDirectoryFailsWithOneLine)
{
    TempDir dir;
    std::string bytes;
    testsupport::putLE32(bytes, 0xFFFFFFFFu); // claims 4 GiB in a 10-byte file
    bytes += "abcdef";
    testsupport::writeFile(dir / "bad.dat", bytes);
    const auto result = runDat({"list", dir / "bad.dat"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(lines(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find(dir / "bad.dat"), std::string::npos);
}

} // namespace
