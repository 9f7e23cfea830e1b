#pragma once

#include <functional>

namespace session {

// Keeps an open preview on the list's current entry: it follows the current row, closes when
// the list is replaced under it (another archive, type or comparison: the entry shown may be
// gone), and across a command's relisting shows the entry the command leaves current, once.
class PreviewFollower {
public:
    // The preview window as a front end draws it.
    class Window {
    public:
        virtual ~Window() = default;
        virtual bool isOpen() const = 0;
        virtual void showRow(int row) = 0;
        virtual void close() = 0;
        // The archive may be closed before the window shows the next entry: nothing read from
        // it is kept.
        virtual void release() = 0;
    };

    explicit PreviewFollower(Window& window) : m_window(window) {}

    // list (which replaces the rows) returns the row shown next, -1 to close the window, as it
    // is closed when list throws.
    void relistUnder(const std::function<int()>& list);
    // The rows are about to be replaced.
    void rowsResetting();
    void currentMoved(int row);

private:
    Window& m_window;
    bool m_bRelisting = false;
};

} // namespace session
