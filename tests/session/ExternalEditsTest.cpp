// Copies opened in another program: a save is offered once it has settled, only when its bytes
// are new, and again later while another change runs.
#include "res/EditTexts.h"
#include "session/Wording.h"
#include "session/commands/DropsAndCopies.h"
#include "tests/session/SessionFakes.h"

#include <gtest/gtest.h>

using namespace sessiontest;

namespace {

struct EditsFixture : ::testing::Test {
    testsupport::TempDir dir;
    ScriptedQuestions questions;
    FakeWindow window;
    session::Session session{window, questions};
    FakeWatch watch;
    TestScratch scratch{at(dir, "scratch")};
    session::ExternalEdits edits{watch, watch,
                                 [this](const session::ExternalEdits::SavedCopy& copy) {
                                     return commands().offerSavedCopy(copy);
                                 }};
    std::string archivePath = at(dir, "GAME00.DAT");

    session::DropsAndCopies commands() { return {session, scratch, edits}; }
    // Saves the copy and lets the watch and the settle time pass.
    void save(const std::string& copy, const std::string& bytes)
    {
        testsupport::writeFile(copy, bytes);
        watch.listener(copy);
        watch.settle();
    }
};

} // namespace

TEST_F(EditsFixture, ASavedCopyIsOfferedOnceSettledAndOnlyWhenItsBytesAreNew)
{
    writeArchive(archivePath, {{"A.DAT", "alpha"}, {"SUB\\C.DAT", "charlie"}});
    session.load(archivePath);
    commands().openInOtherProgram(1);
    ASSERT_EQ(window.opened.size(), 1u);
    const std::string copy = window.opened[0];
    EXPECT_EQ(testsupport::readFile(copy), "charlie");
    EXPECT_TRUE(watch.watches(copy));
    const std::string question = session::wording::fill(res::edit::kEditedQuestion, {"SUB\\C.DAT"});
    struct Save {
        const char* what;
        std::string bytes;
        std::optional<bool> answer; // nullopt: not asked
        std::string entry;          // the entry's bytes afterwards
        std::string whileAsked;     // saved again while the question is open
    };
    const Save saves[] = {
        {"declined", "charlie 2", false, "charlie", ""},
        {"the same bytes again", "charlie 2", std::nullopt, "charlie", ""},
        {"accepted", "charlie 3", true, "charlie 3", ""},
        {"saved back to what went in", "charlie 3", std::nullopt, "charlie 3", ""},
        // What went in is what is compared next: the later save is not asked about again.
        {"saved while asked", "charlie 4", true, "charlie 5", "charlie 5"},
        {"nothing new after it", "charlie 5", std::nullopt, "charlie 5", ""},
    };
    for (const Save& s : saves) {
        const std::size_t asked = questions.asked.size();
        if (s.answer)
            questions.answers.push_back(*s.answer);
        if (!s.whileAsked.empty())
            questions.whileAsked = [&] { testsupport::writeFile(copy, s.whileAsked); };
        save(copy, s.bytes);
        EXPECT_EQ(questions.asked.size(), asked + (s.answer ? 1 : 0)) << s.what;
        if (s.answer) {
            EXPECT_EQ(questions.asked.back(), question) << s.what;
        }
        EXPECT_EQ(entriesOf(archivePath).at("SUB\\C.DAT"), s.entry) << s.what;
    }
    EXPECT_TRUE(questions.messages.empty());
}

TEST_F(EditsFixture, ASaveWaitsForAChangeUnderWayAndGoesToItsOwnArchive)
{
    writeArchive(archivePath, {{"A.DAT", "alpha"}});
    session.load(archivePath);
    commands().openInOtherProgram(0);
    const std::string copy = window.opened.at(0);
    // Offered while a command runs: not asked, and offered again once the timer runs out.
    session.commands().now([&] { save(copy, "alpha 2"); });
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(watch.running.size(), 1u);
    // Meanwhile another archive is listed: the copy still belongs to its own.
    writeArchive(at(dir, "game01.dat"), {{"ONLY.DAT", "x"}});
    session.load(at(dir, "game01.dat"));
    questions.answers.push_back(true);
    watch.settle();
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(questions.asked[0],
              session::wording::fill(res::edit::kEditedOtherQuestion,
                                     {"A.DAT", session::wording::nativePath(archivePath)}));
    EXPECT_EQ(entriesOf(archivePath), (Entries{{"A.DAT", "alpha 2"}}));
    EXPECT_EQ(entriesOf(at(dir, "game01.dat")), (Entries{{"ONLY.DAT", "x"}}));
    EXPECT_FALSE(session.archive().canUndo());

    // With no program for the type, the copy is no longer watched and the entry is named.
    window.opensCopies = false;
    edits.clear();
    commands().openInOtherProgram(0);
    window.runEvents();
    EXPECT_EQ(edits.count(), 0);
    EXPECT_EQ(questions.messages,
              std::vector{session::wording::fill(res::edit::kCannotOpenWith, {"ONLY.DAT"})});
}
