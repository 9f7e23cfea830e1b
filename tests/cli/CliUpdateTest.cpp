#include "tests/cli/RunProgram.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

using clitest::runDat;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

const std::string kXu = "\xE8\xA8\xB1"; // 許 in UTF-8

// The system's own words for a missing file.
#ifdef _WIN32
constexpr const char* kNoFile = "File not found";
constexpr bool kIsWindows = true;
#else
constexpr const char* kNoFile = "No such file";
constexpr bool kIsWindows = false;
#endif

// A name only this system cannot hold, with words of the reason.
#ifdef _WIN32
const std::string kNotHere = "CON";
constexpr const char* kNotHereReason = "is the device CON";
#else
const std::string kNotHere = std::string(256, 'x');
constexpr const char* kNotHereReason = "over the 255";
#endif

using Tree = std::map<std::string, std::string>;

const Tree kArchived = {{"a.bmp", "abc"}, {"sub/b.wav", "bbbbb"}, {kXu + ".bmp", "xu"}};

// An archive built from kArchived and a folder "game" of new files.
struct Fixture {
    TempDir dir;

    Fixture()
    {
        for (const auto& [path, bytes] : kArchived)
            writeFile(dir / ("src/" + path), bytes);
        writeFile(dir / "game/a.bmp", "NEW");
        writeFile(dir / "game/sub/c.scr", "ccc");
        const auto built = runDat({"build", dir / "src", dir / "GAME00.DAT"});
        if (built.exitCode != 0)
            throw std::runtime_error(built.err);
        fs::remove_all(testsupport::hostPath(dir / "src"));
    }

    // "@x" stands for the path of x in the fixture's folder.
    std::string expand(const std::string& text) const
    {
        std::string out;
        for (std::size_t at = 0; at < text.size(); ++at) {
            if (text[at] == '@')
                out += dir.str() + "/";
            else
                out += text[at];
        }
        return out;
    }

    std::string built(const Tree& tree) const
    {
        const std::string src = dir / "expected-src";
        fs::remove_all(testsupport::hostPath(src));
        fs::create_directories(testsupport::hostPath(src));
        for (const auto& [path, bytes] : tree)
            writeFile(src + "/" + path, bytes);
        const auto result = runDat({"build", src, dir / "expected.DAT"});
        fs::remove_all(testsupport::hostPath(src));
        const std::string bytes = readFile(dir / "expected.DAT");
        fs::remove(testsupport::hostPath(dir / "expected.DAT"));
        return bytes;
    }
};

Tree with(Tree tree, const Tree& changes, const std::vector<std::string>& removed = {})
{
    for (const auto& [path, bytes] : changes)
        tree[path] = bytes;
    for (const std::string& path : removed)
        tree.erase(path);
    return tree;
}

struct Case {
    const char* label;
    std::vector<std::string> args;
    int exitCode;
    std::string out; // '@' as in the arguments
    std::string inErr;
    Tree after; // of the archive named by archive
    std::string archive = "GAME00.DAT";
    std::string link = {};     // when given, LINK.DAT is made first as a link to this
    std::string hardLink = {}; // a hard link to GAME00.DAT made first, which keeps the old bytes
};

class CliUpdate : public testing::TestWithParam<Case> {};

