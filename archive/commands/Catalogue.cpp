#include "archive/commands/Catalogue.h"

#include "archive/commands/Listing.h"
#include "archive/commands/QuickFind.h"
#include "archive/format/ArchiveReader.h"

#include <algorithm>

namespace archive {

namespace {

// The order of names under compareNoCase, ties kept in the given order. Each name's first 16
// folded bytes go into the sort key itself, so nearly every comparison is two integer compares;
// only names alike that far are compared whole. No folded copy of every name is kept: at a
// million names its pages were a tenth of a load.
std::vector<std::uint32_t> sortedOrder(const std::vector<std::string_view>& names,
                                       const CodePage& cp)
{
    struct Key {
        std::uint64_t high;
        std::uint64_t low;
        std::uint32_t index;
    };
    std::vector<Key> keys;
    keys.reserve(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string_view text = names[k];
        std::uint64_t prefix[2] = {0, 0};
        // Walked by characters, so that only a single-byte letter is folded.
        for (std::size_t i = 0; i < 16 && i < text.size();) {
            const std::size_t n = cp.charLength(text, i);
            for (std::size_t b = i; b < i + n && b < 16; ++b) {
                const char c = text[b];
                const char folded = n == 1 && c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
                prefix[b / 8] |= std::uint64_t(static_cast<unsigned char>(folded))
                                 << (56 - 8 * (b % 8));
            }
            i += n;
        }
        keys.push_back({prefix[0], prefix[1], static_cast<std::uint32_t>(k)});
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        if (const int r = cp.compareNoCase(names[a.index], names[b.index]))
            return r < 0;
        return a.index < b.index;
    });
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const Key& key : keys)
        order.push_back(key.index);
    return order;
}

} // namespace

Catalogue::Catalogue(const ArchiveReader& reader) : m_reader(reader)
{
    reader.requireWholeDirectory();
    const CodePage& cp = reader.codePage();
    m_names.reserve(reader.size());
    m_tails.reserve(reader.size());
    m_positions.reserve(reader.size());
    // An archive that build or an update wrote is in list order already, which this pass finds:
    // it is then the catalogue as read, with no sort and no second copy of every row.
    bool isInOrder = true;
    for (std::size_t i = 0; i < reader.size(); ++i) {
        const RecordView record = reader.at(i);
        isInOrder = isInOrder && (i == 0 || cp.compareNoCase(m_names.back(), record.name) <= 0);
        m_names.push_back(record.name);
        m_positions.push_back(record.recordPosition);
        m_tails.push_back(typeTail(record.name, cp));
    }
    if (!isInOrder)
        sortRows();
}

void Catalogue::sortRows()
{
    const std::vector<std::uint32_t> order = sortedOrder(m_names, codePage());
    std::vector<std::uint32_t> positions;
    std::vector<std::string_view> names;
    std::vector<std::uint32_t> tails;
    positions.reserve(order.size());
    names.reserve(order.size());
    tails.reserve(order.size());
    for (const std::uint32_t index : order) {
        positions.push_back(m_positions[index]);
        tails.push_back(m_tails[index]);
        names.push_back(m_names[index]);
    }
    m_positions = std::move(positions);
    m_names = std::move(names);
    m_tails = std::move(tails);
}

Catalogue::~Catalogue() = default;

const CodePage& Catalogue::codePage() const noexcept
{
    return m_reader.codePage();
}

std::string_view Catalogue::name(std::size_t row) const
{
    return m_names[row];
}

RecordView Catalogue::record(std::size_t row) const
{
    return m_reader.kept(m_positions[row]);
}

std::vector<std::uint32_t> Catalogue::positions(std::vector<std::uint32_t> rows) const
{
    std::sort(rows.begin(), rows.end());
    for (std::uint32_t& row : rows)
        row = position(row);
    return rows;
}

std::vector<std::uint32_t> Catalogue::filter(std::string_view type) const
{
    std::vector<std::uint32_t> rows;
    const bool isAll = type.empty() || type == "*";
    if (!isAll && type.size() > 3)
        return rows;
    const std::uint32_t wanted = packedType(type);
    rows.reserve(isAll ? size() : size() / 4);
    for (std::size_t row = 0; row < size(); ++row) {
        if (isAll || m_tails[row] == wanted)
            rows.push_back(static_cast<std::uint32_t>(row));
    }
    return rows;
}

const QuickFind& Catalogue::quickFind() const
{
    std::call_once(m_quickFindBuilt,
                   [this] { m_quickFind = std::make_unique<QuickFind>(m_names, codePage()); });
    return *m_quickFind;
}

} // namespace archive
