#include "archive/ArchiveError.h"
#include "archive/files/CFile.h"
#include "archive/files/CFileFind.h"
#include "archive/files/CFolder.h"
#include "archive/files/FileSystem.h"
#include "archive/files/FolderCache.h"
#include "archive/files/OutputFile.h"
#include "archive/files/PrivateFolder.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace archive;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string reasonOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ArchiveError& e) {
        return e.reason();
    }
    return "(no error)";
}

TEST(CFileTest, SecondOpenOfAHeldFileFailsWhateverTheSpelling)
{
    TempDir dir;
    writeFile(dir / "GAME00.DAT", "abcd");
    fs::create_hard_link(dir / "GAME00.DAT", dir / "link.dat");
    fs::create_directory(dir / "sub");
    CFile held;
    held.Open(dir / "GAME00.DAT", CFile::modeRead);

    const std::string spellings[] = {dir / "GAME00.DAT", dir.str() + "//GAME00.DAT",
                                     dir / "sub/../GAME00.DAT", dir / "link.dat"};
    for (const std::string& path : spellings) {
        for (unsigned mode :
             {unsigned(CFile::modeRead), unsigned(CFile::modeCreate | CFile::modeWrite)}) {
            CFile second;
            EXPECT_THROW(second.Open(path, mode), FileError) << path;
        }
    }
    // Refusing the create-and-write open must not have truncated it.
    EXPECT_EQ(readFile(dir / "GAME00.DAT"), "abcd");
    // Shared readings share only with each other.
    const unsigned shared = CFile::modeRead | CFile::modeShareRead;
    CFile refused;
    EXPECT_THROW(refused.Open(dir / "link.dat", shared), FileError);
    held.Close();
    CFile first;
    CFile second;
    first.Open(dir / "GAME00.DAT", shared);
    EXPECT_NO_THROW(second.Open(dir / "link.dat", shared));
    EXPECT_THROW(refused.Open(dir / "GAME00.DAT", CFile::modeRead), FileError);
    first.Close();
    EXPECT_THROW(refused.Open(dir / "GAME00.DAT", CFile::modeRead), FileError);
    second.Close();
    CFile again;
    EXPECT_NO_THROW(again.Open(dir / "link.dat", CFile::modeRead));
}

