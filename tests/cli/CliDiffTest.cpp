#include "tests/cli/RunProgram.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

using clitest::runDat;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// 第一行, 第二行 and 第三行 in Big5, lines ended by CR LF.
const std::string kOldText = "\xB2\xC4\xA4\x40\xA6\xE6\r\n\xB2\xC4\xA4\x47\xA6\xE6\r\n";
const std::string kNewText = "\xB2\xC4\xA4\x40\xA6\xE6\r\n\xB2\xC4\xA4\x54\xA6\xE6\r\n";

// OLD.DAT and NEW.DAT (and their folders old/ and new/), OTHER.DAT unrelated to either.
struct Fixture {
    TempDir dir;

    Fixture()
    {
        writeFile(dir / "old/a.txt", kOldText);
        writeFile(dir / "old/gone.bmp", "gone");
        writeFile(dir / "old/sub/m.wav", "moved");
        writeFile(dir / "new/a.txt", kNewText);
        writeFile(dir / "new/n.bmp", "new");
        writeFile(dir / "new/m.wav", "moved");
        writeFile(dir / "other/a.txt", "other");
        for (const char* name : {"old", "new", "other"}) {
            std::string archive = name;
            for (char& c : archive)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            const auto built = runDat({"build", dir / name, dir / (archive + ".DAT")});
            if (built.exitCode != 0)
                throw std::runtime_error(built.err);
        }
    }

    // "@x" stands for the path of x in the fixture's folder.
    std::vector<std::string> expand(const std::vector<std::string>& args) const
    {
        std::vector<std::string> out;
        for (const std::string& arg : args)
            out.push_back(arg[0] == '@' ? dir / arg.substr(1) : arg);
        return out;
    }
};

struct RunCase {
    const char* label;
    std::vector<std::vector<std::string>> setup; // commands run first, which must succeed
    std::vector<std::string> args;
    int exitCode;
    std::string out;         // exact, with "~" for the fixture's folder + "/"
    std::string errContains; // empty: nothing on standard error
    // An archive and the archive whose bytes it must then have ("" when not checked).
    std::string archive = {};
    std::string sameAs = {};
};

void PrintTo(const RunCase& row, std::ostream* out)
{
    *out << row.label;
}

class CliDiff : public ::testing::TestWithParam<RunCase> {};

TEST_P(CliDiff, PrintsAndExitsAsTheTableSays)
{
    const Fixture fixture;
    // diff's status 1 says the two differ.
    for (const auto& command : GetParam().setup)
        ASSERT_EQ(runDat(fixture.expand(command)).exitCode, command[0] == "diff" ? 1 : 0);
    const auto result = runDat(fixture.expand(GetParam().args));
    std::string expected;
    for (const char c : GetParam().out)
        expected += c == '~' ? fixture.dir.str() + "/" : std::string(1, c);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err;
    EXPECT_EQ(result.out, expected);
    if (GetParam().errContains.empty()) {
        EXPECT_EQ(result.err, "");
    } else {
        EXPECT_NE(result.err.find(GetParam().errContains), std::string::npos) << result.err;
    }
    if (!GetParam().archive.empty()) {
        EXPECT_EQ(readFile(fixture.dir / GetParam().archive),
                  readFile(fixture.dir / GetParam().sameAs));
    }
}

const std::vector<std::string> kMakePatch = {"diff", "-q", "@OLD.DAT", "@new", "--patch", "@P.DAT"};
const std::vector<std::string> kCopyOld = {"build", "@old", "@T.DAT"};