TEST_P(CliUpdate, ChangesTheArchiveAsBuildingTheChangedTreeWould)
{
    const Case& c = GetParam();
    Fixture f;
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(f.expand(arg));
    if (!c.link.empty() && !testsupport::makeLink(c.link, f.dir / "LINK.DAT"))
        GTEST_SKIP() << "no symbolic links here";
    if (!c.hardLink.empty())
        fs::create_hard_link(testsupport::hostPath(f.dir / "GAME00.DAT"),
                             testsupport::hostPath(f.dir / c.hardLink));
    const fs::path archive = testsupport::hostPath(f.dir / "GAME00.DAT");
    const auto written = fs::last_write_time(archive);

    const auto result = runDat(args);

    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(result.out, f.expand(c.out));
    if (c.inErr.empty())
        EXPECT_EQ(result.err, "");
    else
        EXPECT_NE(result.err.find(f.expand(c.inErr)), std::string::npos) << result.err;
    EXPECT_EQ(readFile(f.dir / c.archive), f.built(c.after));
    if (c.after == kArchived) {
        EXPECT_EQ(fs::last_write_time(archive), written) << "written again";
    }
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(f.dir.path()))
        files.insert(entry.path().filename().string());
    std::set<std::string> expected = {"GAME00.DAT", "game"};
    expected.insert(c.archive);
    if (!c.link.empty())
        expected.insert("LINK.DAT");
    if (!c.hardLink.empty()) {
        EXPECT_EQ(readFile(f.dir / c.hardLink), f.built(kArchived));
        expected.insert(c.hardLink);
    }
    EXPECT_EQ(files, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliUpdate,
    testing::Values(
        Case{"AddReplacesAndAdds",
             {"add", "@GAME00.DAT", "-C", "@game", "@game/a.bmp", "@game/sub/c.scr"},
             0,
             "@GAME00.DAT: 1 added, 1 replaced, 0 deleted, 0 renamed\n",
             "",
             with(kArchived, {{"a.bmp", "NEW"}, {"sub/c.scr", "ccc"}})},
        Case{"AddAFolderTakesEveryFileBelowIt",
             {"add", "@GAME00.DAT", "--directory=@game", "@game"},
             0,
             "@GAME00.DAT: 1 added, 1 replaced, 0 deleted, 0 renamed\n",
             "",
             with(kArchived, {{"a.bmp", "NEW"}, {"sub/c.scr", "ccc"}})},
        Case{"AddASubfolderKeepsItsLevel",
             {"add", "@GAME00.DAT", "-C", "@game", "@game/sub"},
             0,
             "@GAME00.DAT: 1 added, 0 replaced, 0 deleted, 0 renamed\n",
             "",
             with(kArchived, {{"sub/c.scr", "ccc"}})},
        Case{"AddAsNamesOneFile",
             {"add", "@GAME00.DAT", "--as", "x/" + kXu + ".bmp", "@game/a.bmp"},
             0,
             "@GAME00.DAT: 1 added, 0 replaced, 0 deleted, 0 renamed\n",
             "",
             with(kArchived, {{"x/" + kXu + ".bmp", "NEW"}})},
        Case{"AddKeepingOldEntriesReportsThem",
             {"add", "-k", "@GAME00.DAT", "-C", "@game", "@game/a.bmp", "@game/sub/c.scr"},
             1,
             "@GAME00.DAT: 1 added, 0 replaced, 0 deleted, 0 renamed, 1 kept\n",
             "velmora-dat: a.bmp: is already in @GAME00.DAT; kept as it was\n",
             with(kArchived, {{"sub/c.scr", "ccc"}})},
        Case{"AddOnlyKeptWritesNothing",
             {"add", "--keep-old-files", "@GAME00.DAT", "-C", "@game", "@game/a.bmp"},
             1,
             "@GAME00.DAT: 0 added, 0 replaced, 0 deleted, 0 renamed, 1 kept\n",
             "a.bmp: is already in",
             kArchived},
        Case{"AddDryRun",
             {"add", "-n", "@GAME00.DAT", "-C", "@game", "@game"},
             0,
             "replace a.bmp\nadd sub\\c.scr\n@GAME00.DAT: 1 added, 1 replaced, 0 deleted, 0 "
             "renamed (dry run: nothing written)\n",
             "",
             kArchived},
        Case{"AddOutsideTheFolderIsRefused",
             {"add", "@GAME00.DAT", "-C", "@game/sub", "@game/a.bmp"},
             1,
             "",
             "@game/a.bmp: does not lie below @game/sub",
             kArchived},
        Case{"AddReadsPathsFromDirAsTarDoes",
             {"add", "@GAME00.DAT", "-C", "@game", "a.bmp", "sub/c.scr"},
             0,
             "@GAME00.DAT: 1 added, 1 replaced, 0 deleted, 0 renamed\n",
             "",
             with(kArchived, {{"a.bmp", "NEW"}, {"sub/c.scr", "ccc"}})},
        Case{"AddAsReadsItsFileFromDir",
             {"add", "@GAME00.DAT", "-C", "@game", "--as", "x.bmp", "sub/c.scr"},
             0,
             "@GAME00.DAT: 1 added, 0 replaced, 0 deleted, 0 renamed\n",
             "",
             with(kArchived, {{"x.bmp", "ccc"}})},
        Case{"AddARelativePathOutsideDirIsRefused",
             {"add", "@GAME00.DAT", "-C", "@game/sub", "../a.bmp"},
             1,
             "",
             "does not lie below @game/sub",
             kArchived},
        Case{"AddAsANameNoEntryMayHaveHere",
             {"add", "@GAME00.DAT", "--as", kNotHere, "@game/a.bmp"},
             1,
             "",
             kNotHereReason,
             kArchived},
        Case{"AddAMissingFileIsRefused",
             {"add", "@GAME00.DAT", "-C", "@game", "@game/sub/c.scr", "@game/none.bmp"},
             1,
             "",
             std::string("@game/none.bmp: ") + kNoFile,
             kArchived},
        Case{"AddCreatesAMissingArchive",
             {"add", "@NEW.DAT", "-C", "@game", "@game/sub/c.scr"},
             0,
             "@NEW.DAT: 1 added, 0 replaced, 0 deleted, 0 renamed\n",
             "",
             {{"sub/c.scr", "ccc"}},
             "NEW.DAT"},
        Case{"AddThroughALinkToNothingCreatesItsTarget",
             {"add", "@LINK.DAT", "-C", "@game", "@game/sub/c.scr"},
             0,
             "@LINK.DAT: 1 added, 0 replaced, 0 deleted, 0 renamed\n",
             "",
             {{"sub/c.scr", "ccc"}},
             "NEW.DAT",
             "NEW.DAT"},
        Case{"AddThroughALinkIntoNoFolderNamesBoth",
             {"add", "@LINK.DAT", "-C", "@game", "@game/sub/c.scr"},
             1,
             "",
             "velmora-dat: @LINK.DAT: is a symbolic link to @nowhere/NEW.DAT, whose folder does "
             "not exist\n",
             kArchived,
             "GAME00.DAT",
             "nowhere/NEW.DAT"},
        Case{"DeleteMatchesNamesAsExtractDoes",
             {"delete", "@GAME00.DAT", "sub/b.wav", kXu + ".bmp", "sub\\b.wav"},
             0,
             "@GAME00.DAT: 0 added, 0 replaced, 2 deleted, 0 renamed\n",
             "",
             {{"a.bmp", "abc"}}},
        Case{"DeleteSplittingAHardLinkSaysSo",
             {"delete", "@GAME00.DAT", "a.bmp"},
             0,
             "@GAME00.DAT: 0 added, 0 replaced, 1 deleted, 0 renamed; its other hard links keep "
             "the old archive\n",
             "",
             with(kArchived, {}, {"a.bmp"}),
             "GAME00.DAT",
             "",
             "LINKED.DAT"},
        Case{"DeleteDryRun",
             {"delete", "--dry-run", "@GAME00.DAT", "a.bmp"},
             0,
             "delete a.bmp\n@GAME00.DAT: 0 added, 0 replaced, 1 deleted, 0 renamed (dry run: "
             "nothing written)\n",
             "",
             kArchived},
        Case{"DeleteOfAMissingNameChangesNothing",
             {"delete", "@GAME00.DAT", "a.bmp", "nothing.bmp"},
             1,
             "",
             "velmora-dat: nothing.bmp: no entry of that name in @GAME00.DAT\n",
             kArchived},
        Case{"RenameMovesBetweenFolders",
             {"rename", "@GAME00.DAT", "sub/b.wav", "new/B.wav"},
             0,
             "@GAME00.DAT: 0 added, 0 replaced, 0 deleted, 1 renamed\n",
             "",
             with(kArchived, {{"new/B.wav", "bbbbb"}}, {"sub/b.wav"})},
        Case{"RenameDryRun",
             {"rename", "-n", "@GAME00.DAT", "a.bmp", "sub/a.bmp"},
             0,
             "rename a.bmp -> sub\\a.bmp\n@GAME00.DAT: 0 added, 0 replaced, 0 deleted, 1 "
             "renamed (dry run: nothing written)\n",
             "",
             kArchived},
        Case{"RenameOntoAnExistingNameIsRefused",
             {"rename", "@GAME00.DAT", "a.bmp", kXu + ".bmp"},
             1,
             "",
             "is already the name of an entry",
             kArchived},
        Case{"RenameToAByteThatIsNoCharacter",
             {"rename", "@GAME00.DAT", "a.bmp", "\xF3\xB0\x83\xBF.bmp"}, // U+F00FF: 0xFF
             1,
             "",
             "not valid code page 950",
             kArchived},
        Case{"RenameToItsOwnNameWritesNothing",
             {"rename", "@GAME00.DAT", "a.bmp", "a.bmp"},
             0,
             "nothing to do: a.bmp has that name already\n@GAME00.DAT: 0 added, 0 replaced, 0 "
             "deleted, 0 renamed\n",
             "",
             kArchived},
        Case{"RenameOfAMissingName",
             {"rename", "@GAME00.DAT", "none.bmp", "x.bmp"},
             1,
             "",
             "none.bmp: no entry of that name",
             kArchived},
        Case{"AsWithTwoPathsIsAUsageError",
             {"add", "@GAME00.DAT", "--as", "x.bmp", "@game/a.bmp", "@game/sub/c.scr"},
             2,
             "",
             "--as: names one file",
             kArchived},
        Case{"RenameWithoutNewIsAUsageError",
             {"rename", "@GAME00.DAT", "a.bmp"},
             2,
             "",
             "missing NEW",
             kArchived},
        Case{"DeleteWithoutNamesIsAUsageError",
             {"delete", "@GAME00.DAT"},
             2,
             "",
             "missing NAME",
             kArchived}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CliUpdate, ADuplicatedNameIsRefusedAsAmbiguous)
{
    TempDir dir;
    testsupport::ArchiveImage image;
    image.add("a.bmp", "1");
    image.add("a.bmp", "2");
    writeFile(dir / "GAME00.DAT", image.bytes());
    const auto result = runDat({"delete", dir / "GAME00.DAT", "a.bmp"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("a.bmp: is the name of two entries"), std::string::npos)
        << result.err;
    EXPECT_EQ(readFile(dir / "GAME00.DAT"), image.bytes());
}

struct Writers {
    const char* label;
    std::vector<std::string> first;
    std::vector<std::string> second;
    Tree afterFirst;  // what the archive holds when only the first change lands
    Tree afterSecond; // only the second
    Tree afterBoth;
    std::string archive = "GAME00.DAT";
};

void PrintTo(const Writers& writers, std::ostream* out)
{
    *out << writers.label;
}

class CliUpdateTwoWriters : public testing::TestWithParam<Writers> {};

// Two changes at once: each lands, or one is refused with a failure status; never two successes
// with one change lost.
TEST_P(CliUpdateTwoWriters, LoseNoChange)
{
    const Writers& c = GetParam();
    for (int round = 0; round < 6; ++round) {
        Fixture f;
        writeFile(f.dir / "game/x.bmp", std::string(1 << 20, 'x'));
        writeFile(f.dir / "game/y.bmp", std::string(1 << 20, 'y'));
        std::vector<std::string> first;
        std::vector<std::string> second;
        for (const std::string& arg : c.first)
            first.push_back(f.expand(arg));
        for (const std::string& arg : c.second)
            second.push_back(f.expand(arg));
        clitest::RunResult a;
        std::thread other([&] { a = runDat(first); });
        const clitest::RunResult b = runDat(second);
        other.join();

        SCOPED_TRACE(round);
        const std::string now = readFile(f.dir / c.archive);
        if (a.exitCode == 0 && b.exitCode == 0) {
            EXPECT_EQ(now, f.built(c.afterBoth));
            continue;
        }
        const clitest::RunResult& refused = a.exitCode == 0 ? b : a;
        EXPECT_EQ(refused.exitCode, 1) << refused.err;
        // Refused while the other change runs, or, without waiting, just after it replaced the
        // archive this one had read. Where the system refuses to name over a file another
        // program holds open (Wine), the held archive is moved aside and the new one moved in,
        // and a change starting between the two finds no archive.
        EXPECT_TRUE(refused.err.find("another program is changing it") != std::string::npos ||
                    refused.err.find("was replaced by another file") != std::string::npos ||
                    (kIsWindows && refused.err.find(kNoFile) != std::string::npos))
            << refused.err;
        EXPECT_EQ(now, f.built(a.exitCode == 0 ? c.afterFirst : c.afterSecond));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliUpdateTwoWriters,
    testing::Values(Writers{"TwoAdds",
                            {"add", "@GAME00.DAT", "-C", "@game", "@game/x.bmp"},
                            {"add", "@GAME00.DAT", "-C", "@game", "@game/y.bmp"},
                            with(kArchived, {{"x.bmp", std::string(1 << 20, 'x')}}),
                            with(kArchived, {{"y.bmp", std::string(1 << 20, 'y')}}),
                            with(kArchived, {{"x.bmp", std::string(1 << 20, 'x')},
                                             {"y.bmp", std::string(1 << 20, 'y')}})},
                    Writers{"DeleteAndRename",
                            {"delete", "@GAME00.DAT", "a.bmp"},
                            {"rename", "@GAME00.DAT", "sub/b.wav", "new/b.wav"},
                            with(kArchived, {}, {"a.bmp"}),
                            with(kArchived, {{"new/b.wav", "bbbbb"}}, {"sub/b.wav"}),
                            with(kArchived, {{"new/b.wav", "bbbbb"}}, {"a.bmp", "sub/b.wav"})},
                    // Both create it: the later one adds to what the earlier one made.
                    Writers{"TwoAddsCreating",
                            {"add", "@NEW.DAT", "-C", "@game", "@game/x.bmp"},
                            {"add", "@NEW.DAT", "-C", "@game", "@game/y.bmp"},
                            {{"x.bmp", std::string(1 << 20, 'x')}},
                            {{"y.bmp", std::string(1 << 20, 'y')}},
                            {{"x.bmp", std::string(1 << 20, 'x')},
                             {"y.bmp", std::string(1 << 20, 'y')}},
                            "NEW.DAT"},
                    Writers{"TwoAddsWithoutWaiting",
                            {"add", "--wait", "0", "@GAME00.DAT", "-C", "@game", "@game/x.bmp"},
                            {"add", "--wait=0", "@GAME00.DAT", "-C", "@game", "@game/y.bmp"},
                            with(kArchived, {{"x.bmp", std::string(1 << 20, 'x')}}),
                            with(kArchived, {{"y.bmp", std::string(1 << 20, 'y')}}),
                            with(kArchived, {{"x.bmp", std::string(1 << 20, 'x')},
                                             {"y.bmp", std::string(1 << 20, 'y')}})}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CliUpdate, ADryRunSaysWhenMoreThanTheNamedEntriesChanges)
{
    TempDir dir;
    testsupport::ArchiveImage image;
    image.add("a.bmp", "1");
    image.add("b.bmp", "2");
    writeFile(dir / "GAME00.DAT", image.bytes() + "trailing bytes, not kept");
    const auto result = runDat({"delete", "-n", dir / "GAME00.DAT", "b.bmp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "delete b.bmp\n" + dir.str() +
                              "/GAME00.DAT: not laid out as build lays it out; written again, its "
                              "layout changes beyond these entries\n" +
                              dir.str() +
                              "/GAME00.DAT: 0 added, 0 replaced, 1 deleted, 0 renamed (dry run: "
                              "nothing written)\n");
}

// POSIX: a file-size limit, signals, and /proc to see the unnamed file being written.
#ifndef _WIN32
TEST(CliUpdate, AFileSizeLimitLeavesTheArchiveAndNoTemporaryFile)
{
    Fixture f;
    writeFile(f.dir / "game/big.dat", std::string(200000, 'b'));
    const std::string earlier = readFile(f.dir / "GAME00.DAT");
    const auto result = clitest::runDatWithFileSizeLimit(
        {"add", f.dir / "GAME00.DAT", "-C", f.dir / "game", f.dir / "game/big.dat"}, 100000);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("GAME00.DAT"), std::string::npos) << result.err;
    EXPECT_EQ(readFile(f.dir / "GAME00.DAT"), earlier);
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(f.dir.path()))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"GAME00.DAT", "game"}));
}

