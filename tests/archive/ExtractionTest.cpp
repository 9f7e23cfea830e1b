#include "archive/commands/Extraction.h"
#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Listing.h"
#include "archive/files/CFile.h"
#include "archive/files/FileCopier.h"
#include "archive/files/OutputFile.h"
#include "archive/files/TestSeams.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#ifndef _WIN32
#include <fcntl.h>
#endif
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace archive;
using testsupport::ArchiveImage;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string pattern(std::size_t size, unsigned seed = 1)
{
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<char>((i * 131 + seed * 17 + i / 251) & 0xFF);
    return out;
}

// Relative path -> bytes of every regular file below folder; folders as "path/".
std::map<std::string, std::string> treeOf(const std::string& folder)
{
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(testsupport::hostPath(folder))) {
        // lexically: relative() would resolve a link to the folder it names.
        const std::string rel =
            testsupport::utf8Path(entry.path().lexically_relative(testsupport::hostPath(folder)));
        if (entry.is_symlink())
            tree[rel] = "->";
        else if (entry.is_directory())
            tree[rel + "/"] = "";
        else
            tree[rel] = readFile(testsupport::utf8Path(entry.path()));
    }
    return tree;
}

// An archive written to a scratch folder, open and listed as the dialog holds it.
struct OpenArchive {
    explicit OpenArchive(const ArchiveImage& image, const std::string& path, bool absolute = false)
        : m_strPath(path), m_strBytes(image.bytes(absolute))
    {
        writeFile(path, m_strBytes);
        reader.Open(path);
        list = std::make_unique<Catalogue>(reader);
    }

    // The record positions of rows of the list, as the dialog passes its selection.
    std::vector<std::uint32_t> rows(std::vector<std::uint32_t> wanted) const
    {
        return list->positions(std::move(wanted));
    }
    std::vector<std::uint32_t> all() const
    {
        std::vector<std::uint32_t> wanted;
        for (std::uint32_t i = 0; i < list->size(); ++i)
            wanted.push_back(i);
        return rows(wanted);
    }
    bool isIntact() const { return readFile(m_strPath) == m_strBytes; }

    std::string m_strPath;
    std::string m_strBytes;
    ArchiveReader reader;
    std::unique_ptr<Catalogue> list;
};

class ExtractionTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(dest()); }
    std::string dest() const { return m_temp / "dest"; }
    std::string archivePath() const { return m_temp / "GAME00.DAT"; }

    TempDir m_temp;
};

TEST_F(ExtractionTest, MultiLevelNamesKeepAnExistingFirstLevel)
{
    ArchiveImage image;
    image.add("a\\b\\c.bmp", "picture");
    image.add("a\\d.wav", "sound");
    image.add("top.dat", "top");
    OpenArchive archive(image, archivePath());
    writeFile(dest() + "/a/keep.txt", "kept");

    const ExtractResult result = extractEntries(archive.reader, archive.all(), dest());

    EXPECT_EQ(result.entriesWritten, 3);
    EXPECT_FALSE(result.cancelled);
    const std::map<std::string, std::string> expected = {
        {"a/", ""},           {"a/b/", ""},           {"a/b/c.bmp", "picture"},
        {"a/d.wav", "sound"}, {"a/keep.txt", "kept"}, {"top.dat", "top"}};
    EXPECT_EQ(treeOf(dest()), expected);
    EXPECT_TRUE(archive.isIntact());
}

TEST_F(ExtractionTest, OnlyTheGivenIndexesAreWrittenAndADestinationWithTrailingSlashWorks)
{
    ArchiveImage image;
    image.add("A.DAT", "a");
    image.add("B.DAT", "b");
    image.add("C.DAT", "c");
    OpenArchive archive(image, archivePath());

    EXPECT_EQ(extractEntries(archive.reader, {}, dest()).entriesWritten, 0);
    EXPECT_TRUE(treeOf(dest()).empty());

    extractEntries(archive.reader, archive.rows({2, 0}), dest() + "/");
    const std::map<std::string, std::string> expected = {{"A.DAT", "a"}, {"C.DAT", "c"}};
    EXPECT_EQ(treeOf(dest()), expected);
}

