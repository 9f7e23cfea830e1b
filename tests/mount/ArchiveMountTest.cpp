// The folder view's engine without the kernel: journal, recovery, commits and reads across them.

#include "mount/ArchiveMount.h"
#include "archive/format/ArchiveReader.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace {

using mount::ArchiveMount;
using mount::MountTree;

class ArchiveMountFixture : public ::testing::Test {
public:
    void SetUp() override
    {
        testsupport::ArchiveImage image;
        image.add("a.txt", "old a");
        image.add("sub\\b.txt", "old b");
        m_archive = m_dir / "GAME00.DAT";
        testsupport::writeFile(m_archive, image.bytes());
    }

    std::unique_ptr<ArchiveMount> open(bool recover = false,
                                       std::optional<archive::Encoding> encoding = {})
    {
        mount::MountOptions options;
        options.recover = recover;
        options.encoding = encoding;
        options.commitDelay = std::chrono::milliseconds(0);
        mount::MountEvents events;
        events.failed = [this](const archive::ArchiveError& error) { m_failures.push_back(error); };
        events.committed = [this](const archive::UpdateResult& result) {
            m_commits.push_back(result.replaced);
        };
        return std::make_unique<ArchiveMount>(m_archive, options, events);
    }

    static MountTree::NodeId node(ArchiveMount& view, const std::string& path)
    {
        MountTree::NodeId at = MountTree::kRoot;
        for (const auto& level : std::filesystem::path(path)) {
            mount::NodeAttributes ignored;
            if (view.lookup(at, level.string(), at, ignored) != 0)
                return MountTree::kNone;
        }
        return at;
    }

    static int write(ArchiveMount& view, const std::string& path, const std::string& bytes)
    {
        ArchiveMount::OpenFile* file = nullptr;
        const MountTree::NodeId at = node(view, path);
        int status = 0;
        if (at == MountTree::kNone) {
            const auto [folder, name] = std::pair(std::filesystem::path(path).parent_path(),
                                                  std::filesystem::path(path).filename());
            MountTree::NodeId made = 0;
            mount::NodeAttributes attributes;
            status =
                view.create(node(view, folder.string()), name.string(), file, made, attributes);
        } else {
            status = view.open(at, true, true, file);
        }
        if (status == 0) {
            view.write(*file, bytes.data(), bytes.size(), 0);
            view.release(file);
        }
        return status;
    }

    static std::string read(ArchiveMount& view, ArchiveMount::OpenFile& file)
    {
        std::string bytes(64, '\0');
        bytes.resize(static_cast<std::size_t>(view.read(file, bytes.data(), bytes.size(), 0)));
        return bytes;
    }

    // Each entry as "name=bytes", in file order.
    std::string entries() const
    {
        archive::ArchiveReader reader;
        reader.Open(m_archive);
        std::string text;
        for (std::size_t i = 0; i < reader.size(); ++i) {
            const archive::RecordView record = reader.at(i);
            std::string bytes(record.dataSize, '\0');
            reader.readAt(bytes.data(), bytes.size(), record.dataOffset);
            text += std::string(record.name) + "=" + bytes + " ";
        }
        return text;
    }

    std::string scratch() const { return m_dir / ".GAME00.DAT.velmora-mount"; }

    testsupport::TempDir m_dir;
    std::string m_archive;
    std::vector<archive::ArchiveError> m_failures;
    std::vector<int> m_commits; // entries each commit replaced
};

using Steps = std::function<void(ArchiveMount&)>;

