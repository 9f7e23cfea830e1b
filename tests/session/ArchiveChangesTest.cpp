// The commands that change the open archive, run on a session without a window: what each
// writes, what it selects, what it says, and undo.
#include "session/commands/ArchiveChanges.h"
#include "archive/format/CodePage.h"
#include "res/EditTexts.h"
#include "res/Resource.h"
#include "session/Wording.h"
#include "session/commands/MenuState.h"
#include "session/commands/NameEncoding.h"
#include "tests/session/SessionFakes.h"

#include <gtest/gtest.h>

using namespace sessiontest;
using session::wording::fill;

namespace {

// 許 is B3 5C in code page 950: its second byte is a '\'.
const std::string kXu = "\xB3\x5C";

const Entries kStart = {
    {"A.DAT", "alpha"},
    {"B.EGA", "bravo"},
    {"SUB\\C.DAT", "charlie"},
    {"SUB\\" + kXu, "xu"},
};

Entries with(Entries entries, const std::function<void(Entries&)>& change)
{
    change(entries);
    return entries;
}

struct ChangeFixture : ::testing::Test {
    testsupport::TempDir dir;
    ScriptedQuestions questions;
    FakeWindow window;
    session::Session session{window, questions};
    session::ArchiveChanges changes{session};
    std::string archivePath = at(dir, "GAME00.DAT");

    void open(const Entries& entries)
    {
        // Windows writes no file held open.
        session.archive().forgetUndo();
        session.closeArchive();
        writeArchive(archivePath, entries);
        session.load(archivePath);
    }
    std::string hostFile(const std::string& name, const std::string& bytes)
    {
        testsupport::writeFile(at(dir, "host/" + name), bytes);
        return at(dir, "host/" + name);
    }
    int rowOf(const std::string& name) const
    {
        for (int row = 0; row < session.list().count(); ++row)
            if (session.list().name(row) == name)
                return row;
        return -1;
    }
    std::vector<std::string> selectedNames() const
    {
        std::vector<std::string> names;
        for (const int row : window.selectedRows())
            names.emplace_back(session.list().name(row));
        return names;
    }
};

} // namespace

TEST_F(ChangeFixture, EachCommandChangesTheArchiveSelectsWhatChangedAndSaysSo)
{
    struct Case {
        const char* what;
        void (session::ArchiveChanges::*command)(int);
        std::string row; // empty: none
        std::function<void(ChangeFixture&)> answer;
        Entries after;
        std::vector<std::string> selected;
        std::string message; // an error shown instead of a change
    };
    const Case cases[] = {
        {"add into the entry's folder",
         &session::ArchiveChanges::addFiles,
         "SUB\\C.DAT",
         [](ChangeFixture& f) { f.questions.fileLists.push_back({f.hostFile("NEW.TXT", "new")}); },
         with(kStart, [](Entries& e) { e["SUB\\NEW.TXT"] = "new"; }),
         {"SUB\\NEW.TXT"},
         ""},
        {"add beside a Big5 name whose second byte is '\\'",
         &session::ArchiveChanges::addFiles,
         "SUB\\" + kXu,
         [](ChangeFixture& f) { f.questions.fileLists.push_back({f.hostFile("NEW.TXT", "new")}); },
         with(kStart, [](Entries& e) { e["SUB\\NEW.TXT"] = "new"; }),
         {"SUB\\NEW.TXT"},
         ""},
        {"add at the top level",
         &session::ArchiveChanges::addFiles,
         "",
         [](ChangeFixture& f) { f.questions.fileLists.push_back({f.hostFile("TOP.SCR", "top")}); },
         with(kStart, [](Entries& e) { e["TOP.SCR"] = "top"; }),
         {"TOP.SCR"},
         ""},
        {"replace keeps the name",
         &session::ArchiveChanges::replace,
         "B.EGA",
         [](ChangeFixture& f) { f.questions.files.push_back(f.hostFile("x.bin", "longer bravo")); },
         with(kStart, [](Entries& e) { e["B.EGA"] = "longer bravo"; }),
         {"B.EGA"},
         ""},
        {"rename moves between folders, / read as \\",
         &session::ArchiveChanges::rename,
         "A.DAT",
         [](ChangeFixture& f) { f.questions.texts.push_back("SUB/DEEP/Z.DAT"); },
         with(kStart,
              [](Entries& e) {
                  e.erase("A.DAT");
                  e["SUB\\DEEP\\Z.DAT"] = "alpha";
              }),
         {"SUB\\DEEP\\Z.DAT"},
         ""},
        {"delete after yes",
         &session::ArchiveChanges::remove,
         "B.EGA",
         [](ChangeFixture& f) { f.questions.answers.push_back(true); },
         with(kStart, [](Entries& e) { e.erase("B.EGA"); }),
         {},
         ""},
        {"delete answered no",
         &session::ArchiveChanges::remove,
         "B.EGA",
         [](ChangeFixture&) {},
         kStart,
         {},
         ""},
        {"rename to nothing",
         &session::ArchiveChanges::rename,
         "B.EGA",
         [](ChangeFixture& f) { f.questions.texts.push_back(""); },
         kStart,
         {},
         res::edit::kEmptyName},
        {"rename cancelled",
         &session::ArchiveChanges::rename,
         "B.EGA",
         [](ChangeFixture&) {},
         kStart,
         {},
         ""},
    };
    window.showsProgress = true;
    for (const Case& c : cases) {
        open(kStart);
        window.finished.clear();
        questions.messages.clear();
        c.answer(*this);
        (changes.*c.command)(c.row.empty() ? -1 : rowOf(c.row));
        const bool isChanged = c.after != kStart;
        EXPECT_EQ(entriesOf(archivePath), c.after) << c.what;
        EXPECT_EQ(selectedNames(), c.selected) << c.what;
        EXPECT_EQ(questions.messages,
                  c.message.empty() ? std::vector<std::string>() : std::vector{c.message})
            << c.what;
        EXPECT_EQ(window.finished.size(), isChanged ? 1u : 0u) << c.what;
        EXPECT_EQ(session.archive().canUndo(), isChanged) << c.what;
        EXPECT_EQ(window.status, session::wording::statusLine(archivePath, int(c.after.size()),
                                                              archive::CodePage::big5(), true))
            << c.what;
    }
    EXPECT_EQ(questions.titles.front(), fill(res::edit::kAddFilesTitle, {"SUB\\"}));
}