TEST(CliUpdate, AddNamesTheLinksItLeavesOutAsBuildDoes)
{
    Fixture f;
    writeFile(f.dir / "outside.bmp", "out");
    fs::create_symlink(f.dir.path() / "outside.bmp", f.dir.path() / "game/link.bmp");
    const auto added = runDat({"add", f.dir / "GAME00.DAT", "-C", f.dir / "game", "."});
    EXPECT_EQ(added.exitCode, 0);
    EXPECT_EQ(added.err, "velmora-dat: " + f.dir.str() +
                             "/game/link.bmp: notice: symbolic link skipped: it does not lead "
                             "to a regular file inside the folder being packed\n");
    fs::remove(f.dir.path() / "outside.bmp");
}

// An unnamed file below folder open in the program (its streams are unnamed files too).
bool isWritingUnnamed(pid_t pid, const std::string& folder = "/")
{
    std::error_code ignored;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ignored), end; it != end;
         it.increment(ignored)) {
        const std::string target = fs::read_symlink(it->path(), ignored).string();
        if (target.starts_with(folder) && target.find("(deleted)") != std::string::npos)
            return true;
    }
    return false;
}

struct Stop {
    const char* label;
    int signal;
    int count; // a second signal ends the program at once
};

class CliUpdateStopped : public testing::TestWithParam<Stop> {};

