#include "archive/format/CodePage.h"

#include "archive/format/CodePageTable.h"

#include <algorithm>
#include <cctype>

namespace archive {

namespace {

constexpr unsigned char foldLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

constexpr char32_t kEscapeFirst = 0xF0000; // names::kEscapeBase
constexpr char32_t kEscapeLast = 0xF00FF;

struct Naming {
    Encoding encoding;
    std::string_view name;
    std::string_view title;
    const table::CodePageTable* pTable;
};

constexpr Naming kNamings[] = {
    {Encoding::big5, "big5", "code page 950 (Big5)", &table::kCodePage950},
    {Encoding::gbk, "gbk", "code page 936 (GBK)", &table::kCodePage936},
    {Encoding::shiftJis, "shift-jis", "code page 932 (Shift-JIS)", &table::kCodePage932},
    {Encoding::utf8, "utf-8", "UTF-8", nullptr},
};

const Naming& naming(Encoding encoding)
{
    return kNamings[static_cast<std::size_t>(encoding)];
}

void markRanges(std::array<bool, 256>& marks, const std::array<table::ByteRange, 2>& ranges)
{
    for (const table::ByteRange& range : ranges) {
        for (unsigned b = range.first; b <= range.last; ++b)
            marks[b] = true;
    }
}

} // namespace

CodePage::CodePage(Encoding encoding, const table::CodePageTable* pTable)
    : m_encoding(encoding), m_pTable(pTable)
{
    if (pTable) {
        markRanges(m_abLead, pTable->leads);
        markRanges(m_abTrail, pTable->trails);
    } else {
        // UTF-8: the bytes that can start a sequence of two to four bytes.
        std::fill(m_abLead.begin() + 0xC2, m_abLead.begin() + 0xF5, true);
        std::fill(m_abTrail.begin() + 0x80, m_abTrail.begin() + 0xC0, true);
    }
}

const CodePage& CodePage::of(Encoding encoding)
{
    static const CodePage pages[] = {
        {Encoding::big5, naming(Encoding::big5).pTable},
        {Encoding::gbk, naming(Encoding::gbk).pTable},
        {Encoding::shiftJis, naming(Encoding::shiftJis).pTable},
        {Encoding::utf8, nullptr},
    };
    return pages[static_cast<std::size_t>(encoding)];
}

std::optional<Encoding> CodePage::parse(std::string_view name)
{
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(foldLower(static_cast<unsigned char>(c)));
    for (const Naming& n : kNamings) {
        if (n.name == lower)
            return n.encoding;
    }
    return std::nullopt;
}

std::string_view CodePage::name() const noexcept
{
    return naming(m_encoding).name;
}

std::string_view CodePage::title() const noexcept
{
    return naming(m_encoding).title;
}

std::size_t CodePage::utf8Length(std::string_view s, std::size_t pos) const
{
    std::size_t next = pos;
    return utf8::next(s, next) ? next - pos : 1;
}

std::ptrdiff_t CodePage::find(std::string_view haystack, char c, std::size_t start) const
{
    for (std::size_t i = 0; i < haystack.size(); i += charLength(haystack, i)) {
        if (i >= start && haystack[i] == c && charLength(haystack, i) == 1)
            return static_cast<std::ptrdiff_t>(i);
    }
    return npos;
}

std::ptrdiff_t CodePage::find(std::string_view haystack, std::string_view needle,
                              std::size_t start) const
{
    if (needle.empty())
        return start <= haystack.size() ? static_cast<std::ptrdiff_t>(start) : npos;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); i += charLength(haystack, i)) {
        if (i < start || haystack.compare(i, needle.size(), needle) != 0)
            continue;
        // The match must end on a character boundary too, not halfway into a multi-byte one.
        std::size_t end = i;
        while (end < i + needle.size())
            end += charLength(haystack, end);
        if (end == i + needle.size())
            return static_cast<std::ptrdiff_t>(i);
    }
    return npos;
}

