#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace content {

// What a BMP's headers claim, read before any decoder sees the pixels: a picture too large to
// decode is still described by its claimed size, and the depth and palette are the file's own
// (a decoder widens every picture to 32 bits).
struct BmpHeader {
    std::int64_t width = 0;
    std::int64_t height = 0; // rows stored top down have a negative height in the file
    int depth = 0;
    int colors = 0; // palette entries; 0 for direct colour

    // Bytes of the picture once decoded to 32 bits; 0 when a side is not positive.
    std::uint64_t decodedBytes() const;
};

// nullopt when the bytes are no BMP or too short to hold the fields read here.
std::optional<BmpHeader> readBmpHeader(std::span<const unsigned char> bytes);

} // namespace content