// Wherever the signals land, the archive is either the old one or the whole new one, and
// nothing else is left beside it.
TEST_P(CliUpdateStopped, LeavesTheOldArchiveOrTheWholeNewOne)
{
    const Stop& stop = GetParam();
    Fixture f;
    const std::string big(32 * 1024 * 1024, 'g');
    writeFile(f.dir / "game/big.dat", big);
    const std::string earlier = readFile(f.dir / "GAME00.DAT");
    std::vector<std::string> args = {VELMORA_DAT_PATH,     "add",
                                     f.dir / "GAME00.DAT", "-C",
                                     f.dir / "game",       f.dir / "game/big.dat"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    // Once the new archive is being written: an unnamed file open in the program.
    for (int i = 0; i < 5000 && !isWritingUnnamed(pid); ++i)
        usleep(200);
    for (int i = 0; i < stop.count; ++i)
        kill(pid, stop.signal);
    const int status = clitest::waitExit(pid);

    const std::string now = readFile(f.dir / "GAME00.DAT");
    if (status == 0)
        EXPECT_EQ(now, f.built(with(kArchived, {{"big.dat", big}})));
    else
        EXPECT_EQ(now, earlier) << "status " << status;
    EXPECT_TRUE(status == 0 || status == 128 + stop.signal) << status;
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(f.dir.path()))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"GAME00.DAT", "game"}));
}

