// Comparing the listed archive with another side, on a session without a window: the marks and
// counts, the filter to the differing rows, when marks go, and extracting only what differs.
#include "session/commands/CompareCommands.h"
#include "res/CompareTexts.h"
#include "res/Resource.h"
#include "session/Wording.h"
#include "session/commands/ArchiveChanges.h"
#include "session/commands/ExtractAndBuild.h"
#include "session/commands/ListingCommands.h"
#include "tests/session/SessionFakes.h"

#include <gtest/gtest.h>

using namespace sessiontest;
using session::wording::fill;

namespace {

const std::string kXu = "\xB3\x5C"; // 許: its trail byte is '\'

// The listed archive: each entry named after the mark it gets against kOther.
const Entries kListed = {
    {"SAME.DAT", "same"}, {"EDIT.DAT", "edited"},      {"EDIT.EGA", "new picture"},
    {"NEW.DAT", "new"},   {"NEW\\MOVED.DAT", "moved"}, {"SUB\\" + kXu, "xu"},
    {"EMPTY.DAT", ""},
};
const Entries kOther = {
    {"SAME.DAT", "same"},        {"EDIT.DAT", "before"}, {"EDIT.EGA", "old picture"},
    {"OLD\\MOVED.DAT", "moved"}, {"SUB\\" + kXu, "xu"},  {"EMPTY.DAT", ""},
    {"GONE.DAT", "gone"},
};

struct CompareFixture : ::testing::Test {
    testsupport::TempDir dir;
    ScriptedQuestions questions;
    FakeWindow window;
    session::Session session{window, questions};
    session::CompareCommands compare{session};
    std::string archivePath = at(dir, "GAME00.DAT");

    void SetUp() override
    {
        writeArchive(archivePath, kListed);
        session.load(archivePath);
    }
    // Each row as "mark name", marks as the letters of the comparison's status.
    std::vector<std::string> markedRows() const
    {
        std::vector<std::string> rows;
        for (int row = 0; row < session.list().count(); ++row) {
            const auto* marks = session.list().marks();
            const char mark =
                marks ? "UAMR"[int(marks->markOf(session.list().position(row)))] : '-';
            rows.push_back(mark + std::string(" ") + std::string(session.list().name(row)));
        }
        return rows;
    }
    std::string comparedStatus(const std::string& other, int rows) const
    {
        return fill(res::kStatusLine, {"GAME00.DAT", std::to_string(rows)}) +
               fill(res::kStatusEncodingDetected, {"Big5"}) +
               fill(res::compare::kStatus, {other, fill(res::compare::kCounts, {1, 2, 1, 3, 1})});
    }
};

} // namespace

TEST_F(CompareFixture, MarksEveryRowAgainstAnArchiveOrAFolder)
{
    const std::vector<std::string> expected = {
        "M EDIT.DAT",       "M EDIT.EGA", "U EMPTY.DAT",   "A NEW.DAT",
        "R NEW\\MOVED.DAT", "U SAME.DAT", "U SUB\\" + kXu,
    };
    for (const bool isFolder : {false, true}) {
        const std::string other = at(dir, isFolder ? "other" : "OLD00.DAT");
        if (isFolder)
            for (const auto& [name, bytes] : kOther)
                testsupport::writeFile(at(dir, "other/" + archive::names::hostRelativePath(name)),
                                       bytes);
        else
            writeArchive(other, kOther);
        questions.paths.push_back(other);
        compare.compare();
        EXPECT_EQ(markedRows(), expected) << other;
        EXPECT_EQ(window.status, comparedStatus(isFolder ? "other" : "OLD00.DAT", 7)) << other;
        const std::uint32_t moved = session.list().position(4);
        EXPECT_EQ(session.list().marks()->renamedFrom(moved), "OLD\\MOVED.DAT");
    }
}

