#pragma once

#include "session/ComparisonMarks.h"

#include <utility>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace session {
class EntryList;
}

// The no-data owner-drawn list box that shows a session::EntryList: the box keeps only the count
// and the selection, the rows are the list's and are drawn as they come into view, so a million
// entries list and select at once.
class EntryListBox {
public:
    EntryListBox(HWND box, const session::EntryList& list);

    HWND handle() const { return m_hBox; }
    // Follows the list's new rows: count, selection cleared, top row first.
    void reset();

    // Ascending.
    std::vector<int> rows() const;
    int selectedCount() const;
    void selectOnly(const std::vector<std::pair<int, int>>& ranges);
    // The caret row, -1 for none.
    int current() const;
    void setCurrent(int row);
    void show(int row);
    int top() const;
    void setTop(int row);
    // The row at a point of the box's client area, -1 for none.
    int rowAt(POINT client) const;
    bool isSelected(int row) const;

    // WM_DRAWITEM and WM_MEASUREITEM for the box.
    void draw(const DRAWITEMSTRUCT& item) const;
    static void measure(HWND dialog, MEASUREITEMSTRUCT& item);

private:
    // Where the name starts after it.
    static int drawMark(const DRAWITEMSTRUCT& item, session::ComparisonMarks::Mark mark);

    HWND m_hBox;
    const session::EntryList& m_list;
};
