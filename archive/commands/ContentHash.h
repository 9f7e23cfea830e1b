#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace archive {

// A fast 64-bit hash of bytes fed in pieces (XXH64 with seed 0, so values can be checked with
// any of its tools). Not cryptographic: it finds candidates, and equal bytes are confirmed by
// comparing them; across archives it tells apart what was not made to collide.
class ContentHash {
public:
    void add(std::span<const unsigned char> bytes);
    std::uint64_t value() const;

    static std::uint64_t of(std::span<const unsigned char> bytes);

private:
    std::array<std::uint64_t, 4> m_lanes = {0x60EA27EEADC0B5D6ull, 0xC2B2AE3D27D4EB4Full, 0,
                                            0x61C8864E7A143579ull};
    std::array<unsigned char, 32> m_stripe{};
    std::size_t m_nFill = 0;
    std::uint64_t m_nTotal = 0;
};

} // namespace archive