TEST_F(CompareFixture, OnlyDifferingRowsCombineWithTheTypeAndQuickFind)
{
    writeArchive(at(dir, "OLD00.DAT"), kOther);
    compare.compareWith(at(dir, "OLD00.DAT"));
    compare.showDifferingOnly(true);
    EXPECT_EQ(markedRows(), (std::vector<std::string>{"M EDIT.DAT", "M EDIT.EGA", "A NEW.DAT",
                                                      "R NEW\\MOVED.DAT"}));
    EXPECT_EQ(window.status, comparedStatus("OLD00.DAT", 4));
    window.type = "DAT";
    session::ListingCommands(session).filter();
    EXPECT_EQ(markedRows(),
              (std::vector<std::string>{"M EDIT.DAT", "A NEW.DAT", "R NEW\\MOVED.DAT"}));
    session::ListingCommands(session).find("SAME");
    EXPECT_TRUE(window.isFindMiss);
    compare.showDifferingOnly(false);
    EXPECT_EQ(session.list().count(), 5);
}

TEST_F(CompareFixture, MarksGoWhenTheListIsMadeAnew)
{
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"reload", [&] { session::ListingCommands(session).reload(); }},
        {"delete",
         [&] {
             questions.answers.push_back(true);
             session::ArchiveChanges(session).remove(0);
         }},
        {"undo", [&] { session::ArchiveChanges(session).undo(); }},
    };
    writeArchive(at(dir, "OLD00.DAT"), kOther);
    for (const auto& [what, relist] : cases) {
        compare.compareWith(at(dir, "OLD00.DAT"));
        compare.showDifferingOnly(true);
        relist();
        EXPECT_EQ(session.list().marks(), nullptr) << what;
        EXPECT_FALSE(session.list().isDifferingOnly()) << what;
        EXPECT_EQ(window.status.find(fill(res::compare::kStatus, {"OLD00.DAT", ""})),
                  std::string::npos)
            << what;
    }
}

TEST_F(CompareFixture, ExtractingWithMarksAsksWhetherOnlyTheDifferingOnes)
{
    struct Case {
        bool isCompared;
        bool answer;
        std::vector<std::string> extracted;
    };
    const Case cases[] = {
        {true, true, {"EDIT.DAT", "NEW.DAT"}},
        {true, false, {"EDIT.DAT", "EMPTY.DAT", "NEW.DAT"}},
        {false, true, {"EDIT.DAT", "EMPTY.DAT", "NEW.DAT"}},
    };
    writeArchive(at(dir, "OLD00.DAT"), kOther);
    int run = 0;
    for (const Case& c : cases) {
        session.load(archivePath);
        if (c.isCompared)
            compare.compareWith(at(dir, "OLD00.DAT"));
        questions.asked.clear();
        questions.answers = {c.answer};
        const std::string folder = at(dir, "out" + std::to_string(++run));
        questions.folders.push_back(folder);
        window.selectOnly({{0, 0}, {2, 3}});
        session::ExtractAndBuild(session).extract();
        std::vector<std::string> extracted;
        for (const auto& file : std::filesystem::directory_iterator(testsupport::hostPath(folder)))
            extracted.push_back(file.path().filename().string());
        std::sort(extracted.begin(), extracted.end());
        EXPECT_EQ(extracted, c.extracted) << run;
        EXPECT_EQ(questions.asked,
                  c.isCompared ? std::vector<std::string>{res::compare::kExtractDifferingQuestion}
                               : std::vector<std::string>{})
            << run;
    }
}

TEST_F(CompareFixture, ACancelledOrFailedComparisonKeepsTheMarksShown)
{
    // The listed archive itself, read through its own reader, is all unchanged.
    compare.compareWith(archivePath);
    const session::ComparisonMarks* before = session.list().marks();
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(before->counts().unchanged, kListed.size());
    writeArchive(at(dir, "OLD00.DAT"), kOther);
    window.cancelsRuns = true;
    window.showsProgress = true;
    compare.compareWith(at(dir, "OLD00.DAT"));
    EXPECT_EQ(session.list().marks(), before);
    EXPECT_EQ(window.finished, std::vector<std::string>{res::compare::kCancelled});
    window.cancelsRuns = false;
    testsupport::writeFile(at(dir, "BAD.DAT"), "not an archive");
    questions.paths.push_back(at(dir, "BAD.DAT"));
    session.commands().now([&] { compare.compare(); });
    EXPECT_EQ(session.list().marks(), before);
    EXPECT_EQ(questions.messages.size(), 1u);
}
