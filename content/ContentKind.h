#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace content {

// What an entry holds, told from its bytes alone: entries are often misnamed, so the name's type
// is never consulted.
enum class ContentKind {
    picture, // a signature one of the image readers knows
    sound,   // RIFF WAVE
    text,    // Big5 or ASCII, almost all printable
    binary,  // everything else
};

// The image reader a picture's bytes call for, by the name readers go by ("bmp", "png", "jpeg"...);
// empty when the bytes are no plain raster picture. Vector and compressed-container formats have
// no place in a game archive and cost a decoder far more than their size, so none is named.
std::string_view pictureFormat(std::span<const unsigned char> bytes);

// Only the first bytes are examined for text, so this stays fast for entries of any size.
ContentKind sniffContent(std::span<const unsigned char> bytes);

// True when the bytes read as text: no NUL, and at least 95 % of the characters printable ASCII,
// tab, line ends or Big5 characters the code page decodes. Empty input is not text.
bool looksLikeText(std::span<const unsigned char> bytes);

} // namespace content