INSTANTIATE_TEST_SUITE_P(
    Runs, CliDiff,
    ::testing::Values(
        RunCase{"Equal",
                {},
                {"diff", "@OLD.DAT", "@old"},
                0,
                "~OLD.DAT -> ~old: 0 added, 0 deleted, 0 changed, 0 renamed, 3 unchanged\n",
                ""},
        RunCase{"Differ",
                {},
                {"diff", "@new", "@OLD.DAT"},
                1,
                "M\ta.txt\nA\tgone.bmp\nR\tm.wav -> sub\\m.wav\nD\tn.bmp\n"
                "~new -> ~OLD.DAT: 1 added, 1 deleted, 1 changed, 1 renamed, 0 unchanged\n",
                ""},
        RunCase{"Quiet", {}, {"diff", "-q", "@OLD.DAT", "@NEW.DAT"}, 1, "", ""},
        // 游戏 is no Big5 text: the folder's names are made in the archive's GBK.
        RunCase{"AFolderTakesTheArchivesCodePage",
                {{"add", "--encoding", "gbk", "--as", "游戏.txt", "@G.DAT", "@old/a.txt"},
                 {"extract", "@G.DAT", "@g"}},
                {"diff", "@g", "@G.DAT"},
                0,
                "~g -> ~G.DAT: 0 added, 0 deleted, 0 changed, 0 renamed, 1 unchanged\n",
                ""},
        RunCase{"Missing", {}, {"diff", "@OLD.DAT", "@none.DAT"}, 2, "", "none.DAT: "},
        RunCase{"NotAnArchive", {}, {"diff", "-q", "@old/a.txt", "@NEW.DAT"}, 2, "", "a.txt"},
        RunCase{"TextWithJson", {}, {"diff", "-p", "a.txt", "--json", "@o", "@n"}, 2, "", "--text"},
        RunCase{
            "Json",
            {},
            {"diff", "--json", "@old", "@NEW.DAT"},
            1,
            "{\"old\": \"~old\", \"new\": \"~NEW.DAT\", \"differences\": [\n"
            "  {\"status\": \"changed\", \"old_name\": \"a.txt\", \"old_name_hex\": "
            "\"612e747874\", \"old_size\": 16, \"old_hash\": \"9c3dfcc2c50a5089\", "
            "\"new_name\": \"a.txt\", \"new_name_hex\": \"612e747874\", \"new_size\": 16, "
            "\"new_hash\": \"38af8097b97bd362\"},\n"
            "  {\"status\": \"deleted\", \"old_name\": \"gone.bmp\", \"old_name_hex\": "
            "\"676f6e652e626d70\", \"old_size\": 4, \"old_hash\": \"6cce083bbbb17f54\"},\n"
            "  {\"status\": \"added\", \"new_name\": \"n.bmp\", \"new_name_hex\": "
            "\"6e2e626d70\", \"new_size\": 3, \"new_hash\": \"bde553e085e11527\"},\n"
            "  {\"status\": \"renamed\", \"old_name\": \"sub\\\\m.wav\", \"old_name_hex\": "
            "\"7375625c6d2e776176\", \"old_size\": 5, \"old_hash\": \"7f28cb7d6fc6587b\", "
            "\"new_name\": \"m.wav\", \"new_name_hex\": \"6d2e776176\", \"new_size\": 5, "
            "\"new_hash\": \"7f28cb7d6fc6587b\"}\n"
            "], \"added\": 1, \"deleted\": 1, \"changed\": 1, \"renamed\": 1, \"unchanged\": 0}\n",
            ""},
        // Big5 decoded to UTF-8; the CR of each line end is not shown.
        RunCase{"Text",
                {},
                {"diff", "-p", "a.txt", "@OLD.DAT", "@new"},
                1,
                "--- ~OLD.DAT/a.txt\n+++ ~new/a.txt\n@@ -1,2 +1,2 @@\n"
                " \xE7\xAC\xAC\xE4\xB8\x80\xE8\xA1\x8C\n-\xE7\xAC\xAC\xE4\xBA\x8C\xE8\xA1\x8C\n"
                "+\xE7\xAC\xAC\xE4\xB8\x89\xE8\xA1\x8C\n",
                ""},
        RunCase{"TextEqual", {}, {"diff", "--text=m.wav", "@new", "@NEW.DAT"}, 0, "", ""},
        RunCase{"PatchApplied",
                {kMakePatch, kCopyOld},
                {"patch", "@T.DAT", "@P.DAT"},
                0,
                "~T.DAT: 1 added, 1 replaced, 1 deleted, 1 renamed\n",
                "",
                "T.DAT",
                "NEW.DAT"},
        RunCase{"PatchDryRun",
                {kMakePatch, kCopyOld},
                {"patch", "-n", "@T.DAT", "@P.DAT"},
                0,
                "delete gone.bmp\nrename sub\\m.wav -> m.wav\nreplace a.txt\nadd n.bmp\n"
                "~T.DAT: 1 added, 1 replaced, 1 deleted, 1 renamed (dry run: nothing written)\n",
                "",
                "T.DAT",
                "OLD.DAT"},
        RunCase{"NotAPatch",
                {},
                {"patch", "@NEW.DAT", "@OLD.DAT"},
                1,
                "",
                "holds no entry VELMORA.PATCH"},
        RunCase{"PatchTwice",
                {kMakePatch, kCopyOld, {"patch", "@T.DAT", "@P.DAT"}},
                {"patch", "@T.DAT", "@P.DAT"},
                1,
                "",
                "already applied",
                "T.DAT",
                "NEW.DAT"},
        RunCase{"PatchWrongArchive",
                {kMakePatch, {"build", "@other", "@OTHER2.DAT"}},
                {"patch", "@OTHER.DAT", "@P.DAT"},
                1,
                "",
                "is not the archive",
                "OTHER.DAT",
                "OTHER2.DAT"},
        RunCase{"PatchForcedOntoAnotherArchive",
                {kMakePatch, {"add", "@OTHER.DAT", "-C", "@old", "@old/sub", "@old/gone.bmp"}},
                {"patch", "--force", "@OTHER.DAT", "@P.DAT"},
                0,
                "~OTHER.DAT: 1 added, 1 replaced, 1 deleted, 1 renamed\n",
                "",
                "OTHER.DAT",
                "NEW.DAT"}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
