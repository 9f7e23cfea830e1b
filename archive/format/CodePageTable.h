#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// A double-byte code page both ways, generated once from glibc's converter
// (scripts/gen-code-page-table.py) and kept as data, so every platform converts names alike and
// none needs a converter at run time. A code is present only when its character encodes back to
// the same bytes; 0 means none.
namespace archive::table {

struct ByteRange {
    unsigned char first;
    unsigned char last; // inclusive; first > last is an empty range
};

// Pairs of every table are laid out alike: leads 0x80-0xFF by trails 0x40-0xFF.
constexpr std::size_t kPairTrails = 0x100 - 0x40;
constexpr std::size_t kPairCount = 0x80 * kPairTrails;
constexpr std::size_t pairIndex(unsigned char lead, unsigned char trail)
{
    return std::size_t(lead - 0x80) * kPairTrails + (trail - 0x40);
}

struct CodePageTable {
    // The double-byte rules: a lead byte followed by a trail byte is one character.
    std::array<ByteRange, 2> leads;
    std::array<ByteRange, 2> trails;
    // Code point of each single byte: ASCII as itself, a lead byte never.
    const std::uint16_t* single;
    // Code point of each pair, at pairIndex.
    const std::uint16_t* pairs;
    // Code point -> bytes: encode[encodeBlock[cp >> 8]][cp & 0xFF] is a single byte (below 0x100)
    // or lead << 8 | trail. Covers U+0080-U+FFFF; ASCII encodes as itself.
    const std::uint8_t* encodeBlock;
    const std::uint16_t (*encode)[256];
};

extern const CodePageTable kCodePage950; // Big5
extern const CodePageTable kCodePage936; // GBK
extern const CodePageTable kCodePage932; // Shift-JIS

} // namespace archive::table
