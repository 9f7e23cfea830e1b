#include "tests/cli/RunProgram.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <vector>

using clitest::lines;
using clitest::runDat;
using clitest::treeOf;
using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace fs = std::filesystem;

namespace {

const std::string kXu = "\xE8\xA8\xB1"; // 許 in UTF-8

using Tree = std::map<std::string, std::string>;

struct Fixture {
    TempDir dir;
    std::string path = dir / "GAME00.DAT";
    std::string dest = dir / "out";

    Fixture()
    {
        ArchiveImage image;
        image.add("sub\\b.wav", "bbbbb");
        image.add("a.bmp", "abc");
        image.add("sub\\deeper\\c.dat", std::string(4097, 'c'));
        image.add("\xB3\x5C.bmp", "xu"); // one file, not a folder "\xB3"
        image.add("empty.scr", "");
        testsupport::writeFile(path, image.bytes());
    }

    static Tree all()
    {
        return {{"sub/b.wav", "bbbbb"},
                {"a.bmp", "abc"},
                {"sub/deeper/c.dat", std::string(4097, 'c')},
                {kXu + ".bmp", "xu"},
                {"empty.scr", ""}};
    }
};

TEST(CliExtract, WithoutNamesWritesEveryEntry)
{
    Fixture f;
    const auto result = runDat({"extract", f.path, f.dest});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, ""); // no progress line when standard error is no terminal
    EXPECT_EQ(treeOf(f.dest), Fixture::all());
}

