#pragma once

#include <utility>
#include <vector>

class EntryListModel;
class QListView;

// The selection, current row and scrolling of the entry list, by row, over the view's
// selection model, which is the only place the selection lives.
class EntryListSelection {
public:
    EntryListSelection(QListView& view, const EntryListModel& model) : m_view(view), m_model(model)
    {
    }

    // Ascending.
    std::vector<int> rows() const;
    // Exactly these ranges (first, last), each selected in one call: selecting a million rows
    // one by one would take seconds.
    void selectOnly(const std::vector<std::pair<int, int>>& ranges);
    // row -1: every row.
    void set(int row, bool select);
    int current() const;
    // Current without touching the selection or scrolling.
    void setCurrent(int row);
    void show(int row);
    // The first row the view shows.
    int top() const;
    void setTop(int row);

private:
    QListView& m_view;
    const EntryListModel& m_model;
};