// bytesDone after each slice shows how the data was cut.
TEST_F(ExtractionTest, DataIsCopiedInSlicesOfAtMostOneSlice)
{
    constexpr std::size_t slice = FileCopier::kSliceBytes;
    const struct {
        std::size_t size;
        std::vector<std::uint64_t> steps;
    } cases[] = {
        {1, {1}},
        {4097, {4097}},
        {slice - 1, {slice - 1}},
        {slice, {slice}},
        {slice + 1, {slice, slice + 1}},
        {2 * slice, {slice, 2 * slice}},
        {2 * slice + 1, {slice, 2 * slice, 2 * slice + 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        TempDir temp;
        ArchiveImage image;
        const std::string content = pattern(c.size, static_cast<unsigned>(c.size));
        image.add("e.bin", content);
        OpenArchive archive(image, temp / "GAME00.DAT");
        std::vector<std::uint64_t> steps;
        extractEntries(archive.reader, archive.rows({0}), temp.str(), [&](const Progress& p) {
            steps.push_back(p.bytesDone);
            return true;
        });
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(readFile(temp / "e.bin"), content);
    }
}

TEST_F(ExtractionTest, SizeZeroGivesAnEmptyFileAndOverwritesAnOldOne)
{
    ArchiveImage image;
    image.add("empty.dat", "");
    image.add("sub\\old.dat", "");
    OpenArchive archive(image, archivePath());
    writeFile(dest() + "/sub/old.dat", "old contents");

    int calls = 0;
    const ExtractResult result =
        extractEntries(archive.reader, archive.all(), dest(), [&](const Progress& p) {
            ++calls;
            EXPECT_EQ(p.entriesDone, calls);
            return true;
        });

    EXPECT_EQ(result.entriesWritten, 2);
    EXPECT_EQ(calls, 2);
    const std::map<std::string, std::string> expected = {
        {"empty.dat", ""}, {"sub/", ""}, {"sub/old.dat", ""}};
    EXPECT_EQ(treeOf(dest()), expected);
}

TEST_F(ExtractionTest, DuplicateNamesLeaveTheHigherIndex)
{
    ArchiveImage image;
    image.add("same.dat", "first");
    image.add("other.dat", "x");
    image.add("same.dat", "second");
    OpenArchive archive(image, archivePath());
    ASSERT_EQ(archive.list->name(1), "same.dat");
    ASSERT_EQ(archive.list->name(2), "same.dat");
    // The list keeps equal names in directory order.
    const std::string higher =
        archive.list->position(2) > archive.list->position(1) ? "second" : "first";

    extractEntries(archive.reader, archive.rows({2, 1}), dest());

    EXPECT_EQ(readFile(dest() + "/same.dat"), higher);
    EXPECT_EQ(higher, "second");
}

TEST_F(ExtractionTest, NamesLeavingTheDestinationAreRefusedWithNothingCreated)
{
    const char* const names[] = {
        "..\\x", "a\\..\\..\\x", "\\abs",   "C:\\x",  "a/../../x", "/abs",
        "a\\..", "..",           "a\\.\\x", "a\\\\x", "c:x",       "a\\b\\..\\..\\..\\x",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        TempDir temp;
        const std::string target = temp / "dest/inner";
        fs::create_directories(target);
        ArchiveImage image;
        image.add(name, "escaped");
        OpenArchive archive(image, temp / "GAME00.DAT");

        try {
            extractEntries(archive.reader, archive.rows({0}), target);
            ADD_FAILURE() << "extracted";
        } catch (const NameError& e) {
            EXPECT_EQ(e.subject(), names::displayName(name));
            EXPECT_FALSE(e.reason().empty());
        }
        const std::map<std::string, std::string> expected = {
            {"GAME00.DAT", archive.m_strBytes}, {"dest/", ""}, {"dest/inner/", ""}};
        EXPECT_EQ(treeOf(temp.str()), expected);
    }
}

TEST_F(ExtractionTest, ARefusedEntryStopsTheRunAndEarlierEntriesStay)
{
    ArchiveImage image;
    image.add("a.dat", "good");
    image.add("b\\..\\..\\x", "bad");
    image.add("c.dat", "never");
    OpenArchive archive(image, archivePath());

    EXPECT_THROW(extractEntries(archive.reader, archive.all(), dest()), NameError);

    const std::map<std::string, std::string> expected = {{"a.dat", "good"}};
    EXPECT_EQ(treeOf(dest()), expected);
}

TEST_F(ExtractionTest, APrefixThatIsAFileIsReportedWithItsPath)
{
    ArchiveImage image;
    image.add("a\\x.dat", "data");
    OpenArchive archive(image, archivePath());
    writeFile(dest() + "/a", "a file");

    try {
        extractEntries(archive.reader, archive.rows({0}), dest());
        ADD_FAILURE() << "extracted";
    } catch (const FileError& e) {
        EXPECT_EQ(fs::path(e.subject()), fs::path(dest()) / "a");
    }
    const std::map<std::string, std::string> expected = {{"a", "a file"}};
    EXPECT_EQ(treeOf(dest()), expected);
}

TEST_F(ExtractionTest, ALinkInsideTheDestinationIsNotFollowed)
{
    const std::string elsewhere = m_temp / "elsewhere";
    fs::create_directory(elsewhere);
    VELMORA_MAKE_LINK(elsewhere, dest() + "/sub");
    VELMORA_MAKE_LINK(elsewhere + "/target.dat", dest() + "/file.dat");
    ArchiveImage image;
    image.add("file.dat", "replaces the link");
    image.add("sub\\x", "through the link");
    OpenArchive archive(image, archivePath());

    EXPECT_THROW(extractEntries(archive.reader, archive.rows({1}), dest()), FileError);
    EXPECT_TRUE(fs::is_empty(elsewhere));

    // A link at the final name is replaced by the file, not written through.
    extractEntries(archive.reader, archive.rows({0}), dest());
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_FALSE(fs::is_symlink(dest() + "/file.dat"));
    EXPECT_EQ(readFile(dest() + "/file.dat"), "replaces the link");
}

// POSIX: permissions as an unprivileged user.
#ifndef _WIN32
TEST_F(ExtractionTest, ADestinationWithoutWritePermissionIsReported)
{
    if (!testsupport::canTestPermissions())
        GTEST_SKIP() << "cannot drop to an unprivileged user here";
    ArchiveImage image;
    image.add("x.dat", "data");
    image.add("sub\\y.dat", "data");
    writeFile(archivePath(), image.bytes());
    // The child must reach the archive and the folder but not write there.
    fs::permissions(m_temp.path(), fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
    fs::permissions(archivePath(),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dest(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);

    for (const int index : {0, 1}) {
        SCOPED_TRACE(index);
        const testsupport::ChildResult result =
            testsupport::runInChild({-1, true}, [&]() -> std::string {
                ArchiveReader reader;
                reader.Open(archivePath());
                const Catalogue list(reader);
                const std::uint32_t wanted = index == 0 ? (list.name(0) == "x.dat" ? 0 : 1)
                                                        : (list.name(0) == "x.dat" ? 1 : 0);
                try {
                    extractEntries(reader, list.positions({wanted}), dest());
                } catch (const FileError& e) {
                    return "FileError|" + e.subject() + "|" + e.reason();
                }
                return "written";
            });
        EXPECT_EQ(result.exitCode, 0) << result.text;
        EXPECT_EQ(result.text.rfind("FileError|" + dest(), 0), 0u) << result.text;
        EXPECT_NE(result.text.find("ermission"), std::string::npos) << result.text;
    }
    EXPECT_TRUE(fs::is_empty(dest()));
}
#endif

TEST_F(ExtractionTest, AnEntryPastTheEndOfTheFileIsReportedAndNotWritten)
{
    // "short.dat" has its 6 bytes at 30..35, the end of the file.
    const struct {
        std::uint32_t offset;
        std::uint32_t size;
        bool isRefused = true; // else an empty file: it has no byte to read
    } cases[] = {{30, 7},
                 {31, 6},
                 {36, 1},
                 {30, 0x7FFFFFFF},
                 {0xFFFFFFF0u, 0x20},
                 {0xFFFFFFFFu, 1},
                 {0x80000000u, 0, false},
                 {37, 0, false},
                 {0xFFFFFFFFu, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << "+" << c.size);
        TempDir temp;
        fs::create_directory(temp / "dest");
        ArchiveImage image;
        image.add("short.dat", "abcdef");
        image.records[0].dataOffset = c.offset;
        image.records[0].dataSize = c.size;
        OpenArchive archive(image, temp / "GAME00.DAT", true);
        ASSERT_EQ(archive.m_strBytes.size(), 36u);
        writeFile(temp / "dest/short.dat", "earlier");

        try {
            extractEntries(archive.reader, archive.rows({0}), temp / "dest");
            EXPECT_FALSE(c.isRefused) << "extracted";
        } catch (const FormatError& e) {
            EXPECT_TRUE(c.isRefused) << e.what();
            EXPECT_NE(std::string(e.what()).find("short.dat"), std::string::npos) << e.what();
        }
        const std::map<std::string, std::string> expected = {
            {"short.dat", c.isRefused ? "earlier" : ""}};
        EXPECT_EQ(treeOf(temp / "dest"), expected);
    }
}

bool isValidUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead >= 0x80 && lead < 0xC0)
            return false;
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

std::string repeated(const std::string& unit, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += unit;
    return out;
}

TEST(ArchiveErrorSubject, ALongSubjectLosesItsMiddleAndStaysText)
{
    const struct {
        const char* label;
        std::string subject;
        bool isShortened;
    } cases[] = {
        {"200 bytes", std::string(200, 'a'), false},
        {"201 bytes", "head" + std::string(193, 'a') + "tail", true},
        {"two-byte characters", "head" + repeated("\u00e9", 150) + "tail", true},
        {"three-byte characters", "head" + repeated("\u4e2d", 21845) + "tail", true},
        {"four-byte characters", "head" + repeated("\U0001F600", 100) + "tail", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const FileError error(ErrorKind::cannotWrite, c.subject, "no space");
        if (!c.isShortened) {
            EXPECT_EQ(error.subject(), c.subject);
            continue;
        }
        EXPECT_LE(error.subject().size(), 200u);
        EXPECT_GE(error.subject().size(), 190u);
        EXPECT_TRUE(isValidUtf8(error.subject())) << error.subject();
        EXPECT_EQ(error.subject().substr(0, 4), "head");
        EXPECT_EQ(error.subject().substr(error.subject().size() - 4), "tail");
        EXPECT_NE(error.subject().find("\u2026"), std::string::npos);
        EXPECT_EQ(std::string(error.what()), error.subject() + ": no space");
    }
}

TEST_F(ExtractionTest, TheOpenArchiveIsNeverOverwritten)
{
    ArchiveImage image;
    image.add("GAME00.DAT", "would replace the archive");
    OpenArchive archive(image, archivePath());
    const std::string link = m_temp / "link";
    // Where no link can be made, the other spellings are still tried.
    const bool hasLink = testsupport::makeLink(m_temp.str(), link);
    std::vector<std::string> folders = {m_temp.str(), m_temp.str() + "/dest/.."};
    if (hasLink)
        folders.push_back(link);

    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        try {
            extractEntries(archive.reader, archive.rows({0}), folder);
            ADD_FAILURE() << "extracted";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("GAME00.DAT"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(archive.isIntact());
    }
    std::map<std::string, std::string> expected = {{"GAME00.DAT", archive.m_strBytes},
                                                   {"dest/", ""}};
    if (hasLink)
        expected["link"] = "->";
    EXPECT_EQ(treeOf(m_temp.str()), expected);
}

TEST_F(ExtractionTest, Big5NamesWithABackslashTrailByteGiveOneFile)
{
    ArchiveImage image;
    image.add("\xB3\x5C.txt", "xu");             // 許.txt
    image.add("\xA5\x5C\\\xA5\x5C.bmp", "gong"); // 功\功.bmp
    OpenArchive archive(image, archivePath());

    extractEntries(archive.reader, archive.all(), dest());

    const std::map<std::string, std::string> expected = {
        {"\xE8\xA8\xB1.txt", "xu"},
        {"\xE5\x8A\x9F/", ""},
        {"\xE5\x8A\x9F/\xE5\x8A\x9F.bmp", "gong"},
    };
    EXPECT_EQ(treeOf(dest()), expected);
}

TEST_F(ExtractionTest, UndecodableNamesRoundTripThroughTheEscape)
{
    const std::string name = "\x80\xFF"
                             "a\\\xFE"
                             "z.dat";
    ArchiveImage image;
    image.add(name, "odd");
    OpenArchive archive(image, archivePath());

    extractEntries(archive.reader, archive.rows({0}), dest());

    std::string written;
    for (const auto& entry : fs::recursive_directory_iterator(testsupport::hostPath(dest())))
        if (entry.is_regular_file())
            written =
                testsupport::utf8Path(fs::relative(entry.path(), testsupport::hostPath(dest())));
    EXPECT_EQ(written, names::hostRelativePath(name));
    EXPECT_EQ(names::entryName(written), name);
    EXPECT_EQ(readFile(dest() + "/" + written), "odd");
}

TEST_F(ExtractionTest, LongRecordsExtract)
{
    const std::string longName = "folder\\" + std::string(150, 'n') + ".dat";
    ArchiveImage image;
    image.add(longName, "long name");
    image.add("padded.dat", "padded record");
    image.records[1].recordLength = 200;
    OpenArchive archive(image, archivePath());
    ASSERT_EQ(archive.list->size(), 2);

    extractEntries(archive.reader, archive.all(), dest());

    EXPECT_EQ(readFile(dest() + "/folder/" + std::string(150, 'n') + ".dat"), "long name");
    EXPECT_EQ(readFile(dest() + "/padded.dat"), "padded record");
}

// POSIX: a file-size limit in a forked child.
#ifndef _WIN32
TEST_F(ExtractionTest, AFailedWriteLeavesNoPartialFileAndKeepsTheOldOne)
{
    ArchiveImage image;
    image.add("big.dat", pattern(20000));
    image.add("small.dat", "fits");
    writeFile(archivePath(), image.bytes());
    const std::string archiveBytes = readFile(archivePath());
    writeFile(dest() + "/big.dat", "the earlier file");

    const testsupport::ChildResult result =
        testsupport::runInChild({10000, false}, [&]() -> std::string {
            ArchiveReader reader;
            reader.Open(archivePath());
            const Catalogue list(reader);
            try {
                extractEntries(reader, list.positions({0, 1}), dest());
            } catch (const FileError& e) {
                return "FileError|" + e.subject() + "|" + e.reason();
            }
            return "written";
        });

    EXPECT_EQ(result.exitCode, 0) << result.text;
    EXPECT_EQ(result.text.rfind("FileError|" + dest() + "/", 0), 0u) << result.text;
    EXPECT_NE(result.text.find("big.dat"), std::string::npos) << result.text;
    const std::map<std::string, std::string> expected = {{"big.dat", "the earlier file"}};
    EXPECT_EQ(treeOf(dest()), expected);
    EXPECT_EQ(readFile(archivePath()), archiveBytes);
}
#endif

TEST_F(ExtractionTest, CancelFinishesTheCurrentEntryAndStops)
{
    ArchiveImage image;
    const std::string first = pattern(10000);
    image.add("1.dat", first);
    image.add("2.dat", "two");
    image.add("3.dat", "three");
    OpenArchive archive(image, archivePath());

    int calls = 0;
    const ExtractResult result =
        extractEntries(archive.reader, archive.all(), dest(), [&](const Progress& p) {
            ++calls;
            EXPECT_EQ(p.entriesTotal, 3);
            return false;
        });

    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.entriesWritten, 1);
    EXPECT_EQ(calls, 1);
    const std::map<std::string, std::string> expected = {{"1.dat", first}};
    EXPECT_EQ(treeOf(dest()), expected);
}

TEST_F(ExtractionTest, ACancelAfterTheLastEntryIsNoCancel)
{
    ArchiveImage image;
    image.add("1.dat", "one");
    OpenArchive archive(image, archivePath());

    const ExtractResult result = extractEntries(archive.reader, archive.rows({0}), dest(),
                                                [](const Progress&) { return false; });

    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.entriesWritten, 1);
}

TEST_F(ExtractionTest, AStopMidEntryDropsTheEntryUnderWayEvenTheLast)
{
    const std::string big = pattern(2 * FileCopier::kSliceBytes + 5);
    const struct {
        const char* label;
        std::vector<std::string> sizes; // the entries' data, named 1.dat, 2.dat...
        int stopAtCall;                 // progress returns false from this call on
        int written;
    } cases[] = {
        {"the only entry, small", {"one"}, 1, 0},
        {"the last entry, small", {"one", "two"}, 2, 1},
        {"the first slice of a large last entry", {"one", big}, 2, 1},
        {"the second slice of a large entry", {big, "two"}, 2, 0},
        {"never", {"one", big}, 100, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir temp;
        ArchiveImage image;
        std::map<std::string, std::string> expected;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const std::string name = std::to_string(i + 1) + ".dat";
            image.add(name, c.sizes[i]);
            if (static_cast<int>(i) < c.written)
                expected[name] = c.sizes[i];
        }
        OpenArchive archive(image, temp / "GAME00.DAT");
        ExtractOptions options;
        options.stopsMidEntry = true;
        int calls = 0;
        const ExtractResult result = extractEntries(
            archive.reader, archive.all(), temp / "dest",
            [&](const Progress&) { return ++calls < c.stopAtCall; }, options);

        EXPECT_EQ(result.cancelled, c.written < static_cast<int>(c.sizes.size()));
        EXPECT_EQ(result.entriesWritten, c.written);
        // Nothing of the dropped entry, not even a temporary name.
        EXPECT_EQ(treeOf(temp / "dest"), expected);
    }
}

} // namespace

namespace {

// POSIX: a descriptor limit in a forked child.
#ifndef _WIN32
TEST_F(ExtractionTest, AVeryDeepNameNeedsFewDescriptors)
{
    std::string name;
    for (int level = 0; level < 2000; ++level)
        name += (level % 2 ? "b\\" : "a\\");
    ArchiveImage image;
    image.add(name + "leaf.dat", "deep");
    image.add(name.substr(0, 2 * 1500) + "middle.dat", "middle");
    image.add("top.dat", "top");
    writeFile(archivePath(), image.bytes());

    const testsupport::ChildResult result = testsupport::runInChild({}, [&]() -> std::string {
        // Standard streams, the archive and the test's own: far fewer than the levels.
        const rlimit few{64, 64};
        if (setrlimit(RLIMIT_NOFILE, &few) != 0)
            return "no limit";
        ArchiveReader reader;
        reader.Open(archivePath());
        const Catalogue list(reader);
        std::vector<std::uint32_t> all;
        for (std::uint32_t i = 0; i < list.size(); ++i)
            all.push_back(i);
        return std::to_string(extractEntries(reader, list.positions(all), dest()).entriesWritten);
    });
    EXPECT_EQ(result.exitCode, 0) << result.text;
    EXPECT_EQ(result.text, "3");
    // Walked level by level, and removed the same way: the whole path is longer than the
    // system takes at once.
    const int start = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::chdir(dest().c_str()), 0);
    for (int level = 0; level < 2000; ++level) {
        ASSERT_EQ(::chdir(level % 2 ? "b" : "a"), 0) << level;
        if (level == 1499) {
            EXPECT_EQ(readFile("middle.dat"), "middle");
            ::unlink("middle.dat");
        }
    }
    EXPECT_EQ(readFile("leaf.dat"), "deep");
    ::unlink("leaf.dat");
    for (int level = 1999; level >= 0; --level) {
        ASSERT_EQ(::chdir(".."), 0);
        ::rmdir(level % 2 ? "b" : "a");
    }
    EXPECT_EQ(readFile("top.dat"), "top");
    ASSERT_EQ(::fchdir(start), 0);
    ::close(start);
}
#endif

// Sanitizers reserve far more address space than any limit worth setting.
#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_TEST_ASAN 1
#endif
#endif

// POSIX: an address-space limit in a forked child.
#ifndef _WIN32
TEST_F(ExtractionTest, ANameOfManyLevelsCostsMemoryInItsLength)
{
    // Deep enough that a path per level needs several times the limit; not deeper, since the
    // file system takes long to remove so many folders.
    constexpr int kLevels = 16384;
    std::string name;
    for (int level = 0; level < kLevels; ++level)
        name += "a\\";
    ArchiveImage image;
    image.add(name + "leaf.dat", "deep");
    image.add(name.substr(0, 2 * (kLevels - 1)) + "beside.dat", "beside");
    writeFile(archivePath(), image.bytes());

    testsupport::ChildLimits limits;
#ifdef VELMORA_TEST_ASAN
    limits.cpuSeconds = 60;
#else
    // A path kept by every level let go needs some 270 MB here.
    limits.addressSpaceLimit = 128ll * 1024 * 1024;
#endif
    const testsupport::ChildResult result = testsupport::runInChild(limits, [&]() -> std::string {
        ArchiveReader reader;
        reader.Open(archivePath());
        const Catalogue list(reader);
        return std::to_string(
            extractEntries(reader, list.positions({0, 1}), dest()).entriesWritten);
    });
    EXPECT_EQ(result.exitCode, 0) << result.text;
    EXPECT_EQ(result.text, "2");

    const int start = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::chdir(dest().c_str()), 0);
    int reached = 0;
    while (reached < kLevels && ::chdir("a") == 0)
        ++reached;
    EXPECT_EQ(reached, kLevels);
    EXPECT_EQ(readFile("leaf.dat"), "deep");
    ::unlink("leaf.dat");
    for (int level = reached; level > 0; --level) {
        if (level == kLevels - 1) {
            EXPECT_EQ(readFile("beside.dat"), "beside");
            ::unlink("beside.dat");
        }
        ASSERT_EQ(::chdir(".."), 0);
        ::rmdir("a");
    }
    ASSERT_EQ(::fchdir(start), 0);
    ::close(start);
}
#endif

TEST_F(ExtractionTest, AMissingDestinationIsMadeOnlyOnceAnEntryPassesItsChecks)
{
    const struct {
        const char* label;
        const char* name;
        bool isMade;
    } cases[] = {
        {"Written", "a.dat", true},
        {"LeavesTheDestination", "..\\a.dat", false},
        {"EmptyLevel", "x\\\\a.dat", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir temp;
        ArchiveImage image;
        image.add(c.name, "data");
        OpenArchive archive(image, temp / "GAME00.DAT");
        const std::string target = temp / "new/deeper/out";
        try {
            extractEntries(archive.reader, archive.rows({0}), target);
        } catch (const ArchiveError&) {
        }
        EXPECT_EQ(fs::exists(target), c.isMade);
        EXPECT_EQ(fs::exists(temp / "new"), c.isMade);
    }
}

TEST_F(ExtractionTest, KeepExistingLeavesEveryExistingObjectAndReportsIt)
{
    ArchiveImage image;
    image.add("old.dat", "new contents");
    image.add("link.dat", "new contents");
    image.add("fresh.dat", "fresh");
    OpenArchive archive(image, archivePath());
    writeFile(dest() + "/old.dat", "old contents");
    // Where no link can be made, a file stands in its place.
    const bool hasLink = testsupport::makeLink("nowhere", dest() + "/link.dat");
    if (!hasLink)
        writeFile(dest() + "/link.dat", "no link here");

    std::vector<std::string> kept;
    ExtractOptions options;
    options.keepExisting = true;
    options.onKept = [&](const FileError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::keptExisting);
        kept.push_back(e.subject());
    };
    const ExtractResult result = extractEntries(archive.reader, archive.all(), dest(), {}, options);
    EXPECT_EQ(result.entriesWritten, 1);
    EXPECT_EQ(result.entriesKept, 2);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{dest() + "/link.dat", dest() + "/old.dat"}));
    const std::map<std::string, std::string> expected = {
        {"old.dat", "old contents"},
        {"link.dat", hasLink ? "->" : "no link here"},
        {"fresh.dat", "fresh"}};
    EXPECT_EQ(treeOf(dest()), expected);
}