TEST(CliExtract, CreatesAMissingDestinationWithItsParents)
{
    Fixture f;
    const std::string dest = f.dir / "new/deeper/out";
    const auto result = runDat({"extract", f.path, dest, "a.bmp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(treeOf(dest), (Tree{{"a.bmp", "abc"}}));
}

struct NamesCase {
    const char* label;
    std::vector<std::string> names;
    Tree expected;
};

class CliExtractNames : public ::testing::TestWithParam<NamesCase> {};

TEST_P(CliExtractNames, WritesOnlyTheNamedEntries)
{
    Fixture f;
    std::vector<std::string> args = {"extract", f.path, f.dest};
    args.insert(args.end(), GetParam().names.begin(), GetParam().names.end());
    const auto result = runDat(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(treeOf(f.dest), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CliExtractNames,
    ::testing::Values(
        NamesCase{"Backslash", {"sub\\b.wav"}, {{"sub/b.wav", "bbbbb"}}},
        NamesCase{"Slash", {"sub/deeper/c.dat"}, {{"sub/deeper/c.dat", std::string(4097, 'c')}}},
        NamesCase{"Big5", {kXu + ".bmp"}, {{kXu + ".bmp", "xu"}}},
        NamesCase{"Several", {"a.bmp", "empty.scr"}, {{"a.bmp", "abc"}, {"empty.scr", ""}}},
        NamesCase{"SameTwice", {"a.bmp", "a.bmp"}, {{"a.bmp", "abc"}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CliExtract, TypeNarrowsTheEntriesExtracted)
{
    Fixture f;
    const auto result = runDat({"extract", "--type", "BMP", f.path, f.dest});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(treeOf(f.dest), (Tree{{"a.bmp", "abc"}, {kXu + ".bmp", "xu"}}));
}

struct UnknownCase {
    const char* label;
    std::vector<std::string> args; // after "extract"; ARCHIVE and DEST are filled in
    std::vector<std::string> reported;
};

class CliExtractUnknown : public ::testing::TestWithParam<UnknownCase> {};

TEST_P(CliExtractUnknown, FailsBeforeAnythingIsWritten)
{
    Fixture f;
    std::vector<std::string> args = {"extract"};
    for (const std::string& arg : GetParam().args)
        args.push_back(arg == "ARCHIVE" ? f.path : arg == "DEST" ? f.dest : arg);
    const auto result = runDat(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(fs::exists(f.dest)) << "the destination was created";
    const auto errorLines = lines(result.err);
    ASSERT_EQ(errorLines.size(), GetParam().reported.size()) << result.err;
    for (std::size_t i = 0; i < errorLines.size(); ++i)
        EXPECT_EQ(errorLines[i].rfind("velmora-dat: " + GetParam().reported[i] + ": ", 0), 0u)
            << errorLines[i];
}

INSTANTIATE_TEST_SUITE_P(
    Unknown, CliExtractUnknown,
    ::testing::Values(
        UnknownCase{"Alone", {"ARCHIVE", "DEST", "nothing.bmp"}, {"nothing.bmp"}},
        UnknownCase{"AmongKnown", {"ARCHIVE", "DEST", "a.bmp", "x.dat", "y"}, {"x.dat", "y"}},
        // Names are matched exactly, as list prints them.
        UnknownCase{"OtherCase", {"ARCHIVE", "DEST", "A.BMP"}, {"A.BMP"}},
        UnknownCase{"FilteredOut", {"--type", "WAV", "ARCHIVE", "DEST", "a.bmp"}, {"a.bmp"}},
        UnknownCase{"Folder", {"ARCHIVE", "DEST", "sub"}, {"sub"}}),
    [](const auto& info) { return std::string(info.param.label); });

// Names holding a literal '/' beside names spelt with '\\'.
TEST(CliExtract, ANameMatchesItsExactBytesFirstThenWithSlashAsSeparator)
{
    TempDir dir;
    ArchiveImage image;
    image.add("x/y", "slash");
    image.add("d/a", "forward");
    image.add("d\\a", "back");
    image.add("q\\r", "only back");
    image.add("s/t", "only forward");
    image.add("m\\n/o", "mixed 1");
    image.add("m/n\\o", "mixed 2");
    const std::string path = dir / "slash.dat";
    testsupport::writeFile(path, image.bytes());
    const struct {
        const char* name;
        int exitCode;
        Tree written;
        const char* message; // a part of the one error line, when any
    } cases[] = {
        {"x/y", 0, {{"x/y", "slash"}}, ""},
        {"d/a", 0, {{"d/a", "forward"}}, ""},
        {"d\\a", 0, {{"d/a", "back"}}, ""},
        {"q/r", 0, {{"q/r", "only back"}}, ""},
        {"s\\t", 1, {}, "s\\t: no entry of that name"},
        {"m/n/o", 1, {}, "m/n/o: is ambiguous: it matches both m/n\\o and m\\n/o in "},
    };
    for (const auto& c : cases) {
        const std::string dest = dir / ("out" + std::to_string(&c - cases));
        const auto result = runDat({"extract", path, dest, c.name});
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name << ": " << result.err;
        if (fs::exists(dest))
            EXPECT_EQ(treeOf(dest), c.written) << c.name;
        else
            EXPECT_TRUE(c.written.empty()) << c.name;
        if (*c.message) {
            EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
            EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        } else {
            EXPECT_EQ(result.err, "") << c.name;
        }
    }
}

TEST(CliExtract, EveryNameListPrintsExtractsAgain)
{
    TempDir dir;
    ArchiveImage image;
    image.add("\xFFz.dat", "1");
    image.add("\x80y.dat",
              "4"); // glibc decodes it as U+0080, a C1 control              // undecodable byte
    image.add("ctl\x01name.dat", "2");        // control byte
    image.add("\xB3\x5C\\\xA5\x5C.wav", "3"); // 許\功
    const std::string path = dir / "GAME02.DAT";
    testsupport::writeFile(path, image.bytes());

    const auto listed = runDat({"list", path});
    ASSERT_EQ(listed.exitCode, 0);
    const auto names = lines(listed.out);
    ASSERT_EQ(names.size(), 4u);
    for (const std::string& name : names) {
        const std::string dest = dir / ("out-" + std::to_string(&name - names.data()));
        const auto result = runDat({"extract", path, dest, name});
#ifdef _WIN32
        // Windows holds no control character in a name.
        if (name.starts_with("ctl")) {
            EXPECT_EQ(result.exitCode, 1) << name;
            EXPECT_FALSE(fs::exists(testsupport::hostPath(dest + "/" + name)));
            continue;
        }
#endif
        EXPECT_EQ(result.exitCode, 0) << name << ": " << result.err;
        EXPECT_EQ(treeOf(dest).size(), 1u) << name;
    }
}

TEST(CliExtract, ANameLeavingTheDestinationIsRefused)
{
    TempDir dir;
    ArchiveImage image;
    image.add("..\\evil.txt", "bad");
    const std::string path = dir / "GAME03.DAT";
    testsupport::writeFile(path, image.bytes());
    fs::create_directory(dir / "out");

    const auto result = runDat({"extract", path, dir / "out"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(fs::exists(dir / "evil.txt"));
    EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("evil.txt"), std::string::npos) << result.err;
}

// An entry that cannot be written is named with its reason, the others still come out, and the
// run ends with the counts and status 1.
TEST(CliExtract, AnEntryThatFailsAloneIsReportedAndTheRestAreWritten)
{
    const std::string longName(300, 'n'); // more than a file name may hold here
    const struct {
        const char* label;
        std::vector<std::string> names;
        int damaged;                     // the entry whose data reaches past the end; -1: none
        std::vector<std::string> failed; // in the entry list's order, which extraction follows
        Tree written;
    } cases[] = {
        {"DataPastTheEnd", {"short.dat"}, 0, {"short.dat"}, {}},
        {"DamagedBetweenGoodOnes",
         {"a.dat", "b.dat", "c.dat"},
         1,
         {"b.dat"},
         {{"a.dat", "data"}, {"c.dat", "data"}}},
        {"ANameTheFileSystemCannotHold",
         {"a.dat", longName, "c.dat"},
         -1,
         {longName},
         {{"a.dat", "data"}, {"c.dat", "data"}}},
        {"AFolderTheFileSystemCannotHold",
         {longName + "\\x.dat", "c.dat"},
         -1,
         {longName},
         {{"c.dat", "data"}}},
        {"TwoOfThree", {"a.dat", longName, "c.dat"}, 2, {"c.dat", longName}, {{"a.dat", "data"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        ArchiveImage image;
        for (const std::string& name : c.names)
            image.add(name, "data");
        if (c.damaged >= 0)
            image.records[c.damaged].dataSize = 500;
        testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
        const auto result = runDat({"extract", dir / "GAME00.DAT", dir / "out"});

        EXPECT_EQ(result.exitCode, 1) << result.err;
        const auto errorLines = lines(result.err);
        ASSERT_EQ(errorLines.size(), c.failed.size() + 1) << result.err;
        for (std::size_t i = 0; i < c.failed.size(); ++i)
            EXPECT_NE(errorLines[i].find(c.failed[i]), std::string::npos) << errorLines[i];
        EXPECT_EQ(errorLines.back(), "velmora-dat: " + dir / "GAME00.DAT" + ": " +
                                         std::to_string(c.written.size()) + " of " +
                                         std::to_string(c.names.size()) + " entries written, " +
                                         std::to_string(c.failed.size()) + " skipped");
        if (c.written.empty())
            EXPECT_FALSE(fs::exists(dir / "out")) << "made for nothing";
        else
            EXPECT_EQ(treeOf(dir / "out"), c.written);
    }
}

TEST(CliExtract, TheArchiveIsNeverOverwrittenByItsOwnEntry)
{
    TempDir dir;
    ArchiveImage image;
    image.add("GAME05.DAT", "overwritten");
    const std::string path = dir / "GAME05.DAT";
    const std::string bytes = image.bytes();
    testsupport::writeFile(path, bytes);

    const auto result = runDat({"extract", path, dir.str()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(testsupport::readFile(path), bytes);
    EXPECT_EQ(result.err.rfind("velmora-dat: ", 0), 0u) << result.err;
}

TEST(CliExtract, ADestinationThatIsAFileIsReported)
{
    Fixture f;
    testsupport::writeFile(f.dest, "a file");
    const auto result = runDat({"extract", f.path, f.dest});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("velmora-dat: " + f.dest + ": ", 0), 0u) << result.err;
    EXPECT_EQ(testsupport::readFile(f.dest), "a file");
}

// POSIX: a pseudo-terminal for standard error.
#ifndef _WIN32
TEST(CliExtract, OnATerminalAProgressLineIsShown)
{
    Fixture f;
    const auto result = runDat({"extract", f.path, f.dest}, true);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("5 of 5 entries"), std::string::npos) << result.err;
    EXPECT_EQ(treeOf(f.dest), Fixture::all());
}
#endif

// Every path into the archive layer that stops before a byte is written leaves no folder.
TEST(CliExtract, AFirstEntryRefusedBeforeWritingCreatesNoDestination)
{
    const struct {
        const char* label;
        const char* name;
        std::uint32_t claimedSize; // 0: the data's own
    } cases[] = {
        {"LeavesTheDestination", "..\\evil.txt", 0},
        {"DataPastTheEnd", "short.dat", 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        ArchiveImage image;
        image.add(c.name, "12345");
        if (c.claimedSize)
            image.records[0].dataSize = c.claimedSize;
        testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
        const auto result = runDat({"extract", dir / "GAME00.DAT", dir / "new/out"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_FALSE(fs::exists(dir / "new")) << "the destination was created";
    }
}

TEST(CliExtract, ADestinationThatIsALinkToNothingIsSaidToBeOne)
{
    Fixture f;
    VELMORA_MAKE_LINK(f.dir / "gone", f.dest);
    const auto result = runDat({"extract", f.path, f.dest});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "velmora-dat: " + f.dest + ": is a link to nothing\n");
    EXPECT_FALSE(fs::exists(f.dir / "gone"));
}

struct KeepCase {
    const char* label;
    std::vector<std::string> options;
    int exitCode;
    bool isKept;
};

class CliExtractKeep : public ::testing::TestWithParam<KeepCase> {};

TEST_P(CliExtractKeep, ExistingFilesAreKeptOnlyWhenAsked)
{
    Fixture f;
    testsupport::writeFile(f.dest + "/a.bmp", "mine");
    testsupport::writeFile(f.dest + "/sub/b.wav", "mine too");
    std::vector<std::string> args = {"extract"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    args.push_back(f.path);
    args.push_back(f.dest);
    const auto result = runDat(args);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err;
    Tree expected = Fixture::all();
    if (GetParam().isKept) {
        expected["a.bmp"] = "mine";
        expected["sub/b.wav"] = "mine too";
        EXPECT_EQ(lines(result.err),
                  (std::vector<std::string>{
                      "velmora-dat: " + f.dest + "/a.bmp: already exists; kept as it was",
                      "velmora-dat: " + f.dest + "/sub/b.wav: already exists; kept as it was"}));
    } else {
        EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(treeOf(f.dest), expected);
}

INSTANTIATE_TEST_SUITE_P(Options, CliExtractKeep,
                         ::testing::Values(KeepCase{"Replaced", {}, 0, false},
                                           KeepCase{"Short", {"-k"}, 1, true},
                                           KeepCase{"Long", {"--keep-old-files"}, 1, true}),
                         [](const auto& info) { return std::string(info.param.label); });

// POSIX: a file-size limit (ulimit -f).
#ifndef _WIN32
TEST(CliExtract, AFileSizeLimitFailsTheWriteAndLeavesNothing)
{
    TempDir dir;
    ArchiveImage image;
    image.add("big.bin", std::string(300000, 'b'));
    image.add("small.bin", "s");
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    fs::create_directory(dir / "out");
    const auto result = clitest::runDatWithFileSizeLimit(
        {"extract", dir / "GAME00.DAT", dir / "out", "big.bin"}, 100000);
    EXPECT_EQ(result.exitCode, 1) << "killed by a signal when 128 and more";
    EXPECT_EQ(result.err, "velmora-dat: " + dir / "out/big.bin" + ": File too large\n");
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}
#endif

// POSIX: signals sent to the running program.
#ifndef _WIN32
// A first signal during the last entry stops it at its next slice: no partial file, a word
// naming what was written, the status a shell shows for the signal.
TEST(CliExtract, AFirstSignalDuringTheLastEntryStopsIt)
{
    const struct {
        const char* label;
        int signalNumber;
        int exitCode;
    } cases[] = {
        {"Interrupt", SIGINT, 130},
        {"Terminate", SIGTERM, 143},
    };
    // Read from a hole in the archive, the last entry takes seconds to write whole, against the
    // moment its slice takes to stop.
    constexpr std::uint32_t kBigBytes = 1u << 30;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        ArchiveImage image;
        image.add("a.bmp", "abc");
        image.add("big.bin", "");
        image.records[1].dataSize = kBigBytes;
        const std::string bytes = image.bytes();
        testsupport::writeFile(dir / "GAME00.DAT", bytes);
        fs::resize_file(dir / "GAME00.DAT", bytes.size() + kBigBytes);

        clitest::Started started = clitest::startDat({"extract", dir / "GAME00.DAT", dir / "out"});
        // a.bmp is named only once it is whole, and the last entry comes right after it.
        for (int waited = 0; !fs::exists(dir / "out/a.bmp") && waited < 20000; ++waited)
            usleep(1000);
        kill(started.pid, c.signalNumber);
        const auto result = clitest::finishProgram(started);

        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_NE(result.err.find("interrupt again to end at once"), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find("interrupted: 1 of 2 entries written"), std::string::npos)
            << result.err;
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(dir / "out"))
            names.push_back(item.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"a.bmp"}) << "a partial file is left";
    }
}
#endif

} // namespace
