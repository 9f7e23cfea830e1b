#include "QuickFind.h"
#include "EntryList.h"

#include <gtest/gtest.h>

using namespace archive;

namespace {

TEST(QuickFind, FindsTheFirstItemWhoseKeyBeginsWithTheText)
{
    EntryList list;
    for (const char* t : {"bg\\title.bmp", "bg\\tower.bmp", "readme.txt", "se\\a\\b.wav",
                          "\xB3\x5C\\x.bmp", "\xB3\x5Cq\\key.bmp"})
        list.AddString(t);
    // Sorted: bg\title, bg\tower, readme, se\a\b, 許\x, 許q\key.
    struct Case {
        const char* find;
        int expected;
    } cases[] = {
        {"", 0},        {"T", 0}, {"to", 1},  {"TX", -1},       {"a\\", 3},         {"b", -1},
        {"readme", -1}, {"x", 4}, {"KEY", 5}, {"TITLE.BMP", 0}, {"title.bmpx", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quickFind(list, c.find), c.expected) << c.find;
    EXPECT_EQ(quickFind(EntryList(), ""), -1);
}

TEST(QuickFind, TrailBytesInTheLetterRangeAreComparedAsTheyAre)
{
    // 0xA5 0x61 is one character whose trail byte is 'a': upper-casing must not turn it into
    // 0xA5 0x41, a different character.
    EntryList list;
    list.AddString("bg\\\xA5\x61.bmp");
    EXPECT_EQ(quickFind(list, "\xA5\x61"), 0);
    EXPECT_EQ(quickFind(list, "\xA5\x41"), -1);
}

TEST(QuickFind, FollowsTheListAfterItChanges)
{
    EntryList list;
    list.AddString("bg\\b.bmp");
    EXPECT_EQ(quickFind(list, "A"), -1);
    list.AddString("bg\\a.bmp");
    EXPECT_EQ(quickFind(list, "A"), 0);
    list.ResetContent();
    EXPECT_EQ(quickFind(list, "A"), -1);
    list.AddString("se\\a.wav");
    EXPECT_EQ(quickFind(list, "A"), 0);
}

} // namespace
