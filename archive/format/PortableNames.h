#pragma once

#include "archive/format/CodePage.h"

#include <optional>
#include <string>
#include <string_view>

namespace archive {

// Why an entry name cannot be written as it stands on Windows or a FAT volume, in English, or
// nullopt when every level can. Levels are split at '\' and '/' outside double-byte characters
// (the trail byte of a Big5 character may be '\' or '|' and is neither a separator nor refused).
// Refused: the characters < > : " | ? * and control bytes, a level ending in a dot or a space,
// and the device names CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9 and LPT1-LPT9 with or
// without an extension, in any case. Empty, "." and ".." levels are left to the check that a
// name stays inside its destination.
std::optional<std::string> nonPortableReason(std::string_view entryName,
                                             const CodePage& cp = CodePage::big5());

} // namespace archive
