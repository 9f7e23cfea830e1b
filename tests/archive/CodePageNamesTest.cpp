#include "archive/commands/Building.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Extraction.h"
#include "archive/commands/QuickFind.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage.h"
#include "archive/format/CodePageDetector.h"
#include "archive/format/NameMapping.h"
#include "tests/support/MemoryArchive.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <vector>

using namespace archive;
using testsupport::MemoryArchive;
using testsupport::TempDir;

namespace {

// UTF-8 text with '\' between levels, in the code page's bytes.
std::string encoded(const std::string& text, Encoding encoding)
{
    const std::optional<std::string> bytes = CodePage::of(encoding).fromUtf8(text);
    if (!bytes)
        throw std::runtime_error(text + " has no code in " +
                                 std::string(CodePage::of(encoding).name()));
    return *bytes;
}

struct DetectionCase {
    const char* title;
    std::vector<std::string> names; // bytes as stored
    Encoding expected;
};

std::vector<std::string> in(Encoding encoding, const std::vector<std::string>& texts)
{
    std::vector<std::string> names;
    for (const std::string& text : texts)
        names.push_back(encoded(text, encoding));
    return names;
}

TEST(CodePageDetection, TheNamesDecideAndBig5WinsWhatIsNotClear)
{
    const std::vector<std::string> traditional = {"圖像\\山景.BMP", "音效\\開門.WAV",
                                                  "劇情\\第一幕.SCR", "許功\\遊戲.DAT"};
    const std::vector<std::string> simplified = {"图像\\山景.BMP", "音效\\开门.WAV",
                                                 "剧情\\第一幕.SCR", "游戏\\数据.DAT"};
    const std::vector<std::string> japanese = {"ゲーム\\画像.BMP", "音楽\\ソナタ.WAV",
                                               "表示\\能力.DAT", "データ\\十字.SCR"};
    const DetectionCase cases[] = {
        {"AsciiOnly", {"A.BMP", "SUB\\B.WAV"}, Encoding::big5},
        {"Big5", in(Encoding::big5, traditional), Encoding::big5},
        {"Gbk", in(Encoding::gbk, simplified), Encoding::gbk},
        {"ShiftJis", in(Encoding::shiftJis, japanese), Encoding::shiftJis},
        {"Utf8", in(Encoding::utf8, simplified), Encoding::utf8},
        {"Utf8Japanese", in(Encoding::utf8, japanese), Encoding::utf8},
        // A byte no code page holds: no candidate, so Big5 with that name escaped.
        {"NoCandidate", {"a\xFF.bmp", encoded("山景.BMP", Encoding::big5)}, Encoding::big5},
        // Valid Big5 too (蚔牁...), but common simplified characters in GBK only.
        {"GbkAlsoValidBig5", in(Encoding::gbk, {"游戏.DAT", "图像.BMP"}), Encoding::gbk},
        // A lone Big5 lead byte is a half-width kana in Shift-JIS: decodable, but nothing common.
        {"DecodableIsNotEnough", {"x.bmp\xA4", "\xA2\xCC.bmp"}, Encoding::big5},
        // 啊 in GBK is a common Big5 character too: the score does not decide.
        {"TieGoesToBig5", {"\xB0\xA1.DAT"}, Encoding::big5},
        // Big5 names hold kana-free half-width soup in Shift-JIS, which scores nothing.
        {"Big5NotReadAsShiftJis", in(Encoding::big5, {"山景.BMP", "開門.WAV"}), Encoding::big5},
    };
    for (const DetectionCase& c : cases) {
        const MemoryArchive archive(c.names);
        EXPECT_EQ(archive.reader.codePage().encoding(), c.expected) << c.title;
        EXPECT_TRUE(archive.reader.isCodePageDetected()) << c.title;
        // The order of the names does not change the choice.
        CodePageDetector backwards;
        for (auto it = c.names.rbegin(); it != c.names.rend(); ++it)
            backwards.add(*it);
        EXPECT_EQ(backwards.result(), c.expected) << c.title;
    }
}

TEST(CodePageDetection, AForcedCodePageIsKeptAndChangesNoByte)
{
    const std::string name = encoded("游戏\\图像.BMP", Encoding::gbk);
    const MemoryArchive detected({name});
    const MemoryArchive forced({name}, Encoding::big5);
    EXPECT_EQ(forced.reader.codePage().encoding(), Encoding::big5);
    EXPECT_FALSE(forced.reader.isCodePageDetected());
    EXPECT_EQ(forced.reader.at(0).name, detected.reader.at(0).name);
    EXPECT_EQ(names::displayName(name, detected.reader.codePage()), "游戏\\图像.BMP");
    EXPECT_NE(names::displayName(name, forced.reader.codePage()), "游戏\\图像.BMP");
}

// Names whose trail bytes are '\' or letters: ソ 表 能 十 are 0x5C-trailed in Shift-JIS, 乗 in
// GBK, 許 功 in Big5; ア (0x83 0x41) has an 'A' trail in Shift-JIS.
struct TrailCase {
    Encoding encoding;
    std::vector<std::string> paths; // host paths, '/' between levels
    const char* findText;           // typed text, UTF-8
    const char* found;              // the path whose row the quick find gives
};

const TrailCase kTrailCases[] = {
    {Encoding::big5, {"許/功.bmp", "圖/許功.wav", "功.dat"}, "許", "圖/許功.wav"},
    {Encoding::gbk, {"乗/乗.bmp", "图/乗十.wav", "乗.dat"}, "乗十", "图/乗十.wav"},
    {Encoding::shiftJis,
     {"ソ/表.bmp", "表/能ア.wav", "十.dat", "ｱｲ/ソ十.bmp"},
     "能ア",
     "表/能ア.wav"},
    {Encoding::utf8, {"ソ/表.bmp", "한국/단어.wav", "é.dat"}, "단", "한국/단어.wav"},
};

class TrailBytes : public testing::TestWithParam<TrailCase> {};

INSTANTIATE_TEST_SUITE_P(, TrailBytes, testing::ValuesIn(kTrailCases), [](const auto& info) {
    std::string name(CodePage::of(info.param.encoding).name());
    std::erase(name, '-');
    return name;
});

std::map<std::string, std::string> filesBelow(const std::string& folder)
{
    std::map<std::string, std::string> files;
    const auto root = testsupport::hostPath(folder);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files[testsupport::utf8Path(std::filesystem::relative(entry.path(), root))] =
                testsupport::readFile(testsupport::utf8Path(entry.path()));
    }
    return files;
}

