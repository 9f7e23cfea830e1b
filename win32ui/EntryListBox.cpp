#include "win32ui/EntryListBox.h"

#include "archive/commands/Catalogue.h"
#include "archive/format/NameMapping.h"
#include "archive/win32/Win32.h"
#include "session/EntryList.h"
#include "win32ui/RgbColor.h"

#include <algorithm>

EntryListBox::EntryListBox(HWND box, const session::EntryList& list) : m_hBox(box), m_list(list) {}

void EntryListBox::reset()
{
    // Redrawn once, not once per row that goes.
    SendMessageW(m_hBox, WM_SETREDRAW, FALSE, 0);
    SendMessageW(m_hBox, LB_SETCOUNT, static_cast<WPARAM>(m_list.count()), 0);
    SendMessageW(m_hBox, LB_SETSEL, FALSE, -1);
    SendMessageW(m_hBox, LB_SETTOPINDEX, 0, 0);
    SendMessageW(m_hBox, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hBox, nullptr, TRUE);
}

int EntryListBox::selectedCount() const
{
    return std::max(0, static_cast<int>(SendMessageW(m_hBox, LB_GETSELCOUNT, 0, 0)));
}

std::vector<int> EntryListBox::rows() const
{
    std::vector<int> selected(static_cast<std::size_t>(selectedCount()));
    if (selected.empty())
        return selected;
    const LRESULT got = SendMessageW(m_hBox, LB_GETSELITEMS, selected.size(),
                                     reinterpret_cast<LPARAM>(selected.data()));
    selected.resize(static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
    std::sort(selected.begin(), selected.end());
    return selected;
}

void EntryListBox::selectOnly(const std::vector<std::pair<int, int>>& ranges)
{
    SendMessageW(m_hBox, WM_SETREDRAW, FALSE, 0);
    // Every row: one pass over the box's rows rather than two.
    const bool isAll = ranges.size() == 1 && ranges.front() == std::pair(0, m_list.count() - 1);
    SendMessageW(m_hBox, LB_SETSEL, isAll, -1);
    for (const auto& [first, last] : isAll ? decltype(ranges){} : ranges)
        SendMessageW(m_hBox, LB_SELITEMRANGEEX, static_cast<WPARAM>(first),
                     static_cast<LPARAM>(last));
    SendMessageW(m_hBox, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hBox, nullptr, TRUE);
}

int EntryListBox::current() const
{
    if (m_list.count() == 0)
        return -1;
    const auto row = static_cast<int>(SendMessageW(m_hBox, LB_GETCARETINDEX, 0, 0));
    return m_list.isRow(row) ? row : -1;
}

void EntryListBox::setCurrent(int row)
{
    if (!m_list.isRow(row))
        return;
    // LB_SETCARETINDEX scrolls; the caller asked for neither that nor a selection change.
    const int top = this->top();
    SendMessageW(m_hBox, WM_SETREDRAW, FALSE, 0);
    SendMessageW(m_hBox, LB_SETCARETINDEX, static_cast<WPARAM>(row), TRUE);
    SendMessageW(m_hBox, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    SendMessageW(m_hBox, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hBox, nullptr, TRUE);
}

void EntryListBox::show(int row)
{
    if (!m_list.isRow(row))
        return;
    RECT client{};
    GetClientRect(m_hBox, &client);
    const auto height = std::max<LRESULT>(1, SendMessageW(m_hBox, LB_GETITEMHEIGHT, 0, 0));
    const int visible = std::max(1, static_cast<int>((client.bottom - client.top) / height));
    const int first = top();
    if (row < first)
        setTop(row);
    else if (row >= first + visible)
        setTop(row - visible + 1);
}

int EntryListBox::top() const
{
    return std::max(0, static_cast<int>(SendMessageW(m_hBox, LB_GETTOPINDEX, 0, 0)));
}

void EntryListBox::setTop(int row)
{
    if (m_list.isRow(row))
        SendMessageW(m_hBox, LB_SETTOPINDEX, static_cast<WPARAM>(row), 0);
}

int EntryListBox::rowAt(POINT client) const
{
    RECT area{};
    GetClientRect(m_hBox, &area);
    const auto height = static_cast<int>(SendMessageW(m_hBox, LB_GETITEMHEIGHT, 0, 0));
    if (!PtInRect(&area, client) || height <= 0)
        return -1;
    // LB_ITEMFROMPOINT answers in 16 bits, too few for a large archive.
    const int row = top() + client.y / height;
    return m_list.isRow(row) ? row : -1;
}

bool EntryListBox::isSelected(int row) const
{
    return m_list.isRow(row) && SendMessageW(m_hBox, LB_GETSEL, static_cast<WPARAM>(row), 0) > 0;
}

void EntryListBox::draw(const DRAWITEMSTRUCT& item) const
{
    const bool isSelected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(isSelected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int row = static_cast<int>(item.itemID);
    if (m_list.isRow(row) && m_list.catalogue()) {
        // Decoded only for the rows in view, through the engine's own table, as on Linux.
        const std::wstring text = archive::win32::wide(
            archive::names::displayName(m_list.name(row), m_list.catalogue()->codePage()));
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, GetSysColor(isSelected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT textRect = item.rcItem;
        textRect.left += 2;
        if (const session::ComparisonMarks* marks = m_list.marks())
            textRect.left = drawMark(item, marks->markOf(m_list.position(row)));
        DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &textRect,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    if (item.itemState & ODS_FOCUS)
        DrawFocusRect(item.hDC, &item.rcItem);
}

int EntryListBox::drawMark(const DRAWITEMSTRUCT& item, session::ComparisonMarks::Mark mark)
{
    // A square of the mark's colour before the name, as the Linux list shows it.
    const int side = std::max(1, static_cast<int>(item.rcItem.bottom - item.rcItem.top) - 4);
    const RECT square{item.rcItem.left + 2, item.rcItem.top + 2, item.rcItem.left + 2 + side,
                      item.rcItem.top + 2 + side};
    HBRUSH brush = CreateSolidBrush(rgbColor(session::ComparisonMarks::lookOf(mark).color));
    FillRect(item.hDC, &square, brush);
    DeleteObject(brush);
    return square.right + 3;
}

void EntryListBox::measure(HWND dialog, MEASUREITEMSTRUCT& item)
{
    // A row as high as the dialog font's line, whose glyphs reach above and below its em.
    HDC dc = GetDC(dialog);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    item.itemHeight = static_cast<UINT>(metrics.tmHeight + metrics.tmExternalLeading + 1);
}
