#include "win32ui/DragOutGesture.h"

#include "win32ui/EntryListBox.h"

#include <commctrl.h>
#include <windowsx.h>

DragOutGesture::DragOutGesture(const EntryListBox& list, std::function<void()> start)
    : m_list(list), m_start(std::move(start))
{
    SetWindowSubclass(m_list.handle(), proc, 0, reinterpret_cast<DWORD_PTR>(this));
}

DragOutGesture::~DragOutGesture()
{
    RemoveWindowSubclass(m_list.handle(), proc, 0);
}

LRESULT CALLBACK DragOutGesture::proc(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR self)
{
    // Shift and Ctrl presses change the selection, as the list does them.
    if (message == WM_LBUTTONDOWN && !(wParam & (MK_SHIFT | MK_CONTROL)))
        return reinterpret_cast<DragOutGesture*>(self)->onButtonDown(wParam, lParam);
    return DefSubclassProc(box, message, wParam, lParam);
}

LRESULT DragOutGesture::onButtonDown(WPARAM wParam, LPARAM lParam)
{
    const HWND box = m_list.handle();
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    // The list would narrow a selection of several to the pressed row at once.
    if (!m_list.isSelected(m_list.rowAt(at)))
        return DefSubclassProc(box, WM_LBUTTONDOWN, wParam, lParam);
    SetFocus(box);
    POINT screen = at;
    ClientToScreen(box, &screen);
    if (DragDetect(box, screen)) {
        m_start();
        return 0;
    }
    // DragDetect took the release: the list gets both, as the click they were.
    DefSubclassProc(box, WM_LBUTTONDOWN, wParam, lParam);
    return DefSubclassProc(box, WM_LBUTTONUP, wParam & ~MK_LBUTTON, lParam);
}
