#include "archive/format/CodePage950.h"

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
        // A common ASCII prefix, then a pair whose trail byte is a letter: still compared raw.
        {"ab\\\xA4\x61", "ab\\\xA4\x41", 1},
        {"ab" + kXu + "b", "ab" + kXu + "B", 0},
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

namespace {

// The same bytes under each code page's rules: a byte is a trail, and so neither a separator
// nor a letter, only where that code page pairs it with the byte before.
TEST(CodePage, EachCodePageFindsAndFoldsByItsOwnCharacters)
{
    struct Case {
        Encoding encoding;
        std::string bytes;
        std::ptrdiff_t backslash; // find(bytes, '\\')
        std::string upper;
    } cases[] = {
        // 0xB1: a Big5 and GBK lead, a half-width katakana alone in Shift-JIS, no UTF-8 at all.
        {Encoding::big5, "\xB1\\a", CodePage::npos, "\xB1\\A"},
        {Encoding::gbk, "\xB1\\a", CodePage::npos, "\xB1\\A"},
        {Encoding::shiftJis, "\xB1\\a", 1, "\xB1\\A"},
        {Encoding::utf8, "\xB1\\a", 1, "\xB1\\A"},
        {Encoding::big5,
         "\xB1"
         "a",
         CodePage::npos,
         "\xB1"
         "a"},
        {Encoding::shiftJis,
         "\xB1"
         "a",
         CodePage::npos,
         "\xB1"
         "A"},
        // ソ in Shift-JIS; 0x83 is a lead in Big5 and GBK too.
        {Encoding::shiftJis, "\x83\\\\x", 2, "\x83\\\\X"},
        {Encoding::gbk, "\x83\\\\x", 2, "\x83\\\\X"},
        {Encoding::utf8, "\x83\\\\x", 1, "\x83\\\\X"},
        // 0x80 trails only in GBK and Shift-JIS; after it the 'a' is a trail in Big5 and GBK.
        {Encoding::big5,
         "\x81\x80"
         "a",
         CodePage::npos,
         "\x81\x80"
         "A"},
        {Encoding::gbk,
         "\x81\x80\x81"
         "a",
         CodePage::npos,
         "\x81\x80\x81"
         "a"},
        // A UTF-8 character of three bytes is one; a truncated one is bytes alone.
        {Encoding::utf8,
         "\xE8\xA8\xB1"
         "a\\",
         4,
         "\xE8\xA8\xB1"
         "A\\"},
        {Encoding::utf8,
         "\xE8\xA8"
         "a",
         CodePage::npos,
         "\xE8\xA8"
         "A"},
        {Encoding::big5,
         "\xE8\xA8"
         "a",
         CodePage::npos,
         "\xE8\xA8"
         "A"},
    };
    for (const Case& c : cases) {
        const CodePage& cp = CodePage::of(c.encoding);
        EXPECT_EQ(cp.find(c.bytes, '\\'), c.backslash) << cp.name() << " " << c.bytes;
        EXPECT_EQ(cp.makeUpper(c.bytes), c.upper) << cp.name() << " " << c.bytes;
        // The collation folds exactly what upper-casing changes.
        EXPECT_EQ(cp.compareNoCase(c.bytes, c.upper), 0) << cp.name() << " " << c.bytes;
    }
    // A trail byte that is a letter sorts by its byte; a single letter is folded.
    EXPECT_GT(CodePage::big5().compareNoCase("\xB1"
                                             "a",
                                             "\xB1"
                                             "A"),
              0);
    EXPECT_EQ(CodePage::of(Encoding::shiftJis)
                  .compareNoCase("\xB1"
                                 "a",
                                 "\xB1"
                                 "A"),
              0);
}

TEST(CodePage, NamesParseInAnyCaseAndNothingElse)
{
    EXPECT_EQ(CodePage::parse("Shift-JIS"), Encoding::shiftJis);
    EXPECT_EQ(CodePage::parse("UTF-8"), Encoding::utf8);
    for (const char* name : {"auto", "sjis", "utf8", "", "big5 "})
        EXPECT_FALSE(CodePage::parse(name)) << name;
    for (const Encoding e : {Encoding::big5, Encoding::gbk, Encoding::shiftJis, Encoding::utf8})
        EXPECT_EQ(CodePage::parse(CodePage::of(e).name()), e);
}

} // namespace
