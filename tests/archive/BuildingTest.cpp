#include "archive/commands/Building.h"
#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Extraction.h"
#include "archive/commands/Listing.h"
#include "archive/files/CFile.h"
#include "archive/format/ArchiveReader.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace archive;
using testsupport::ArchiveImage;
using testsupport::makeLink;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const std::string kEarlier = "an earlier archive that must survive";

std::string le32(std::uint32_t v)
{
    std::string out;
    testsupport::putLE32(out, v);
    return out;
}

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(testsupport::hostPath(folder)))
        names.insert(testsupport::utf8Path(entry.path().filename()));
    return names;
}

// Relative path -> bytes of every regular file below folder.
std::map<std::string, std::string> treeOf(const std::string& folder)
{
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(testsupport::hostPath(folder)))
        if (entry.is_regular_file())
            tree[testsupport::utf8Path(fs::relative(entry.path(), testsupport::hostPath(folder)))] =
                readFile(testsupport::utf8Path(entry.path()));
    return tree;
}

void writeTree(const std::string& root, const std::map<std::string, std::string>& files)
{
    fs::create_directories(root);
    for (const auto& [path, bytes] : files)
        writeFile(root + "/" + path, bytes);
}

// The archive a correct build writes for these entries, given in list order.
std::string expectedArchive(const std::vector<std::pair<std::string, std::string>>& entries)
{
    ArchiveImage image;
    for (const auto& [name, bytes] : entries)
        image.add(name, bytes);
    return image.bytes();
}

struct Layout {
    const char* label;
    std::map<std::string, std::string> files;
    std::vector<std::string> emptyFolders;
    std::vector<std::pair<std::string, std::string>> entries; // in the order of the archive
};

// count files of size bytes each, named f00, f01..., each of its own letter, and small files
// around them; both as files and as the entries they give.
Layout manyFiles(const char* label, int count, std::size_t size)
{
    Layout layout{label, {{"0.txt", "first"}, {"z.txt", "last"}}, {}, {{"0.txt", "first"}}};
    for (int i = 0; i < count; ++i) {
        const std::string name = (i < 10 ? "f0" : "f") + std::to_string(i);
        const std::string bytes(size, static_cast<char>('a' + i % 26));
        layout.files[name] = bytes;
        layout.entries.push_back({name, bytes});
    }
    layout.entries.push_back({"z.txt", "last"});
    return layout;
}

class BuildLayout : public testing::TestWithParam<Layout> {};

TEST_P(BuildLayout, WritesTheRecordsAndDataInListOrder)
{
    const Layout& layout = GetParam();
    TempDir tmp;
    const std::string src = tmp / "src";
    writeTree(src, layout.files);
    for (const std::string& folder : layout.emptyFolders)
        fs::create_directories(src + "/" + folder);

    const BuildResult result = buildArchive(src, tmp / "GAME00.DAT");

    const std::string expected = expectedArchive(layout.entries);
    EXPECT_EQ(readFile(tmp / "GAME00.DAT"), expected);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.entries, static_cast<int>(layout.entries.size()));
    EXPECT_EQ(result.bytes, expected.size());
    EXPECT_EQ(namesIn(tmp.str()), (std::set<std::string>{"GAME00.DAT", "src"}));
}

INSTANTIATE_TEST_SUITE_P(
    Trees, BuildLayout,
    testing::Values(Layout{"NoFilesGivesFourBytes", {}, {"empty", "deeper/still/empty"}, {}},
                    Layout{"EmptyFilesShareOneOffset",
                           {{"x.dat", ""}, {"sub/y.dat", ""}, {"z.dat", ""}},
                           {},
                           {{"sub\\y.dat", ""}, {"x.dat", ""}, {"z.dat", ""}}},
                    Layout{"HiddenFilesCount",
                           {{".hidden", "h"}, {"A.txt", "AA"}, {"sub/.cfg", "ccc"}},
                           {},
                           {{".hidden", "h"}, {"A.txt", "AA"}, {"sub\\.cfg", "ccc"}}},
                    Layout{"OrderIgnoresCase",
                           {{"b.dat", "2"}, {"C.dat", "3"}, {"a.DAT", "1"}, {"Sub/x", "4"}},
                           {"sub2"},
                           {{"a.DAT", "1"}, {"b.dat", "2"}, {"C.dat", "3"}, {"Sub\\x", "4"}}},
                    Layout{"ChunkBoundaries",
                           {{"a", std::string(4096, 'a')},
                            {"b", std::string(4097, 'b')},
                            {"c", std::string(3 * 4096 - 1, 'c')}},
                           {},
                           {{"a", std::string(4096, 'a')},
                            {"b", std::string(4097, 'b')},
                            {"c", std::string(3 * 4096 - 1, 'c')}}},
                    // Small files are gathered in memory, large ones copied by the system: the
                    // order must survive the switch both ways.
                    manyFiles("SmallFilesAroundLargeOnes", 3, 70000),
                    manyFiles("SmallFilesPastOneBuffer", 20, 60000),
                    manyFiles("PastTheWriteBackStep", 2, 5 * 1024 * 1024)),
    [](const auto& info) { return std::string(info.param.label); });