// A view dropped without finish() is a killed mount: the archive is as it was, and the next
// mount refuses until asked to recover, which gives what the view showed.
TEST_F(ArchiveMountFixture, AKilledViewIsRecoveredAsItWas)
{
    struct Case {
        const char* what;
        Steps steps;
        const char* after;
    };
    const Case cases[] = {
        {"write", [](auto& v) { write(v, "a.txt", "new a"); }, "a.txt=new a sub\\b.txt=old b "},
        {"create in a new folder",
         [](auto& v) {
             MountTree::NodeId made = 0;
             v.makeFolder(MountTree::kRoot, "n", made);
             write(v, "n/c.txt", "c");
         },
         "a.txt=old a n\\c.txt=c sub\\b.txt=old b "},
        {"rename a folder, then write in it",
         [](auto& v) {
             v.rename(MountTree::kRoot, "sub", MountTree::kRoot, "moved", false);
             write(v, "moved/b.txt", "new b");
         },
         "a.txt=old a moved\\b.txt=new b "},
        {"remove", [](auto& v) { v.remove(MountTree::kRoot, "a.txt", false); },
         "sub\\b.txt=old b "},
        {"write, then rename over another",
         [](auto& v) {
             write(v, "a.txt", "new a");
             v.rename(MountTree::kRoot, "a.txt", node(v, "sub"), "b.txt", false);
         },
         "sub\\b.txt=new a "},
    };
    for (const Case& c : cases) {
        SetUp();
        std::filesystem::remove_all(scratch());
        const std::string before = entries();
        c.steps(*open());
        EXPECT_EQ(entries(), before) << c.what;
        try {
            open();
            ADD_FAILURE() << c.what << ": pending changes not reported";
        } catch (const archive::FileError& error) {
            EXPECT_EQ(error.kind(), archive::ErrorKind::changedMeanwhile) << c.what;
            EXPECT_EQ(error.subject(), scratch()) << c.what;
        }
        EXPECT_TRUE(open(true)->finish()) << c.what;
        EXPECT_EQ(entries(), c.after) << c.what;
        EXPECT_FALSE(std::filesystem::exists(scratch())) << c.what;
    }
}

// Killed between the archive's replacement and the journal's reset: the commit is found whole
// and not made twice (a rename made twice would fail, a write twice would add nothing new).
TEST_F(ArchiveMountFixture, ACommitThatWentInIsNotMadeAgain)
{
    auto view = open();
    ASSERT_EQ(view->rename(MountTree::kRoot, "a.txt", MountTree::kRoot, "z.txt", false), 0);
    const std::string journal = testsupport::readFile(scratch() + "/journal");
    view->commitNow();
    ASSERT_TRUE(m_failures.empty());
    view.reset();
    archive::ArchiveReader reader;
    reader.Open(m_archive);
    const std::string marker = "C " + std::to_string(std::to_string(reader.size()).size()) + ":" +
                               std::to_string(reader.size()) + " " +
                               std::to_string(std::to_string(reader.fileLength()).size()) + ":" +
                               std::to_string(reader.fileLength()) + "\n";
    reader.Close();
    testsupport::writeFile(scratch() + "/journal", journal + marker);
    const std::string committed = entries();
    EXPECT_TRUE(open(true)->finish());
    EXPECT_EQ(entries(), committed);
    EXPECT_EQ(committed, "sub\\b.txt=old b z.txt=old a ");
}

TEST_F(ArchiveMountFixture, AnOpenFileKeepsTheBytesItWasOpenedOnThroughACommit)
{
    auto view = open();
    ArchiveMount::OpenFile* before = nullptr;
    ASSERT_EQ(view->open(node(*view, "a.txt"), false, false, before), 0);
    ASSERT_EQ(write(*view, "a.txt", "new a"), 0);
    view->commitNow();
    ArchiveMount::OpenFile* after = nullptr;
    ASSERT_EQ(view->open(node(*view, "a.txt"), false, false, after), 0);
    EXPECT_EQ(m_commits, std::vector<int>{1});
    EXPECT_EQ(read(*view, *before), "old a");
    EXPECT_EQ(read(*view, *after), "new a");
    view->release(before);
    view->release(after);
    view.reset();
    EXPECT_EQ(entries(), "a.txt=new a sub\\b.txt=old b ");
}

