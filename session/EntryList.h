#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace archive {
class Catalogue;
}

namespace session {

// The rows of the entry list: an archive's catalogue and those of its entries the type filter
// lets through, sorted, with quick find over them. A new catalogue or filter resets the rows
// once, between the two calls of the reset listener, so a view can follow.
class EntryList {
public:
    // Called with true before the rows change and with false after.
    using ResetFn = std::function<void(bool isStarting)>;
    void setResetListener(ResetFn listener) { m_onReset = std::move(listener); }

    // Lists the entries of catalogue passing type; null empties the list.
    void setCatalogue(std::shared_ptr<const archive::Catalogue> catalogue,
                      std::string_view type = "*");
    // Lists the entries of the same catalogue passing type.
    void setFilter(std::string_view type);
    const archive::Catalogue* catalogue() const { return m_catalogue.get(); }

    int count() const { return static_cast<int>(m_rows.size()); }
    bool isRow(int row) const { return row >= 0 && row < count(); }
    // The record position of the entry at row; 0 out of range.
    std::uint32_t position(int row) const;
    // The stored name bytes; empty out of range.
    std::string_view name(int row) const;
    // The record positions of the entries at rows, in list order.
    std::vector<std::uint32_t> positionsOf(const std::vector<int>& rows) const;
    // The first row whose quick find keys match findText (code page bytes), -1 for none.
    int find(std::string_view findText) const;
    // The first row of each run of neighbouring rows holding one of names, as (first, last).
    std::vector<std::pair<int, int>> rangesOf(const std::vector<std::string_view>& names) const;

private:
    void reset(const std::function<void()>& change);

    std::shared_ptr<const archive::Catalogue> m_catalogue;
    std::vector<std::uint32_t> m_rows; // catalogue rows shown, ascending
    ResetFn m_onReset;
};

} // namespace session