TEST(BuildArchive, TheSixtyByteExample)
{
    TempDir tmp;
    writeFile(tmp / "src/a.bmp", "abc");
    writeFile(tmp / "src/sub/b.wav", "12345");

    buildArchive(tmp / "src", tmp / "GAME00.DAT");

    const std::string expected = le32(48) + le32(22) + le32(0) + le32(52) + le32(3) +
                                 std::string("a.bmp\0", 6) + le32(26) + le32(0) + le32(55) +
                                 le32(5) + std::string("sub\\b.wav\0", 10) + "abc12345";
    ASSERT_EQ(expected.size(), 60u);
    EXPECT_EQ(readFile(tmp / "GAME00.DAT"), expected);
}

TEST(BuildArchive, OverwritesAnEarlierArchive)
{
    TempDir tmp;
    writeFile(tmp / "src/a.bmp", "abc");
    writeFile(tmp / "GAME00.DAT", kEarlier);
    buildArchive(tmp / "src", tmp / "GAME00.DAT");
    EXPECT_EQ(readFile(tmp / "GAME00.DAT"), expectedArchive({{"a.bmp", "abc"}}));
}

TEST(AddFolderEntries, RelativeNamesSizesAndNameBytes)
{
    TempDir tmp;
    writeFile(tmp / "src/a.bmp", "abc");
    writeFile(tmp / "src/sub/b.wav", "12345");

    for (const std::string& root : {tmp / "src", tmp / "src/"}) {
        SCOPED_TRACE(root);
        std::vector<BuildEntry> list;
        EXPECT_EQ(AddFolderEntries(list, root, root), 6 + 10);
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].name, "a.bmp");
        EXPECT_EQ(list[0].size, 3u);
        EXPECT_EQ(list[0].hostPath, tmp / "src/a.bmp");
        EXPECT_EQ(list[1].name, "sub\\b.wav");
        EXPECT_EQ(list[1].size, 5u);
        EXPECT_EQ(list[1].hostPath, tmp / "src/sub/b.wav");
    }
}

TEST(AddFolderEntries, TheRootKeepsNamesWholeWithoutALeadingSeparator)
{
    TempDir tmp;
    writeFile(tmp / "src/a.bmp", "abc");

#ifdef _WIN32
    const std::string root = tmp.str().substr(0, 3); // the drive: "C:/"
#else
    const std::string root = "/";
#endif
    std::vector<BuildEntry> list;
    AddFolderEntries(list, tmp / "src", root);
    ASSERT_EQ(list.size(), 1u);
    std::string expected = (tmp / "src/a.bmp").substr(root.size());
    std::replace(expected.begin(), expected.end(), '/', '\\');
    EXPECT_EQ(list[0].name, expected);
}

TEST(BuildArchive, ABig5NameWithABackslashTrailByteRoundTrips)
{
    TempDir tmp;
    writeFile(tmp / "src/許/功.bmp", "xy");

    buildArchive(tmp / "src", tmp / "GAME00.DAT");
    // 許 is B3 5C and 功 A5 5C: the 0x5C trail bytes are not separators.
    const std::string name = "\xB3\x5C\\\xA5\x5C.bmp";
    EXPECT_EQ(readFile(tmp / "GAME00.DAT"), expectedArchive({{name, "xy"}}));

    ArchiveReader archive;
    archive.Open(tmp / "GAME00.DAT");
    const Catalogue list(archive);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.name(0), name);
    fs::create_directory(tmp / "out");
    extractEntries(archive, list.positions({0}), tmp / "out");
    EXPECT_EQ(readFile(tmp / "out/許/功.bmp"), "xy");
}

