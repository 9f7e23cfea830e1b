#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace archive {

namespace table {
struct CodePageTable;
}

// The code pages entry names may be written in. Big5 is what the games' own releases use.
enum class Encoding : unsigned char { big5, gbk, shiftJis, utf8 };

// The name rules of one code page, chosen once per archive and passed by reference to every
// per-name walk, so no walk asks which code page it is in byte by byte. A multi-byte character
// is a lead byte followed by trail bytes (UTF-8: a whole valid sequence); any other byte, a lone
// lead byte at the end included, is one single-byte character. A trail byte is never a
// separator nor a letter: the second byte of 許 in Big5 (0xB3 0x5C) or of ソ in Shift-JIS
// (0x83 0x5C) is not a '\', and the second byte of any character is never upper-cased.
class CodePage {
public:
    static const CodePage& of(Encoding encoding);
    static const CodePage& big5() { return of(Encoding::big5); }
    // "big5", "gbk", "shift-jis" or "utf-8" (any case), as the command line takes them.
    static std::optional<Encoding> parse(std::string_view name);

    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    Encoding encoding() const noexcept { return m_encoding; }
    // The parse() name.
    std::string_view name() const noexcept;
    // "code page 950 (Big5)", for messages.
    std::string_view title() const noexcept;

    // 1 to 4: the length of the character starting at pos.
    std::size_t charLength(std::string_view s, std::size_t pos) const
    {
        const auto c = static_cast<unsigned char>(s[pos]);
        if (c < 0x80)
            return 1;
        if (m_pTable == nullptr)
            return utf8Length(s, pos);
        return pos + 1 < s.size() && m_abLead[c] &&
                       m_abTrail[static_cast<unsigned char>(s[pos + 1])]
                   ? 2
                   : 1;
    }
    bool isLeadByte(unsigned char c) const noexcept { return m_abLead[c]; }

    static constexpr std::ptrdiff_t npos = -1;
    // First occurrence at a character boundary at or after start, or npos. Never matches inside a
    // multi-byte character.
    std::ptrdiff_t find(std::string_view haystack, char c, std::size_t start = 0) const;
    std::ptrdiff_t find(std::string_view haystack, std::string_view needle,
                        std::size_t start = 0) const;

    // Single-byte ASCII letters upper-cased; every byte of a multi-byte character left as it is.
    std::string makeUpper(std::string_view s) const;

    // The collation of the entry list and of every archive written: the bytes compared unsigned,
    // a shorter string before a longer one it begins, with single-byte ASCII letters folded to
    // lower case and every byte of a multi-byte character left as it is. Negative, 0 or positive.
    int compareNoCase(std::string_view a, std::string_view b) const;

    // Code point of the character at pos when the code page decodes it and it encodes back to
    // the same bytes; nullopt otherwise. UTF-8 never decodes to U+F0000-U+F00FF, the range the
    // host names use for bytes that do not decode (names::kEscapeBase).
    std::optional<char32_t> decodeChar(std::string_view s, std::size_t pos) const;
    // The code page's bytes of a code point, or nullopt when it has none.
    std::optional<std::string> encodeChar(char32_t codePoint) const;

    // Every character that does not decode shows as U+FFFD.
    std::string toUtf8Lossy(std::string_view bytes) const;
    // nullopt when the text is not valid UTF-8 or holds a character the code page cannot encode.
    std::optional<std::string> fromUtf8(std::string_view utf8) const;

private:
    CodePage(Encoding encoding, const table::CodePageTable* pTable);
    std::size_t utf8Length(std::string_view s, std::size_t pos) const;

    Encoding m_encoding;
    const table::CodePageTable* m_pTable; // nullptr: UTF-8
    std::array<bool, 256> m_abLead{};
    std::array<bool, 256> m_abTrail{};
};

namespace utf8 {
// The code point at pos (advancing pos), nullopt for an invalid, overlong or surrogate sequence.
std::optional<char32_t> next(std::string_view s, std::size_t& pos);
// One code point appended as UTF-8.
void append(std::string& out, char32_t codePoint);
} // namespace utf8

} // namespace archive