// Build, extract and build again in the code page: the same bytes, the same host names, and
// the names found, filtered and mapped by the code page's own characters.
TEST_P(TrailBytes, BuildExtractBuildGivesTheSameBytes)
{
    const TrailCase& c = GetParam();
    const CodePage& cp = CodePage::of(c.encoding);
    TempDir tmp;
    std::map<std::string, std::string> files;
    for (const std::string& path : c.paths)
        files[path] = "bytes of " + path;
    for (const auto& [path, bytes] : files)
        testsupport::writeFile(tmp / ("src/" + path), bytes);

    buildArchive(tmp / "src", tmp / "first.dat", {}, cp);
    ArchiveReader reader;
    reader.Open(tmp / "first.dat");
    ASSERT_EQ(reader.codePage().encoding(), c.encoding);
    const Catalogue catalogue(reader);
    std::vector<std::uint32_t> rows(catalogue.size());
    std::iota(rows.begin(), rows.end(), 0u);
    for (std::uint32_t row : rows)
        EXPECT_TRUE(files.count(names::hostRelativePath(catalogue.name(row), cp)))
            << names::displayName(catalogue.name(row), cp);

    const int at = catalogue.quickFind().find(rows, encoded(c.findText, c.encoding));
    ASSERT_GE(at, 0);
    EXPECT_EQ(names::hostRelativePath(catalogue.name(rows[at]), cp), c.found);
    std::size_t bmp = 0;
    for (const auto& [path, bytes] : files)
        bmp += path.ends_with(".bmp");
    EXPECT_EQ(catalogue.filter("BMP").size(), bmp);

    std::filesystem::create_directory(tmp.path() / "out");
    extractEntries(reader, catalogue.positions(rows), tmp / "out");
    EXPECT_EQ(filesBelow(tmp / "out"), files);
    buildArchive(tmp / "out", tmp / "second.dat", {}, cp);
    EXPECT_EQ(testsupport::readFile(tmp / "second.dat"), testsupport::readFile(tmp / "first.dat"));
}

TEST(CodePageNames, ANameTheCodePageCannotHoldIsRefusedNotReplaced)
{
    struct Case {
        Encoding encoding;
        const char* path;
    } cases[] = {
        {Encoding::big5, "한국.txt"},
        {Encoding::gbk, "ｱ.txt"}, // half-width katakana: none in GBK
        {Encoding::shiftJis, "游戏.txt"},
    };
    for (const Case& c : cases) {
        try {
            names::entryName(c.path, CodePage::of(c.encoding));
            ADD_FAILURE() << c.path << " was taken";
        } catch (const NameError& error) {
            EXPECT_EQ(error.subject(), c.path);
            EXPECT_NE(error.reason().find(CodePage::of(c.encoding).title()), std::string::npos)
                << error.reason();
        }
    }
}

} // namespace