std::vector<std::uint32_t> allPositions(const Catalogue& list)
{
    std::vector<std::uint32_t> rows(list.size());
    std::iota(rows.begin(), rows.end(), 0u);
    return list.positions(rows);
}

TEST(BuildArchive, ANestedTreeRoundTripsAndBuildsAgainIdentically)
{
    TempDir tmp;
    std::map<std::string, std::string> files = {
        {"a.bmp", "abc"},       {"A.BMP", "upper"},
        {".hid", "h"},          {"Sub/b.wav", std::string(9000, 'w')},
        {"sub/b.wav", "lower"}, {"sub2/deep/er/c.dat", std::string(4096, '\x00')},
        {"sub2/empty.txt", ""}, {"許功/遊戲.scr", "big5"},
    };
#ifdef _WIN32
    // Windows folders do not tell names apart by case.
    files.erase("A.BMP");
    files.erase("Sub/b.wav");
#endif
    writeTree(tmp / "src", files);

    buildArchive(tmp / "src", tmp / "first.dat");

    {
        ArchiveReader archive;
        archive.Open(tmp / "first.dat");
        const Catalogue list(archive);
        ASSERT_EQ(list.size(), files.size());
        fs::create_directory(tmp / "out");
        const ExtractResult extracted = extractEntries(archive, allPositions(list), tmp / "out");
        EXPECT_EQ(extracted.entriesWritten, static_cast<int>(files.size()));
    }
    EXPECT_EQ(treeOf(tmp / "out"), files);

    buildArchive(tmp / "out", tmp / "second.dat");
    EXPECT_EQ(readFile(tmp / "second.dat"), readFile(tmp / "first.dat"));
}

// Extraction escapes what does not decode, so nothing is lost; but build writes no name check
// calls an error, so the tree it gives is refused, naming the file.
TEST(BuildArchive, NamesThatDoNotDecodeAreRefusedAsCheckRefusesThem)
{
    // 0x81 followed by a byte that is no trail byte, and a lone lead byte at the end.
    for (const std::string& name : {std::string("\x81\x30.dat"), std::string("dir\\x\xFE")}) {
        SCOPED_TRACE(name);
        TempDir tmp;
        writeFile(tmp / "in.dat", expectedArchive({{name, "one"}}));
        {
            ArchiveReader archive;
            archive.Open(tmp / "in.dat");
            const Catalogue list(archive);
            fs::create_directory(tmp / "out");
            extractEntries(archive, allPositions(list), tmp / "out");
        }
        try {
            buildArchive(tmp / "out", tmp / "again.dat");
            ADD_FAILURE() << "no error";
        } catch (const NameError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::nameNotStorable);
            EXPECT_EQ(e.subject().rfind(tmp / "out/", 0), 0u) << e.subject();
            EXPECT_NE(e.reason().find("not valid code page 950"), std::string::npos) << e.reason();
        }
        EXPECT_FALSE(fs::exists(testsupport::hostPath(tmp / "again.dat")));
    }
}

struct LinkCase {
    const char* label;
    // Makes links below tmp/src, beside src/real.txt ("r") and outside/target.txt ("xyz").
    // false where the system makes no links
    std::function<bool(const TempDir& tmp)> make;
    std::vector<std::pair<std::string, std::string>> entries; // in the order of the archive
    std::vector<std::string> skipped;                         // below src, in the order met
};

class BuildWithLinks : public testing::TestWithParam<LinkCase> {};

