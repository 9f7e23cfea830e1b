#include "archive/commands/Catalogue.h"
#include "archive/ArchiveError.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage950.h"
#include "tests/support/MemoryArchive.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace archive;
using testsupport::MemoryArchive;

namespace {

std::vector<std::string> namesOf(const Catalogue& catalogue)
{
    std::vector<std::string> out;
    for (std::size_t row = 0; row < catalogue.size(); ++row)
        out.emplace_back(catalogue.name(row));
    return out;
}

TEST(Catalogue, SortsWithoutRegardToCaseAndKeepsPositionsWithTheirNames)
{
    const MemoryArchive archive({"b.bmp", "A.BMP", "c.bmp"});
    const Catalogue catalogue(archive.reader);
    EXPECT_EQ(namesOf(catalogue), (std::vector<std::string>{"A.BMP", "b.bmp", "c.bmp"}));
    EXPECT_EQ(catalogue.position(0), archive.position(1));
    EXPECT_EQ(catalogue.position(1), archive.position(0));
    EXPECT_EQ(catalogue.position(2), archive.position(2));
    EXPECT_EQ(catalogue.record(0).name, "A.BMP");
}

TEST(Catalogue, EqualNamesKeepTheirFileOrder)
{
    const MemoryArchive archive({"x.dat", "X.DAT", "x.dat"});
    const Catalogue catalogue(archive.reader);
    ASSERT_EQ(catalogue.size(), 3u);
    EXPECT_EQ(catalogue.name(1), "X.DAT");
    for (std::uint32_t row = 0; row < 3; ++row)
        EXPECT_EQ(catalogue.position(row), archive.position(row)) << row;
    // Rows come back as positions in list order whatever order they are asked in.
    EXPECT_EQ(catalogue.positions({2, 0, 1}),
              (std::vector<std::uint32_t>{archive.position(0), archive.position(1),
                                          archive.position(2)}));
}

// An archive found in list order is not sorted: the finding must agree with the sort.
TEST(Catalogue, AnArchiveIsSortedUnlessEveryNameFollowsTheOneBefore)
{
    const struct {
        const char* label;
        std::vector<std::string> names;
        std::vector<std::string> listed;
    } cases[] = {
        {"OutOfOrderOnlyAtTheEnd",
         {"a.bmp", "b.wav", "c.bmp", "B.BMP"},
         {"a.bmp", "B.BMP", "b.wav", "c.bmp"}},
        // A trail byte is never folded, so these two differ and are out of order.
        {"TrailBytesThatLookLikeLetters", {"\xA4\x61", "\xA4\x41"}, {"\xA4\x41", "\xA4\x61"}},
        {"EqualButForCaseInFileOrder", {"x.dat", "X.DAT", "y"}, {"x.dat", "X.DAT", "y"}},
    };
    for (const auto& c : cases) {
        const MemoryArchive archive(c.names);
        const Catalogue catalogue(archive.reader);
        EXPECT_EQ(namesOf(catalogue), c.listed) << c.label;
    }
    // The types move with their names.
    const MemoryArchive archive(cases[0].names);
    const Catalogue catalogue(archive.reader);
    EXPECT_EQ(catalogue.position(1), archive.position(3));
    EXPECT_EQ(catalogue.filter("BMP"), (std::vector<std::uint32_t>{0, 1, 3}));
}

TEST(Catalogue, MatchesAStableSortUnderCompareNoCase)
{
    // Names longer than the sort key's 16 bytes, double-byte characters whose trail byte is a
    // letter, a lone lead byte, and many equals.
    std::mt19937 random(11);
    const char* stems[] = {"a",
                           "A",
                           "dir\\longer-than-sixteen-bytes",
                           "DIR\\LONGER-THAN-SIXTEEN",
                           "\xA4\x41",
                           "\xA4\x61",
                           "\xA4",
                           "z"};
    std::vector<std::string> names;
    for (std::uint32_t n = 0; n < 3000; ++n) {
        std::string text = stems[random() % 8];
        text += std::to_string(random() % 50);
        if (random() % 4 == 0)
            text = cp950::makeUpper(text);
        names.push_back(text);
    }
    const MemoryArchive archive(names);
    const Catalogue catalogue(archive.reader);

    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return cp950::compareNoCase(names[a], names[b]) < 0;
    });
    ASSERT_EQ(catalogue.size(), names.size());
    for (std::size_t row = 0; row < order.size(); ++row) {
        ASSERT_EQ(catalogue.name(row), names[order[row]]) << row;
        ASSERT_EQ(catalogue.position(row), archive.position(order[row])) << row;
    }
}

TEST(Catalogue, AFilterIsTheRowsWhoseNamesPassTheType)
{
    const MemoryArchive archive({"sub\\b.wav", "a.BMP", "c.bmp", "XWAV", "d.wave"});
    const Catalogue catalogue(archive.reader);
    // Sorted: a.BMP, c.bmp, d.wave, sub\b.wav, XWAV.
    const struct {
        const char* type;
        std::vector<std::uint32_t> rows;
    } cases[] = {
        {"*", {0, 1, 2, 3, 4}},
        {"", {0, 1, 2, 3, 4}},
        {"BMP", {0, 1}},
        {"WAV", {3, 4}},
        {"EGA", {}},
        {"WAVE", {}},
        {"bmp", {}},
        {".BMP", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(catalogue.filter(c.type), c.rows) << c.type;
}

TEST(Catalogue, ADamagedDirectoryIsRefused)
{
    testsupport::ArchiveImage image;
    image.add("a.bmp", "a");
    image.records.push_back({"broken", 0, 0, 5});
    const std::string bytes = image.bytes();
    ArchiveReader reader;
    reader.OpenMemory({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
                      "bad.dat");
    ASSERT_TRUE(reader.damage());
    EXPECT_THROW(Catalogue{reader}, FormatError);
}

TEST(Catalogue, NamesStayValidAsLongAsTheReaderWhateverTheFileBecomes)
{
    testsupport::TempDir temp;
    testsupport::ArchiveImage image;
    image.add("b.bmp", "bb");
    image.add("a.bmp", "a");
    testsupport::writeFile(temp / "GAME00.DAT", image.bytes());
    ArchiveReader reader;
    reader.Open(temp / "GAME00.DAT");
    const Catalogue catalogue(reader);
    const std::string_view first = catalogue.name(0);
    // Rewritten and removed: the names live in the reader's copy of the directory.
#ifdef _WIN32
    // Windows keeps writers out of a file the reader holds; its name may go, as on POSIX.
    EXPECT_THROW(
        testsupport::writeFile(temp / "GAME00.DAT", std::string(image.bytes().size(), '\0')),
        std::runtime_error);
    EXPECT_TRUE(std::filesystem::remove(testsupport::hostPath(temp / "GAME00.DAT")));
#else
    testsupport::writeFile(temp / "GAME00.DAT", std::string(image.bytes().size(), '\0'));
    std::filesystem::remove(temp / "GAME00.DAT");
#endif
    const Catalogue again(reader);
    EXPECT_EQ(first, "a.bmp");
    EXPECT_EQ(first.data(), again.name(0).data());
    EXPECT_EQ(catalogue.name(1), "b.bmp");
    EXPECT_EQ(&catalogue.reader(), &reader);
}

} // namespace
