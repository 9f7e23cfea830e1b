#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

class CodePage;

// Finds the first row whose match key (its name after the first '\', found with the double-byte
// rules) begins with a typed text, both upper-cased. The keys of a list's names are packed in row
// order into one buffer, made once, so a keystroke scans memory sequentially. It knows names only,
// so the catalogue that owns one is no concern of it.
class QuickFind {
public:
    // names: bytes in codePage, one a row; only read while the keys are made. codePage outlives
    // this.
    QuickFind(std::span<const std::string_view> names, const CodePage& codePage);

    // The place in rows (catalogue rows, ascending, as a filter yields them) of the first match:
    // 0 for an empty findText when rows is not empty, -1 when nothing matches. findText is bytes
    // in the catalogue's code page.
    int find(std::span<const std::uint32_t> rows, std::string_view findText) const;

private:
    static constexpr std::uint32_t kNoKey = 0xFFFFFFFF;
    struct Key {
        std::uint32_t offset;
        std::uint32_t length; // kNoKey: the name holds no '\'
    };

    const CodePage& m_codePage;
    std::string m_strBytes;
    std::vector<Key> m_keys; // by catalogue row
};

} // namespace archive
