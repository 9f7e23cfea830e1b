#include "archive/format/PortableNames.h"

#include <gtest/gtest.h>

#include <string>

using archive::nonPortableReason;

namespace {

TEST(PortableNames, NamesWindowsAndFatCanHold)
{
    for (const std::string name : {
             "a.bmp",
             "sub\\dir/file.dat",
             "\xB3\x5C.bmp",        // 許: trail byte '\' is no separator
             "\xA5\x5C\\\xB3\x5C",  // 功\許
             "\xA1\x7C.txt",        // trail byte '|' is no refused character
             "\xA4\x40\\x\xA1\x7C", // and not in a folder either
             "CONSOLE.txt",
             "nul1",
             "com0",
             "COM10",
             "lpt",
             "xAUX",
             "con_",
             "CONIN",
             "conout$x",
             "auxiliary\\a",
             ".hidden",
             "a..b",
             "..\\x",
             "a\\.\\b", // parent steps are another check's refusal
             "a b.c",
             "\x7F",
             "~$x",
         }) {
        EXPECT_EQ(nonPortableReason(name), std::nullopt) << name;
    }
}

TEST(PortableNames, NamesWindowsAndFatRefuse)
{
    struct Case {
        std::string name;
        std::string reasonHas;
    } cases[] = {
        {"lt<gt>.bmp", "'<'"},
        {"a>b", "'>'"},
        {"a:b", "':'"},
        {"say\"hi\"", "'\"'"},
        {"pipe|x", "'|'"},
        {"what?", "'?'"},
        {"star*.bmp", "'*'"},
        {"tab\there", "control byte 0x09"},
        {"bell\x07", "control byte 0x07"},
        {std::string("nul\0x", 5), "control byte 0x00"},
        {"dir\\x\x1F\\a", "control byte 0x1F"},
        {"dot.", "its name ends with a dot"},
        {"space ", "its name ends with a space"},
        {"sub.\\a.bmp", "the folder \"sub.\" ends with a dot"},
        {"a\\sub \\b", "the folder \"sub \" ends with a space"},
        {"a/sub./b", "the folder \"sub.\""},
        {"\xA4\x40.", "ends with a dot"}, // after a double-byte character
        {"CON", "device CON"},
        {"con.txt", "device CON"},
        {"Con .log", "device CON"},
        {"PRN.a.b", "device PRN"},
        {"aux", "device AUX"},
        {"NUL.bmp", "device NUL"},
        {"COM1", "device COM1"},
        {"com9.dat", "device com9"},
        {"LPT1.txt", "device LPT1"},
        {"lPt5", "device lPt5"},
        {"CONIN$", "device CONIN$"},
        {"data\\conout$.txt", "device CONOUT$"},
        {"data\\aux\\x.bmp", "the folder \"aux\" is the device AUX"},
        {"data\\nul.d/x.bmp", "the folder \"nul.d\""},
        {"ok\\ok\\PRN", "its name is the device PRN"},
        {"\xA1\x7C|", "'|'"}, // the trail '|' passes, the lone one does not
        {"\xB3\x5C\\?", "'?'"},
        {std::string(60, 'x') + ".\\a", "\"" + std::string(40, 'x') + "...\""},
    };
    for (const Case& c : cases) {
        const auto reason = nonPortableReason(c.name);
        ASSERT_TRUE(reason.has_value()) << c.name;
        EXPECT_NE(reason->find(c.reasonHas), std::string::npos) << c.name << ": " << *reason;
    }
}

TEST(PortableNames, AQuotedFolderIsCutBetweenCharacters)
{
    // 39 single bytes then 許: a cut at 40 bytes would split the character.
    const std::string folder = std::string(39, 'x') + "\xB3\x5C" + ".";
    const auto reason = nonPortableReason(folder + "\\a");
    ASSERT_TRUE(reason.has_value());
    EXPECT_NE(reason->find("\"" + std::string(39, 'x') + "...\""), std::string::npos) << *reason;
}

} // namespace
