#pragma once

#include <array>
#include <string_view>

namespace archive {

// The type selector's choices; index 0 lists every entry.
inline constexpr std::array<std::string_view, 6> kTypeFilters = {"*",   "BMP", "DAT",
                                                                 "EGA", "SCR", "WAV"};

// The last three bytes of the upper-cased name (all of it when shorter) equal type; "*" and ""
// pass every name. No dot is looked for: XWAV passes "WAV", .WAVE does not.
bool matchesType(std::string_view name, std::string_view type);

} // namespace archive