// Only its owner may enter it, and letting it go removes it with what it holds, a moved one
// only once.
TEST(PrivateFolderTest, IsTheOwnersAloneAndGoesWithWhatItHolds)
{
    TempDir dir;
    std::string child;
    {
        PrivateFolder moved = PrivateFolder::make(dir.str(), "x-");
        const PrivateFolder folder = std::move(moved);
        EXPECT_FALSE(moved.isMade());
        child = folder.makeChild();
        writeFile(child + "/deep/file", "bytes");
#ifndef _WIN32 // Windows shows no mode bits: there an access list keeps the folder private.
        struct stat st {};
        ASSERT_EQ(::stat(folder.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ASSERT_EQ(::stat(child.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
    }
    EXPECT_FALSE(fs::exists(child));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CFileTest, ReadComesBackShortOnlyAtTheEnd)
{
    TempDir dir;
    writeFile(dir / "f", "0123456789");
    CFile file;
    file.Open(dir / "f", CFile::modeRead);
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.GetFileName(), "f");
    char buffer[16] = {};
    file.Seek(4);
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "4567");
    EXPECT_EQ(file.Read(buffer, 16), 2u);
    file.Seek(100);
    EXPECT_EQ(file.Read(buffer, 16), 0u);
}

TEST(CFileTest, CreateTruncatesAndWritesEveryByte)
{
    TempDir dir;
    writeFile(dir / "out", "old content that is long");
    {
        CFile file;
        file.Open(dir / "out", CFile::modeCreate | CFile::modeWrite);
        const std::string big(1 << 20, 'x');
        file.Write(big.data(), big.size());
        file.Write("end", 3);
    }
    const std::string content = readFile(dir / "out");
    EXPECT_EQ(content.size(), (1u << 20) + 3);
    EXPECT_EQ(content.substr(content.size() - 4), "xend");
}

TEST(CFileTest, MisuseRaisesAndCloseTwiceIsHarmless)
{
    TempDir dir;
    writeFile(dir / "f", "data");
    CFile reader;
    reader.Open(dir / "f", CFile::modeRead);
    EXPECT_THROW(reader.Write("x", 1), FileError);
    reader.Close();
    reader.Close();
    char c;
    EXPECT_THROW(reader.Seek(0), FileError);
    EXPECT_THROW(reader.Read(&c, 1), FileError);
    EXPECT_THROW(reader.GetLength(), FileError);

    CFile writer;
    writer.Open(dir / "g", CFile::modeCreate | CFile::modeWrite);
    EXPECT_THROW(writer.Read(&c, 1), FileError);

    CFile missing;
    EXPECT_THROW(missing.Open(dir / "none", CFile::modeRead), FileError);
    EXPECT_FALSE(missing.isOpen());
}

TEST(CFileTest, RefusesWhatIsNotARegularFile)
{
    TempDir dir;
    std::vector<const char*> names = {"folder"};
    fs::create_directory(dir / "folder");
#ifndef _WIN32
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    names.push_back("fifo");
#endif
    for (const char* name : names) {
        CFile file;
        EXPECT_EQ(reasonOf([&] { file.Open(dir / name, CFile::modeRead); }),
                  "is not a regular file")
            << name;
    }
}

TEST(CFileTest, FolderRelativeOpenDoesNotFollowALink)
{
    TempDir dir;
    writeFile(dir / "real", "r");
    VELMORA_MAKE_LINK(dir / "real", dir / "link");
    CFolder folder = CFolder::open(dir.str());
    CFile file;
    EXPECT_EQ(reasonOf([&] { file.Open(folder, "link", CFile::modeRead); }),
              "is a symbolic link, not followed");
    file.Open(folder, "real", CFile::modeRead);
    EXPECT_EQ(file.GetFilePath(), dir / "real");
}

// File size limits and users to drop to are POSIX's.
#ifndef _WIN32
TEST(CFileTest, WriteFailureReportsTheSystemReason)
{
    TempDir dir;
    const std::string path = dir / "big";
    const testsupport::ChildResult result = testsupport::runInChild({1000, false}, [&] {
        CFile file;
        file.Open(path, CFile::modeCreate | CFile::modeWrite);
        const std::string data(4096, 'z');
        file.Write(data.data(), data.size());
        return std::string("written");
    });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.text, path + ": File too large");
}

TEST(CFileTest, PermissionDeniedNamesThePath)
{
    if (!testsupport::canTestPermissions())
        GTEST_SKIP() << "cannot drop to an unprivileged user here";
    TempDir dir;
    writeFile(dir / "secret", "s");
    fs::permissions(dir / "secret", fs::perms::owner_write);
    const std::string path = dir / "secret";
    const testsupport::ChildResult result = testsupport::runInChild({-1, true}, [&] {
        CFile file;
        file.Open(path, CFile::modeRead);
        return std::string("opened");
    });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.text, path + ": Permission denied");
}
#endif

TEST(CFolderTest, ChildRefusesLinksAndFilesInTheWay)
{
    TempDir dir;
    fs::create_directory(dir / "elsewhere");
    const bool hasLinks = testsupport::makeLink(dir / "elsewhere", dir / "link");
    writeFile(dir / "file", "f");
    CFolder root = CFolder::open(dir.str());

    struct Case {
        std::string name;
        std::string reason;
    };
    std::vector<Case> cases = {{"file", "a file is in the way"},
                               {"..", "is not a single folder name"},
                               {"a/b", "is not a single folder name"}};
    if (hasLinks)
        cases.push_back({"link", "is a symbolic link, not followed"});
#ifdef _WIN32
    // Windows separates with '\' too, and ':' opens a drive or a data stream.
    cases.push_back({"a\\b", "is not a single folder name"});
    cases.push_back({"c:", "is not a single folder name"});
#endif
    for (const Case& c : cases)
        EXPECT_EQ(reasonOf([&] { root.child(c.name, true); }), c.reason) << c.name;

    EXPECT_THROW(root.child("missing", false), FileError);
    CFolder made = root.child("made", true);
    EXPECT_TRUE(fs::is_directory(dir / "made"));
    EXPECT_EQ(made.path(), dir / "made");
    EXPECT_EQ(reasonOf([&] { CFolder::open(dir / "file"); }), "is not a folder");
}

