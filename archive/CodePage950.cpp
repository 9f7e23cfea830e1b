#include "archive/CodePage950.h"

#include "archive/CodePage950Table.h"

#include <algorithm>

namespace archive::cp950 {

namespace {

constexpr unsigned char foldLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

} // namespace

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::ptrdiff_t find(std::string_view haystack, char c, std::size_t start)
{
    for (std::size_t i = 0; i < haystack.size(); i += charLength(haystack, i)) {
        if (i >= start && haystack[i] == c && charLength(haystack, i) == 1)
            return static_cast<std::ptrdiff_t>(i);
    }
    return npos;
}

std::ptrdiff_t find(std::string_view haystack, std::string_view needle, std::size_t start)
{
    if (needle.empty())
        return start <= haystack.size() ? static_cast<std::ptrdiff_t>(start) : npos;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); i += charLength(haystack, i)) {
        if (i < start || haystack.compare(i, needle.size(), needle) != 0)
            continue;
        // The match must end on a character boundary too, not halfway into a double-byte one.
        std::size_t end = i;
        while (end < i + needle.size())
            end += charLength(haystack, end);
        if (end == i + needle.size())
            return static_cast<std::ptrdiff_t>(i);
    }
    return npos;
}

std::string makeUpper(std::string_view s)
{
    std::string out(s);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t n = charLength(out, i);
        if (n == 1 && out[i] >= 'a' && out[i] <= 'z')
            out[i] = static_cast<char>(out[i] - ('a' - 'A'));
        i += n;
    }
    return out;
}

std::string_view right(std::string_view s, std::size_t n)
{
    return s.size() <= n ? s : s.substr(s.size() - n);
}

int compareNoCase(std::string_view a, std::string_view b)
{
    // Byte by byte over the folded strings, each walked by its own characters so that only a
    // single-byte letter is folded, never the trail byte of a double-byte character.
    std::size_t i = 0;
    bool aTrail = false;
    bool bTrail = false;
    const std::size_t n = std::min(a.size(), b.size());
    for (; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        const bool aPair = !aTrail && charLength(a, i) == 2;
        const bool bPair = !bTrail && charLength(b, i) == 2;
        const unsigned char fa = aTrail ? ca : foldLower(ca);
        const unsigned char fb = bTrail ? cb : foldLower(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        aTrail = aPair;
        bTrail = bPair;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::optional<char32_t> decodeChar(std::string_view s, std::size_t pos)
{
    if (pos >= s.size())
        return std::nullopt;
    const auto lead = static_cast<unsigned char>(s[pos]);
    char32_t c = 0;
    if (charLength(s, pos) == 2)
        c = table::kPairs[table::pairIndex(lead, static_cast<unsigned char>(s[pos + 1]))];
    else if (!isLeadByte(lead))
        c = table::kSingle[lead];
    else
        return std::nullopt; // a lone lead byte
    if (c == 0 && lead != 0)
        return std::nullopt;
    return c;
}

std::optional<std::string> encodeChar(char32_t codePoint)
{
    if (codePoint < 0x80)
        return std::string(1, static_cast<char>(codePoint));
    if (codePoint > 0xFFFF)
        return std::nullopt;
    const std::uint16_t code =
        table::kEncode[table::kEncodeBlock[codePoint >> 8]][codePoint & 0xFF];
    if (code == 0)
        return std::nullopt;
    if (code < 0x100)
        return std::string(1, static_cast<char>(code));
    return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

std::string toUtf8Lossy(std::string_view big5)
{
    std::string out;
    out.reserve(big5.size() * 3 / 2);
    for (std::size_t i = 0; i < big5.size(); i += charLength(big5, i)) {
        const auto c = decodeChar(big5, i);
        appendUtf8(out, c ? *c : char32_t(0xFFFD));
    }
    return out;
}

std::optional<char32_t> nextUtf8(std::string_view s, std::size_t& pos)
{
    const auto b0 = static_cast<unsigned char>(s[pos]);
    std::size_t n = 0;
    char32_t c = 0;
    if (b0 < 0x80) {
        ++pos;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        n = 1;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 2;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 3;
        c = b0 & 0x07;
    } else {
        return std::nullopt;
    }
    if (pos + n >= s.size())
        return std::nullopt;
    for (std::size_t k = 1; k <= n; ++k) {
        const auto b = static_cast<unsigned char>(s[pos + k]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        c = c << 6 | (b & 0x3F);
    }
    static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (c < kMin[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt; // overlong, out of range or a surrogate
    pos += n + 1;
    return c;
}

std::optional<std::string> fromUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto c = nextUtf8(utf8, pos);
        if (!c)
            return std::nullopt;
        const auto bytes = encodeChar(*c);
        if (!bytes)
            return std::nullopt;
        out += *bytes;
    }
    return out;
}

} // namespace archive::cp950