// A GBK-named archive keeps its code page: what the user types and the files' own names are
// stored in GBK, never in Big5 bytes that would read as other characters.
TEST_F(ChangeFixture, NamesGoInInTheArchivesOwnCodePage)
{
    const std::string game = "\xD3\xCE\xCF\xB7"; // 游戏
    const Entries gbk = {{game + "\\A.DAT", "alpha"}, {"\xCD\xBC\xCF\xF1.BMP", "picture"}}; // 图像
    open(gbk);
    ASSERT_EQ(session.codePage().encoding(), archive::Encoding::gbk);
    window.showsProgress = true;

    questions.texts.push_back("游戏/新图.BMP");
    changes.rename(rowOf("\xCD\xBC\xCF\xF1.BMP"));
    questions.fileLists.push_back({hostFile("图.TXT", "new")});
    changes.addFiles(rowOf(game + "\\A.DAT"));

    const Entries after = {{game + "\\A.DAT", "alpha"},
                           {game + "\\\xD0\xC2\xCD\xBC.BMP", "picture"}, // 新图
                           {game + "\\\xCD\xBC.TXT", "new"}};
    EXPECT_EQ(entriesOf(archivePath), after);
    EXPECT_EQ(session.codePage().encoding(), archive::Encoding::gbk);
}

TEST_F(ChangeFixture, UndoPutsBackTheArchiveUnlessAnotherProgramWroteSince)
{
    struct Case {
        const char* what;
        std::function<void(ChangeFixture&)> meanwhile;
        bool isPutBack;
    };
    const Case cases[] = {
        {"nothing else wrote", [](ChangeFixture&) {}, true},
#ifndef _WIN32 // where no other program writes or replaces a file held open
        {"rewritten in place",
         [](ChangeFixture& f) {
             writeArchive(f.archivePath, {{"THEIRS.DAT", "x"}});
         },
         false},
        {"replaced by a file named over it",
         [](ChangeFixture& f) {
             writeArchive(at(f.dir, "theirs.tmp"), {{"THEIRS.DAT", "x"}});
             std::filesystem::rename(testsupport::hostPath(at(f.dir, "theirs.tmp")),
                                     testsupport::hostPath(f.archivePath));
         },
         false},
#endif
    };
    for (const Case& c : cases) {
        questions.messages.clear();
        open(kStart);
        const std::string before = testsupport::readFile(archivePath);
        questions.answers.push_back(true);
        changes.remove(rowOf("B.EGA"));
        c.meanwhile(*this);
        const std::string theirs = testsupport::readFile(archivePath);
        changes.undo();
        EXPECT_EQ(testsupport::readFile(archivePath), c.isPutBack ? before : theirs) << c.what;
        EXPECT_EQ(questions.messages.empty(), c.isPutBack) << c.what;
        if (!c.isPutBack) {
            EXPECT_EQ(questions.messages.at(0), fill(res::edit::kUndoRefused, {"GAME00.DAT"}));
        }
        EXPECT_EQ(selectedNames(),
                  c.isPutBack ? std::vector<std::string>{"B.EGA"} : std::vector<std::string>())
            << c.what;
        EXPECT_FALSE(session.archive().canUndo()) << c.what;
    }
}

