#include "mount/MountTree.h"
#include "archive/commands/Updating.h"
#include "archive/format/ArchiveReader.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

using mount::MountTree;
using testsupport::ArchiveImage;

// "a.txt", "sub\b.txt" and "sub\deep\c.txt", as extraction shows them.
class MountTreeFixture : public ::testing::Test {
public:
    void SetUp() override
    {
        ArchiveImage image;
        image.add("a.txt", "A");
        image.add("sub\\b.txt", "BB");
        image.add("sub\\deep\\c.txt", "CCC");
        image.add("SUB\\B.TXT", "hidden: extraction skips a name an earlier one took");
        m_bytes = image.bytes();
        m_reader.OpenMemory(
            {reinterpret_cast<const unsigned char*>(m_bytes.data()), m_bytes.size()}, "memory");
        m_tree.addArchive(m_reader);
    }

    // Each change as "-name", "+name" (from a scratch file) or "+name<record" (moved).
    std::vector<std::string> changes() const
    {
        std::vector<std::string> text;
        for (const auto& change :
             m_tree.changes(m_reader, [](std::uint32_t n) { return std::to_string(n); })) {
            if (change.kind == archive::ArchiveChange::Kind::remove)
                text.push_back("-" + change.name);
            else if (change.sourceArchive)
                text.push_back("+" + change.name + "<" +
                               std::string(m_reader.record(change.sourceRecord).name));
            else
                text.push_back("+" + change.name + "@" + change.hostPath);
        }
        return text;
    }

    MountTree::NodeId at(const std::string& path) const { return m_tree.find(path); }

    std::string m_bytes;
    archive::ArchiveReader m_reader;
    MountTree m_tree;
};

TEST_F(MountTreeFixture, ShowsTheEntriesAsExtractionWritesThem)
{
    EXPECT_EQ(m_tree.kind(at("sub/deep")), MountTree::Kind::folder);
    EXPECT_EQ(m_tree.kind(at("sub/deep/c.txt")), MountTree::Kind::entry);
    EXPECT_EQ(m_tree.path(at("sub/deep/c.txt")), "sub/deep/c.txt");
    EXPECT_EQ(m_tree.entryName(at("sub/deep/c.txt")), "sub\\deep\\c.txt");
    EXPECT_EQ(at("SUB"), MountTree::kNone); // the view is case-sensitive; SUB is sub
    EXPECT_TRUE(changes().empty());
}

TEST_F(MountTreeFixture, RefusesNamesWithTheErrorAFileSystemGives)
{
    struct Case {
        const char* folder;
        std::string name;
        int error;
    };
    const Case cases[] = {
        {"", "new.txt", 0},
        {"", "A.TXT", EEXIST},                     // a.txt but for case
        {"", "Sub", EEXIST},                       // a folder but for case
        {"sub", "B.txt", EEXIST},                  //
        {"", "\xF0\x9F\x98\x80.txt", EILSEQ},      // no code page 950 character
        {"", "bad\xFF", EILSEQ},                   // not UTF-8
        {"", "back\\slash", EILSEQ},               // '\' is the separator of entry names
        {"", std::string(256, 'x'), ENAMETOOLONG}, // the format's level limit
        {"", "\xE4\xB8\xAD\xE6\x96\x87.txt", 0},   // Big5 holds it
    };
    for (const Case& c : cases) {
        MountTree::NodeId made = MountTree::kNone;
        EXPECT_EQ(m_tree.addFile(at(c.folder), c.name, 9, made), c.error) << c.name;
        EXPECT_EQ(m_tree.addFolder(at(c.folder), c.name + "d", made),
                  c.error == 0 || c.error == EEXIST ? 0 : c.error)
            << c.name;
    }
}

TEST_F(MountTreeFixture, ChangesAreWhatMakesTheArchiveHoldTheView)
{
    struct Case {
        const char* what;
        std::function<int(MountTreeFixture&)> step;
        std::vector<std::string> changes;
    };
    const Case cases[] = {
        {"delete", [](auto& f) { return f.m_tree.remove(f.at(""), "a.txt", false); }, {"-a.txt"}},
        {"rename a file",
         [](auto& f) { return f.m_tree.rename(f.at(""), "a.txt", f.at("sub"), "z.txt", false); },
         {"-a.txt", "+sub\\z.txt<a.txt"}},
        {"rename a folder",
         [](auto& f) { return f.m_tree.rename(f.at("sub"), "deep", f.at(""), "top", false); },
         {"-sub\\deep\\c.txt", "+top\\c.txt<sub\\deep\\c.txt"}},
        {"change in place",
         [](auto& f) {
             f.m_tree.setScratch(f.at("a.txt"), 4);
             return 0;
         },
         {"+a.txt@4"}},
        {"replace by rename",
         [](auto& f) { return f.m_tree.rename(f.at("sub"), "b.txt", f.at(""), "a.txt", false); },
         {"-a.txt", "-sub\\b.txt", "+a.txt<sub\\b.txt"}},
        {"no replace asked",
         [](auto& f) {
             return f.m_tree.rename(f.at("sub"), "b.txt", f.at(""), "a.txt", true) == EEXIST ? 0
                                                                                             : 1;
         },
         {}},
        {"folder into itself",
         [](auto& f) {
             return f.m_tree.rename(f.at(""), "sub", f.at("sub/deep"), "x", false) == EINVAL ? 0
                                                                                             : 1;
         },
         {}},
        {"case of its own name",
         [](auto& f) { return f.m_tree.rename(f.at(""), "a.txt", f.at(""), "A.txt", false); },
         {"-a.txt", "+A.txt<a.txt"}},
        {"non-empty folder",
         [](auto& f) { return f.m_tree.remove(f.at(""), "sub", true) == ENOTEMPTY ? 0 : 1; },
         {}},
    };
    for (const Case& c : cases) {
        SetUp();
        m_tree = MountTree();
        m_tree.addArchive(m_reader);
        EXPECT_EQ(c.step(*this), 0) << c.what;
        EXPECT_EQ(changes(), c.changes) << c.what;
    }
}

TEST_F(MountTreeFixture, TakesTheRecordsOfTheCommittedArchive)
{
    testsupport::TempDir dir;
    const std::string path = dir / "G.DAT";
    testsupport::writeFile(path, m_bytes);
    archive::ArchiveReader reader;
    reader.Open(path);
    MountTree tree;
    tree.addArchive(reader);
    MountTree::NodeId made = 0;
    testsupport::writeFile(dir / "1", "new bytes");
    ASSERT_EQ(tree.addFile(tree.find("sub"), "n.txt", 1, made), 0);
    ASSERT_EQ(tree.rename(tree.find(""), "sub", tree.find(""), "moved", false), 0);
    ASSERT_EQ(tree.addFolder(tree.find(""), "empty", made), 0);
    archive::updateArchive(reader, tree.changes(reader, [&](std::uint32_t) { return dir / "1"; }));
    archive::ArchiveReader next;
    next.Open(path);
    ASSERT_TRUE(tree.remap(next));
    EXPECT_EQ(tree.kind(tree.find("moved/n.txt")), MountTree::Kind::entry);
    EXPECT_EQ(next.at(tree.data(tree.find("moved/n.txt"))).name, "moved\\n.txt");
    EXPECT_EQ(tree.emptyFolders(), std::vector<std::string>{"empty"});
    EXPECT_TRUE(tree.changes(next, [](std::uint32_t) { return std::string(); }).empty());
}

} // namespace