// The record positions of every entry of an open reader, in file order.
std::vector<std::uint32_t> inFileOrder(const ArchiveReader& reader)
{
    std::vector<std::uint32_t> positions;
    for (std::size_t i = 0; i < reader.size(); ++i)
        positions.push_back(reader.at(i).recordPosition);
    return positions;
}

// Simulated refusals end with the test, whatever it asserted.
struct FatRefusals {
    explicit FatRefusals(int errorNumber) { seams::refuseNamesAsFat(errorNumber); }
    ~FatRefusals() { seams::refuseNamesAsFat(0); }
};

TEST_F(ExtractionTest, AnEntryThatFailsAloneGoesToTheCallbackWhichGoesOnOrStops)
{
    const std::string longName(300, 'n');
    const struct {
        const char* label;
        std::string name; // the second of three entries
        bool isDamaged;   // its data reaches past the end of the archive
        int refusal;      // a file system refusing FAT's names with this error; 0: this one
        ErrorKind kind;
        std::string subject; // below the destination; empty: the entry name
    } cases[] = {
        {"data past the end", "mid.dat", true, 0, ErrorKind::damagedEntry, ""},
        {"a name longer than the file system's", longName + ".dat", false, 0,
         ErrorKind::nameRefusedByFileSystem, longName + ".dat"},
        {"a folder level longer than the file system's", longName + "\\x.dat", false, 0,
         ErrorKind::nameRefusedByFileSystem, longName},
        {"FAT's characters, in the kernel", "lt<gt>.bmp", false, EINVAL,
         ErrorKind::nameRefusedByFileSystem, "lt<gt>.bmp"},
        {"FAT's characters through FUSE", "a?b.bmp", false, EPERM,
         ErrorKind::nameRefusedByFileSystem, "a?b.bmp"},
        {"FAT's characters in a folder level", "a|b\\x.bmp", false, EPERM,
         ErrorKind::nameRefusedByFileSystem, "a|b"},
        {"a trailing dot", "dot.", false, EINVAL, ErrorKind::nameRefusedByFileSystem, "dot."},
        {"a trailing space in a level", "sp \\x.bmp", false, EILSEQ,
         ErrorKind::nameRefusedByFileSystem, "sp "},
#ifdef _WIN32
        {"the console's output device", "CONOUT$.txt", false, 0, ErrorKind::nameRefusedByFileSystem,
         "CONOUT$.txt"},
#endif
    };
    for (const auto& c : cases) {
        for (const std::optional<bool> answer :
             {std::optional<bool>(true), std::optional<bool>(false), std::optional<bool>()}) {
            SCOPED_TRACE(testing::Message() << c.label << ", answer "
                                            << (answer ? (*answer ? "go on" : "stop") : "none"));
            for (const bool isUnnamedAllowed : {true, false}) {
                SCOPED_TRACE(isUnnamedAllowed ? "unnamed files" : "named temporary files");
                seams::allowUnnamedFiles(isUnnamedAllowed);
                TempDir temp;
                ArchiveImage image;
                image.add("1.dat", "one");
                image.add(c.name, "two");
                image.add("3.dat", "three");
                if (c.isDamaged)
                    image.records[1].dataSize = 1000;
                OpenArchive archive(image, temp / "GAME00.DAT");
                const std::string dest = temp / "dest";
                const FatRefusals refusals(c.refusal);

                std::vector<std::string> failures;
                ExtractOptions options;
                if (answer)
                    options.onEntryFailure = [&](const ArchiveError& e) {
                        EXPECT_STREQ(kindName(e.kind()), kindName(c.kind));
                        const std::string subject =
                            c.subject.empty()
                                ? names::displayName(c.name)
                                : FileError(c.kind, dest + "/" + c.subject, "").subject();
                        EXPECT_EQ(e.subject(), subject);
                        failures.push_back(e.what());
                        return *answer;
                    };
                int progressCalls = 0;
                const auto progress = [&](const Progress& p) {
                    EXPECT_EQ(p.entriesDone, ++progressCalls);
                    return true;
                };
                ExtractResult result;
                try {
                    result = extractEntries(archive.reader, inFileOrder(archive.reader), dest,
                                            progress, options);
                    EXPECT_TRUE(answer.has_value()) << "no failure";
                } catch (const ArchiveError& e) {
                    EXPECT_FALSE(answer.has_value()) << e.what();
                    EXPECT_STREQ(kindName(e.kind()), kindName(c.kind));
                    failures.push_back(e.what());
                }
                ASSERT_EQ(failures.size(), 1u);
                // The whole entry name, even where the subject lost its middle.
                EXPECT_NE(failures[0].find(names::displayName(c.name)), std::string::npos)
                    << failures[0];
                const bool isGoingOn = answer.value_or(false);
                // Without an answer the run threw: no result.
                EXPECT_EQ(result.entriesWritten, !answer ? 0 : isGoingOn ? 2 : 1);
                EXPECT_EQ(result.entriesSkipped, isGoingOn ? 1 : 0);
                EXPECT_EQ(result.stopped, answer == std::optional<bool>(false));
                EXPECT_FALSE(result.cancelled);
                EXPECT_EQ(progressCalls, isGoingOn ? 3 : 1);
                // Nothing of the failed entry, not a folder level nor a temporary name.
                std::map<std::string, std::string> expected = {{"1.dat", "one"}};
                if (isGoingOn)
                    expected["3.dat"] = "three";
                EXPECT_EQ(treeOf(dest), expected);
            }
            seams::allowUnnamedFiles(true);
        }
    }
}

