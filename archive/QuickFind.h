#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

class Catalogue;
class CodePage;

// Finds the first row whose match key (its name after the first '\', found with the double-byte
// rules) begins with a typed text, both upper-cased. The keys of a catalogue are packed in row
// order into one buffer, made once, so a keystroke scans memory sequentially.
class QuickFind {
public:
    explicit QuickFind(const Catalogue& catalogue);

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