// A failure reaches the message box through the command queue, naming the entry or file, and
// leaves the archive as it was. (No program for an entry: ExternalEditsTest.)
TEST_F(ChangeFixture, AFailedChangeNamesTheEntryOrFileAndLeavesTheArchiveAsItWas)
{
    struct Case {
        const char* what;
        void (session::ArchiveChanges::*command)(int);
        std::function<void(ChangeFixture&)> answer;
        std::string named; // in the message
    };
    const Case cases[] = {
        {"replace from a file gone meanwhile", &session::ArchiveChanges::replace,
         [](ChangeFixture& f) { f.questions.files.push_back(at(f.dir, "host/GONE.BIN")); },
         "GONE.BIN"},
        {"add a file no entry name can hold", &session::ArchiveChanges::addFiles,
         [](ChangeFixture& f) {
             f.questions.fileLists.push_back({f.hostFile("\xf0\x9f\x98\x80.TXT", "smile")});
         },
         "\xf0\x9f\x98\x80.TXT"},
        {"rename onto an existing name", &session::ArchiveChanges::rename,
         [](ChangeFixture& f) { f.questions.texts.push_back("B.EGA"); }, "B.EGA"},
        {"rename to a name the list cannot hold", &session::ArchiveChanges::rename,
         [](ChangeFixture& f) { f.questions.texts.push_back("SUB\\\\X.DAT"); }, "X.DAT"},
    };
    for (const Case& c : cases) {
        open(kStart);
        questions.messages.clear();
        const std::string before = testsupport::readFile(archivePath);
        c.answer(*this);
        session.commands().later([&] { (changes.*c.command)(rowOf("A.DAT")); });
        window.runEvents();
        ASSERT_EQ(questions.messages.size(), 1u) << c.what;
        EXPECT_NE(questions.messages[0].find(c.named), std::string::npos)
            << c.what << ": " << questions.messages[0];
        EXPECT_EQ(testsupport::readFile(archivePath), before) << c.what;
        EXPECT_EQ(session.list().count(), int(kStart.size())) << c.what;
        EXPECT_FALSE(session.archive().canUndo()) << c.what;
    }
}

TEST_F(ChangeFixture, TheMenuOffersWhatFitsTheRowItOpensOn)
{
    EXPECT_FALSE(session::MenuState::of(session, -1, 0).isShown);
    open(kStart);
    struct Case {
        int row, selected;
        bool canReplace, canDelete;
    };
    for (const Case& c :
         {Case{0, 0, true, true}, Case{-1, 0, false, false}, Case{-1, 2, false, true}}) {
        const session::MenuState state = session::MenuState::of(session, c.row, c.selected);
        EXPECT_TRUE(state.isShown && state.canAddFiles) << c.row;
        EXPECT_EQ(state.canReplace && state.canRename && state.canOpenInOtherProgram, c.canReplace)
            << c.row;
        EXPECT_EQ(state.canDelete, c.canDelete) << c.row << c.selected;
        EXPECT_FALSE(state.canUndo);
    }
}

// The names' code page chosen in the menu relists at once in it, keeping the selection and the
// current entry and never touching the file; it holds through a reload of that archive only.
TEST_F(ChangeFixture, AChosenCodePageRelistsAndHoldsForItsArchiveOnly)
{
    using archive::Encoding;
    const std::string image = "\xCD\xBC\xCF\xF1.BMP"; // 图像 in GBK
    const Entries gbk = {{"\xD3\xCE\xCF\xB7\\A.DAT", "alpha"}, {image, "picture"}, *kStart.begin()};
    open(gbk);
    const struct {
        std::optional<Encoding> choice;
        Encoding inUse;
    } cases[] = {{Encoding::big5, Encoding::big5},
                 {Encoding::utf8, Encoding::utf8},
                 {std::nullopt, Encoding::gbk}};
    for (const auto& c : cases) {
        const int label = static_cast<int>(c.inUse);
        window.selection = {{rowOf("A.DAT"), rowOf("A.DAT")}};
        window.current = rowOf(image);
        session::NameEncoding(session).choose(c.choice);
        EXPECT_EQ(session.codePage().encoding(), c.inUse) << label;
        EXPECT_EQ(window.status,
                  session::wording::statusLine(archivePath, 3, session.codePage(), !c.choice));
        EXPECT_EQ(selectedNames(), std::vector<std::string>{"A.DAT"}) << label;
        EXPECT_EQ(session.list().name(window.current), image) << label;
        EXPECT_EQ(session::MenuState::of(session, -1, 0).encoding, c.choice) << label;
        EXPECT_EQ(entriesOf(archivePath), gbk) << label;
    }
    session::NameEncoding(session).choose(Encoding::big5);
    session.load(archivePath);
    EXPECT_EQ(session.codePage().encoding(), Encoding::big5);
    const std::string other = at(dir, "GAME01.DAT");
    writeArchive(other, gbk);
    session.load(other);
    EXPECT_EQ(session.codePage().encoding(), Encoding::gbk);
    EXPECT_EQ(session.chosenEncoding(), std::nullopt);
}