// POSIX: a hard link stands in for a second spelling of a name (Windows folds case itself).
#ifndef _WIN32
// A file system that ignores case gives two spellings one file. Here a hard link made between
// two entries plays that part: the second name reaches the file written for the first.
TEST_F(ExtractionTest, ANameReachingAFileThisRunWroteForAnotherEntryIsRefused)
{
    const struct {
        const char* label;
        std::vector<std::string> names;
        const char* linkTo; // after the first entry, names[1]'s path becomes a link to this
        bool isRefused;
        bool isKeepMode = false;
    } cases[] = {
        {"in the destination", {"a.bmp", "A.BMP"}, "a.bmp", true},
        {"in a folder this run made", {"sub\\one.bmp", "sub\\ONE.BMP"}, "sub/one.bmp", true},
        {"through another spelling of the folder",
         {"Sub\\one.bmp", "sub\\one.bmp"},
         "Sub/one.bmp",
         true},
        {"keep mode", {"a.bmp", "A.BMP"}, "a.bmp", true, true},
        {"the same name again replaces", {"a.bmp", "a.bmp"}, nullptr, false},
        {"the same name again in a made folder", {"s\\a.bmp", "s\\a.bmp"}, nullptr, false},
    };
    for (const auto& c : cases) {
        for (const bool isUnnamedAllowed : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.label << (isUnnamedAllowed ? "" : ", named"));
            seams::allowUnnamedFiles(isUnnamedAllowed);
            TempDir temp;
            ArchiveImage image;
            image.add(c.names[0], "first");
            image.add(c.names[1], "second");
            OpenArchive archive(image, temp / "GAME00.DAT");
            const std::string dest = temp / "dest";

            std::vector<ErrorKind> kinds;
            std::string message;
            ExtractOptions options;
            options.keepExisting = c.isKeepMode;
            options.onEntryFailure = [&](const ArchiveError& e) {
                kinds.push_back(e.kind());
                message = e.what();
                return true;
            };
            const auto progress = [&](const Progress& p) {
                if (p.entriesDone == 1 && c.linkTo) {
                    const fs::path second = fs::path(dest) / names::hostRelativePath(c.names[1]);
                    fs::create_directories(second.parent_path());
                    fs::create_hard_link(fs::path(dest) / c.linkTo, second);
                }
                return true;
            };
            const ExtractResult result = extractEntries(archive.reader, inFileOrder(archive.reader),
                                                        dest, progress, options);
            seams::allowUnnamedFiles(true);

            const fs::path first = fs::path(dest) / names::hostRelativePath(c.names[0]);
            if (c.isRefused) {
                EXPECT_EQ(kinds, std::vector<ErrorKind>{ErrorKind::sameFileAsEarlierEntry});
                EXPECT_NE(message.find(c.names[0]), std::string::npos) << message;
                EXPECT_NE(message.find(names::displayName(c.names[1])), std::string::npos)
                    << message;
                EXPECT_EQ(result.entriesSkipped, 1);
                EXPECT_EQ(readFile(first.string()), "first");
            } else {
                EXPECT_TRUE(kinds.empty()) << message;
                EXPECT_EQ(result.entriesWritten, 2);
                EXPECT_EQ(readFile(first.string()), "second");
            }
            EXPECT_EQ(result.entriesKept, 0);
        }
    }
}
#endif

