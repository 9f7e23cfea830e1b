#include "archive/commands/Listing.h"
#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/format/ArchiveReader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace archive;
using testsupport::ArchiveImage;

namespace {

TEST(Listing, TypeTestLooksAtTheLastThreeUpperCasedBytes)
{
    struct Case {
        const char* name;
        const char* type;
        bool passes;
    } cases[] = {
        {"a.bmp", "BMP", true},       {"A.BMP", "BMP", true},     {"XWAV", "WAV", true},
        {"a.WAVE", "WAV", false},     {"wav", "WAV", true},       {"av", "WAV", false},
        {"a.bmp", "*", true},         {"readme", "", true},       {"a\xA4\x62mp", "BMP", false},
        {"\xA4\x62MP", "BMP", false}, {"x.\xA4", ".\xA4", false}, {"x.b\xA4", "B\xA4", false},
        {"bmp", "BM", false},         {"x.bmp", "bmp", false},    {"wa", "WA", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(matchesType(c.name, c.type), c.passes) << c.name << " " << c.type;
}

TEST(Listing, ListsSortedWithRecordPositionsAndFilters)
{
    testsupport::TempDir temp;
    ArchiveImage image;
    image.add("sub\\b.wav", "bbbbb");
    image.add("a.BMP", "aaa");
    image.add("c.bmp", "");
    testsupport::writeFile(temp / "GAME00.DAT", image.bytes());

    ArchiveReader file;
    file.Open(temp / "GAME00.DAT");
    const Catalogue list(file);
    ASSERT_EQ(list.filter("*").size(), 3u);
    EXPECT_EQ(list.name(0), "a.BMP");
    EXPECT_EQ(list.position(0), 4u + 26u); // the second record
    EXPECT_EQ(list.name(2), "sub\\b.wav");
    EXPECT_EQ(list.position(2), 4u);

    EXPECT_EQ(list.filter("BMP").size(), 2u);
    EXPECT_EQ(list.filter("EGA").size(), 0u);
}

TEST(Listing, ARefusedDirectoryLeavesTheListEmpty)
{
    testsupport::TempDir temp;
    ArchiveImage image;
    image.add("a.bmp", "a");
    image.records.push_back({"broken", 0, 0, 5});
    testsupport::writeFile(temp / "bad.dat", image.bytes());
    ArchiveReader file;
    file.Open(temp / "bad.dat");
    EXPECT_THROW(Catalogue{file}, FormatError);
}

} // namespace