TEST_F(ArchiveMountFixture, AnArchiveChangedMeanwhileIsLeftAndTheChangesKept)
{
    auto view = open();
    ASSERT_EQ(write(*view, "a.txt", "mine"), 0);
    testsupport::ArchiveImage theirs;
    theirs.add("theirs.txt", "theirs");
    testsupport::writeFile(m_archive + ".new", theirs.bytes());
    std::filesystem::rename(m_archive + ".new", m_archive);
    EXPECT_FALSE(view->finish());
    ASSERT_EQ(m_failures.size(), 1u);
    EXPECT_EQ(m_failures[0].kind(), archive::ErrorKind::changedMeanwhile);
    view.reset();
    EXPECT_EQ(entries(), "theirs.txt=theirs ");
    // Recovering puts the write into the archive as the other program left it.
    EXPECT_TRUE(open(true)->finish());
    EXPECT_EQ(entries(), "a.txt=mine theirs.txt=theirs ");
}

// A file-size limit fails the commit's write as a full disk does.
TEST_F(ArchiveMountFixture, ACommitThatCannotBeWrittenLeavesTheArchiveAndTheChangesPending)
{
    testsupport::ArchiveImage image;
    image.add("a.txt", std::string(1500000, 'a'));
    testsupport::writeFile(m_archive, image.bytes());
    const std::string before = testsupport::readFile(m_archive);
    testsupport::ChildLimits limits;
    limits.fileSizeLimit = 2000000;
    const testsupport::ChildResult result = testsupport::runInChild(limits, [&] {
        auto view = open();
        write(*view, "b.txt", std::string(1000000, 'b'));
        const bool isFinished = view->finish();
        return std::string(isFinished ? "finished" : "pending") + " " +
               std::to_string(m_failures.size());
    });
    EXPECT_EQ(result.text, "pending 1");
    EXPECT_TRUE(testsupport::readFile(m_archive) == before);
    EXPECT_TRUE(open(true)->finish());
    EXPECT_EQ(entries().size(), std::string("a.txt= b.txt= ").size() + 2500000);
}

TEST_F(ArchiveMountFixture, ARefusedChangeLeavesNothingPending)
{
    auto view = open();
    MountTree::NodeId made = 0;
    ArchiveMount::OpenFile* file = nullptr;
    mount::NodeAttributes attributes;
    EXPECT_EQ(view->create(MountTree::kRoot, "A.TXT", file, made, attributes), EEXIST);
    EXPECT_EQ(view->rename(MountTree::kRoot, "a.txt", MountTree::kRoot, "SUB", false), EEXIST);
    EXPECT_EQ(view->remove(MountTree::kRoot, "sub", true), ENOTEMPTY);
    EXPECT_TRUE(view->finish());
    EXPECT_FALSE(std::filesystem::exists(scratch()));
}

// New names go in in the code page the archive's names show (or the one forced), and a name it
// cannot hold is refused when made, not at the commit.
TEST_F(ArchiveMountFixture, NamesAreWrittenInTheArchivesCodePage)
{
    using archive::Encoding;
    const archive::CodePage& gbk = archive::CodePage::of(Encoding::gbk);
    struct Case {
        std::optional<Encoding> forced;
        std::string name;
        int error;
    };
    const Case cases[] = {
        {std::nullopt, "\xE7\xAE\x80\xE4\xBD\x93.txt", 0}, // 简体: GBK, not Big5
        {std::nullopt, "\xED\x95\x9C.txt", EILSEQ},        // 한: no GBK character
        {Encoding::big5, "\xE7\xAE\x80\xE4\xBD\x93.txt", EILSEQ},
    };
    for (const Case& c : cases) {
        testsupport::ArchiveImage image;
        image.add(*gbk.fromUtf8("\xE6\xB8\xB8\xE6\x88\x8F.DAT"), "1"); // 游戏
        image.add(*gbk.fromUtf8("\xE5\x9B\xBE\xE5\x83\x8F.BMP"), "2"); // 图像
        testsupport::writeFile(m_archive, image.bytes());
        auto view = open(false, c.forced);
        EXPECT_EQ(write(*view, c.name, "new"), c.error) << c.name;
        EXPECT_TRUE(view->finish());
        view.reset();
        if (c.error == 0) {
            EXPECT_NE(entries().find(*gbk.fromUtf8(c.name) + "=new"), std::string::npos);
        }
    }
}

} // namespace