TEST_P(BuildWithLinks, PacksOnlyLinksToFilesInsideAndNamesTheOthers)
{
    TempDir tmp;
    writeFile(tmp / "outside/target.txt", "xyz");
    writeFile(tmp / "outside/in-linked-folder.txt", "never");
    writeFile(tmp / "src/real.txt", "r");
    if (!GetParam().make(tmp))
        GTEST_SKIP() << "this system makes no symbolic links";
    std::vector<std::string> skipped;
    for (const std::string& link : GetParam().skipped)
        skipped.push_back(tmp / ("src/" + link));

    const BuildResult result = buildArchive(tmp / "src", tmp / "GAME00.DAT");
    EXPECT_EQ(result.entries, static_cast<int>(GetParam().entries.size()));
    EXPECT_EQ(readFile(tmp / "GAME00.DAT"), expectedArchive(GetParam().entries));
    EXPECT_EQ(result.skippedLinks, skipped);

    std::vector<BuildEntry> list;
    std::vector<std::string> listed;
    AddFolderEntries(list, tmp / "src", tmp / "src", listed);
    EXPECT_EQ(listed, skipped);
    ASSERT_EQ(list.size(), GetParam().entries.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].name, GetParam().entries[i].first);
        // Where the bytes are read from holds no link: they cannot come from elsewhere.
        EXPECT_EQ(testsupport::utf8Path(fs::canonical(testsupport::hostPath(list[i].hostPath))),
                  list[i].hostPath);
        EXPECT_EQ(readFile(list[i].hostPath), GetParam().entries[i].second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, BuildWithLinks,
    testing::Values(LinkCase{"ToAFileOutsideIsSkipped",
                             [](const TempDir& t) {
                                 return makeLink(t / "outside/target.txt", t / "src/link.txt");
                             },
                             {{"real.txt", "r"}},
                             {"link.txt"}},
                    LinkCase{"ToAFileInsideIsPackedUnderItsOwnName",
                             [](const TempDir& t) {
                                 writeFile(t / "src/sub/inner.txt", "in");
                                 return makeLink(t / "src/sub/inner.txt", t / "src/link.txt");
                             },
                             {{"link.txt", "in"}, {"real.txt", "r"}, {"sub\\inner.txt", "in"}},
                             {}},
                    LinkCase{"RelativeToAFileInsideIsPacked",
                             [](const TempDir& t) {
                                 fs::create_directory(testsupport::hostPath(t / "src/sub"));
                                 return makeLink("../real.txt", t / "src/sub/up.txt");
                             },
                             {{"real.txt", "r"}, {"sub\\up.txt", "r"}},
                             {}},
                    LinkCase{"ThroughALinkInsideToAFileOutsideIsSkipped",
                             [](const TempDir& t) {
                                 return makeLink(t / "outside/target.txt", t / "src/hop") &&
                                        makeLink("hop", t / "src/chain.txt");
                             },
                             {{"real.txt", "r"}},
                             {"chain.txt", "hop"}},
                    LinkCase{"ToFoldersAreNotFollowed",
                             [](const TempDir& t) {
                                 return makeLink(t / "outside", t / "src/linked-folder") &&
                                        makeLink(t / "src", t / "src/loop");
                             },
                             {{"real.txt", "r"}},
                             {"linked-folder", "loop"}},
                    LinkCase{"ToNothingOrAFifoAreSkipped",
                             [](const TempDir& t) {
#ifdef _WIN32
                                 (void)t;
                                 return false; // POSIX: a FIFO
#else
                                 fs::create_symlink(t / "missing", t / "src/dangling");
                                 EXPECT_EQ(mkfifo((t / "src/fifo").c_str(), 0600), 0);
                                 fs::create_symlink("fifo", t / "src/to-fifo");
                                 return true;
#endif
                             },
                             {{"real.txt", "r"}},
                             {"dangling", "to-fifo"}}),
    [](const auto& info) { return std::string(info.param.label); });

struct FolderSwap {
    const char* label;
    int folders; // past what the build holds open, a folder is opened again when read
};

class FolderSwappedForALink : public testing::TestWithParam<FolderSwap> {};

TEST_P(FolderSwappedForALink, DuringTheBuildNeverPacksBytesFromOutside)
{
    TempDir tmp;
    writeFile(tmp / "outside/x.bin", "OUTSIDE");
    writeFile(tmp / "src/a.bin", "first");
    char name[16];
    for (int i = 0; i < GetParam().folders; ++i) {
        std::snprintf(name, sizeof name, "d%03d", i);
        writeFile(tmp / ("src/" + std::string(name) + "/x.bin"), "INSIDE!");
    }

    // Swapped at the first report, once everything is listed and before a byte is read.
    bool swapped = false;
    bool isLinked = false;
    std::string outcome = "built";
    try {
        buildArchive(tmp / "src", tmp / "GAME00.DAT", [&](const Progress&) {
            if (!swapped) {
                swapped = true;
                // Windows refuses to rename a folder the build holds open.
                std::error_code error;
                fs::rename(testsupport::hostPath(tmp / "src/d000"),
                           testsupport::hostPath(tmp / "moved"), error);
                isLinked = !error && makeLink(tmp / "outside", tmp / "src/d000");
            }
            return true;
        });
    } catch (const FileError& e) {
        outcome = e.subject();
    }
    ASSERT_TRUE(swapped);
    if (!isLinked)
        GTEST_SKIP() << "this system cannot put a link in place of a held folder";
    if (outcome == "built") {
        EXPECT_EQ(readFile(tmp / "GAME00.DAT").find("OUTSIDE"), std::string::npos);
    } else {
        EXPECT_EQ(outcome, tmp / "src/d000");
        EXPECT_FALSE(fs::exists(tmp / "GAME00.DAT"));
    }
}

