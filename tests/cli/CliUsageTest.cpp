#include "tests/cli/RunProgram.h"

#include <gtest/gtest.h>

using clitest::lines;
using clitest::runDat;
using testsupport::TempDir;

namespace {

struct UsageCase {
    const char* label;
    std::vector<std::string> args;
    const char* subject; // the start of the one error line after "velmora-dat: "
};

class CliUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, ExitsWithTwoAndOneLine)
{
    TempDir dir;
    testsupport::writeFile(dir / "GAME00.DAT", std::string(4, '\0'));
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args)
        args.push_back(arg == "ARCHIVE" ? dir / "GAME00.DAT" : arg);
    const auto result = runDat(args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(lines(result.err).size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind(std::string("velmora-dat: ") + GetParam().subject + ": ", 0), 0u)
        << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CliUsage,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "usage"},
        UsageCase{"UnknownCommand", {"unpack", "ARCHIVE"}, "unpack"},
        UsageCase{"UnknownProgramOption", {"--frob"}, "--frob"},
        UsageCase{"UnknownOption", {"list", "--frob", "ARCHIVE"}, "--frob"},
        UsageCase{"ShortOption", {"list", "-l", "ARCHIVE"}, "-l"},
        UsageCase{"OptionOfAnotherCommand", {"extract", "--long", "ARCHIVE", "d"}, "--long"},
        UsageCase{"ValueForAFlag", {"list", "--json=yes", "ARCHIVE"}, "--json"},
        UsageCase{"MissingArchive", {"list"}, "list"},
        UsageCase{"MissingDest", {"extract", "ARCHIVE"}, "extract"},
        UsageCase{"MissingBuildArchive", {"build", "folder"}, "build"},
        UsageCase{"EmptyArchive", {"list", ""}, "list"},
        UsageCase{"EmptyName", {"extract", "ARCHIVE", "d", "a", ""}, "extract"},
        UsageCase{"ExtraArgument", {"check", "ARCHIVE", "more"}, "check"},
        UsageCase{"MissingTypeValue", {"list", "ARCHIVE", "--type"}, "--type"},
        UsageCase{"BadType", {"list", "--type", "PNG", "ARCHIVE"}, "--type"},
        UsageCase{"TypeWithDot", {"list", "--type", ".BMP", "ARCHIVE"}, "--type"},
        UsageCase{"BadEncoding", {"build", "--encoding", "latin1", "F", "ARCHIVE"}, "--encoding"},
        UsageCase{"EmptyType", {"extract", "--type=", "ARCHIVE", "d"}, "--type"},
        UsageCase{"MissingAddPath", {"add", "-k", "ARCHIVE"}, "add"},
        UsageCase{"MissingDirectoryValue", {"add", "ARCHIVE", "p", "-C"}, "-C"},
        UsageCase{"TypeForAdd", {"add", "--type", "BMP", "ARCHIVE", "p"}, "--type"},
        UsageCase{"KeepForDelete", {"delete", "-k", "ARCHIVE", "a"}, "-k"},
        UsageCase{"RenameOfTwo", {"rename", "ARCHIVE", "a", "b", "c"}, "rename"},
        UsageCase{"WaitNotSeconds", {"delete", "--wait", "1.5", "ARCHIVE", "a"}, "--wait"},
        UsageCase{"MountOfOne", {"mount", "-r", "ARCHIVE"}, "mount"},
        UsageCase{
            "DelayNotSeconds", {"mount", "--commit-delay", "soon", "A", "F"}, "--commit-delay"},
        UsageCase{"MountEncoding", {"mount", "--encoding", "latin1", "A", "F"}, "--encoding"},

        UsageCase{"DiffOfOne", {"diff", "OLD"}, "diff"},
        UsageCase{"MissingTextName", {"diff", "OLD", "NEW", "-p"}, "-p"},
        UsageCase{"ForceForDiff", {"diff", "--force", "OLD", "NEW"}, "--force"}),
    [](const auto& info) { return std::string(info.param.label); });

struct HelpCase {
    const char* label;
    std::vector<std::string> args;
    const char* firstLine;
};

class CliHelp : public ::testing::TestWithParam<HelpCase> {};

TEST_P(CliHelp, PrintsTheHelpOnStandardOutput)
{
    const auto result = runDat(GetParam().args);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    ASSERT_FALSE(result.out.empty());
    EXPECT_EQ(lines(result.out)[0], GetParam().firstLine);
}

