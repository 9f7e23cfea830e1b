#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

class EntryList;

// Finds the first item whose match key (its text after the first '\', found with the double-byte
// rules) begins with a typed text, both upper-cased. The keys of one list are packed in list
// order into one buffer, so a keystroke scans memory sequentially; they are rebuilt when the
// list's texts change (its revision tells). Whoever owns the list owns one of these beside it.
class QuickFind {
public:
    // Builds the keys now, so the first keystroke after listing does not wait for them.
    void prepare(const EntryList& list);
    // The index, 0 for an empty findText when the list has items, -1 when nothing matches.
    // findText is Big5 bytes.
    int find(const EntryList& list, std::string_view findText);

private:
    static constexpr std::uint32_t kNoKey = 0xFFFFFFFF;
    struct Key {
        std::uint32_t offset;
        std::uint32_t length; // kNoKey: the text holds no '\'
    };

    void rebuild(const EntryList& list);

    std::uint64_t m_nRevision = 0;
    std::string m_strBytes;
    std::vector<Key> m_keys;
};

// One search without keeping the keys.
int quickFind(const EntryList& list, std::string_view findText);

} // namespace archive