INSTANTIATE_TEST_SUITE_P(Swaps, FolderSwappedForALink,
                         testing::Values(FolderSwap{"WhileHeldOpen", 3},
                                         FolderSwap{"WhenOpenedAgain", 100}),
                         [](const auto& info) { return std::string(info.param.label); });

// POSIX: FIFOs and sockets in the tree.
#ifndef _WIN32
TEST(BuildArchive, SkipsFifosAndSocketsWithoutHanging)
{
    TempDir tmp;
    writeFile(tmp / "src/a.txt", "a");
    writeFile(tmp / "src/sub/b.txt", "b");
    ASSERT_EQ(mkfifo((tmp / "src/fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((tmp / "src/sub/pipe.wav").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tmp / "src/socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    // In a child, so a build that opens the FIFO fails the test instead of hanging it.
    const testsupport::ChildResult child = testsupport::runInChild({}, [&] {
        alarm(20);
        return std::to_string(buildArchive(tmp / "src", tmp / "GAME00.DAT").entries);
    });
    close(sock);
    EXPECT_EQ(child.exitCode, 0) << child.text;
    EXPECT_EQ(child.text, "2");
    EXPECT_EQ(readFile(tmp / "GAME00.DAT"), expectedArchive({{"a.txt", "a"}, {"sub\\b.txt", "b"}}));
}
#endif

// Every failed build below must leave the earlier archive as it was and nothing else beside it.
void expectEarlierArchiveKept(const TempDir& tmp)
{
    EXPECT_EQ(readFile(tmp / "dest/GAME00.DAT"), kEarlier);
    EXPECT_EQ(namesIn(tmp / "dest"), (std::set<std::string>{"GAME00.DAT"}));
}

TEST(BuildArchive, NamesThatCannotBeEntryNamesAreRefusedBeforeWriting)
{
    const std::vector<std::string> badNames = {
        "smile\xF0\x9F\x98\x80.txt", // no code page 950 character for it
#ifndef _WIN32
        // Windows names are UTF-16 and '\\' separates there.
        "back\\slash.txt",     // would become a separator
        "bad\xFF\xFEutf8.bin", // not UTF-8 at all
#endif
    };
    for (const std::string& bad : badNames) {
        SCOPED_TRACE(bad);
        TempDir tmp;
        writeFile(tmp / "dest/GAME00.DAT", kEarlier);
        writeFile(tmp / "src/good.txt", "fine");
        writeFile(tmp / ("src/sub/" + bad), "x");

        try {
            buildArchive(tmp / "src", tmp / "dest/GAME00.DAT");
            ADD_FAILURE() << "built an archive holding an impossible name";
        } catch (const NameError& e) {
            EXPECT_EQ(e.subject(), tmp / ("src/sub/" + bad));
            EXPECT_FALSE(e.reason().empty());
        }
        expectEarlierArchiveKept(tmp);
    }
}

TEST(BuildArchive, AFileOfTwoGibibytesIsRefusedBeforeWriting)
{
    TempDir tmp;
    writeFile(tmp / "dest/GAME00.DAT", kEarlier);
    writeFile(tmp / "src/small.txt", "s");
    // Sparse: costs no disk space.
    writeFile(tmp / "src/huge.bin", "");
    fs::resize_file(tmp / "src/huge.bin", 0x80000000ull);
    try {
        buildArchive(tmp / "src", tmp / "dest/GAME00.DAT");
        ADD_FAILURE() << "built an entry of 2 GiB";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.subject(), tmp / "src/huge.bin");
    }
    expectEarlierArchiveKept(tmp);
}

TEST(BuildArchive, CancelKeepsTheEarlierArchive)
{
    for (int stopAfter : {0, 1, 3}) {
        SCOPED_TRACE(stopAfter);
        TempDir tmp;
        writeFile(tmp / "dest/GAME00.DAT", kEarlier);
        writeFile(tmp / "src/a.bin", std::string(10000, 'a'));
        writeFile(tmp / "src/b.bin", "b");

        int calls = 0;
        Progress last;
        const BuildResult result =
            buildArchive(tmp / "src", tmp / "dest/GAME00.DAT", [&](const Progress& p) {
                last = p;
                return calls++ < stopAfter;
            });
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(calls, stopAfter + 1);
        EXPECT_EQ(last.entriesTotal, 2);
        EXPECT_EQ(last.bytesTotal, 10001u);
        expectEarlierArchiveKept(tmp);
    }
}

TEST(BuildArchive, ProgressCountsEveryByteAndEntry)
{
    TempDir tmp;
    writeFile(tmp / "src/a.bin", std::string(10000, 'a'));
    writeFile(tmp / "src/empty", "");
    std::vector<Progress> seen;
    buildArchive(tmp / "src", tmp / "GAME00.DAT", [&](const Progress& p) {
        seen.push_back(p);
        return true;
    });
    ASSERT_FALSE(seen.empty());
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].bytesDone, seen[i - 1].bytesDone);
        EXPECT_GE(seen[i].entriesDone, seen[i - 1].entriesDone);
    }
    EXPECT_EQ(seen.back().bytesDone, 10000u);
    EXPECT_EQ(seen.back().entriesDone, 2);
}

