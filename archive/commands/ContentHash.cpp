#include "archive/commands/ContentHash.h"

#include <cstring>

namespace archive {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr std::uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

constexpr std::uint64_t rotl(std::uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

std::uint64_t load64(const unsigned char* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::uint32_t load32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::uint64_t round(std::uint64_t lane, std::uint64_t input)
{
    return rotl(lane + input * kPrime2, 31) * kPrime1;
}

constexpr std::uint64_t mergeRound(std::uint64_t acc, std::uint64_t lane)
{
    return (acc ^ round(0, lane)) * kPrime1 + kPrime4;
}

void consumeStripe(std::array<std::uint64_t, 4>& lanes, const unsigned char* p)
{
    for (std::size_t i = 0; i < 4; ++i)
        lanes[i] = round(lanes[i], load64(p + 8 * i));
}

} // namespace

void ContentHash::add(std::span<const unsigned char> bytes)
{
    // An empty span may hold no pointer, which memcpy must not see.
    if (bytes.empty())
        return;
    const unsigned char* p = bytes.data();
    std::size_t left = bytes.size();
    m_nTotal += left;
    if (m_nFill > 0) {
        const std::size_t take = std::min(left, m_stripe.size() - m_nFill);
        std::memcpy(m_stripe.data() + m_nFill, p, take);
        m_nFill += take;
        p += take;
        left -= take;
        if (m_nFill < m_stripe.size())
            return;
        consumeStripe(m_lanes, m_stripe.data());
        m_nFill = 0;
    }
    for (; left >= 32; p += 32, left -= 32)
        consumeStripe(m_lanes, p);
    std::memcpy(m_stripe.data(), p, left);
    m_nFill = left;
}

std::uint64_t ContentHash::value() const
{
    std::uint64_t h = 0;
    if (m_nTotal >= 32) {
        h = rotl(m_lanes[0], 1) + rotl(m_lanes[1], 7) + rotl(m_lanes[2], 12) + rotl(m_lanes[3], 18);
        for (const std::uint64_t lane : m_lanes)
            h = mergeRound(h, lane);
    } else {
        h = m_lanes[2] + kPrime5;
    }
    h += m_nTotal;
    const unsigned char* p = m_stripe.data();
    std::size_t left = m_nFill;
    for (; left >= 8; p += 8, left -= 8)
        h = rotl(h ^ round(0, load64(p)), 27) * kPrime1 + kPrime4;
    if (left >= 4) {
        h = rotl(h ^ (load32(p) * kPrime1), 23) * kPrime2 + kPrime3;
        p += 4;
        left -= 4;
    }
    for (; left > 0; ++p, --left)
        h = rotl(h ^ (*p * kPrime5), 11) * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

std::uint64_t ContentHash::of(std::span<const unsigned char> bytes)
{
    ContentHash hash;
    hash.add(bytes);
    return hash.value();
}

} // namespace archive
