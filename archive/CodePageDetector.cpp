#include "archive/CodePageDetector.h"

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
    {{{{0x00C0, 0x024F}, {0x0370, 0x04FF}, {0x3040, 0x30FF}, {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3}}},
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

// Adds the bytes of common characters to common; false when a character does not decode.
bool score(const CodePage& page, std::string_view name, std::size_t from, std::uint64_t& common)
{
    const Script& script = kScripts[static_cast<std::size_t>(page.encoding())];
    const bool isUtf8 = page.encoding() == Encoding::utf8;
    for (std::size_t pos = from; pos < name.size();) {
        const auto lead = static_cast<unsigned char>(name[pos]);
        if (lead < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t n = page.charLength(name, pos);
        const auto c = page.decodeChar(name, pos);
        if (!c)
            return false;
        const char32_t key =
            isUtf8 || n == 1 ? *c : char32_t(lead << 8 | static_cast<unsigned char>(name[pos + 1]));
        if (n > 1 && isCommon(script, key))
            common += n;
        pos += n;
    }
    return true;
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
    const std::size_t from = firstNonAscii(name);
    if (from == name.size())
        return;
    for (std::size_t pos = from; pos < name.size(); ++pos)
        m_nNonAsciiBytes += static_cast<unsigned char>(name[pos]) >> 7;
    for (std::size_t k = 0; k < kCount; ++k) {
        if (m_abCandidate[k])
            m_abCandidate[k] =
                score(CodePage::of(static_cast<Encoding>(k)), name, from, m_anCommonBytes[k]);
    }
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