// POSIX: a source changed from a forked child while the build holds it open (Windows refuses that).
#ifndef _WIN32
struct SourceChange {
    const char* label;
    const char* victim; // changed at the first progress report, while a.bin is being copied
    std::function<void(const std::string& path)> change;
    const char* reason; // empty: the system's text
};

class SourceChangedDuringBuild : public testing::TestWithParam<SourceChange> {};

TEST_P(SourceChangedDuringBuild, IsRefusedAndKeepsTheEarlierArchive)
{
    TempDir tmp;
    writeFile(tmp / "dest/GAME00.DAT", kEarlier);
    writeFile(tmp / "src/a.bin", std::string(5000, 'a'));
    writeFile(tmp / "src/b.bin", std::string(5000, 'b'));
    const std::string victim = tmp / ("src/" + std::string(GetParam().victim));

    const testsupport::ChildResult child = testsupport::runInChild({}, [&] {
        alarm(20);
        bool changed = false;
        try {
            buildArchive(tmp / "src", tmp / "dest/GAME00.DAT", [&](const Progress&) {
                if (!changed)
                    GetParam().change(victim);
                changed = true;
                return true;
            });
        } catch (const FileError& e) {
            return e.subject() + ": " + e.reason();
        }
        return std::string("built");
    });
    EXPECT_EQ(child.exitCode, 0) << child.text;
    ASSERT_EQ(child.text.rfind(victim + ": ", 0), 0u) << child.text;
    if (*GetParam().reason) {
        EXPECT_EQ(child.text, victim + ": " + GetParam().reason);
    }
    expectEarlierArchiveKept(tmp);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SourceChangedDuringBuild,
    testing::Values(
        SourceChange{"Removed", "b.bin", [](const std::string& p) { fs::remove(p); }, ""},
        SourceChange{"Grew", "b.bin", [](const std::string& p) { fs::resize_file(p, 6000); },
                     "changed size while the archive was being built"},
        SourceChange{"Shrank", "b.bin", [](const std::string& p) { fs::resize_file(p, 10); },
                     "changed size while the archive was being built"},
        SourceChange{"ShrankWhileCopied", "a.bin",
                     [](const std::string& p) { fs::resize_file(p, 4100); },
                     "changed size while the archive was being built"},
        SourceChange{"ReplacedByAFifo", "b.bin",
                     [](const std::string& p) {
                         fs::remove(p);
                         mkfifo(p.c_str(), 0600);
                     },
                     ""}),
    [](const auto& info) { return std::string(info.param.label); });
#endif