// POSIX: a folder renamed while Windows may still hold it.
#ifndef _WIN32
TEST(FolderCacheTest, AFolderLetGoIsOpenedAgainOnlyWhileItIsTheSameFolder)
{
    const struct {
        FolderCache::Use use;
        ErrorKind kind;
    } cases[] = {{FolderCache::Use::read, ErrorKind::changedWhileBuilding},
                 {FolderCache::Use::write, ErrorKind::changedMeanwhile}};
    for (const auto& c : cases) {
        TempDir dir;
        fs::create_directories(dir / "a/x");
        fs::create_directory(dir / "b");
        FolderCache folders(dir.str(), c.use, 1);
        const std::uint32_t x = folders.child(folders.child(FolderCache::kTop, "a"), "x");
        const std::uint32_t b = folders.child(FolderCache::kTop, "b");
        EXPECT_EQ(folders.open(x).path(), dir / "a/x");
        folders.open(b); // lets a and x go
        EXPECT_EQ(folders.open(x).path(), dir / "a/x");
        folders.open(b);
        fs::rename(dir / "a", dir / "moved");
        fs::create_directories(dir / "a/x");
        try {
            folders.open(x);
            ADD_FAILURE() << "a replaced folder was opened again";
        } catch (const FileError& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_EQ(e.subject(), dir / "a");
        }
    }
}
#endif

TEST(CFolderTest, ItemsLinkedFilesAndReadsNeverGoThroughALink)
{
    TempDir dir;
    writeFile(dir / "in/a.bmp", "12345");
    writeFile(dir / "in/empty", "");
    writeFile(dir / "outside.txt", "far");
    fs::create_directory(testsupport::hostPath(dir / "in/sub"));

    struct Case {
        std::string name;
        FolderItem::Kind kind;
        std::uint64_t size;
        std::string linked; // where a link leads when that is a regular file; "-" when not
        std::string read;   // what readFile gives, or the reason it refuses
    };
    const std::string linkRefused = "is a symbolic link, not followed";
    // Windows words the refusal to read a folder in its own way.
#ifdef _WIN32
    const std::string folderReason;
#else
    const std::string folderReason = "Is a directory";
#endif
    const std::string folderRefused = "refused";
    const std::string canonicalOutside =
        filesystem::canonicalPath(dir / "outside.txt").value_or("?");
    std::vector<Case> cases = {
        {"a.bmp", FolderItem::Kind::file, 5, "-", "12345"},
        {"empty", FolderItem::Kind::file, 0, "-", ""},
        {"sub", FolderItem::Kind::folder, 0, "-", folderRefused},
    };
    if (testsupport::makeLink(dir / "outside.txt", dir / "in/to-file") &&
        testsupport::makeLink(dir / "in/sub", dir / "in/to-folder")) {
        cases.push_back({"to-file", FolderItem::Kind::link, 0, canonicalOutside, linkRefused});
        cases.push_back({"to-folder", FolderItem::Kind::link, 0, "-", linkRefused});
    }
#ifndef _WIN32
    // POSIX: a link to nothing and a FIFO, which a read must not wait on.
    fs::create_symlink("missing", dir / "in/dangling");
    ASSERT_EQ(mkfifo((dir / "in/fifo").c_str(), 0600), 0);
    fs::create_symlink("fifo", dir / "in/to-fifo");
    cases.push_back({"fifo", FolderItem::Kind::other, 0, "-", ""}); // no writer: nothing, no wait
    cases.push_back({"dangling", FolderItem::Kind::link, 0, "-", linkRefused});
    cases.push_back({"to-fifo", FolderItem::Kind::link, 0, "-", linkRefused});
#endif
    CFolder folder = CFolder::open(dir / "in");
    folder.setPath(dir / "in");

    std::map<std::string, FolderItem> items;
    for (FolderItem& item : folder.items())
        items[item.name] = item;
    EXPECT_EQ(items.size(), cases.size());
    EXPECT_EQ(std::optional(items["a.bmp"].id), filesystem::identity(dir / "in/a.bmp"));
    // Listed again through the same handle, the folder shows the same objects.
    EXPECT_EQ(folder.items().size(), cases.size());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(items.count(c.name), 1u);
        EXPECT_EQ(items[c.name].kind, c.kind);
        EXPECT_EQ(items[c.name].size, c.size);
        const std::optional<LinkedFile> linked = folder.linkedFile(c.name);
        if (c.kind == FolderItem::Kind::link) {
            EXPECT_EQ(linked ? linked->path : "-", c.linked);
            if (linked) {
                EXPECT_EQ(linked->size, 3u);
            }
        }
        const auto read = [&] {
            char buffer[16];
            try {
                return std::string(buffer, folder.readFile(c.name, buffer, sizeof buffer));
            } catch (const FileError& e) {
                if (c.read == folderRefused && e.subject() == dir / ("in/" + c.name) &&
                    (folderReason.empty() || e.reason() == folderReason))
                    return folderRefused;
                return e.subject() + ": " + e.reason();
            }
        };
#ifdef _WIN32
        const std::string text = read();
#else
        const testsupport::ChildResult child = testsupport::runInChild({}, [&] {
            alarm(20);
            return read();
        });
        EXPECT_EQ(child.exitCode, 0) << child.text;
        const std::string text = child.text;
#endif
        if (c.read == linkRefused)
            EXPECT_EQ(text, dir / ("in/" + c.name) + ": " + c.read);
        else
            EXPECT_EQ(text, c.read);
    }
    // Asked for less than the file holds, it gives that much: a file that grew shows by filling
    // what was asked for.
    char two[2];
    EXPECT_EQ(folder.readFile("a.bmp", two, sizeof two), 2u);
    EXPECT_EQ(std::string(two, 2), "12");
}

