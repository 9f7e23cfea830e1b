#pragma once

#include <functional>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

class EntryListBox;

// Dragging rows out of the list: a press on a selected row that moves past the system's drag
// distance before its release starts a drag of the selection, as a whole; a press that does
// not move is the list's own click, which selects that row alone.
class DragOutGesture {
public:
    // start runs the drag (DoDragDrop) and returns when it is over.
    DragOutGesture(const EntryListBox& list, std::function<void()> start);
    ~DragOutGesture();
    DragOutGesture(const DragOutGesture&) = delete;
    DragOutGesture& operator=(const DragOutGesture&) = delete;

private:
    static LRESULT CALLBACK proc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR self);
    LRESULT onButtonDown(WPARAM wParam, LPARAM lParam);

    const EntryListBox& m_list;
    std::function<void()> m_start;
};
