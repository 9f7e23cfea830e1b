#include "archive/format/CodePageDetector.h"

#include <algorithm>
#include <cstring>

namespace archive {

namespace {

struct CommonRange {
    char32_t first;
    char32_t last;
};

// Keyed by lead << 8 | trail for the double-byte code pages and by code point for UTF-8.
struct Script {
    std::array<CommonRange, 5> ranges;
    unsigned char minTrail; // GBK's first level uses trails 0xA1-0xFE only
};

constexpr Script kScripts[] = {
    {{{{0xA440, 0xC67E}}}, 0x40},                                     // Big5
    {{{{0xB0A1, 0xD7FE}}}, 0xA1},                                     // GBK
    {{{{0x829F, 0x82F1}, {0x8340, 0x8396}, {0x889F, 0x9872}}}, 0x40}, // Shift-JIS
    {{{{0x4E00, 0x9FFF}, {0x3040, 0x30FF}, {0xAC00, 0xD7A3}, {0x00C0, 0x024F}, {0x0370, 0x04FF}}},
     0x00}, // UTF-8
};

bool isCommon(const Script& script, char32_t key)
{
    if ((key & 0xFF) < script.minTrail)
        return false;
    for (const CommonRange& range : script.ranges) {
        if (key >= range.first && key <= range.last)
            return true;
    }
    return false;
}

// What detection asks of a double-byte code page, by byte and by pair, made once from its rules
// and table: a name is then scored with two lookups a character, with no decoding.
struct PairClasses {
    std::array<bool, 256> isLead{};
    std::array<bool, 256> isSingle{}; // a byte from 0x80 that decodes alone
    // By lead << 8 | trail: 0 no character, 1 a character, 3 a common one (its two bytes + 1).
    std::array<std::uint8_t, 0x10000> pair{};
};

PairClasses makeClasses(const CodePage& page)
{
    const Script& script = kScripts[static_cast<std::size_t>(page.encoding())];
    PairClasses classes;
    for (unsigned b = 0x80; b < 0x100; ++b) {
        const std::string one(1, static_cast<char>(b));
        classes.isLead[b] = page.isLeadByte(static_cast<unsigned char>(b));
        classes.isSingle[b] = !classes.isLead[b] && page.decodeChar(one, 0).has_value();
    }
    for (unsigned code = 0x8000; code < 0x10000; ++code) {
        const std::string two{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        if (page.charLength(two, 0) == 2 && page.decodeChar(two, 0))
            classes.pair[code] = isCommon(script, code) ? 3 : 1;
    }
    return classes;
}

const PairClasses& classesOf(Encoding encoding)
{
    static const PairClasses classes[] = {makeClasses(CodePage::of(Encoding::big5)),
                                          makeClasses(CodePage::of(Encoding::gbk)),
                                          makeClasses(CodePage::of(Encoding::shiftJis))};
    return classes[static_cast<std::size_t>(encoding)];
}

// Adds the bytes of common characters to common; false when a character does not decode.
bool scoreDoubleByte(const PairClasses& classes, std::string_view name, std::size_t from,
                     std::uint64_t& common)
{
    for (std::size_t pos = from; pos < name.size();) {
        const auto c = static_cast<unsigned char>(name[pos]);
        if (c < 0x80) {
            ++pos;
        } else if (classes.isLead[c]) {
            if (pos + 1 == name.size())
                return false; // a lone lead byte
            const std::uint8_t kind =
                classes.pair[std::size_t(c) << 8 | static_cast<unsigned char>(name[pos + 1])];
            if (kind == 0)
                return false;
            common += kind - 1;
            pos += 2;
        } else if (classes.isSingle[c]) {
            ++pos;
        } else {
            return false;
        }
    }
    return true;
}

bool scoreUtf8(std::string_view name, std::size_t from, std::uint64_t& common)
{
    const Script& script = kScripts[static_cast<std::size_t>(Encoding::utf8)];
    for (std::size_t pos = from; pos < name.size();) {
        if (static_cast<unsigned char>(name[pos]) < 0x80) {
            ++pos;
            continue;
        }
        // One decoding a character, as CodePage::decodeChar would give it.
        std::size_t next = pos;
        const std::optional<char32_t> c = utf8::next(name, next);
        if (!c || (*c >= 0xF0000 && *c <= 0xF00FF))
            return false;
        if (isCommon(script, *c))
            common += next - pos;
        pos = next;
    }
    return true;
}

// Big5 and GBK have the same lead bytes and GBK's trails hold Big5's, so while a name decodes
// in Big5 both walk it alike, and one walk with both pair classes at once scores both. Where one
// of them fails the other goes on alone from there.
void scoreBig5AndGbk(std::string_view name, std::size_t from, bool& isBig5, bool& isGbk,
                     std::uint64_t& big5Common, std::uint64_t& gbkCommon)
{
    const PairClasses& big5 = classesOf(Encoding::big5);
    const PairClasses& gbk = classesOf(Encoding::gbk);
    for (std::size_t pos = from; pos < name.size();) {
        const auto c = static_cast<unsigned char>(name[pos]);
        if (c < 0x80) {
            ++pos;
            continue;
        }
        std::uint8_t big5Kind = 0;
        std::uint8_t gbkKind = 0;
        std::size_t length = 1;
        if (big5.isLead[c]) {
            if (pos + 1 < name.size()) {
                const std::size_t code =
                    std::size_t(c) << 8 | static_cast<unsigned char>(name[pos + 1]);
                big5Kind = big5.pair[code];
                gbkKind = gbk.pair[code];
                length = 2;
            }
        } else {
            big5Kind = big5.isSingle[c];
            gbkKind = gbk.isSingle[c];
        }
        if (big5Kind == 0 || gbkKind == 0) {
            isBig5 = big5Kind != 0 && scoreDoubleByte(big5, name, pos, big5Common);
            isGbk = gbkKind != 0 && scoreDoubleByte(gbk, name, pos, gbkCommon);
            return;
        }
        big5Common += length == 2 ? big5Kind - 1 : 0;
        gbkCommon += length == 2 ? gbkKind - 1 : 0;
        pos += length;
    }
}

std::size_t firstNonAscii(std::string_view name)
{
    std::size_t pos = 0;
    // Eight bytes at a time: most names of most archives are ASCII.
    for (; pos + 8 <= name.size(); pos += 8) {
        std::uint64_t word;
        std::memcpy(&word, name.data() + pos, 8);
        if (word & 0x8080808080808080u)
            break;
    }
    while (pos < name.size() && static_cast<unsigned char>(name[pos]) < 0x80)
        ++pos;
    return pos;
}

} // namespace

void CodePageDetector::add(std::string_view name)
{
    constexpr auto big5 = static_cast<std::size_t>(Encoding::big5);
    constexpr auto gbk = static_cast<std::size_t>(Encoding::gbk);
    constexpr auto shiftJis = static_cast<std::size_t>(Encoding::shiftJis);
    constexpr auto utf8 = static_cast<std::size_t>(Encoding::utf8);
    // Once no code page but Big5 is left, Big5 is the answer whatever comes.
    if (!m_abCandidate[gbk] && !m_abCandidate[shiftJis] && !m_abCandidate[utf8])
        return;
    const std::size_t from = firstNonAscii(name);
    if (from == name.size())
        return;
    // Past the last non-ASCII byte and the one after it (a trail it may take) all is ASCII.
    std::size_t end = name.size();
    while (static_cast<unsigned char>(name[end - 1]) < 0x80)
        --end;
    for (std::size_t pos = from; pos < end; ++pos)
        m_nNonAsciiBytes += static_cast<unsigned char>(name[pos]) >> 7;
    name = name.substr(0, std::min(end + 1, name.size()));

    if (m_abCandidate[big5] && m_abCandidate[gbk]) {
        scoreBig5AndGbk(name, from, m_abCandidate[big5], m_abCandidate[gbk], m_anCommonBytes[big5],
                        m_anCommonBytes[gbk]);
    } else {
        for (const std::size_t k : {big5, gbk}) {
            if (m_abCandidate[k])
                m_abCandidate[k] = scoreDoubleByte(classesOf(static_cast<Encoding>(k)), name, from,
                                                   m_anCommonBytes[k]);
        }
    }
    if (m_abCandidate[shiftJis])
        m_abCandidate[shiftJis] =
            scoreDoubleByte(classesOf(Encoding::shiftJis), name, from, m_anCommonBytes[shiftJis]);
    if (m_abCandidate[utf8])
        m_abCandidate[utf8] = scoreUtf8(name, from, m_anCommonBytes[utf8]);
}

Encoding CodePageDetector::result() const
{
    std::size_t best = kCount;
    // Order of preference on a tie: UTF-8, GBK, Shift-JIS.
    for (const Encoding e : {Encoding::utf8, Encoding::gbk, Encoding::shiftJis}) {
        const auto k = static_cast<std::size_t>(e);
        if (m_abCandidate[k] && (best == kCount || m_anCommonBytes[k] > m_anCommonBytes[best]))
            best = k;
    }
    if (best == kCount)
        return Encoding::big5;
    // Big5 scores nothing when it is no candidate; another code page must still show common
    // characters, or names that merely decode (half-width kana soup) would choose it.
    constexpr auto big5 = static_cast<std::size_t>(Encoding::big5);
    const std::uint64_t big5Common = m_abCandidate[big5] ? m_anCommonBytes[big5] : 0;
    if (m_anCommonBytes[best] <= big5Common ||
        (m_anCommonBytes[best] - big5Common) * 4 <= m_nNonAsciiBytes)
        return Encoding::big5;
    return static_cast<Encoding>(best);
}

} // namespace archive