TEST(OutputFileTest, DiscardKeepsTheOldFileAndCommitReplacesIt)
{
    TempDir dir;
    writeFile(dir / "out.dat", "old");
    CFolder folder = CFolder::open(dir.str());
    {
        OutputFile out(folder, "out.dat");
        out.Write("new", 3);
    }
    EXPECT_EQ(readFile(dir / "out.dat"), "old");
    {
        OutputFile out(folder, "out.dat");
        out.Write("newer", 5);
        out.Commit();
    }
    EXPECT_EQ(readFile(dir / "out.dat"), "newer");
    // No temporary file is left behind either way.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(OutputFileTest, RefusesTheHeldArchiveAndAFolder)
{
    TempDir dir;
    writeFile(dir / "GAME00.DAT", "archive");
    fs::create_directory(dir / "folder");
    CFile archive;
    archive.Open(dir / "GAME00.DAT", CFile::modeRead);
    CFolder folder = CFolder::open(dir.str());
    EXPECT_EQ(reasonOf([&] { OutputFile out(folder, "GAME00.DAT"); }),
              "is open in this program and cannot be replaced");
    EXPECT_EQ(reasonOf([&] { OutputFile out(folder, "folder"); }), "is a folder");
    EXPECT_EQ(readFile(dir / "GAME00.DAT"), "archive");
}

TEST(OutputFileTest, ReplacesALinkInsteadOfWritingThroughIt)
{
    TempDir dir;
    writeFile(dir / "target", "keep");
    VELMORA_MAKE_LINK(dir / "target", dir / "out");
    CFolder folder = CFolder::open(dir.str());
    OutputFile out(folder, "out");
    out.Write("fresh", 5);
    out.Commit();
    EXPECT_FALSE(fs::is_symlink(dir / "out"));
    EXPECT_EQ(readFile(dir / "out"), "fresh");
    EXPECT_EQ(readFile(dir / "target"), "keep");
}

std::map<std::string, std::string> listAll(const std::string& pattern)
{
    std::map<std::string, std::string> seen; // path -> kind
    CFileFind find;
    bool more = find.FindFile(pattern);
    while (more) {
        more = find.FindNextFile();
        std::string kind = find.IsDots()                                   ? "dots"
                           : find.MatchesMask(FILE_ATTRIBUTE_DIRECTORY)    ? "folder"
                           : find.isSymbolicLink() && find.isRegularFile() ? "link-file"
                           : find.isSymbolicLink()                         ? "link"
                           : find.isRegularFile() ? "file " + std::to_string(find.GetLength())
                                                  : "other";
        seen[find.GetFilePath()] = kind;
    }
    return seen;
}

TEST(CFileFindTest, ListsAFolderWithTheTableSemantics)
{
    TempDir dir;
    writeFile(dir / "a.bmp", "123");
    fs::create_directory(dir / "sub");
    // Where no link can be made the rest of the listing is still checked.
    const bool hasLinks = testsupport::makeLink(dir / "sub", dir / "linkdir") &&
                          testsupport::makeLink(dir / "a.bmp", dir / "linkfile");
    std::map<std::string, std::string> expected = {{dir / ".", "dots"},
                                                   {dir / "..", "dots"},
                                                   {dir / "a.bmp", "file 3"},
                                                   {dir / "sub", "folder"}};
    if (hasLinks)
        expected.insert({{dir / "linkdir", "link"}, {dir / "linkfile", "link-file"}});
    EXPECT_EQ(listAll(dir / "*.*"), expected);
    EXPECT_EQ(listAll(dir.str() + "/*"), expected);

    CFileFind find;
    ASSERT_TRUE(find.FindFile(dir / (hasLinks ? "linkfile" : "a.bmp")));
    EXPECT_FALSE(find.FindNextFile()); // the one object is also the last
    EXPECT_EQ(find.GetLength(), 3u);
    EXPECT_FALSE(find.FindFile(dir / "missing/*.*"));
    EXPECT_FALSE(find.FindFile(dir / "missing"));
}

// A POSIX root holding /tmp, and a user to drop to.
#ifndef _WIN32
TEST(CFileFindTest, RootWithTrailingSeparatorIsNotDoubled)
{
    CFileFind find;
    bool more = find.FindFile("/*.*");
    ASSERT_TRUE(more);
    bool sawTmp = false;
    while (more) {
        more = find.FindNextFile();
        EXPECT_EQ(find.GetFilePath().rfind("//", 0), std::string::npos);
        sawTmp = sawTmp || find.GetFilePath() == "/tmp";
    }
    EXPECT_TRUE(sawTmp);
}

TEST(CFileFindTest, UnreadableFolderRaises)
{
    if (!testsupport::canTestPermissions())
        GTEST_SKIP() << "cannot drop to an unprivileged user here";
    TempDir dir;
    fs::create_directory(dir / "closed");
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(dir / "closed", fs::perms::none);
    const std::string pattern = dir / "closed/*.*";
    const testsupport::ChildResult result = testsupport::runInChild({-1, true}, [&] {
        CFileFind find;
        return std::string(find.FindFile(pattern) ? "found" : "none");
    });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.text, dir / "closed" + ": Permission denied");
}
#endif

