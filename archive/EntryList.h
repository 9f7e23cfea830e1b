#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace archive {

// The table of entries: items kept sorted by CodePage950::compareNoCase (a new item goes after
// the items equal to it), each with a 32-bit value and a selection flag, plus the top index of
// the view. Adding n items in any order costs O(n log n); every index operation is at most
// logarithmic, so a list of 1,000,000 entries stays responsive.
class EntryList {
public:
    EntryList();
    ~EntryList();

    void ResetContent();
    // Inserts at the sorted place; returns the index it was inserted at.
    int AddString(std::string_view text);
    void SetItemData(int index, std::uint32_t value);
    std::uint32_t GetItemData(int index) const;
    int GetCount() const;
    int GetTextLen(int index) const;
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
    // Implementation-defined order structure (blocks of item ids with counted prefixes).
    struct Order;

    const Item& itemAt(int index) const;
    Item& itemAt(int index);
    std::uint32_t idAt(int index) const;
    template <class F> void forEachId(F&& f, int first) const;
    void forEachIdImpl(int first, bool (*call)(void*, std::uint32_t), void* context) const;

    std::vector<Item> m_items; // by id, in order of adding
    Order* m_pOrder;
    int m_nSelected = 0;
    int m_nTopIndex = 0;
};

template <class F> void EntryList::forEachId(F&& f, int first) const
{
    forEachIdImpl(
        first, [](void* context, std::uint32_t id) { return (*static_cast<std::remove_reference_t<F>*>(context))(id); },
        &f);
}

template <class Visit> void EntryList::forEach(Visit&& visit, int first) const
{
    int index = first;
    forEachId(
        [&](std::uint32_t id) {
            const Item& item = m_items[id];
            return visit(index++, static_cast<const std::string&>(item.text), item.value,
                         item.selected);
        },
        first);
}

} // namespace archive
