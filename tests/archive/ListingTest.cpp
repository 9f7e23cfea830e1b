#include "archive/Listing.h"
#include "archive/ArchiveError.h"
#include "archive/CFile.h"
#include "archive/EntryList.h"
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
        {"a.bmp", "BMP", true},   {"A.BMP", "BMP", true}, {"XWAV", "WAV", true},
        {"a.WAVE", "WAV", false}, {"wav", "WAV", true},   {"av", "WAV", false},
        {"a.bmp", "*", true},     {"readme", "", true},   {"a\xA4\x62mp", "BMP", false},
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

    CFile file;
    file.Open(temp / "GAME00.DAT", CFile::modeRead);
    EntryList list;
    ASSERT_EQ(listArchive(file, list, "*"), 3);
    EXPECT_EQ(list.GetText(0), "a.BMP");
    EXPECT_EQ(list.GetItemData(0), 4u + 26u); // the second record
    EXPECT_EQ(list.GetText(2), "sub\\b.wav");
    EXPECT_EQ(list.GetItemData(2), 4u);

    EXPECT_EQ(listArchive(file, list, "BMP"), 2);
    EXPECT_EQ(listArchive(file, list, "EGA"), 0);
    EXPECT_EQ(statusLine(file.GetFileName(), list.GetCount()), "GAME00.DAT,共0個檔案");
}

TEST(Listing, ARefusedDirectoryLeavesTheListEmpty)
{
    testsupport::TempDir temp;
    ArchiveImage image;
    image.add("a.bmp", "a");
    image.records.push_back({"broken", 0, 0, 5});
    testsupport::writeFile(temp / "bad.dat", image.bytes());
    CFile file;
    file.Open(temp / "bad.dat", CFile::modeRead);
    EntryList list;
    list.AddString("left over");
    EXPECT_THROW(listArchive(file, list, "*"), FormatError);
    EXPECT_EQ(list.GetCount(), 0);
}

} // namespace
