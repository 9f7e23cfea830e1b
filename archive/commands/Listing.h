#pragma once

#include "archive/format/CodePage.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace archive {

// The type selector's choices; index 0 lists every entry.
inline constexpr std::array<std::string_view, 6> kTypeFilters = {"*",   "BMP", "DAT",
                                                                 "EGA", "SCR", "WAV"};

// The last three bytes of the upper-cased name (all of it when shorter) equal type; "*" and ""
// pass every name. No dot is looked for: XWAV passes "WAV", .WAVE does not.
bool matchesType(std::string_view name, std::string_view type,
                 const CodePage& cp = CodePage::big5());

// What matchesType compares, as one number: up to three bytes and their count. typeTail is the
// name's upper-cased tail; packedType the type's bytes as given (0 for a type longer than
// three bytes, which no tail equals).
std::uint32_t typeTail(std::string_view name, const CodePage& cp = CodePage::big5());
std::uint32_t packedType(std::string_view type);

} // namespace archive
