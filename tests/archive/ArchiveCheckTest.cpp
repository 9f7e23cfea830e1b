#include "archive/commands/ArchiveCheck.h"
#include "archive/ArchiveError.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <gtest/gtest.h>

using archive::CheckProblem;
using archive::CheckReport;
using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

using Severity = CheckProblem::Severity;

CheckReport checkBytes(const std::string& bytes)
{
    TempDir dir;
    testsupport::writeFile(dir / "GAME00.DAT", bytes);
    return archive::checkArchive(dir / "GAME00.DAT");
}

std::string describe(const CheckReport& report)
{
    std::string text;
    for (const CheckProblem& p : report.problems)
        text += (p.severity == Severity::Error ? "error " : "warning ") + p.subject + ": " +
                p.reason + "\n";
    return text;
}

// The counts agree with the list, and every problem says what it concerns and why.
void expectConsistent(const CheckReport& report)
{
    int errors = 0;
    int warnings = 0;
    for (const CheckProblem& p : report.problems) {
        (p.severity == Severity::Error ? errors : warnings)++;
        EXPECT_FALSE(p.subject.empty());
        EXPECT_FALSE(p.reason.empty());
    }
    EXPECT_EQ(report.errors, errors);
    EXPECT_EQ(report.warnings, warnings);
}

TEST(ArchiveCheck, AWellFormedArchiveHasNoProblems)
{
    ArchiveImage image;
    image.add("a.bmp", "abc");
    image.add("sub\\b.wav", "12345");
    image.add("\xB3\x5C\\\xA5\x5C.dat", "xu"); // 許\功.dat
    image.add("empty.scr", "");
    image.add("empty2.scr", ""); // empty entries share an offset without overlapping
    const CheckReport report = checkBytes(image.bytes());
    EXPECT_EQ(report.entries, 5);
    EXPECT_TRUE(report.problems.empty()) << describe(report);
    expectConsistent(report);
}

TEST(ArchiveCheck, AnEmptyDirectoryIsFine)
{
    const CheckReport report = checkBytes(std::string(4, '\0'));
    EXPECT_EQ(report.entries, 0);
    EXPECT_TRUE(report.problems.empty()) << describe(report);
}

std::string repeated(std::string_view text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// Names Windows cannot hold cannot be extracted there: an error there, a warning elsewhere.
#ifdef _WIN32
constexpr Severity kWinError = Severity::Error;
#else
constexpr Severity kWinError = Severity::Warning;
#endif

struct NameCase {
    const char* label;
    std::string name;
    Severity severity;
};

class ArchiveCheckName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ArchiveCheckName, FindsTheOneProblemOfTheName)
{
    ArchiveImage image;
    image.add("fine.bmp", "abc");
    image.add(GetParam().name, "12");
    const CheckReport report = checkBytes(image.bytes());
    EXPECT_EQ(report.entries, 2);
    ASSERT_EQ(report.problems.size(), 1u) << describe(report);
    EXPECT_EQ(report.problems[0].severity, GetParam().severity) << describe(report);
    EXPECT_NE(report.problems[0].subject, "fine.bmp");
    expectConsistent(report);
}

