#include "archive/EntryList.h"

#include "archive/CodePage950.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace archive {

namespace {
const std::string kEmpty;
std::atomic<std::uint64_t> s_nRevisions{0};
} // namespace

namespace {

// The order of a batch under compareNoCase, ties kept in batch order. Each text's folded bytes
// go into one buffer and its first 16 of them into the sort key itself, so nearly every
// comparison is two integer compares instead of a walk through two heap strings.
std::vector<std::uint32_t>
sortedOrder(const std::vector<std::pair<std::string, std::uint32_t>>& items)
{
    struct Key {
        std::uint64_t high;
        std::uint64_t low;
        std::uint32_t offset;
        std::uint32_t length;
        std::uint32_t index;
    };
    std::string folded;
    std::vector<Key> keys;
    keys.reserve(items.size());
    for (std::size_t k = 0; k < items.size(); ++k) {
        const std::string& text = items[k].first;
        const auto offset = static_cast<std::uint32_t>(folded.size());
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t n = cp950::charLength(text, i);
            const char c = text[i];
            folded.push_back(n == 1 && c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
            if (n == 2)
                folded.push_back(text[i + 1]);
            i += n;
        }
        std::uint64_t prefix[2] = {0, 0};
        for (std::size_t i = 0; i < 16 && i < text.size(); ++i)
            prefix[i / 8] |= std::uint64_t(static_cast<unsigned char>(folded[offset + i]))
                             << (56 - 8 * (i % 8));
        keys.push_back({prefix[0], prefix[1], offset, static_cast<std::uint32_t>(text.size()),
                        static_cast<std::uint32_t>(k)});
    }
    const char* bytes = folded.data();
    std::sort(keys.begin(), keys.end(), [bytes](const Key& a, const Key& b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        if (a.length > 16 && b.length > 16) {
            const std::uint32_t n = std::min(a.length, b.length) - 16;
            if (const int r = std::memcmp(bytes + a.offset + 16, bytes + b.offset + 16, n))
                return r < 0;
        }
        if (a.length != b.length)
            return a.length < b.length;
        return a.index < b.index;
    });
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const Key& key : keys)
        order.push_back(key.index);
    return order;
}

} // namespace

void EntryList::touch()
{
    m_nRevision = ++s_nRevisions;
}

void EntryList::ResetContent()
{
    m_items.clear();
    m_blocks.clear();
    m_blockStart.clear();
    m_nSelected = 0;
    m_nTopIndex = 0;
    touch();
}

