#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cli::text {

// Control characters in UTF-8 text become U+F0000 + byte, the code points the name escape uses
// for undecodable bytes, so an entry name always prints on one line, sends nothing a terminal
// would obey, and can be given back to extract as printed. C0 and DEL: toText never yields
// U+F0000-U+F001F or U+F007F itself (it escapes only bytes 0x80 and above, or trail bytes
// 0x40-0x7E). C1 (U+0080-U+009F): the table decodes only the byte 0x80 among them, whose escape
// U+F0080 names the same byte. A byte that is not part of valid UTF-8 (a host path's) becomes
// U+F0000 + byte too.
std::string printable(std::string_view utf8);
// The reverse of printable for C0 and DEL; the C1 escapes are the name escape's own.
std::string fromPrintable(std::string_view text);

// A JSON string literal, quotes included.
std::string jsonString(std::string_view utf8);

// Lower-case hex digits, two per byte.
std::string hex(std::string_view bytes);

// "512 B", "3.4 KiB", "1.0 GiB".
std::string byteCount(std::uint64_t bytes);

} // namespace cli::text