std::string CodePage::makeUpper(std::string_view s) const
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

int CodePage::compareNoCase(std::string_view a, std::string_view b) const
{
    // Byte by byte over the folded strings, each walked by its own characters so that only a
    // single-byte letter is folded, never a trail byte.
    std::size_t aTrail = 0; // trail bytes still to come in a's current character
    std::size_t bTrail = 0;
    const std::size_t n = std::min(a.size(), b.size());
    // Bytes below 0x80 are whole characters in every code page, so a common prefix of them is
    // passed without folding: names in a list share most of their first bytes.
    std::size_t i = 0;
    while (i < n && a[i] == b[i] && static_cast<unsigned char>(a[i]) < 0x80)
        ++i;
    for (; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        const unsigned char fa = aTrail ? ca : foldLower(ca);
        const unsigned char fb = bTrail ? cb : foldLower(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        aTrail = aTrail ? aTrail - 1 : charLength(a, i) - 1;
        bTrail = bTrail ? bTrail - 1 : charLength(b, i) - 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::optional<char32_t> CodePage::decodeChar(std::string_view s, std::size_t pos) const
{
    if (pos >= s.size())
        return std::nullopt;
    if (m_pTable == nullptr) {
        const auto c = utf8::next(s, pos);
        if (c && *c >= kEscapeFirst && *c <= kEscapeLast)
            return std::nullopt;
        return c;
    }
    const auto lead = static_cast<unsigned char>(s[pos]);
    char32_t c = 0;
    if (charLength(s, pos) == 2)
        c = m_pTable->pairs[table::pairIndex(lead, static_cast<unsigned char>(s[pos + 1]))];
    else if (!isLeadByte(lead))
        c = m_pTable->single[lead];
    else
        return std::nullopt; // a lone lead byte
    if (c == 0 && lead != 0)
        return std::nullopt;
    return c;
}

std::optional<std::string> CodePage::encodeChar(char32_t codePoint) const
{
    if (codePoint < 0x80)
        return std::string(1, static_cast<char>(codePoint));
    if (m_pTable == nullptr) {
        if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
            (codePoint >= kEscapeFirst && codePoint <= kEscapeLast))
            return std::nullopt;
        std::string out;
        utf8::append(out, codePoint);
        return out;
    }
    if (codePoint > 0xFFFF)
        return std::nullopt;
    const std::uint16_t code =
        m_pTable->encode[m_pTable->encodeBlock[codePoint >> 8]][codePoint & 0xFF];
    if (code == 0)
        return std::nullopt;
    if (code < 0x100)
        return std::string(1, static_cast<char>(code));
    return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

std::string CodePage::toUtf8Lossy(std::string_view bytes) const
{
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    for (std::size_t i = 0; i < bytes.size(); i += charLength(bytes, i)) {
        const auto c = decodeChar(bytes, i);
        utf8::append(out, c ? *c : char32_t(0xFFFD));
    }
    return out;
}

std::optional<std::string> CodePage::fromUtf8(std::string_view text) const
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const auto c = utf8::next(text, pos);
        if (!c)
            return std::nullopt;
        const auto bytes = encodeChar(*c);
        if (!bytes)
            return std::nullopt;
        out += *bytes;
    }
    return out;
}

namespace utf8 {

void append(std::string& out, char32_t c)
{
    // Made whole and appended once: a push per byte was a tenth of a listing.
    char bytes[4];
    std::size_t n = 0;
    if (c < 0x80) {
        bytes[n++] = static_cast<char>(c);
    } else if (c < 0x800) {
        bytes[n++] = static_cast<char>(0xC0 | (c >> 6));
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes[n++] = static_cast<char>(0xE0 | (c >> 12));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes[n++] = static_cast<char>(0xF0 | (c >> 18));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    out.append(bytes, n);
}

std::optional<char32_t> next(std::string_view s, std::size_t& pos)
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

} // namespace utf8

} // namespace archive