// Only the files of this run are guarded: a link between files that were there before is
// replaced like any existing file.
TEST_F(ExtractionTest, FilesThatWereThereBeforeAreReplacedThoughLinked)
{
    writeFile(dest() + "/old.bmp", "old");
    fs::create_hard_link(dest() + "/old.bmp", dest() + "/B.BMP");
    ArchiveImage image;
    image.add("a.bmp", "a");
    image.add("B.BMP", "b");
    OpenArchive archive(image, archivePath());

    const ExtractResult result =
        extractEntries(archive.reader, inFileOrder(archive.reader), dest());

    EXPECT_EQ(result.entriesWritten, 2);
    const std::map<std::string, std::string> expected = {
        {"B.BMP", "b"}, {"a.bmp", "a"}, {"old.bmp", "old"}};
    EXPECT_EQ(treeOf(dest()), expected);
}

// A folder this run made is not searched before each name; whatever came into it meanwhile is
// found when the file is named and checked as anywhere else.
TEST_F(ExtractionTest, WhatComesIntoAFolderThisRunMadeIsStillChecked)
{
    const struct {
        const char* label;
        std::function<void(const fs::path& folder)> meanwhile; // in sub/, before sub\b.dat
        std::optional<ErrorKind> failure;
        const char* leftAtB; // "->": a link, nullptr: a folder
    } cases[] = {
        {"a file", [](const fs::path& f) { writeFile((f / "b.dat").string(), "theirs"); },
         std::nullopt, "ours"},
        // Where no link can be made, a file stands in its place.
        {"a link",
         [](const fs::path& f) {
             const std::string b = testsupport::utf8Path(f / "b.dat");
             if (!testsupport::makeLink("../../elsewhere", b))
                 writeFile(b, "theirs");
         },
         std::nullopt, "ours"},
        {"a folder", [](const fs::path& f) { fs::create_directory(f / "b.dat"); },
         ErrorKind::inTheWay, nullptr},
    };
    for (const auto& c : cases) {
        for (const bool isUnnamedAllowed : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.label << (isUnnamedAllowed ? "" : ", named"));
            seams::allowUnnamedFiles(isUnnamedAllowed);
            TempDir temp;
            ArchiveImage image;
            image.add("sub\\a.dat", "a");
            image.add("sub\\b.dat", "ours");
            OpenArchive archive(image, temp / "GAME00.DAT");
            const fs::path dest = temp / "dest";
            std::optional<ErrorKind> failure;
            try {
                extractEntries(archive.reader, inFileOrder(archive.reader), dest.string(),
                               [&](const Progress& p) {
                                   if (p.entriesDone == 1)
                                       c.meanwhile(dest / "sub");
                                   return true;
                               });
            } catch (const ArchiveError& e) {
                failure = e.kind();
            }
            seams::allowUnnamedFiles(true);
            EXPECT_EQ(failure, c.failure);
            EXPECT_FALSE(fs::exists(temp / "elsewhere"));
            const fs::path b = dest / "sub/b.dat";
            if (c.leftAtB) {
                EXPECT_FALSE(fs::is_symlink(b));
                EXPECT_EQ(readFile(b.string()), c.leftAtB);
            } else {
                EXPECT_TRUE(fs::is_directory(b));
            }
            EXPECT_EQ(treeOf((dest / "sub").string()).size(), 2u);
        }
    }
}

