#include "archive/CodePage950.h"

#include <gtest/gtest.h>

#include <string>

using namespace archive;

namespace {

const std::string kXu = "\xB3\x5C";     // 許: its trail byte is the separator's value
const std::string kGong = "\xA5\x5C";   // 功
const std::string kTrailA = "\xA4\x41"; // a double-byte character whose trail byte is 'A'

TEST(CodePage950, FindNeverMatchesATrailByte)
{
    struct Case {
        std::string haystack;
        char c;
        std::ptrdiff_t expected;
    } cases[] = {
        {"a\\b", '\\', 1},
        {kXu + "\\b", '\\', 2},
        {kXu + kGong, '\\', cp950::npos},
        {kGong + "x\\" + kXu, '\\', 3},
        {kTrailA + "A", 'A', 2},
        {"", '\\', cp950::npos},
        // A lone lead byte at the end is a character of its own.
        {"ab\xB3", '\xB3', 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cp950::find(c.haystack, c.c), c.expected) << c.haystack;
}

TEST(CodePage950, SubstringFindStartsAndEndsOnCharacterBoundaries)
{
    EXPECT_EQ(cp950::find(kXu + "abc", "abc"), 2);
    EXPECT_EQ(cp950::find(kXu, "\\"), cp950::npos);
    EXPECT_EQ(cp950::find("x" + kXu, "x\xB3"), cp950::npos); // would end inside 許
    EXPECT_EQ(cp950::find("abc", ""), 0);
}

TEST(CodePage950, UpperCasingTouchesSingleByteLettersOnly)
{
    EXPECT_EQ(cp950::makeUpper("ab.bmp" + kTrailA + "z"), "AB.BMP" + kTrailA + "Z");
    // 0xA4 0x61: a trail byte in the letter range stays lower case.
    EXPECT_EQ(cp950::makeUpper("\xA4\x61q"), "\xA4\x61Q");
}

TEST(CodePage950, CollationFoldsAsciiLettersAndKeepsOtherBytes)
{
    struct Case {
        std::string a, b;
        int sign;
    } cases[] = {
        {"A.BMP", "b.bmp", -1},
        {"abc", "ABC", 0},
        {"a", "ab", -1},
        {"a_b", "aab", -1},
        {"Z", "a", 1},
        {"a\\z", "a0", 1},
        {kTrailA, "\xA4\x61", -1}, // trail bytes compared raw, not folded
        {"\xA4", "\xA4\x40", -1},  // a lone lead sorts before the pair
        {"\x7F", "\x80", -1},
        {"\x80", "\xA4\x40", -1},
    };
    for (const Case& c : cases) {
        const int r = cp950::compareNoCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
        const int back = cp950::compareNoCase(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    }
}

TEST(CodePage950, ConversionsThroughTheTables)
{
    EXPECT_EQ(cp950::toUtf8Lossy(kXu + kGong + "x"), "許功x");
    EXPECT_EQ(cp950::toUtf8Lossy("\xFF"), "\xEF\xBF\xBD");
    EXPECT_EQ(cp950::toUtf8Lossy("a\xB3"), "a\xEF\xBF\xBD");
    EXPECT_EQ(cp950::fromUtf8("許功x"), kXu + kGong + "x");
    EXPECT_FALSE(cp950::fromUtf8("\xE2\x82"));         // truncated
    EXPECT_FALSE(cp950::fromUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(cp950::fromUtf8("\xF0\x9F\x98\x80")); // no Big5 code
}

TEST(CodePage950, CodesThatDoNotRoundTripAreNotDecoded)
{
    // glibc decodes these to characters that encode back to other codes.
    for (const char* code : {"\xA2\xCC", "\xF9\xE9"})
        EXPECT_FALSE(cp950::decodeChar(code, 0)) << code;
    EXPECT_EQ(cp950::decodeChar(kXu, 0), U'許');
}

} // namespace
