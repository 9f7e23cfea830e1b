#include "archive/CodePage950Table.h"
#include "archive/CodePage950.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

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

TEST(CodePage950Table, KnownCodesBothWays)
{
    struct Case {
        unsigned code; // one byte, or lead << 8 | trail
        char32_t codePoint;
    } cases[] = {
        {0x00, U'\0'},       {0x5C, U'\\'},       {0x7F, U'\x7F'},     {0x80, U'\x80'},
        {0xA140, U'\u3000'}, {0xA145, U'\u2027'}, {0xA1C3, U'\uFFE3'}, {0xA3E1, U'\u20AC'},
        {0xA440, U'\u4E00'}, {0xA55C, U'功'},     {0xB35C, U'許'},     {0xC6A1, U'\uF6B1'},
        {0xF9D5, U'\u9F98'}, {0xF9FE, U'\u2593'},
    };
    for (const Case& c : cases) {
        const std::string b = bytes(c.code);
        EXPECT_EQ(cp950::decodeChar(b, 0), c.codePoint) << std::hex << c.code;
        EXPECT_EQ(cp950::encodeChar(c.codePoint), b) << std::hex << c.code;
    }
}

TEST(CodePage950Table, CodesWithoutACharacter)
{
    // Bytes no character has, and glibc's one-way codes (they decode to a character whose code is
    // another), must not decode; a lone lead or a lead before a non-trail is no pair.
    for (const char* code : {"\xFF", "\xA2\xCC", "\xF9\xE9",
                             "\xA3"
                             "0",
                             "\xA3"})
        EXPECT_FALSE(cp950::decodeChar(code, 0)) << std::hex << unsigned(code[0] & 0xFF);
    for (char32_t codePoint : {U'\uFFFD', U'\x81', U'\U0001F600', U'\U0010FFFF', char32_t(0x110000),
                               char32_t(0xFFFFFFFF)})
        EXPECT_FALSE(cp950::encodeChar(codePoint)) << std::hex << unsigned(codePoint);
}

// Holds on every platform, without a converter to compare with: a decodable code encodes back to
// itself, and every encoding decodes back to its code point.
TEST(CodePage950Table, EveryEntryRoundTrips)
{
    int characters = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (!cp950::isTrailByte(static_cast<unsigned char>(trail)))
                continue;
            const std::string b = bytes(lead << 8 | trail);
            if (const auto c = cp950::decodeChar(b, 0)) {
                ++characters;
                EXPECT_EQ(cp950::encodeChar(*c), b) << std::hex << (lead << 8 | trail);
            }
        }
    }
    EXPECT_EQ(characters, 13901);
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        if (const auto b = cp950::encodeChar(c)) {
            ASSERT_TRUE(b->size() == 1 || b->size() == 2) << std::hex << unsigned(c);
            EXPECT_EQ(cp950::charLength(*b, 0), b->size()) << std::hex << unsigned(c);
            EXPECT_EQ(cp950::decodeChar(*b, 0), c) << std::hex << unsigned(c);
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

class CodePage950AgainstIconv : public testing::Test {
protected:
    void SetUp() override
    {
        if (!m_decoder.isOpen() || !m_encoder.isOpen())
            GTEST_SKIP() << "no iconv with CP950 here";
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

    Converter m_decoder{"UTF-32LE", "CP950"};
    Converter m_encoder{"CP950", "UTF-32LE"};
};

TEST_F(CodePage950AgainstIconv, EverySingleByte)
{
    for (unsigned b = 0; b <= 0xFF; ++b)
        EXPECT_EQ(cp950::decodeChar(bytes(b), 0), roundTrip(bytes(b))) << std::hex << b;
}

TEST_F(CodePage950AgainstIconv, EveryTwoByteCode)
{
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const std::string b{char(code >> 8), char(code)};
        // Where iconv reads the two bytes as one character, so must the double-byte rules.
        const auto c = roundTrip(b);
        if (c) {
            ASSERT_EQ(cp950::charLength(b, 0), 2u) << std::hex << code;
        }
        if (cp950::charLength(b, 0) == 2)
            EXPECT_EQ(cp950::decodeChar(b, 0), c) << std::hex << code;
        else
            EXPECT_EQ(cp950::decodeChar(b, 0), roundTrip(b.substr(0, 1))) << std::hex << code;
    }
}

TEST_F(CodePage950AgainstIconv, EveryCodePoint)
{
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        std::optional<std::string> expected = m_encoder(utf32(c));
        if (expected && roundTrip(*expected) != c)
            expected.reset(); // iconv's one-way fallbacks are not the table's
        EXPECT_EQ(cp950::encodeChar(c), expected) << std::hex << unsigned(c);
    }
}

} // namespace
