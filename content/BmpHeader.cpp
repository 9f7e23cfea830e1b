#include "content/BmpHeader.h"

#include "archive/format/LittleEndian.h"

#include <cstdlib>

namespace content {

namespace {

constexpr std::size_t kWidthOffset = 18;
constexpr std::size_t kHeightOffset = 22;
constexpr std::size_t kBitCountOffset = 28;
constexpr std::size_t kColorsUsedOffset = 46;
constexpr std::uint32_t kMaxPalette = 256;

} // namespace

std::uint64_t BmpHeader::decodedBytes() const
{
    if (width <= 0 || height <= 0)
        return 0;
    return std::uint64_t(width) * std::uint64_t(height) * 4;
}

std::optional<BmpHeader> readBmpHeader(std::span<const unsigned char> bytes)
{
    if (bytes.size() < kColorsUsedOffset + 4 || bytes[0] != 'B' || bytes[1] != 'M')
        return std::nullopt;
    const unsigned char* p = bytes.data();
    BmpHeader header;
    header.width = static_cast<std::int32_t>(archive::readLE32(p + kWidthOffset));
    header.height =
        std::abs(std::int64_t(static_cast<std::int32_t>(archive::readLE32(p + kHeightOffset))));
    header.depth = archive::readLE16(p + kBitCountOffset);
    // A count of 0, or one no palette can hold, means the full palette of the depth.
    const std::uint32_t used = archive::readLE32(p + kColorsUsedOffset);
    if (used != 0 && used <= kMaxPalette)
        header.colors = static_cast<int>(used);
    else if (header.depth <= 8)
        header.colors = 1 << header.depth;
    return header;
}

} // namespace content