// Small entries come from a buffer that large reads of the archive fill: in whatever order
// they are taken, across the buffer's ends and on both sides of the size that decides, each
// gets its own bytes.
TEST_F(ExtractionTest, SmallEntriesGetTheirOwnBytesInAnyOrder)
{
    std::vector<std::size_t> sizes = {0, 1, 65535, 65536, 65537, 4096, 70000, 3};
    std::mt19937 random(7);
    for (int i = 0; i < 120; ++i)
        sizes.push_back(random() % 20000);
    ArchiveImage image;
    std::map<std::string, std::string> expected;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "f" + std::to_string(i) + ".dat";
        expected[name] = pattern(sizes[i], static_cast<unsigned>(i));
        image.add(name, expected[name]);
    }
    OpenArchive archive(image, archivePath());
    const std::vector<std::uint32_t> forward = inFileOrder(archive.reader);
    std::vector<std::uint32_t> backward(forward.rbegin(), forward.rend());
    std::vector<std::uint32_t> shuffled = forward;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    std::vector<std::uint32_t> strided; // every third, then the rest: jumps forward and back
    for (std::size_t start : {0u, 1u, 2u})
        for (std::size_t i = start; i < forward.size(); i += 3)
            strided.push_back(forward[i]);
    const struct {
        const char* label;
        std::vector<std::uint32_t> order;
    } cases[] = {
        {"file order", forward},
        {"backwards", backward},
        {"shuffled", shuffled},
        {"strided", strided},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir temp;
        const ExtractResult result = extractEntries(archive.reader, c.order, temp.str());
        EXPECT_EQ(result.entriesWritten, static_cast<int>(sizes.size()));
        EXPECT_EQ(treeOf(temp.str()), expected);
    }
}

