#include "archive/commands/QuickFind.h"
#include "archive/commands/Catalogue.h"
#include "tests/support/MemoryArchive.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace archive;
using testsupport::MemoryArchive;

namespace {

std::vector<std::uint32_t> allRows(const Catalogue& catalogue)
{
    std::vector<std::uint32_t> rows(catalogue.size());
    std::iota(rows.begin(), rows.end(), 0u);
    return rows;
}

TEST(QuickFind, FindsTheFirstItemWhoseKeyBeginsWithTheText)
{
    const MemoryArchive archive({"bg\\title.bmp", "bg\\tower.bmp", "readme.txt", "se\\a\\b.wav",
                                 "\xB3\x5C\\x.bmp", "\xB3\x5Cq\\key.bmp"});
    const Catalogue catalogue(archive.reader);
    const std::vector<std::uint32_t> rows = allRows(catalogue);
    // Sorted: bg\title, bg\tower, readme, se\a\b, 許\x, 許q\key.
    struct Case {
        const char* find;
        int expected;
    } cases[] = {
        {"", 0},        {"T", 0}, {"to", 1},  {"TX", -1},       {"a\\", 3},         {"b", -1},
        {"readme", -1}, {"x", 4}, {"KEY", 5}, {"TITLE.BMP", 0}, {"title.bmpx", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(catalogue.quickFind().find(rows, c.find), c.expected) << c.find;
    EXPECT_EQ(catalogue.quickFind().find({}, ""), -1);
}

TEST(QuickFind, TrailBytesInTheLetterRangeAreComparedAsTheyAre)
{
    // 0xA5 0x61 is one character whose trail byte is 'a': upper-casing must not turn it into
    // 0xA5 0x41, a different character. The key is folded by the characters of the whole name,
    // which must agree with the characters of the key alone.
    const struct {
        const char* name;
        const char* find;
        int expected;
    } cases[] = {
        {"bg\\\xA5\x61.bmp", "\xA5\x61", 0},
        {"bg\\\xA5\x61.bmp", "\xA5\x41", -1},
        {"bg\\x\xA5\x61q", "X\xA5\x61Q", 0},
        {"bg\\ab\xA5", "AB\xA5", 0}, // a lone lead byte at the end
        {"bg\\", "A", -1},           // an empty key
        {"\xB3\x5C.bmp", ".", -1},   // no separator: the '\' is a trail byte
        {"\xB3\x5C\\a.bmp", "A", 0}, // the separator right after one
        {"a\\b\\c", "B\\C", 0},      // only the first '\' starts the key
    };
    for (const auto& c : cases) {
        const MemoryArchive archive({c.name});
        const Catalogue catalogue(archive.reader);
        EXPECT_EQ(catalogue.quickFind().find(allRows(catalogue), c.find), c.expected)
            << c.name << " " << c.find;
    }
}

TEST(QuickFind, FollowsTheFilteredRows)
{
    const MemoryArchive archive({"bg\\b.bmp", "bg\\a.bmp", "se\\a.wav"});
    const Catalogue catalogue(archive.reader);
    const QuickFind& keys = catalogue.quickFind();
    // The answer is a place in the rows shown, not a catalogue row.
    const struct {
        const char* type;
        const char* find;
        int expected;
    } cases[] = {
        {"BMP", "A", 0},  {"BMP", "B", 1}, {"WAV", "A", 0}, {"WAV", "B", -1},
        {"EGA", "A", -1}, {"EGA", "", -1}, {"*", "A", 0},   {"*", "SE", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keys.find(catalogue.filter(c.type), c.find), c.expected)
            << c.type << " " << c.find;
    EXPECT_EQ(&catalogue.quickFind(), &keys);
}

TEST(QuickFind, EachCatalogueKeepsTheKeysOfItsOwnEntries)
{
    const MemoryArchive first({"bg\\apple.bmp", "bg\\banana.bmp"});
    const MemoryArchive second({"bg\\berry.bmp"});
    const Catalogue firstList(first.reader);
    const Catalogue secondList(second.reader);
    struct Step {
        const Catalogue* list;
        const char* find;
        int expected;
    } steps[] = {
        {&firstList, "A", 0}, {&secondList, "A", -1}, {&secondList, "B", 0},
        {&firstList, "B", 1}, {&firstList, "", 0},    {&secondList, "BE", 0},
    };
    for (const Step& s : steps)
        EXPECT_EQ(s.list->quickFind().find(allRows(*s.list), s.find), s.expected) << s.find;
}

} // namespace
