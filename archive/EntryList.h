#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace archive {

// The table of entries: items kept sorted by CodePage950::compareNoCase (a new item goes after
// the items equal to it), each with a 32-bit value and a selection flag, plus the top index of
// the view. Adding n items in any order costs O(n log n); every index operation is at most
// logarithmic, so a list of 1,000,000 entries stays responsive.
class EntryList {
public:
    void ResetContent();
    // Inserts at the sorted place; returns the index it was inserted at.
    int AddString(std::string_view text);
    void SetItemData(int index, std::uint32_t value);
    // The same as AddString then SetItemData for each pair in turn, done as one sort and merge,
    // so loading a large archive is O(n log n) and leaves the items in memory in list order.
    void AddItems(std::vector<std::pair<std::string, std::uint32_t>> items);
    // Changes whenever the texts change, and is never reused by another list, so a cache keyed
    // by it cannot go stale.
    std::uint64_t revision() const { return m_nRevision; }
    std::uint32_t GetItemData(int index) const;
    int GetCount() const;
    const std::string& GetText(int index) const;

    int GetSelCount() const;
    // Selected indexes in ascending order.
    std::vector<int> GetSelItems() const;
    bool GetSel(int index) const;
    // index -1: every item.
    void SetSel(int index, bool select);
    // Selects or clears [first, last], inclusive.
    void SelItemRange(bool select, int first, int last);

    int GetTopIndex() const { return m_nTopIndex; }
    void SetTopIndex(int index);

    // Calls visit(index, text, value, selected) for items from first on, in order, until it
    // returns false. Faster than GetText per index for whole-list scans.
    template <class Visit> void forEach(Visit&& visit, int first = 0) const;

private:
    struct Item {
        std::string text;
        std::uint32_t value = 0;
        bool selected = false;
    };

    // Items are stored once, by id, in the order they were added; the sorted order is a run of
    // blocks of ids, each block at most kMaxBlock long, with the index of every block's first
    // item. An add moves at most one block's ids and bumps the later blocks' starts: cheap
    // contiguous work, where a single sorted vector would move half the list per add.
    static constexpr std::size_t kMaxBlock = 2048;

    std::uint32_t idAt(int index) const;
    bool isValid(int index) const { return index >= 0 && index < GetCount(); }
    void rebuildStarts();
    void touch();

    std::vector<Item> m_items;
    std::vector<std::vector<std::uint32_t>> m_blocks;
    std::vector<int> m_blockStart;
    int m_nSelected = 0;
    int m_nTopIndex = 0;
    std::uint64_t m_nRevision = 0;
};

template <class Visit> void EntryList::forEach(Visit&& visit, int first) const
{
    if (first < 0)
        first = 0;
    int index = 0;
    for (const auto& block : m_blocks) {
        const int size = static_cast<int>(block.size());
        if (index + size <= first) {
            index += size;
            continue;
        }
        for (int k = first > index ? first - index : 0; k < size; ++k) {
            const Item& item = m_items[block[static_cast<std::size_t>(k)]];
            if (!visit(index + k, static_cast<const std::string&>(item.text), item.value,
                       item.selected))
                return;
        }
        index += size;
    }
}

} // namespace archive
