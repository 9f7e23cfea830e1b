#pragma once

#include "archive/format/CodePage.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace archive {

// Finds the code page an archive's names were written in, fed the names one by one. A code page
// is a candidate only while every name decodes in it. Candidates are scored by the bytes of
// characters common in their script: the first level of hanzi in Big5 (0xA440-0xC67E) and GBK
// (0xB0A1-0xD7FE, the 3,755 most used simplified characters), kana and first-level kanji in
// Shift-JIS, and letters, kana, hanzi and hangul in UTF-8. Big5 stays unless another scores
// clearly higher (by more than a quarter of the non-ASCII bytes; Big5 scores nothing when a name
// does not decode in it), so the archives of the games' own releases are never read otherwise;
// ASCII-only names, or names no code page reads as common text, give Big5, with what does not
// decode escaped as ever. Deterministic: the names' bytes alone decide, in any order.
class CodePageDetector {
public:
    void add(std::string_view name);
    Encoding result() const;

private:
    static constexpr std::size_t kCount = 4; // every Encoding, in its order

    std::array<bool, kCount> m_abCandidate{true, true, true, true};
    std::array<std::uint64_t, kCount> m_anCommonBytes{};
    std::uint64_t m_nNonAsciiBytes = 0;
};

} // namespace archive
