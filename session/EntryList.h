#pragma once

#include "session/ComparisonMarks.h"

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
// lets through, sorted, with quick find over them, and the marks of a comparison beside them,
// which may narrow the rows to the differing ones. A new catalogue, filter or set of marks resets
// the rows once, between the two calls of the reset listener, so a view can follow. A new
// catalogue drops the marks: they describe the archive as it was compared.
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

    // Marks of the same catalogue's entries, or null for none (which shows every row again).
    void setMarks(std::shared_ptr<const ComparisonMarks> marks, std::string_view type);
    const ComparisonMarks* marks() const { return m_marks.get(); }
    // Only the rows marked as differing, under the same type; ignored without marks.
    void setDifferingOnly(bool isOn, std::string_view type);
    bool isDifferingOnly() const { return m_marks && m_bDifferingOnly; }

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
    // The rows of type, narrowed as the marks say.
    std::vector<std::uint32_t> rowsOf(std::string_view type) const;

    std::shared_ptr<const archive::Catalogue> m_catalogue;
    std::vector<std::uint32_t> m_rows; // catalogue rows shown, ascending
    std::shared_ptr<const ComparisonMarks> m_marks;
    bool m_bDifferingOnly = false;
    ResetFn m_onReset;
};

} // namespace session