INSTANTIATE_TEST_SUITE_P(Names, ArchiveCheckName,
                         ::testing::Values(
                             // Unsafe to extract.
                             NameCase{"ParentStep", "..\\x.bmp", Severity::Error},
                             NameCase{"ParentStepInside", "a\\..\\..\\x.bmp", Severity::Error},
                             NameCase{"ParentStepWithSlash", "a/../../x.bmp", Severity::Error},
                             NameCase{"LeadingSeparator", "\\etc\\x", Severity::Error},
                             NameCase{"LeadingSlash", "/etc/x", Severity::Error},
                             NameCase{"DrivePart", "C:x.bmp", Severity::Error},
                             NameCase{"EmptyComponent", "a\\\\x.bmp", Severity::Error},
                             NameCase{"EmptyName", "", Severity::Error},
                             // Not valid code page 950.
                             NameCase{"ByteFF", "\xFF.bmp", Severity::Error},
                             // Decodes, but to a character that encodes back to other bytes.
                             NameCase{"OneWayCode", "\xA2\xCC.bmp", Severity::Error},
                             NameCase{"LoneLeadByteAtTheEnd", "x.bmp\xA4", Severity::Error},
                             NameCase{"LeadByteWithoutTrail", "\xA4\x30.bmp", Severity::Error},
                             NameCase{"TwoBadBytesOneProblem", "\xFF\xFF.bmp", Severity::Error},
                             // A level longer than a host file name may be.
                             NameCase{"FileLevelOf256Bytes", std::string(256, 'x'),
                                      Severity::Error},
                             NameCase{"FolderOf100Big5Characters",
                                      repeated("\xA4\x40", 100) + "\\x.bmp", Severity::Error},
                             // Extracts here, but not on Windows or FAT.
                             NameCase{"RefusedCharacter", "lt<gt>.bmp", kWinError},
                             NameCase{"ControlByte", "a\x01.bmp", kWinError},
                             NameCase{"TrailingDotInAFolder", "sub.\\x.bmp", kWinError},
                             NameCase{"TrailingSpace", "x.bmp ", kWinError},
                             NameCase{"DeviceName", "data\\Con.txt", kWinError},
                             NameCase{"DeviceFolder", "lpt3\\x.bmp", kWinError},
                             NameCase{"ConsoleInput", "CONIN$", kWinError},
                             NameCase{"ConsoleOutputFolder", "conout$.d\\x", kWinError}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ArchiveCheck, ANameWithAByteThatIsNoCharacterSaysWhichByte)
{
    ArchiveImage image;
    image.add("ab\xFF.bmp", "1");
    const CheckReport report = checkBytes(image.bytes());
    ASSERT_EQ(report.problems.size(), 1u) << describe(report);
    EXPECT_NE(report.problems[0].reason.find("0xFF"), std::string::npos)
        << report.problems[0].reason;
    EXPECT_NE(report.problems[0].reason.find("byte 2"), std::string::npos)
        << report.problems[0].reason;
}

TEST(ArchiveCheck, OverlappingDataWarnsOnTheLaterEntry)
{
    ArchiveImage image;
    image.add("a.bmp", "abcdef");
    image.add("b.bmp", "xyz");
    image.add("c.bmp", "123");
    image.records[1].dataOffset = 4; // inside a.bmp's six bytes
    const CheckReport report = checkBytes(image.bytes());
    ASSERT_EQ(report.problems.size(), 1u) << describe(report);
    EXPECT_EQ(report.problems[0].severity, Severity::Warning);
    EXPECT_EQ(report.problems[0].subject, "b.bmp");
    EXPECT_NE(report.problems[0].reason.find("a.bmp"), std::string::npos);
    EXPECT_EQ(report.errors, 0);
}

TEST(ArchiveCheck, AnEntryInsideALongerOneOverlapsIt)
{
    // c lies inside a, though b (between them by offset) ends before c starts.
    ArchiveImage image;
    image.add("a.bmp", std::string(100, 'a'));
    image.add("b.bmp", "b");
    image.add("c.bmp", "c");
    image.records[1].dataOffset = 10;
    image.records[2].dataOffset = 50;
    const CheckReport report = checkBytes(image.bytes());
    ASSERT_EQ(report.warnings, 2) << describe(report);
    for (const CheckProblem& p : report.problems)
        EXPECT_NE(p.reason.find("a.bmp"), std::string::npos) << p.reason;
}

TEST(ArchiveCheck, AdjacentDataDoesNotOverlap)
{
    ArchiveImage image;
    image.add("a.bmp", "abc");
    image.add("b.bmp", "def");
    image.add("c.bmp", "");
    image.records[2].dataOffset = 1; // empty: no bytes to overlap
    const CheckReport report = checkBytes(image.bytes());
    EXPECT_TRUE(report.problems.empty()) << describe(report);
}

TEST(ArchiveCheck, DataInsideTheDirectoryWarns)
{
    ArchiveImage image;
    image.add("a.bmp", "abc");
    image.records[0].dataOffset = 2;
    const CheckReport report = checkBytes(image.bytes(true));
    ASSERT_EQ(report.problems.size(), 1u) << describe(report);
    EXPECT_EQ(report.problems[0].severity, Severity::Warning);
}

struct CollisionCase {
    const char* label;
    std::string first;
    std::string second;
};

class ArchiveCheckCollision : public ::testing::TestWithParam<CollisionCase> {};

TEST_P(ArchiveCheckCollision, WarnsOnce)
{
    ArchiveImage image;
    image.add(GetParam().first, "1");
    image.add(GetParam().second, "2");
    const CheckReport report = checkBytes(image.bytes());
    EXPECT_EQ(report.errors, 0) << describe(report);
    ASSERT_EQ(report.warnings, 1) << describe(report);
    expectConsistent(report);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ArchiveCheckCollision,
    ::testing::Values(CollisionCase{"Duplicate", "sub\\a.bmp", "sub\\a.bmp"},
                      CollisionCase{"SlashAndBackslash", "sub\\a.bmp", "sub/a.bmp"},
                      CollisionCase{"FileWhereAFolderIsNeeded", "sub", "sub\\a.bmp"},
                      CollisionCase{"FolderFirst", "sub\\a.bmp", "sub"}),
    [](const auto& info) { return std::string(info.param.label); });

// Names equal but for case are one file where case is ignored: one warning per extra spelling,
// on the later entry and naming the earliest; exact duplicates keep their own warning.
TEST(ArchiveCheck, NamesDifferingInCaseWarnOnTheLaterNamingTheEarliest)
{
    const struct {
        const char* label;
        std::vector<std::string> names;
        std::vector<std::string> warnings; // "subject: words of the reason"
    } cases[] = {
        {"TwoSpellings", {"a.bmp", "A.BMP"}, {"A.BMP: differs only in letter case from a.bmp"}},
        {"UpperFirst", {"A.BMP", "a.bmp"}, {"a.bmp: differs only in letter case from A.BMP"}},
        {"InAFolder",
         {"Sub\\one.bmp", "sub\\one.bmp"},
         {"sub\\one.bmp: differs only in letter case from Sub\\one.bmp"}},
        {"SlashAndCase", {"sub\\one.bmp", "SUB/one.bmp"}, {"SUB/one.bmp: differs only"}},
        {"ThreeSpellings",
         {"x.Dat", "X.DAT", "x.dat"},
         {"X.DAT: differs only in letter case from x.Dat",
          "x.dat: differs only in letter case from x.Dat"}},
        {"ADuplicateOfTheLaterSpelling",
         {"a.bmp", "A.bmp", "A.bmp"},
         {"A.bmp: differs only in letter case from a.bmp", "A.bmp: duplicate name"}},
        {"SameFoldersOtherFiles", {"Sub\\a.bmp", "sub\\b.bmp"}, {}},
        {"Big5TrailBytesAreNotLetters", {"\xA4\x61.bmp", "\xA4\x41.bmp"}, {}},
        {"UnsafeNamesAreLeftToTheirError", {"..\\a", "..\\A"}, {}},
        // The list's order folds case, byte order does not: B.bmp and b.bmp are apart in it.
        {"ApartInByteOrder",
         {"b.bmp", "a.bmp", "B.bmp"},
         {"B.bmp: differs only in letter case from b.bmp"}},
        {"LetterAfterABig5Character",
         {"\xA4\x61X.bmp", "\xA4\x61x.bmp"},
         {"\xE5\x85\x80x.bmp: differs"}},
        // 0xB3 0x5C is one character; 0xB3 before '/' is a lone byte and a folder.
        {"LoneLeadByteBeforeASlash", {"\xB3\\x.bmp", "\xB3/x.bmp"}, {}},
        // The folder is found past names that sort between it and the file, and only in the
        // file's own case.
        {"FileWhereAFolderIsNeededPastOtherNames",
         {"SUB\\a.bmp", "sub.bmp", "sub\\b.bmp", "sub"},
         {"sub: extracts to a file where other entries need a folder"}},
        {"FolderInAnotherCase", {"SUB\\a.bmp", "sub"}, {}},
    };
    for (const auto& c : cases) {
        ArchiveImage image;
        for (const std::string& name : c.names)
            image.add(name, "1");
        const CheckReport report = checkBytes(image.bytes());
        std::vector<std::string> warnings;
        for (const CheckProblem& p : report.problems)
            if (p.severity == Severity::Warning)
                warnings.push_back(p.subject + ": " + p.reason);
        ASSERT_EQ(warnings.size(), c.warnings.size()) << c.label << "\n" << describe(report);
        for (std::size_t i = 0; i < warnings.size(); ++i)
            EXPECT_EQ(warnings[i].rfind(c.warnings[i], 0), 0u) << c.label << ": " << warnings[i];
        expectConsistent(report);
    }
}

TEST(ArchiveCheck, ADuplicateNamesTheOtherRecord)
{
    ArchiveImage image;
    image.add("a.bmp", "1");
    image.add("a.bmp", "2");
    const CheckReport report = checkBytes(image.bytes());
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_NE(report.problems[0].reason.find("duplicate"), std::string::npos);
    EXPECT_NE(report.problems[0].reason.find("at 4"), std::string::npos)
        << report.problems[0].reason;
}

TEST(ArchiveCheck, DataPastTheEndIsAnErrorOfThatEntry)
{
    const struct {
        const char* label;
        std::uint32_t offset; // 0 leaves it
        std::uint32_t size;
        int errors;
        int warnings;
    } cases[] = {
        {"one byte past the end", 0, 7, 1, 1}, // and overlaps b.bmp
        // No byte to read: extraction writes an empty file, so it only warns.
        {"empty, its offset past the end", 0x100000, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ArchiveImage image;
        image.add("a.bmp", "abc");
        image.add("b.bmp", "def");
        image.records[0].dataSize = c.size;
        if (c.offset > 0)
            image.records[0].dataOffset = c.offset;
        const CheckReport report = checkBytes(image.bytes());
        ASSERT_EQ(report.errors, c.errors) << describe(report);
        EXPECT_EQ(report.warnings, c.warnings) << describe(report);
        EXPECT_NE(describe(report).find("a.bmp"), std::string::npos) << describe(report);
    }
}

TEST(ArchiveCheck, DataOffsetNearFourGibibytesDoesNotWrap)
{
    ArchiveImage image;
    image.add("a.bmp", "abc");
    image.records[0].dataOffset = 0xFFFFFFFFu;
    image.records[0].dataSize = 2;
    const CheckReport report = checkBytes(image.bytes(true));
    EXPECT_EQ(report.errors, 1) << describe(report);
}

struct StructureCase {
    const char* label;
    std::string bytes;
    int entries; // records checked before the walk stopped
};

std::string le32(std::uint32_t v)
{
    std::string out;
    testsupport::putLE32(out, v);
    return out;
}

std::string twoRecordsWith(void (*change)(ArchiveImage&))
{
    ArchiveImage image;
    image.add("a.bmp", "abc");
    image.add("b.bmp", "defgh");
    change(image);
    return image.bytes();
}

class ArchiveCheckStructure : public ::testing::TestWithParam<StructureCase> {};

TEST_P(ArchiveCheckStructure, IsOneErrorAndTheRecordsBeforeItAreChecked)
{
    const CheckReport report = checkBytes(GetParam().bytes);
    EXPECT_EQ(report.entries, GetParam().entries);
    ASSERT_EQ(report.errors, 1) << describe(report);
    expectConsistent(report);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, ArchiveCheckStructure,
    ::testing::Values(
        StructureCase{"Empty", "", 0}, StructureCase{"ThreeBytes", "abc", 0},
        StructureCase{"DirectoryClaimsFourGibibytes", le32(0xFFFFFFFFu) + "abcdef", 0},
        StructureCase{"DirectoryPastTheEnd", le32(40) + std::string(20, '\0'), 0},
        StructureCase{"SecondRecordLengthZero",
                      le32(42) + le32(22) + le32(0) + le32(46) + le32(3) +
                          std::string("a.bmp\0", 6) + le32(0) + le32(0) + le32(49) + le32(0) +
                          std::string("abc\0", 4) + "abc",
                      1},
        StructureCase{"FirstRecordLengthSixteen",
                      twoRecordsWith([](ArchiveImage& i) { i.records[0].recordLength = 16; }), 0},
        StructureCase{"RecordPastTheDirectory",
                      le32(30) + le32(40) + le32(0) + le32(34) + le32(0) +
                          std::string("abcdefghijklmn", 14),
                      0},
        StructureCase{"NameWithoutNul", twoRecordsWith([](ArchiveImage& i) {
                          i.records[1].nul = false;
                          i.records[1].recordLength = 16 + 5;
                      }),
                      1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ArchiveCheck, ProblemsStandInEntryOrder)
{
    ArchiveImage image;
    image.add("a\xFF.bmp", "abc"); // error of the first entry
    image.add("a\xFF.bmp", "def"); // duplicate of it, and bad bytes again
    image.add("..\\c.bmp", "g");   // unsafe
    const CheckReport report = checkBytes(image.bytes());
    ASSERT_EQ(report.problems.size(), 4u) << describe(report);
    EXPECT_EQ(report.problems[0].severity, Severity::Error);
    EXPECT_NE(report.problems[3].subject.find("c.bmp"), std::string::npos) << describe(report);
    EXPECT_EQ(report.errors, 3);
    EXPECT_EQ(report.warnings, 1);
}

TEST(ArchiveCheck, LevelsUpTo255BytesAreFine)
{
    ArchiveImage image;
    image.add(std::string(255, 'x') + "\\" + repeated("\xA4\x40", 85), "1"); // 255 bytes each
    const CheckReport report = checkBytes(image.bytes());
    EXPECT_TRUE(report.problems.empty()) << describe(report);
}

TEST(ArchiveCheck, DataEndingPastFourGibibytesIsAnError)
{
    // The file really holds the bytes (sparse), but offset + size wraps in 32 bits.
    TempDir dir;
    ArchiveImage image;
    image.add("a.bmp", "");
    image.add("b.bmp", "");
    image.records[1].dataOffset = 0xFFFFFFFFu;
    image.records[1].dataSize = 10;
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes(true));
    std::filesystem::resize_file(dir / "GAME00.DAT", (1ull << 32) + 9);
    const CheckReport report = archive::checkArchive(dir / "GAME00.DAT");
    ASSERT_EQ(report.errors, 1) << describe(report);
    EXPECT_NE(describe(report).find("b.bmp"), std::string::npos) << describe(report);
    EXPECT_NE(describe(report).find("4 GiB"), std::string::npos) << describe(report);
}

// POSIX: processor-time limits in a forked child.
#ifndef _WIN32
// Bounded in CPU time, not timed: a quadratic walk over the levels would take minutes.
TEST(ArchiveCheck, ADeepNameIsCheckedInLinearTime)
{
    const testsupport::ChildResult result = testsupport::runInChild({}, []() -> std::string {
        rlimit limit{30, 30};
        setrlimit(RLIMIT_CPU, &limit);
        const std::string deep = repeated("a\\", 1000000) + "x.bmp";
        ArchiveImage image;
        image.add(deep, "1");
        image.add(deep, "2");                          // every level shared with the first
        image.add(repeated("a\\", 999999) + "a", "3"); // a file where a folder is needed
        const CheckReport report = checkBytes(image.bytes());
        return std::to_string(report.entries) + " " + std::to_string(report.errors) + " " +
               std::to_string(report.warnings);
    });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.text, "3 0 2");
}

// Bounded in CPU time, not timed: comparing every spelling with every other would take hours.
TEST(ArchiveCheck, ManySpellingsOfOneNameAreCheckedInLinearishTime)
{
    const testsupport::ChildResult result = testsupport::runInChild({}, []() -> std::string {
        rlimit limit{30, 30};
        setrlimit(RLIMIT_CPU, &limit);
        ArchiveImage image;
        // Each spelling twice: 50,000 duplicates and 49,999 other spellings of the first.
        for (int i = 0; i < 100000; ++i) {
            std::string name = "abcdefghijklmnopq.bmp";
            for (int bit = 0; bit < 17; ++bit)
                if ((i / 2) & (1 << bit))
                    name[bit] = static_cast<char>(name[bit] - 'a' + 'A');
            image.add(name, "");
        }
        const CheckReport report = checkBytes(image.bytes());
        return std::to_string(report.errors) + " " + std::to_string(report.warnings);
    });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.text, "0 99999");
}
#endif

TEST(ArchiveCheck, AFileThatCannotBeOpenedThrows)
{
    TempDir dir;
    EXPECT_THROW(archive::checkArchive(dir / "missing.dat"), archive::FileError);
}

} // namespace
