#pragma once

#include "session/SessionWindow.h"
#include "session/edits/PrivateScratchFolders.h"
#include "win32ui/EntryListBox.h"
#include "win32ui/PolledFileWatch.h"

#include <objidl.h>
#include <wrl/client.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <shellapi.h>
#include <windows.h>

namespace session {
class ExternalEdits;
class Questions;
class Session;
} // namespace session
class DragOutGesture;
class Win32PreviewWindow;
class Win32Questions;
namespace session {
struct MenuState;
}

// The tool's one window on Windows: the resource template IDD_EXTRACTOR_DIALOG as a view of a
// session (session/Session.h), as the Qt dialog is on Linux. It binds buttons, keys, the list's
// menu and dropped files to the session's commands and shows what they leave.
class CWin32ExtractorDlg : public session::SessionWindow {
public:
    // questions: the user's answers; Windows' own windows when null.
    explicit CWin32ExtractorDlg(session::Questions* questions = nullptr);
    ~CWin32ExtractorDlg() override;

    // Creates the window, modeless and shown; false when the template cannot be made.
    bool create(int showCommand = SW_SHOW);
    HWND handle() const { return m_hDlg; }
    HWND tooltips() const { return m_hTooltips; }
    bool isClosed() const { return m_hDlg == nullptr; }
    // Runs the program's messages until the window is gone.
    int run();
    // The window's keys (its accelerators, Tab, Enter, Escape) for a message of the loop; true
    // when it was handled here.
    bool translate(MSG& message);

    // Loads path as if it had been chosen in the open dialog: for an archive named on the
    // command line.
    void openArchive(const std::string& path);
    // How long a command runs before its progress window opens.
    void setProgressDelay(int ms) { m_nProgressDelayMs = ms; }
    // What opens a file in another program: Windows' program for its type unless a test says;
    // false when there is none or it could not start.
    void setOpenWith(std::function<bool(const std::string& path)> openWith)
    {
        m_openWith = std::move(openWith);
    }
    const session::ExternalEdits& externalEdits() const { return *m_edits; }
    session::Session& session() { return *m_session; }
    const session::Session& session() const { return *m_session; }
    const EntryListBox& entryList() const { return *m_list; }
    // What a drag of the selected rows carries: their files, extracted into a new scratch folder
    // before the drag starts. Null when none is selected, or once the failure was shown.
    Microsoft::WRL::ComPtr<IDataObject> dragData();
    Win32PreviewWindow& preview() { return *m_preview; }

private:
    // session::SessionWindow
    std::vector<int> selectedRows() const override { return m_list->rows(); }
    void selectOnly(const std::vector<std::pair<int, int>>& ranges) override
    {
        m_list->selectOnly(ranges);
    }
    int currentRow() const override { return m_list->current(); }
    void setCurrentRow(int row) override { m_list->setCurrent(row); }
    void showRow(int row) override { m_list->show(row); }
    int topRow() const override { return m_list->top(); }
    void scrollToTop(int row) override { m_list->setTop(row); }
    void setStatus(const std::string& text) override;
    void showFindMiss(bool isMiss) override;
    std::string typeFilter() const override;
    void resetTypeFilter() override;
    void relistUnder(const std::function<int()>& list) override;
    void post(std::function<void()> command) override;
    std::unique_ptr<session::LongRun> startLongRun(const std::string& label) override;
    void openInOtherProgram(const std::string& path, std::function<void()> onFailure) override;

    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onInitDialog();
    // The buttons' and the find box's tooltips name the keys of their commands.
    void nameKeysInTooltips();
    void onCommand(int id, int code);
    // The list's keys that are not accelerators: F2 and Delete. -2 when taken, else -1.
    INT_PTR onListKey(int key);
    void onContextMenu(LPARAM at);
    // The list menu's comparing and name encoding commands.
    void addViewCommands(HMENU menu, const session::MenuState& state);
    // Those commands chosen; false for any other id.
    bool onViewCommand(int id);
    void dragOut();
    // A command of the list's menu for the entry at row.
    void onMenuCommand(int id, int row);
    void onDropFiles(HDROP drop);
    void runPosted();
    // Every command a button, key, menu or drop starts runs once the message that chose it has
    // returned (session::CommandQueue).
    void runCommand(std::function<void()> command);
    void close();
    // The list row at a point on the screen, -1 for none.
    int rowAt(POINT screen) const;
    void copyName(int row);
    void openPreview(int row);

    HWND m_hDlg = nullptr;
    HWND m_hTypeFilter = nullptr;
    HWND m_hFind = nullptr;
    HWND m_hTooltips = nullptr;
    HACCEL m_hAccelerators = nullptr;
    HBRUSH m_hMissBrush = nullptr;
    bool m_bFindMiss = false;
    int m_nProgressDelayMs = 500;
    int m_nShowCommand = SW_SHOW;
    std::deque<std::function<void()>> m_posted;
    std::unique_ptr<Win32Questions> m_ownQuestions;
    session::Questions& m_questions;
    std::unique_ptr<session::Session> m_session;
    std::unique_ptr<EntryListBox> m_list;
    std::unique_ptr<DragOutGesture> m_dragOut;
    std::function<bool(const std::string&)> m_openWith;
    session::PrivateScratchFolders m_scratch;
    PolledFileWatch m_watch;
    std::unique_ptr<session::ExternalEdits> m_edits;
    std::unique_ptr<Win32PreviewWindow> m_preview;
};
