#pragma once

#include <array>
#include <string>
#include <string_view>

namespace archive {

class ArchiveReader;
class CFile;
class EntryList;

// The type selector's choices in display order; index 0 lists every entry.
inline constexpr std::array<std::string_view, 6> kTypeFilters = {"*",   "BMP", "DAT",
                                                                 "EGA", "SCR", "WAV"};

// The last three bytes of the upper-cased name (all of it when shorter) equal type; "*" and ""
// pass every name. No dot is looked for: XWAV passes "WAV", .WAVE does not.
bool matchesType(std::string_view name, std::string_view type);

// Empties list and adds every entry of the archive that passes matchesType, with its record
// position as item value. Returns the number listed. Throws the FormatError of a malformed
// record; list is then empty.
int listArchive(const ArchiveReader& archive, EntryList& list, std::string_view type);
// The same after reading the directory of an open file from offset 0; FileError as well.
int listArchive(CFile& archive, EntryList& list, std::string_view type);

// "GAME00.DAT,共123個檔案" in UTF-8; fileName is the archive's last path component.
std::string statusLine(std::string_view fileName, int count);

} // namespace archive
