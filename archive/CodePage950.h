#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace archive::cp950 {

// Double-byte rules of code page 950 (Big5). A lead byte followed by a trail byte is one
// character; any other byte, a lone lead byte at the end included, is one single-byte character.
// Entry names are such bytes: the second byte of 許 (0xB3 0x5C) or 功 (0xA5 0x5C) is not a
// separator, and the second byte of any character is never changed as a letter.
constexpr bool isLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}
constexpr bool isTrailByte(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0xA1 && c <= 0xFE);
}

// 1 or 2: the length of the character starting at pos.
inline std::size_t charLength(std::string_view s, std::size_t pos)
{
    return pos + 1 < s.size() && isLeadByte(static_cast<unsigned char>(s[pos])) &&
                   isTrailByte(static_cast<unsigned char>(s[pos + 1]))
               ? 2
               : 1;
}

constexpr std::ptrdiff_t npos = -1;

// First occurrence at a character boundary at or after start, or npos. Never matches inside a
// double-byte character.
std::ptrdiff_t find(std::string_view haystack, char c, std::size_t start = 0);
std::ptrdiff_t find(std::string_view haystack, std::string_view needle, std::size_t start = 0);

// Single-byte ASCII letters upper-cased; every byte of a double-byte character left as it is.
std::string makeUpper(std::string_view s);

// The last n bytes (plain bytes, as the type test wants), or all of s when shorter.
std::string_view right(std::string_view s, std::size_t n);

// The collation of the entry list and of every archive written: the bytes compared unsigned, a
// shorter string before a longer one it begins, with single-byte ASCII letters folded to lower
// case and both bytes of a double-byte character left as they are. Negative, 0 or positive.
int compareNoCase(std::string_view a, std::string_view b);

// Code point of the character at pos (1 or 2 bytes) when the table decodes it and it encodes
// back to the same bytes; nullopt otherwise.
std::optional<char32_t> decodeChar(std::string_view s, std::size_t pos);
// Big5 bytes of a code point, or nullopt when code page 950 has none.
std::optional<std::string> encodeChar(char32_t codePoint);

// Whole-string conversions for display and typed text.
// Every character that does not decode shows as U+FFFD.
std::string toUtf8Lossy(std::string_view big5);
// nullopt when the text is not valid UTF-8 or holds a character code page 950 cannot encode.
std::optional<std::string> fromUtf8(std::string_view utf8);

// UTF-8 helpers: the code point at pos (advancing pos), nullopt for an invalid, overlong or
// surrogate sequence; and one code point appended as UTF-8.
std::optional<char32_t> nextUtf8(std::string_view s, std::size_t& pos);
void appendUtf8(std::string& out, char32_t codePoint);

} // namespace archive::cp950
