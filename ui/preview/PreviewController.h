#pragma once

#include "session/preview/PreviewFollower.h"

#include <QObject>

#include <functional>

class PreviewWindow;
class QListView;
class QAction;
class QMenu;
class QKeyEvent;
class QModelIndex;
class QPoint;

class EntryListModel;

// The preview window on a double-click or from the list's context menu, following the current
// entry while it is open. The dialog keeps its controls and keys; this listens to the view and
// takes the keys pressed in the preview.
class PreviewController : public QObject, private session::PreviewFollower::Window {
    Q_OBJECT

public:
    // Runs a command the menu chose, once the menu's event has returned.
    using RunCommand = std::function<void(std::function<void()> command)>;

    // extractSelected runs the dialog's extract command. list is the dialog's and must outlive
    // this object; entries are read from the reader its catalogue was made from.
    PreviewController(QListView* view, const EntryListModel& list,
                      std::function<void()> extractSelected, RunCommand runCommand,
                      QObject* parent = nullptr);
    ~PreviewController() override;

    void openPreview(int row);
    // Lists anew with the window kept open: list (which resets the view's model) returns the row
    // the window shows next, -1 to close it, as it is closed when list throws. A window shown
    // again would take the focus from the list, and the list's keys with it.
    void relistUnder(const std::function<int()>& list);
    // The list's context menu for the entry at row, -1 for none (the caller owns it).
    QMenu* createContextMenu(int row);
    // Adds the dialog's own commands below these for the entry at row (-1 where no entry was
    // hit); returns whether it added any. A menu is then also shown where no entry is.
    using MenuCommands = std::function<bool(QMenu& menu, int row)>;
    void setMenuCommands(MenuCommands add) { m_addCommands = std::move(add); }
    // An item of the menu, showing keys (a Qt key sequence, or null) that the dialog binds to
    // the same command.
    QAction* addCommand(QMenu& menu, const char* text, const char* keys, bool enabled,
                        std::function<void()> command);

    PreviewWindow* window() const { return m_window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // session::PreviewFollower::Window
    bool isOpen() const override;
    void showRow(int row) override { openPreview(row); }
    void close() override;
    void release() override;

    void showContextMenu(const QPoint& pos);
    void followCurrent(const QModelIndex& current);
    // Up, Down, PageUp, PageDown, Home and End without modifiers.
    static bool isListKey(const QKeyEvent& key);
    // A key pressed anywhere in the preview: the list keys step through the list, Escape closes
    // the window. False for a key the focused part keeps.
    bool handlePreviewKey(QKeyEvent& key);

    QListView* m_view;
    const EntryListModel& m_list;
    std::function<void()> m_extractSelected;
    RunCommand m_runCommand;
    MenuCommands m_addCommands;
    PreviewWindow* m_window = nullptr;
    session::PreviewFollower m_follower{*this};
};
