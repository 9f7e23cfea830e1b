#pragma once

#include "archive/format/CodePage.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Code page 950 (Big5) alone, for what is Big5 whatever the archive: a text entry's content in
// the preview and the content sniffing. Entry names go through the archive's CodePage.
namespace archive::cp950 {

inline const CodePage& rules()
{
    return CodePage::big5();
}
inline bool isLeadByte(unsigned char c)
{
    return rules().isLeadByte(c);
}
inline std::size_t charLength(std::string_view s, std::size_t pos)
{
    return rules().charLength(s, pos);
}

constexpr std::ptrdiff_t npos = CodePage::npos;
inline std::ptrdiff_t find(std::string_view haystack, char c, std::size_t start = 0)
{
    return rules().find(haystack, c, start);
}
inline std::ptrdiff_t find(std::string_view haystack, std::string_view needle,
                           std::size_t start = 0)
{
    return rules().find(haystack, needle, start);
}
inline std::string makeUpper(std::string_view s)
{
    return rules().makeUpper(s);
}
inline int compareNoCase(std::string_view a, std::string_view b)
{
    return rules().compareNoCase(a, b);
}
inline std::optional<char32_t> decodeChar(std::string_view s, std::size_t pos)
{
    return rules().decodeChar(s, pos);
}
inline std::optional<std::string> encodeChar(char32_t codePoint)
{
    return rules().encodeChar(codePoint);
}
inline std::string toUtf8Lossy(std::string_view big5)
{
    return rules().toUtf8Lossy(big5);
}
inline std::optional<std::string> fromUtf8(std::string_view utf8)
{
    return rules().fromUtf8(utf8);
}
inline std::optional<char32_t> nextUtf8(std::string_view s, std::size_t& pos)
{
    return utf8::next(s, pos);
}
inline void appendUtf8(std::string& out, char32_t codePoint)
{
    utf8::append(out, codePoint);
}

} // namespace archive::cp950