#ifdef _WIN32
// Windows refuses these itself, and opens a device for some: they are refused first, as names
// the file system cannot hold, and nothing is made.
TEST(WindowsNamesTest, NamesWindowsCannotHoldAreRefusedBeforeAnythingIsMade)
{
    TempDir dir;
    const CFolder folder = CFolder::open(dir.str());
    const std::string names[] = {"CON",   "nul.txt", "com1.dat",  "LPT9",    "a<b",
                                 "what?", "dot.",    "trailing ", "ctl\x01", std::string(256, 'n')};
    for (const std::string& name : names) {
        for (const bool isFolder : {false, true}) {
            try {
                if (isFolder)
                    folder.child(name, true);
                else
                    OutputFile out(folder, name);
                ADD_FAILURE() << name << " was accepted";
            } catch (const FileError& e) {
                EXPECT_STREQ(kindName(e.kind()), kindName(ErrorKind::nameRefusedByFileSystem))
                    << name;
                EXPECT_EQ(e.subject(), FileError(e.kind(), dir / name, "").subject());
            }
        }
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// Names equal but for case reach one file there: the identities extraction compares agree.
TEST(WindowsNamesTest, SpellingsDifferingInCaseHaveOneIdentity)
{
    TempDir dir;
    writeFile(dir / "Sub/a.bmp", "a");
    writeFile(dir / "b.bmp", "b");
    const CFolder folder = CFolder::open(dir.str());
    const auto first = filesystem::identity(dir / "sub/A.BMP");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(filesystem::identity(dir / "SUB/a.bmp"), first);
    EXPECT_EQ(folder.fileIdentity("Sub/a.bmp"), first);
    EXPECT_NE(filesystem::identity(dir / "b.bmp"), first);
    EXPECT_EQ(folder.fileIdentity("Sub"), std::nullopt); // a folder is no file
    EXPECT_EQ(folder.fileIdentity("missing"), std::nullopt);
}
#endif

} // namespace