// POSIX: a file-size limit in a forked child.
#ifndef _WIN32
TEST(BuildArchive, AWriteErrorKeepsTheEarlierArchive)
{
    TempDir tmp;
    writeFile(tmp / "dest/GAME00.DAT", kEarlier);
    writeFile(tmp / "src/big.bin", std::string(64 * 1024, 'x'));

    const testsupport::ChildResult child = testsupport::runInChild({16 * 1024, false}, [&] {
        try {
            buildArchive(tmp / "src", tmp / "dest/GAME00.DAT");
        } catch (const FileError& e) {
            return e.subject();
        }
        return std::string("built past the file size limit");
    });
    EXPECT_EQ(child.exitCode, 0) << child.text;
    EXPECT_EQ(child.text, tmp / "dest/GAME00.DAT");
    expectEarlierArchiveKept(tmp);
}
#endif

// POSIX: permissions as an unprivileged user.
#ifndef _WIN32
TEST(BuildArchive, UnreadableSourcesKeepTheEarlierArchive)
{
    if (!testsupport::canTestPermissions())
        GTEST_SKIP() << "cannot run a child as an unprivileged user here";
    for (const std::string& locked : {std::string("src/sub/secret.txt"), std::string("src/sub")}) {
        SCOPED_TRACE(locked);
        TempDir tmp;
        writeFile(tmp / "dest/GAME00.DAT", kEarlier);
        writeFile(tmp / "src/open.txt", "o");
        writeFile(tmp / "src/sub/secret.txt", "s");
        for (const std::string& p : {tmp.str(), tmp / "dest", tmp / "src"})
            fs::permissions(p, fs::perms::all);
        fs::permissions(tmp / "dest/GAME00.DAT", fs::perms::all);
        fs::permissions(tmp / "src/sub", fs::perms::all);
        fs::permissions(tmp / locked, fs::perms::none);

        const testsupport::ChildResult child = testsupport::runInChild({-1, true}, [&] {
            try {
                buildArchive(tmp / "src", tmp / "dest/GAME00.DAT");
            } catch (const FileError& e) {
                return e.subject();
            }
            return std::string("built");
        });
        EXPECT_EQ(child.exitCode, 0) << child.text;
        EXPECT_EQ(child.text, tmp / locked);
        expectEarlierArchiveKept(tmp);
    }
}
#endif

TEST(BuildArchive, RefusesMissingSourcesAndArchivesInsideTheSource)
{
    TempDir tmp;
    writeFile(tmp / "src/GAME00.DAT", kEarlier);
    writeFile(tmp / "file.txt", "not a folder");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {tmp / "missing", tmp / "GAME00.DAT"},
        {tmp / "file.txt", tmp / "GAME00.DAT"},
        {tmp / "src", tmp / "src/GAME00.DAT"},
    };
    for (const auto& [source, archivePath] : cases) {
        SCOPED_TRACE(source + " -> " + archivePath);
        EXPECT_THROW(buildArchive(source, archivePath), FileError);
    }
    EXPECT_EQ(readFile(tmp / "src/GAME00.DAT"), kEarlier);
    EXPECT_EQ(namesIn(tmp.str()), (std::set<std::string>{"file.txt", "src"}));
}

TEST(IsArchiveInsideFolder, ComparesCanonicalFoldersComponentByComponent)
{
    TempDir tmp;
    fs::create_directories(tmp / "data/game/sub");
    fs::create_directories(tmp / "data/game2");
    VELMORA_MAKE_LINK(tmp / "data/game", tmp / "data/link");
    VELMORA_MAKE_LINK(tmp / "data/game/sub", tmp / "elsewhere");

    struct Case {
        std::string archive;
        std::string source;
        bool inside;
    };
    const std::string game = tmp / "data/game";
    const std::vector<Case> cases = {
        {tmp / "data/game2/x.dat", game, false},
        {tmp / "data/game/x.dat", game, true},
        {tmp / "data/game/sub/x.dat", game, true},
        {tmp / "data/x.dat", game, false},
        {tmp / "data/game/../game/x.dat", game, true},
        {tmp / "data/game/sub/../../game2/x.dat", game, false},
        {tmp / "data/link/x.dat", game, true},
        {tmp / "elsewhere/x.dat", game, true},
        {tmp / "data/game/x.dat", tmp / "data/link", true},
        {tmp / "data/game/x.dat", game + "/", true},
        {tmp / "data/game/not-yet/x.dat", game, true},
        {tmp / "data/game/sub/x.dat", tmp / "data/game/sub", true},
        {tmp / "data/game/x.dat", tmp / "data/game/sub", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isArchiveInsideFolder(c.archive, c.source), c.inside)
            << c.archive << " in " << c.source;
}

} // namespace
