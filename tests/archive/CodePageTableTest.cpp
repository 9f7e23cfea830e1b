#include "archive/format/CodePage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define VELMORA_HAVE_ICONV 1
#endif

using namespace archive;

namespace {

std::string bytes(unsigned code)
{
    return code < 0x100 ? std::string(1, char(code)) : std::string{char(code >> 8), char(code)};
}

struct TableCase {
    Encoding encoding;
    const char* converter; // glibc's name for it
    int twoByteCharacters;
    struct Known {
        unsigned code; // one byte, or lead << 8 | trail
        char32_t codePoint;
    };
    std::vector<Known> known;
    std::vector<const char*> noCharacter; // bytes no character has
};

const TableCase kTables[] = {
    {Encoding::big5,
     "CP950",
     13901,
     {{0x00, U'\0'},
      {0x5C, U'\\'},
      {0x7F, U'\x7F'},
      {0x80, U'\x80'},
      {0xA140, U'\u3000'},
      {0xA145, U'\u2027'},
      {0xA1C3, U'\uFFE3'},
      {0xA3E1, U'\u20AC'},
      {0xA440, U'\u4E00'},
      {0xA55C, U'功'},
      {0xB35C, U'許'},
      {0xC6A1, U'\uF6B1'},
      {0xF9D5, U'\u9F98'},
      {0xF9FE, U'\u2593'}},
     // glibc's one-way codes decode to a character whose code is another; a lone lead or a lead
     // before a non-trail is no pair.
     {"\xFF", "\xA2\xCC", "\xF9\xE9",
      "\xA3"
      "0",
      "\xA3"}},
    {Encoding::gbk,
     "CP936",
     21791,
     {{0x5C, U'\\'},
      {0x8140, U'丂'},
      {0x815C, U'乗'},
      {0xB1ED, U'表'},
      {0xA5BD, U'ソ'},
      {0xD3CE, U'游'},
      {0xCFB7, U'戏'},
      {0xFE4F, U'\uFA29'}},
     {"\xFF", "\x81\x7F",
      "\x81"
      "0",
      "\xB1"}},
    {Encoding::shiftJis,
     "CP932",
     9206,
     {{0x5C, U'\\'},
      {0xA1, U'\uFF61'},
      {0xDF, U'\uFF9F'},
      {0x835C, U'ソ'},
      {0x955C, U'表'},
      {0x945C, U'能'},
      {0x829F, U'ぁ'},
      {0x8FE6, U'乗'}},
     {"\x80", "\xA0", "\xFD", "\x81\x3F", "\x83"}},
};

class CodePageTable : public testing::TestWithParam<TableCase> {
protected:
    const CodePage& page() const { return CodePage::of(GetParam().encoding); }
};

INSTANTIATE_TEST_SUITE_P(, CodePageTable, testing::ValuesIn(kTables),
                         [](const auto& info) { return std::string(info.param.converter); });

TEST_P(CodePageTable, KnownCodesBothWays)
{
    for (const TableCase::Known& c : GetParam().known) {
        const std::string b = bytes(c.code);
        EXPECT_EQ(page().decodeChar(b, 0), c.codePoint) << std::hex << c.code;
        EXPECT_EQ(page().encodeChar(c.codePoint), b) << std::hex << c.code;
    }
}

TEST_P(CodePageTable, CodesWithoutACharacter)
{
    for (const char* code : GetParam().noCharacter)
        EXPECT_FALSE(page().decodeChar(code, 0)) << std::hex << unsigned(code[0] & 0xFF);
    for (char32_t codePoint : {U'\uFFFD', U'\x81', U'\U0001F600', U'\U0010FFFF', char32_t(0x110000),
                               char32_t(0xFFFFFFFF)})
        EXPECT_FALSE(page().encodeChar(codePoint)) << std::hex << unsigned(codePoint);
}

// Holds on every platform, without a converter to compare with: a decodable code encodes back to
// itself, and every encoding decodes back to its code point.
TEST_P(CodePageTable, EveryEntryRoundTrips)
{
    int characters = 0;
    for (unsigned code = 0x8000; code <= 0xFFFF; ++code) {
        const std::string b = bytes(code);
        if (page().charLength(b, 0) != 2)
            continue;
        if (const auto c = page().decodeChar(b, 0)) {
            ++characters;
            EXPECT_EQ(page().encodeChar(*c), b) << std::hex << code;
        }
    }
    EXPECT_EQ(characters, GetParam().twoByteCharacters);
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        if (const auto b = page().encodeChar(c)) {
            ASSERT_TRUE(b->size() == 1 || b->size() == 2) << std::hex << unsigned(c);
            EXPECT_EQ(page().charLength(*b, 0), b->size()) << std::hex << unsigned(c);
            EXPECT_EQ(page().decodeChar(*b, 0), c) << std::hex << unsigned(c);
        }
    }
}

