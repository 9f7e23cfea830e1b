#include "tests/cli/RunProgram.h"

#include <gtest/gtest.h>

#include <filesystem>

using clitest::lines;
using clitest::runDat;
using clitest::treeOf;
using testsupport::TempDir;

namespace fs = std::filesystem;

namespace {

std::string le32(std::uint32_t v)
{
    std::string out;
    testsupport::putLE32(out, v);
    return out;
}

TEST(CliBuild, TheExampleFolderGivesItsSixtyBytes)
{
    TempDir dir;
    testsupport::writeFile(dir / "src/sub/b.wav", "12345");
    testsupport::writeFile(dir / "src/a.bmp", "abc");
    const auto result = runDat({"build", dir / "src", dir / "GAME00.DAT"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");

    const std::string expected = le32(48) +                                                 //
                                 le32(22) + le32(0) + le32(52) + le32(3) + "a.bmp" + '\0' + //
                                 le32(26) + le32(0) + le32(55) + le32(5) + "sub\\b.wav" + '\0' +
                                 "abc" + "12345";
    ASSERT_EQ(expected.size(), 60u);
    EXPECT_EQ(testsupport::readFile(dir / "GAME00.DAT"), expected);
}

TEST(CliBuild, BuildListExtractGivesTheTreeBack)
{
    TempDir dir;
    const std::map<std::string, std::string> tree = {
        {"a.bmp", "abc"},
        {".hidden", "h"},
        {"sub/deeper/c.dat", std::string(9000, 'c')},
        {"sub/empty.scr", ""},
        {"\xE8\xA8\xB1/\xE5\x8A\x9F.wav", "xu gong"}, // 許/功.wav: trail bytes 0x5C
    };
    for (const auto& [name, content] : tree)
        testsupport::writeFile(dir / ("src/" + name), content);

    ASSERT_EQ(runDat({"build", dir / "src", dir / "GAME01.DAT"}).exitCode, 0);
    const auto listed = runDat({"list", dir / "GAME01.DAT"});
    EXPECT_EQ(lines(listed.out).size(), tree.size());
    EXPECT_NE(listed.out.find("\xE8\xA8\xB1\\\xE5\x8A\x9F.wav\n"), std::string::npos);

    const auto extracted = runDat({"extract", dir / "GAME01.DAT", dir / "out"});
    EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
    EXPECT_EQ(treeOf(dir / "out"), tree);

    // Building the extracted tree again gives the same archive byte for byte.
    ASSERT_EQ(runDat({"build", dir / "out", dir / "GAME02.DAT"}).exitCode, 0);
    EXPECT_EQ(testsupport::readFile(dir / "GAME02.DAT"), testsupport::readFile(dir / "GAME01.DAT"));
}

// Names built, listed, added to and extracted in each code page; the code page is detected from
// the names alone, and forcing another changes what is shown, never the bytes.
struct EncodingCase {
    const char* encoding;
    std::string file;    // UTF-8, '/' between levels
    std::string nameHex; // its entry name
    std::string added;   // a file added later, named in the archive's code page
    std::string addedHex;
    const char* unstorable; // a name the code page cannot hold, or nullptr
};

class CliEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(CliEncoding, BuildAddAndExtractInTheDetectedCodePage)
{
    const EncodingCase& c = GetParam();
    TempDir dir;
    std::map<std::string, std::string> tree = {{c.file, "first"}};
    testsupport::writeFile(dir / ("src/" + c.file), "first");
    const std::string archive = dir / "GAME01.DAT";
    ASSERT_EQ(runDat({"build", "--encoding", c.encoding, dir / "src", archive}).exitCode, 0);
    EXPECT_EQ(lines(runDat({"list", "--long", archive}).out)[0],
              std::string("# names: ") + c.encoding + " (detected)");

    testsupport::writeFile(dir / ("new/" + c.added), "added");
    tree[c.added] = "added";
    const auto add = runDat({"add", "-C", dir / "new", archive, c.added});
    EXPECT_EQ(add.exitCode, 0) << add.err;
    const std::string json = runDat({"list", "--json", archive}).out;
    for (const std::string& hex : {c.nameHex, c.addedHex})
        EXPECT_NE(json.find("\"name_hex\": \"" + hex + "\", \"encoding\": \"" + c.encoding +
                            "\", \"encoding_detected\": true"),
                  std::string::npos)
            << json;
    const std::string forced = runDat({"list", "--json", "--encoding=utf-8", archive}).out;
    EXPECT_NE(forced.find("\"name_hex\": \"" + c.nameHex +
                          "\", \"encoding\": \"utf-8\", "
                          "\"encoding_detected\": false"),
              std::string::npos)
        << forced;

    if (c.unstorable) {
        const std::string before = testsupport::readFile(archive);
        testsupport::writeFile(dir / (std::string("bad/") + c.unstorable), "x");
        const auto refused = runDat({"add", "-C", dir / "bad", archive, c.unstorable});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find(c.unstorable), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("cannot encode"), std::string::npos) << refused.err;
        EXPECT_EQ(testsupport::readFile(archive), before);
    }
    const auto extracted = runDat({"extract", archive, dir / "out"});
    EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
    EXPECT_EQ(treeOf(dir / "out"), tree);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, CliEncoding,
    ::testing::Values(EncodingCase{"big5", "許/功.wav", "b35c5ca55c2e776176", "表.txt",
                                   "aaed2e747874", "한.txt"},
                      EncodingCase{"gbk", "游戏/乗.wav", "d3cecfb75c815c2e776176", "图.txt",
                                   "cdbc2e747874", "ｱ.txt"},
                      EncodingCase{"shift-jis", "ゲーム/ソ表.wav", "8351815b83805c835c955c2e776176",
                                   "十.txt", "8f5c2e747874", "游戏.txt"},
                      EncodingCase{"utf-8", "한국/단어.wav", "ed959ceab5ad5ceb8ba8ec96b42e776176",
                                   "é.txt", "c3a92e747874", nullptr}),
    [](const auto& info) {
        std::string name = info.param.encoding;
        std::erase(name, '-');
        return name;
    });

struct InsideCase {
    const char* label;
    const char* archive; // relative to the scratch folder; src is the folder packed
    bool refused;
};

class CliBuildInside : public ::testing::TestWithParam<InsideCase> {};

TEST_P(CliBuildInside, RefusesExactlyTheArchivesInsideTheFolder)
{
    TempDir dir;
    testsupport::writeFile(dir / "src/a.bmp", "abc");
    fs::create_directories(dir / "src/deep");
    fs::create_directories(dir / "src2");
    VELMORA_MAKE_LINK(dir / "src/deep", dir / "link");

    const std::string archive = dir / GetParam().archive;
    const auto result = runDat({"build", dir / "src", archive});
    if (GetParam().refused) {
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err.rfind("velmora-dat: " + archive + ": ", 0), 0u) << result.err;
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(treeOf(dir / "src").size(), 1u) << "something was written into the folder";
    } else {
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(fs::is_regular_file(archive));
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, CliBuildInside,
                         ::testing::Values(InsideCase{"Directly", "src/x.dat", true},
                                           InsideCase{"Below", "src/deep/x.dat", true},
                                           InsideCase{"ThroughDots", "src2/../src/x.dat", true},
                                           InsideCase{"ThroughALink", "link/x.dat", true},
                                           InsideCase{"Sibling", "src2/x.dat", false},
                                           InsideCase{"Beside", "x.dat", false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CliBuild, EachSkippedLinkGetsANoticeLineAndTheBuildSucceeds)
{
    TempDir dir;
    testsupport::writeFile(dir / "outside.txt", "secret");
    testsupport::writeFile(dir / "src/a.bmp", "abc");
    VELMORA_MAKE_LINK(dir / "outside.txt", dir / "src/out.txt");
    VELMORA_MAKE_LINK("a.bmp", dir / "src/in.bmp");
    VELMORA_MAKE_LINK(dir.str(), dir / "src/up");

    const auto result = runDat({"build", dir / "src", dir / "GAME06.DAT"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string notice =
        ": notice: symbolic link skipped: it does not lead to a regular file inside the folder "
        "being packed";
    EXPECT_EQ(lines(result.err), (std::vector<std::string>{
                                     "velmora-dat: " + (dir / "src/out.txt") + notice,
                                     "velmora-dat: " + (dir / "src/up") + notice,
                                 }));
    const auto listed = runDat({"list", dir / "GAME06.DAT"});
    EXPECT_EQ(lines(listed.out), (std::vector<std::string>{"a.bmp", "in.bmp"})) << listed.out;
}

TEST(CliBuild, AFailedBuildLeavesTheEarlierArchive)
{
    TempDir dir;
    testsupport::writeFile(dir / "GAME03.DAT", "earlier");
    const auto result = runDat({"build", dir / "missing", dir / "GAME03.DAT"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find(dir / "missing"), std::string::npos) << result.err;
    EXPECT_EQ(testsupport::readFile(dir / "GAME03.DAT"), "earlier");
    EXPECT_EQ(treeOf(dir.str()).size(), 1u) << "a temporary file was left behind";
}

// POSIX: '\\' in a host name ('\\' separates on Windows).
#ifndef _WIN32
TEST(CliBuild, ANameThatCannotBeStoredIsRefusedBeforeWriting)
{
    TempDir dir;
    testsupport::writeFile(dir / "src/back\\slash.dat", "x");
    testsupport::writeFile(dir / "GAME04.DAT", "earlier");
    const auto result = runDat({"build", dir / "src", dir / "GAME04.DAT"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("back\\slash.dat"), std::string::npos) << result.err;
    EXPECT_EQ(testsupport::readFile(dir / "GAME04.DAT"), "earlier");
}
#endif

// POSIX: a pseudo-terminal for standard error.
#ifndef _WIN32
TEST(CliBuild, OnATerminalAProgressLineIsShown)
{
    TempDir dir;
    testsupport::writeFile(dir / "src/a.bmp", "abc");
    testsupport::writeFile(dir / "src/b.bmp", std::string(5000, 'b'));
    const auto result = runDat({"build", dir / "src", dir / "GAME05.DAT"}, true);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("building: 2 of 2 entries"), std::string::npos) << result.err;
}
#endif

// POSIX: a file-size limit (ulimit -f).
#ifndef _WIN32
TEST(CliBuild, AFileSizeLimitFailsTheWriteAndLeavesNothing)
{
    TempDir dir;
    testsupport::writeFile(dir / "src/big.bin", std::string(300000, 'b'));
    testsupport::writeFile(dir / "dest/GAME00.DAT", "earlier");
    const auto result =
        clitest::runDatWithFileSizeLimit({"build", dir / "src", dir / "dest/GAME00.DAT"}, 100000);
    EXPECT_EQ(result.exitCode, 1) << "killed by a signal when 128 and more";
    EXPECT_EQ(result.err, "velmora-dat: " + dir / "dest/GAME00.DAT" + ": File too large\n");
    EXPECT_EQ(treeOf(dir / "dest"),
              (std::map<std::string, std::string>{{"GAME00.DAT", "earlier"}}));
}
#endif

} // namespace