int EntryList::AddString(std::string_view text)
{
    touch();
    const auto id = static_cast<std::uint32_t>(m_items.size());
    m_items.push_back({std::string(text), 0, false});
    if (m_blocks.empty()) {
        m_blocks.push_back({id});
        m_blockStart.push_back(0);
        return 0;
    }
    const auto less = [this](std::string_view t, std::uint32_t other) {
        return cp950::compareNoCase(t, m_items[other].text) < 0;
    };
    // The first block whose last item sorts after text; a new item goes after its equals.
    auto blockIt = std::upper_bound(
        m_blocks.begin(), m_blocks.end(), text,
        [&](std::string_view t, const std::vector<std::uint32_t>& b) { return less(t, b.back()); });
    if (blockIt == m_blocks.end())
        --blockIt;
    auto& block = *blockIt;
    const std::size_t b = static_cast<std::size_t>(blockIt - m_blocks.begin());
    const auto pos = std::upper_bound(block.begin(), block.end(), text, less);
    const int index = m_blockStart[b] + static_cast<int>(pos - block.begin());
    block.insert(pos, id);
    for (std::size_t k = b + 1; k < m_blockStart.size(); ++k)
        ++m_blockStart[k];
    if (block.size() > kMaxBlock) {
        std::vector<std::uint32_t> upper(block.begin() + kMaxBlock / 2, block.end());
        block.resize(kMaxBlock / 2);
        m_blocks.insert(m_blocks.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
        rebuildStarts();
    }
    return index;
}

void EntryList::AddItems(std::vector<std::pair<std::string, std::uint32_t>> items)
{
    if (items.empty())
        return;
    touch();
    const std::vector<std::uint32_t> order = sortedOrder(items);

    std::vector<Item> merged;
    merged.reserve(m_items.size() + items.size());
    std::size_t next = 0;
    const auto takeNewUpTo = [&](const std::string* bound) {
        while (next < order.size() &&
               (!bound || cp950::compareNoCase(items[order[next]].first, *bound) < 0)) {
            auto& [text, value] = items[order[next++]];
            merged.push_back({std::move(text), value, false});
        }
    };
    forEach([&](int, const std::string& text, std::uint32_t value, bool selected) {
        takeNewUpTo(&text);
        merged.push_back({text, value, selected});
        return true;
    });
    takeNewUpTo(nullptr);

    m_items = std::move(merged);
    m_blocks.clear();
    constexpr std::size_t kFill = kMaxBlock / 2;
    for (std::size_t first = 0; first < m_items.size(); first += kFill) {
        const std::size_t last = std::min(first + kFill, m_items.size());
        std::vector<std::uint32_t>& block = m_blocks.emplace_back();
        block.reserve(kMaxBlock + 1);
        for (std::size_t id = first; id < last; ++id)
            block.push_back(static_cast<std::uint32_t>(id));
    }
    rebuildStarts();
}

void EntryList::rebuildStarts()
{
    m_blockStart.resize(m_blocks.size());
    int start = 0;
    for (std::size_t k = 0; k < m_blocks.size(); ++k) {
        m_blockStart[k] = start;
        start += static_cast<int>(m_blocks[k].size());
    }
}

std::uint32_t EntryList::idAt(int index) const
{
    const auto it = std::upper_bound(m_blockStart.begin(), m_blockStart.end(), index);
    const std::size_t b = static_cast<std::size_t>(it - m_blockStart.begin()) - 1;
    return m_blocks[b][static_cast<std::size_t>(index - m_blockStart[b])];
}

// Out-of-range indexes are ignored or give empty values, as a list box answers them.
void EntryList::SetItemData(int index, std::uint32_t value)
{
    if (isValid(index))
        m_items[idAt(index)].value = value;
}

std::uint32_t EntryList::GetItemData(int index) const
{
    return isValid(index) ? m_items[idAt(index)].value : 0;
}

int EntryList::GetCount() const
{
    return static_cast<int>(m_items.size());
}

const std::string& EntryList::GetText(int index) const
{
    return isValid(index) ? m_items[idAt(index)].text : kEmpty;
}

int EntryList::GetSelCount() const
{
    return m_nSelected;
}

std::vector<int> EntryList::GetSelItems() const
{
    std::vector<int> selected;
    selected.reserve(static_cast<std::size_t>(m_nSelected));
    forEach([&](int index, const std::string&, std::uint32_t, bool isSelected) {
        if (isSelected)
            selected.push_back(index);
        return static_cast<int>(selected.size()) < m_nSelected;
    });
    return selected;
}

bool EntryList::GetSel(int index) const
{
    return isValid(index) && m_items[idAt(index)].selected;
}

void EntryList::SetSel(int index, bool select)
{
    if (index == -1) {
        for (Item& item : m_items)
            item.selected = select;
        m_nSelected = select ? GetCount() : 0;
        return;
    }
    if (!isValid(index))
        return;
    Item& item = m_items[idAt(index)];
    if (item.selected != select) {
        item.selected = select;
        m_nSelected += select ? 1 : -1;
    }
}

void EntryList::SelItemRange(bool select, int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, GetCount() - 1);
    for (int index = first; index <= last;) {
        const auto it = std::upper_bound(m_blockStart.begin(), m_blockStart.end(), index);
        const std::size_t b = static_cast<std::size_t>(it - m_blockStart.begin()) - 1;
        const auto& block = m_blocks[b];
        for (auto k = static_cast<std::size_t>(index - m_blockStart[b]);
             k < block.size() && index <= last; ++k, ++index) {
            Item& item = m_items[block[k]];
            if (item.selected != select) {
                item.selected = select;
                m_nSelected += select ? 1 : -1;
            }
        }
    }
}

void EntryList::SetTopIndex(int index)
{
    m_nTopIndex = std::clamp(index, 0, std::max(GetCount() - 1, 0));
}

} // namespace archive
