#pragma once

#include "session/LongRun.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace session {

// What the commands need of the window that shows the entry list: its selection, current and
// top rows, the status line, the type chosen, the find box's tint, the preview and a way to run
// a command once the event that chose it has returned. Rows are indexes into the EntryList.
class SessionWindow {
public:
    virtual ~SessionWindow() = default;

    // Ascending.
    virtual std::vector<int> selectedRows() const = 0;
    // Exactly these ranges (first, last), the rest unselected.
    virtual void selectOnly(const std::vector<std::pair<int, int>>& ranges) = 0;
    // -1 for none.
    virtual int currentRow() const = 0;
    // Makes row current without touching the selection or scrolling.
    virtual void setCurrentRow(int row) = 0;
    // Scrolls as little as shows row.
    virtual void showRow(int row) = 0;
    virtual int topRow() const = 0;
    virtual void scrollToTop(int row) = 0;

    virtual void setStatus(const std::string& text) = 0;
    // A find text that matches nothing tints the find box.
    virtual void showFindMiss(bool isMiss) = 0;
    // The type filter chosen ("*" for all) and putting it back to all.
    virtual std::string typeFilter() const = 0;
    virtual void resetTypeFilter() = 0;

    // Lists anew under list, which returns the row an open preview shows next (-1: close it).
    virtual void relistUnder(const std::function<int()>& list) = 0;
    // Runs command once the event being handled has returned.
    virtual void post(std::function<void()> command) = 0;
    // The progress of a long command titled label.
    virtual std::unique_ptr<LongRun> startLongRun(const std::string& label) = 0;
    // Opens path in the desktop's program for its type; onFailure runs later on this thread
    // when there is none or it could not start.
    virtual void openInOtherProgram(const std::string& path, std::function<void()> onFailure) = 0;
};

} // namespace session
