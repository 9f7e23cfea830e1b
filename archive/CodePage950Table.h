#pragma once

#include <cstddef>
#include <cstdint>

// Code page 950 both ways, generated once from glibc's CP950 (scripts/gen-cp950-table.py) and
// kept as data, so every platform converts names alike and none needs a converter at run time.
// A code is present only when its character encodes back to the same bytes; 0 means none.
namespace archive::cp950::table {

// Code point of each single byte: ASCII as itself, a lead byte never.
extern const std::uint16_t kSingle[256];

// Lead bytes 0x81-0xFE by trail bytes 0x40-0x7E and 0xA1-0xFE.
constexpr std::size_t kLeadCount = 0xFE - 0x81 + 1;
constexpr std::size_t kTrailCount = (0x7E - 0x40 + 1) + (0xFE - 0xA1 + 1);
constexpr std::size_t pairIndex(unsigned char lead, unsigned char trail)
{
    return std::size_t(lead - 0x81) * kTrailCount + (trail <= 0x7E ? trail - 0x40 : trail - 0x62);
}
extern const std::uint16_t kPairs[kLeadCount * kTrailCount];

// Code point -> bytes: kEncode[kEncodeBlock[cp >> 8]][cp & 0xFF] is a single byte (below 0x100)
// or lead << 8 | trail. Covers U+0080-U+FFFF; ASCII encodes as itself.
extern const std::uint8_t kEncodeBlock[256];
extern const std::uint16_t kEncode[][256];

} // namespace archive::cp950::table
