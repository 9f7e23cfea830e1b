#include "archive/QuickFind.h"
#include "archive/EntryList.h"

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

TEST(QuickFind, EachOwnerKeepsTheKeysOfItsOwnList)
{
    EntryList first;
    EntryList second;
    first.AddString("bg\\apple.bmp");
    second.AddString("bg\\berry.bmp");
    QuickFind firstFinder;
    QuickFind secondFinder;
    firstFinder.prepare(first);
    secondFinder.prepare(second);
    struct Step {
        QuickFind* finder;
        EntryList* list;
        const char* find;
        int expected;
    } steps[] = {
        {&firstFinder, &first, "A", 0},   {&secondFinder, &second, "A", -1},
        {&secondFinder, &second, "B", 0}, {&firstFinder, &first, "B", -1},
        {&firstFinder, &first, "", 0},
    };
    for (const Step& s : steps)
        EXPECT_EQ(s.finder->find(*s.list, s.find), s.expected) << s.find;
    // A change to one list is seen by its finder and leaves the other's keys alone.
    first.AddString("bg\\banana.bmp");
    EXPECT_EQ(firstFinder.find(first, "B"), 1);
    EXPECT_EQ(secondFinder.find(second, "BE"), 0);
    first.ResetContent();
    EXPECT_EQ(firstFinder.find(first, "A"), -1);
}

} // namespace