// POSIX: the open archive is cut short (Windows keeps writers out of it).
#ifndef _WIN32
// The archive may be cut short after it was opened: a small entry then fails like a large one.
TEST_F(ExtractionTest, AnArchiveCutShortWhileOpenFailsTheEntriesPastItsEnd)
{
    const struct {
        const char* label;
        std::size_t size;
    } cases[] = {{"small", 3000}, {"large", 200000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir temp;
        ArchiveImage image;
        image.add("1.dat", pattern(c.size, 1));
        image.add("2.dat", pattern(c.size, 2));
        image.add("3.dat", pattern(c.size, 3));
        OpenArchive archive(image, temp / "GAME00.DAT");
        // The second entry loses its last byte.
        fs::resize_file(archive.m_strPath, archive.m_strBytes.size() - c.size - 1);
        std::vector<std::string> failed;
        ExtractOptions options;
        options.onEntryFailure = [&](const ArchiveError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::damagedEntry);
            failed.push_back(e.subject());
            return true;
        };
        const ExtractResult result =
            extractEntries(archive.reader, inFileOrder(archive.reader), temp / "dest", {}, options);
        EXPECT_EQ(result.entriesWritten, 1);
        EXPECT_EQ(failed, (std::vector<std::string>{"2.dat", "3.dat"}));
        const std::map<std::string, std::string> expected = {{"1.dat", pattern(c.size, 1)}};
        EXPECT_EQ(treeOf(temp / "dest"), expected);
    }
}
#endif

} // namespace