// The converter the table was generated from, one code at a time; never open where the system has
// no iconv (Windows), and the comparison is then skipped.
class Converter {
public:
#ifdef VELMORA_HAVE_ICONV
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (isOpen())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool isOpen() const
    {
        return m_cd != iconv_t(-1);
    }

    std::optional<std::string> operator()(const std::string& in)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string inBuf = in;
        char outBuf[16];
        char* pIn = inBuf.data();
        char* pOut = outBuf;
        std::size_t inLeft = inBuf.size();
        std::size_t outLeft = sizeof outBuf;
        if (iconv(m_cd, &pIn, &inLeft, &pOut, &outLeft) == std::size_t(-1) || inLeft != 0)
            return std::nullopt;
        return std::string(outBuf, sizeof outBuf - outLeft);
    }

private:
    iconv_t m_cd;
#else
    Converter(const char*, const char*) {}
    bool isOpen() const
    {
        return false;
    }
    std::optional<std::string> operator()(const std::string&)
    {
        return std::nullopt;
    }
#endif
};

std::string utf32(char32_t c)
{
    return std::string{char(c), char(c >> 8), char(c >> 16), char(c >> 24)};
}

class CodePageAgainstIconv : public CodePageTable {
protected:
    void SetUp() override
    {
        if (!m_decoder.isOpen() || !m_encoder.isOpen())
            GTEST_SKIP() << "no iconv with " << GetParam().converter << " here";
    }

    // What the table must say for these bytes: the one character they decode to, when it encodes
    // back to exactly them.
    std::optional<char32_t> roundTrip(const std::string& code)
    {
        const auto decoded = m_decoder(code);
        if (!decoded || decoded->size() != 4)
            return std::nullopt;
        char32_t c = 0;
        std::memcpy(&c, decoded->data(), 4);
        if (m_encoder(*decoded) != code)
            return std::nullopt;
        return c;
    }

    Converter m_decoder{"UTF-32LE", GetParam().converter};
    Converter m_encoder{GetParam().converter, "UTF-32LE"};
};

INSTANTIATE_TEST_SUITE_P(, CodePageAgainstIconv, testing::ValuesIn(kTables),
                         [](const auto& info) { return std::string(info.param.converter); });

TEST_P(CodePageAgainstIconv, EverySingleByte)
{
    for (unsigned b = 0; b <= 0xFF; ++b)
        EXPECT_EQ(page().decodeChar(bytes(b), 0), roundTrip(bytes(b))) << std::hex << b;
}

TEST_P(CodePageAgainstIconv, EveryTwoByteCode)
{
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const std::string b{char(code >> 8), char(code)};
        // Where iconv reads the two bytes as one character, so must the double-byte rules.
        const auto c = roundTrip(b);
        if (c) {
            ASSERT_EQ(page().charLength(b, 0), 2u) << std::hex << code;
        }
        if (page().charLength(b, 0) == 2)
            EXPECT_EQ(page().decodeChar(b, 0), c) << std::hex << code;
        else
            EXPECT_EQ(page().decodeChar(b, 0), roundTrip(b.substr(0, 1))) << std::hex << code;
    }
}

TEST_P(CodePageAgainstIconv, EveryCodePoint)
{
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        std::optional<std::string> expected = m_encoder(utf32(c));
        if (expected && roundTrip(*expected) != c)
            expected.reset(); // iconv's one-way fallbacks are not the table's
        EXPECT_EQ(page().encodeChar(c), expected) << std::hex << unsigned(c);
    }
}

} // namespace
