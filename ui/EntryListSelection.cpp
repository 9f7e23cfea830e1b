#include "ui/EntryListSelection.h"

#include "ui/EntryListModel.h"

#include <QListView>

#include <algorithm>

std::vector<int> EntryListSelection::rows() const
{
    std::vector<int> selected;
    for (const QItemSelectionRange& range : m_view.selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            selected.push_back(row);
    }
    std::sort(selected.begin(), selected.end());
    return selected;
}

void EntryListSelection::selectOnly(const std::vector<std::pair<int, int>>& ranges)
{
    QItemSelectionModel* selection = m_view.selectionModel();
    if (ranges.empty()) {
        selection->clearSelection();
        return;
    }
    QItemSelection chosen;
    for (const auto& [first, last] : ranges)
        chosen.select(m_model.index(first), m_model.index(last));
    selection->select(chosen, QItemSelectionModel::ClearAndSelect);
}

void EntryListSelection::set(int row, bool select)
{
    if (row == -1) {
        if (!select || m_model.GetCount() > 0)
            selectOnly(select ? std::vector{std::pair(0, m_model.GetCount() - 1)}
                              : std::vector<std::pair<int, int>>());
    } else if (m_model.list().isRow(row)) {
        m_view.selectionModel()->select(m_model.index(row), select ? QItemSelectionModel::Select
                                                                   : QItemSelectionModel::Deselect);
    }
}

int EntryListSelection::current() const
{
    return m_view.currentIndex().row();
}

void EntryListSelection::setCurrent(int row)
{
    m_view.selectionModel()->setCurrentIndex(m_model.index(row), QItemSelectionModel::NoUpdate);
}

void EntryListSelection::show(int row)
{
    m_view.scrollTo(m_model.index(row));
}

int EntryListSelection::top() const
{
    const QModelIndex top = m_view.indexAt(QPoint(1, 1));
    return top.isValid() ? top.row() : 0;
}

void EntryListSelection::setTop(int row)
{
    m_view.scrollTo(m_model.index(row), QAbstractItemView::PositionAtTop);
}
