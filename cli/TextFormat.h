#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cli::text {

// Control characters (C0 and DEL) in UTF-8 text become U+F0000 + byte, the code points the name
// escape uses for undecodable bytes, so an entry name always prints on one line and what list
// prints can be given back to extract. toText never yields these code points itself: only bytes
// of 0x80 and above, or trail bytes 0x40-0x7E, are escaped there.
std::string printable(std::string_view utf8);
// The reverse of printable.
std::string fromPrintable(std::string_view text);

// A JSON string literal, quotes included.
std::string jsonString(std::string_view utf8);

// Lower-case hex digits, two per byte.
std::string hex(std::string_view bytes);

// "512 B", "3.4 KiB", "1.0 GiB".
std::string byteCount(std::uint64_t bytes);

} // namespace cli::text
