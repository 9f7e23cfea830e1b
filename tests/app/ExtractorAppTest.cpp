// Runs the built velmora-extractor the way a shell does: the options that only print answer
// without a display, and a missing display is one line and an exit status, not Qt's abort.

#include "tests/cli/RunProgram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using clitest::Environment;
using clitest::RunResult;

const Environment kNoDisplay = {{"DISPLAY", std::nullopt},
                                {"WAYLAND_DISPLAY", std::nullopt},
                                {"QT_QPA_PLATFORM", std::nullopt}};
const Environment kUnreachableDisplay = {
    {"DISPLAY", ":987"}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", std::nullopt}};
const Environment kOffscreen = {{"QT_QPA_PLATFORM", "offscreen"}};

// Through timeout(1): a case that wrongly opens the dialog ends with 124 instead of hanging.
RunResult runExtractor(const std::vector<std::string>& args, const Environment& environment)
{
    std::vector<std::string> timed = {"30", VELMORA_EXTRACTOR_PATH};
    timed.insert(timed.end(), args.begin(), args.end());
    return clitest::runProgram("/usr/bin/timeout", timed, false, environment);
}

std::string datVersion()
{
    const std::string line = clitest::runDat({"--version"}).out;
    return line.substr(line.find(' ') + 1);
}

std::string lastLine(const std::string& text)
{
    const std::vector<std::string> all = clitest::lines(text);
    return all.empty() ? std::string() : all.back();
}

constexpr const char* kUsageLine = "Usage: velmora-extractor [OPTION...] [ARCHIVE]";
constexpr const char* kNoDisplayLine = "velmora-extractor: no display to show the dialog on "
                                       "(DISPLAY and WAYLAND_DISPLAY are unset)\n";

TEST(ExtractorAppTest, CommandLines)
{
    const std::string version = "velmora-extractor " + datVersion();
    struct Case {
        std::vector<std::string> args;
        const Environment& environment;
        int exitCode;
        std::string outStart; // what standard output begins with; empty: it stays empty
        std::string errLast;  // standard error's last line; empty: it stays empty
    };
    const std::string unknown =
        "velmora-extractor: --frobnicate: unknown option; see 'velmora-extractor --help'";
    const std::vector<Case> cases = {
        {{"--help"}, kNoDisplay, 0, kUsageLine, ""},
        {{"-h"}, kNoDisplay, 0, kUsageLine, ""},
        {{"GAME00.DAT", "--help"}, kNoDisplay, 0, kUsageLine, ""},
        {{"--version"}, kNoDisplay, 0, version, ""},
        {{"-platform", "offscreen", "--version"}, kNoDisplay, 0, version, ""},
        // After "--" a name that looks like an option is an archive to open.
        {{"--", "--help"}, kNoDisplay, 1, "", kNoDisplayLine},
        {{}, kNoDisplay, 1, "", kNoDisplayLine},
        {{"GAME00.DAT"},
         kUnreachableDisplay,
         1,
         "",
         "velmora-extractor: no display to show the dialog on (could not connect to display "
         ":987)\n"},
        {{"--frobnicate"}, kOffscreen, 2, "", unknown},
        {{"--frobnicate", "GAME00.DAT"}, kOffscreen, 2, "", unknown},
    };
    for (const Case& c : cases) {
        std::string label;
        for (const std::string& arg : c.args)
            label += arg + " ";
        SCOPED_TRACE(label);
        const RunResult result = runExtractor(c.args, c.environment);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(result.out.substr(0, c.outStart.size()), c.outStart);
        if (c.outStart.empty()) {
            EXPECT_EQ(result.out, "");
        }
        if (c.errLast.empty()) {
            EXPECT_EQ(result.err, "");
        } else if (&c.environment == &kOffscreen) {
            // Qt may warn about the runtime folder first.
            EXPECT_EQ(lastLine(result.err), c.errLast);
        } else {
            EXPECT_EQ(result.err, c.errLast); // one line, nothing of Qt's
        }
    }
}

// Both programs lay their help out alike, so the shared option reads the same.
TEST(ExtractorAppTest, HelpSharesTheCommandLineProgramsLayout)
{
    const std::vector<std::string> extractor =
        clitest::lines(runExtractor({"--help"}, kNoDisplay).out);
    const std::vector<std::string> dat = clitest::lines(clitest::runDat({"--help"}).out);
    const auto versionLine = [](const std::vector<std::string>& help) {
        for (const std::string& line : help)
            if (line.starts_with("  --version "))
                return line;
        return std::string();
    };
    EXPECT_NE(versionLine(extractor), "");
    EXPECT_EQ(versionLine(extractor), versionLine(dat));
    EXPECT_EQ(extractor.at(0).substr(0, 7), dat.at(0).substr(0, 7)); // "Usage: "
}

} // namespace
