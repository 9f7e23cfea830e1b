#pragma once

#include "archive/format/CodePage.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace archive::names {

// Entry names are bytes in the archive's code page (cp: Big5 unless said) with '\' between
// levels; host paths are UTF-8 with '/'. A character the code page cannot decode, or that does
// not encode back to the same bytes, becomes one code point U+F0000 + byte for each of its bytes:
// no code page yields those, so the way back is exact and extracting then building gives every
// name again byte for byte.
constexpr char32_t kEscapeBase = 0xF0000;

// Entry name -> the components of its path below a destination, as UTF-8. '/' counts as a
// separator as well as '\'. NameError (subject: displayName) for an empty name, a leading
// separator, a drive part ("C:"), or an empty, "." or ".." component.
std::vector<std::string> hostComponents(std::string_view entryName,
                                        const CodePage& cp = CodePage::big5());
// The same for the record at recordPosition: an empty name is then named by its record.
std::vector<std::string> hostComponents(std::string_view entryName, std::uint32_t recordPosition,
                                        const CodePage& cp = CodePage::big5());
// The same joined with '/'.
std::string hostRelativePath(std::string_view entryName, const CodePage& cp = CodePage::big5());
// The same into path, whose earlier text it replaces: a walk over a million names reuses one.
void hostRelativePath(std::string_view entryName, const CodePage& cp, std::string& path);

// A '/'-separated UTF-8 path relative to the source folder -> entry name. NameError (subject:
// the path) when it is not valid UTF-8, holds '\', cannot be encoded in code page 950, or would
// not map back to the same path.
std::string entryName(std::string_view hostRelativePath, const CodePage& cp = CodePage::big5());

// The entry name for lists and messages: undecodable characters as U+FFFD, '\' kept.
std::string displayName(std::string_view entryName, const CodePage& cp = CodePage::big5());
// displayName, or "record at N" for an empty name, so a message never lacks its subject.
std::string entrySubject(std::string_view entryName, std::uint32_t recordPosition,
                         const CodePage& cp = CodePage::big5());

// The most bytes one level of a host path may hold.
constexpr std::size_t kMaxHostComponentBytes = 255;

// The one rule for a name that build, add and rename may give an entry and that check does not
// call an error. hostPath is hostRelativePath(entryName), which already refused what would leave
// a destination. Refused: a level of hostPath over kMaxHostComponentBytes, a character the code
// page does not hold (the escape keeps it, but no character stands for it), and where the system
// refuses them (Windows) the names nonPortableReason gives. The reason, in English, or nullopt.
std::optional<std::string> unstorableReason(std::string_view entryName, std::string_view hostPath,
                                            const CodePage& cp = CodePage::big5());
// Throws NameError (subject: displayName) unless entryName may be given to an entry: safe to
// extract, unstorableReason's rule, and free of '/', which extraction reads as a separator.
void requireStorable(std::string_view entryName, const CodePage& cp = CodePage::big5());

// The entry name as reversible UTF-8 text with '\' kept (the escape above for what does not
// decode), as the command line prints it; fromText reverses it and accepts '/' for '\'.
// fromText throws NameError (subject: the text) when the text cannot be an entry name.
std::string toText(std::string_view entryName, const CodePage& cp = CodePage::big5());
std::string fromText(std::string_view text, const CodePage& cp = CodePage::big5());
// fromText with '/' and '\' both kept as given.
std::string fromTextExact(std::string_view text, const CodePage& cp = CodePage::big5());
// True when entryName is text with some of text's '/' bytes read as the separator '\' (text as
// fromTextExact gives it; a '\' in text matches only a '\').
bool matchesReadingSlashAsSeparator(std::string_view text, std::string_view entryName,
                                    const CodePage& cp = CodePage::big5());

} // namespace archive::names
