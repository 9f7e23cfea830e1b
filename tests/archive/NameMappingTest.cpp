#include "archive/format/NameMapping.h"
#include "archive/ArchiveError.h"
#include "archive/format/CodePage950.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace archive;

namespace {

TEST(NameMapping, EntryNamesBecomeHostPaths)
{
    struct Case {
        std::string entry;
        std::string host;
    } cases[] = {
        {"a.bmp", "a.bmp"},
        {"a\\b\\c.bmp", "a/b/c.bmp"},
        {"\xB3\x5C\\\xA5\x5C.dat", "許/功.dat"}, // trail 0x5C is not a separator
        {"a/b", "a/b"},                          // '/' separates too
        {"..x\\y..", "..x/y.."},
        {"\xFF.bmp", "\xF3\xB0\x83\xBF.bmp"}, // undecodable byte -> U+F00FF
    };
    for (const Case& c : cases)
        EXPECT_EQ(names::hostRelativePath(c.entry), c.host) << c.entry;
}

TEST(NameMapping, NamesLeavingTheDestinationAreRefused)
{
    for (const std::string name : {"", "..", "..\\x", "a\\..\\..\\x", "\\abs", "/abs", "C:\\x",
                                   "c:x", "a/../../x", "a\\\\b", "a\\", ".\\a", "a\\.\\b"}) {
        EXPECT_THROW(names::hostComponents(name), NameError) << name;
    }
}

TEST(NameMapping, EveryTwoByteCodeRoundTrips)
{
    std::vector<std::string> names;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
            names.push_back(std::string{'x', char(lead), char(trail), '.', 'b'});
    for (unsigned b : {0x80u, 0xFFu, 0x81u, 0xFEu, 0xA2u})
        names.push_back(std::string{'x', char(b)});
    names.push_back("\xA2\xCC\xF9\xE9");
    for (const std::string& name : names) {
        const std::string host = names::hostRelativePath(name);
        EXPECT_EQ(names::entryName(host), name) << host;
        EXPECT_EQ(names::fromText(names::toText(name)), name);
    }
}

TEST(NameMapping, UndecodableCharacterWithBackslashTrailStaysOneLevel)
{
    // 0x81 0x5C: a lead and a trail that glibc leaves undefined; both bytes are escaped.
    const std::string name = "\x81\x5C.bmp";
    if (cp950::decodeChar(name, 0))
        GTEST_SKIP() << "this iconv decodes 0x815C";
    const auto components = names::hostComponents(name);
    ASSERT_EQ(components.size(), 1u);
    EXPECT_EQ(names::entryName(components[0]), name);
}

TEST(NameMapping, HostNamesThatCannotBecomeEntryNamesAreRefused)
{
    for (const std::string host : {
             "a\\b",             // '\' would become a separator
             "\xF0\x9F\x98\x80", // emoji: no Big5 code
             "\xFF\xFE",         // not UTF-8
             "\xF3\xB0\x81\x81", // escaped 'A' would come back as 'A'
             "\xF3\xB0\x81\x9C", // escaped lone '\'
         }) {
        EXPECT_THROW(names::entryName(host), NameError) << host;
    }
}

TEST(NameMapping, ATypedSlashStandsForItselfOrTheSeparator)
{
    const struct {
        std::string text; // as fromTextExact gives it
        std::string entry;
        bool matches;
    } cases[] = {
        {"d/a", "d/a", true},
        {"d/a", "d\\a", true},
        {"d\\a", "d/a", false}, // a typed '\' is only ever the separator
        {"a/b/c", "a\\b/c", true},
        {"a/b", "a/bc", false},
        // 許 ends in the byte '\': a '/' after a lone lead byte is not its trail.
        {"\xB3/", "\xB3\x5C", false},
        {"\xB3\x5C/x", "\xB3\x5C\\x", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names::matchesReadingSlashAsSeparator(c.text, c.entry), c.matches)
            << c.text << " ~ " << c.entry;
    EXPECT_EQ(names::fromTextExact("d/a"), "d/a");
    EXPECT_EQ(names::fromTextExact("d\\a"), "d\\a");
    EXPECT_EQ(names::fromText("d/a"), "d\\a");
}

TEST(NameMapping, ErrorsNameTheEntry)
{
    try {
        names::hostComponents("\xB3\x5C\\..\\x");
        FAIL();
    } catch (const NameError& e) {
        EXPECT_EQ(e.subject(), "許\\..\\x");
        EXPECT_NE(e.reason().find(".."), std::string::npos);
    }
}

} // namespace
