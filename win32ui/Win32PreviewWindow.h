#pragma once

#include "session/preview/EntryPreview.h"
#include "session/preview/PreviewFollower.h"
#include "win32ui/WicPicture.h"

#include <string>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace session {
class EntryList;
}

// The preview on Windows: one entry shown by what its bytes hold (session::EntryPreview), in a
// window of its own beside the dialog, reused for the next entry. It follows the list's current
// row while open; Escape closes it, and the list's step keys pressed in it move the list.
class Win32PreviewWindow : private session::PreviewFollower::Window {
public:
    using View = session::EntryPreview::View;

    // owner: the dialog, which the window stays above and goes with; listBox: its entry list.
    // showCommand: how the window is shown (SW_HIDE keeps it open but unseen, for tests).
    Win32PreviewWindow(HWND owner, HWND listBox, const session::EntryList& list, int showCommand);
    ~Win32PreviewWindow() override;

    session::PreviewFollower& follower() { return m_follower; }
    void open(int row) { showRow(row); }
    bool isOpen() const override { return m_bOpen; }
    void close() override;
    // A key of a message for the preview, or Escape for the dialog while the preview is open:
    // true when taken here.
    bool translate(const MSG& message);

    HWND handle() const { return m_hWnd; }
    HWND part(int id) const { return GetDlgItem(m_hWnd, id); }
    int row() const { return m_nRow; }
    // What is shown: the view, and the child that shows it.
    View view() const { return m_view; }
    HWND shownPart() const;
    // A line of the hex view as drawn.
    std::string hexLine(int line) const;

private:
    // session::PreviewFollower::Window
    void showRow(int row) override;
    void release() override;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(int id);
    void createParts();
    HWND addPart(const wchar_t* kind, int id, DWORD style, const char* text = "");
    SIZE preferredSize() const;
    UINT hexLineHeight() const;
    void placeBesideOwner();
    void layout();
    void clear();
    void showPreview();
    void setView(View view);
    void drawPart(const DRAWITEMSTRUCT& item);
    void play();
    void stop();

    HWND m_hOwner;
    HWND m_hListBox;
    const session::EntryList& m_list;
    int m_nShowCommand;
    HWND m_hWnd = nullptr;
    HFONT m_hFixedFont = nullptr;
    bool m_bComStarted = false;
    bool m_bOpen = false;
    int m_nRow = -1;
    // Counts the entries shown, so a late failure of one is not shown with the next.
    WPARAM m_nShown = 0;
    std::string m_strLateFailure;
    View m_view = View::none;
    session::EntryPreview m_preview;
    WicPicture m_picture;
    // What the player reads while it plays.
    std::vector<unsigned char> m_playing;
    session::PreviewFollower m_follower{*this};
};