INSTANTIATE_TEST_SUITE_P(Signals, CliUpdateStopped,
                         testing::Values(Stop{"Interrupt", SIGINT, 1},
                                         Stop{"Terminate", SIGTERM, 1},
                                         Stop{"InterruptTwice", SIGINT, 2},
                                         Stop{"HangUp", SIGHUP, 1}, Stop{"Kill", SIGKILL, 1}),
                         [](const auto& info) { return std::string(info.param.label); });

// Every long command stopped by a first signal while it writes: a word that it was interrupted,
// the status a shell shows for the signal, and nothing left beside what was there.
TEST(CliStopped, EveryLongCommandEndsWithTheSignalsStatus)
{
    // A 1 GiB hole for an entry or a file takes seconds to copy, against a slice to stop.
    constexpr std::uint32_t kBigBytes = 1u << 30;
    TempDir dir;
    testsupport::ArchiveImage image;
    image.add("a.bmp", "abc");
    image.add("big.bin", "");
    image.records[1].dataSize = kBigBytes;
    writeFile(dir / "GAME00.DAT", image.bytes());
    fs::resize_file(dir / "GAME00.DAT", image.bytes().size() + kBigBytes);
    writeFile(dir / "game/a.bmp", "NEW");
    writeFile(dir / "game/big.bin", "");
    fs::resize_file(dir / "game/big.bin", kBigBytes);
    // A patch of a.bmp alone, applied with --force to the archive of two entries.
    writeFile(dir / "small/a.bmp", "abc");
    ASSERT_EQ(runDat({"build", dir / "small", dir / "SMALL.DAT"}).exitCode, 0);
    writeFile(dir / "small/a.bmp", "NEW");
    ASSERT_EQ(runDat({"diff", dir / "SMALL.DAT", dir / "small", "-q", "--patch", dir / "PATCH.DAT"})
                  .exitCode,
              1);
    fs::create_directory(dir / "out");
    std::set<std::string> before;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        before.insert(entry.path().filename().string());

    const struct {
        const char* label;
        int signalNumber;
        std::vector<std::string> args;
    } cases[] = {
        {"extract", SIGTERM, {"extract", dir / "GAME00.DAT", dir / "out", "big.bin"}},
        {"build", SIGINT, {"build", dir / "game", dir / "NEW.DAT"}},
        {"add", SIGTERM, {"add", dir / "GAME00.DAT", "-C", dir / "game", "big.bin"}},
        {"delete", SIGINT, {"delete", dir / "GAME00.DAT", "a.bmp"}},
        {"rename", SIGTERM, {"rename", dir / "GAME00.DAT", "a.bmp", "c.bmp"}},
        {"patch", SIGINT, {"patch", "--force", dir / "GAME00.DAT", dir / "PATCH.DAT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        clitest::Started started = clitest::startDat(c.args);
        for (int i = 0; i < 20000 && !isWritingUnnamed(started.pid, dir.str()); ++i)
            usleep(200);
        kill(started.pid, c.signalNumber);
        const auto result = clitest::finishProgram(started);
        EXPECT_EQ(result.exitCode, 128 + c.signalNumber) << result.err;
        EXPECT_NE(result.err.find("interrupt again to end at once"), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find(": interrupted"), std::string::npos) << result.err;
        std::set<std::string> now;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            now.insert(entry.path().filename().string());
        EXPECT_EQ(now, before);
        EXPECT_TRUE(fs::is_empty(dir / "out"));
    }
}

#endif

} // namespace