INSTANTIATE_TEST_SUITE_P(
    Help, CliHelp,
    ::testing::Values(
        HelpCase{"Program", {"--help"}, "Usage: velmora-dat COMMAND [OPTION...] ARGUMENT..."},
        HelpCase{"ProgramShort", {"-h"}, "Usage: velmora-dat COMMAND [OPTION...] ARGUMENT..."},
        HelpCase{"List",
                 {"list", "--help"},
                 "Usage: velmora-dat list [--type EXT] [--long] [--json] ARCHIVE"},
        // Help answers even on an otherwise wrong line.
        HelpCase{"ListWithABadOption",
                 {"list", "--frob", "--help"},
                 "Usage: velmora-dat list [--type EXT] [--long] [--json] ARCHIVE"},
        HelpCase{"ExtractShort",
                 {"extract", "-h"},
                 "Usage: velmora-dat extract [--type EXT] ARCHIVE DEST [NAME...]"},
        HelpCase{"Build", {"build", "--help"}, "Usage: velmora-dat build FOLDER ARCHIVE"},
        HelpCase{"Check", {"check", "--help"}, "Usage: velmora-dat check ARCHIVE"},
        HelpCase{"Add",
                 {"add", "ARCHIVE", "-h"},
                 "Usage: velmora-dat add [-C DIR] [--as NAME] [-k] [-n] [--wait SECONDS] ARCHIVE "
                 "PATH..."},
        HelpCase{"Delete",
                 {"delete", "--help"},
                 "Usage: velmora-dat delete [-n] [--wait SECONDS] ARCHIVE NAME..."},
        HelpCase{"Rename",
                 {"rename", "-h"},
                 "Usage: velmora-dat rename [-n] [--wait SECONDS] ARCHIVE OLD NEW"},

        HelpCase{"Diff",
                 {"diff", "-h"},
                 "Usage: velmora-dat diff [--json] [-q] [-p NAME] [--patch PATCH] OLD NEW"},
        HelpCase{
            "Patch", {"patch", "--help"}, "Usage: velmora-dat patch [--force] [-n] ARCHIVE PATCH"},
        HelpCase{"Mount",
                 {"mount", "-h"},
                 "Usage: velmora-dat mount [-r] [-f] [--commit-delay SECONDS] [--recover] ARCHIVE "
                 "FOLDER"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CliVersion, PrintsTheProjectVersion)
{
    const auto result = runDat({"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "velmora-dat 1.0.0\n");
}

TEST(CliUsage, DoubleDashEndsTheOptions)
{
    // A relative name that starts with '-' needs "--"; a missing file is then a work failure.
    const auto result = runDat({"check", "--", "-no-such-file"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("velmora-dat: -no-such-file: ", 0), 0u) << result.err;
}

// Every message names its subject, and prints a path as listed names print: a byte a terminal
// would obey, or one that is not UTF-8, shows as its escape.
TEST(CliMessages, NameTheirSubjectAndEscapeEveryPath)
{
    TempDir dir;
    const std::string stray = "\xF3\xB0\x82\x9B";  // U+F009B, the escape of the byte 0x9B
    const std::string escape = "\xF3\xB0\x80\x9B"; // U+F001B, of ESC
#ifndef _WIN32
    // Windows names are UTF-16: no name there is anything but text.
    testsupport::writeFile(dir / "tree/x\x9B"
                                 "31m",
                           "1");
#endif
    testsupport::ArchiveImage empty;
    empty.add("a.bmp", "a");
    empty.add("", "nameless");
    testsupport::writeFile(dir / "empty.dat", empty.bytes());
    const struct {
        const char* label;
        std::vector<std::string> args;
        std::string message; // the one error line
    } cases[] = {
#ifndef _WIN32
        {"a host name that is not UTF-8",
         {"build", dir / "tree", dir / "out.dat"},
         "velmora-dat: " + dir.str() + "/tree/x" + stray + "31m: is not valid UTF-8"},
        {"an archive path that is not UTF-8",
         {"list", dir / "a\x9B.dat"},
         "velmora-dat: " + dir.str() + "/a" + stray + ".dat: No such file or directory"},
#endif
        {"a control byte in a path",
         {"check", dir / "a\x1B[31m.dat"},
         "velmora-dat: " + dir.str() + "/a" + escape + "[31m.dat: No such file or directory"},
        {"an entry without a name",
         {"extract", dir / "empty.dat", dir / "dest"},
         "velmora-dat: record at 26: has an empty name"},
    };
    for (const auto& c : cases) {
        const auto result = runDat(c.args);
        EXPECT_EQ(result.exitCode, 1) << c.label;
#ifdef _WIN32
        // The system's reason is in its own words there: the subject is compared.
        const std::string subject = c.message.substr(0, c.message.rfind(": ") + 2);
        EXPECT_EQ(result.err.substr(0, subject.size()), subject) << c.label;
#else
        EXPECT_EQ(result.err, c.message + "\n") << c.label;
#endif
    }
}

} // namespace
