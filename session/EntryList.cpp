#include "session/EntryList.h"

#include "archive/commands/Catalogue.h"
#include "archive/commands/QuickFind.h"

#include <string>
#include <unordered_set>

namespace session {

void EntryList::reset(const std::function<void()>& change)
{
    if (m_onReset)
        m_onReset(true);
    change();
    if (m_onReset)
        m_onReset(false);
}

void EntryList::setCatalogue(std::shared_ptr<const archive::Catalogue> catalogue,
                             std::string_view type)
{
    reset([&] {
        m_rows.clear();
        m_marks.reset();
        m_bDifferingOnly = false;
        m_catalogue = std::move(catalogue);
        m_rows = rowsOf(type);
    });
}

void EntryList::setFilter(std::string_view type)
{
    reset([&] { m_rows = rowsOf(type); });
}

void EntryList::setMarks(std::shared_ptr<const ComparisonMarks> marks, std::string_view type)
{
    reset([&] {
        m_marks = std::move(marks);
        m_rows = rowsOf(type);
    });
}

void EntryList::setDifferingOnly(bool isOn, std::string_view type)
{
    reset([&] {
        m_bDifferingOnly = isOn;
        m_rows = rowsOf(type);
    });
}

std::vector<std::uint32_t> EntryList::rowsOf(std::string_view type) const
{
    if (!m_catalogue)
        return {};
    std::vector<std::uint32_t> rows = m_catalogue->filter(type);
    if (isDifferingOnly())
        std::erase_if(rows, [this](std::uint32_t row) {
            return !m_marks->isDiffering(m_catalogue->position(row));
        });
    return rows;
}

std::uint32_t EntryList::position(int row) const
{
    return isRow(row) ? m_catalogue->position(m_rows[static_cast<std::size_t>(row)]) : 0;
}

std::string_view EntryList::name(int row) const
{
    return isRow(row) ? m_catalogue->name(m_rows[static_cast<std::size_t>(row)])
                      : std::string_view();
}

std::vector<std::uint32_t> EntryList::positionsOf(const std::vector<int>& rows) const
{
    std::vector<std::uint32_t> shown;
    shown.reserve(rows.size());
    for (const int row : rows) {
        if (isRow(row))
            shown.push_back(m_rows[static_cast<std::size_t>(row)]);
    }
    return m_catalogue ? m_catalogue->positions(std::move(shown)) : shown;
}

int EntryList::find(std::string_view findText) const
{
    return m_catalogue ? m_catalogue->quickFind().find(m_rows, findText) : -1;
}

std::vector<std::pair<int, int>>
EntryList::rangesOf(const std::vector<std::string_view>& names) const
{
    const std::unordered_set<std::string_view> wanted(names.begin(), names.end());
    std::vector<std::pair<int, int>> ranges;
    int runStart = -1;
    for (int row = 0; row <= count(); ++row) {
        const bool isWanted = row < count() && wanted.contains(name(row));
        if (isWanted && runStart < 0)
            runStart = row;
        if (!isWanted && runStart >= 0) {
            ranges.emplace_back(runStart, row - 1);
            runStart = -1;
        }
    }
    return ranges;
}

} // namespace session
