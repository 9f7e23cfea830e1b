#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>

#include <functional>
#include <memory>
#include <vector>

class PreviewWindow;
class QListView;
class QMenu;
class QMimeData;
class QModelIndex;
class QTemporaryDir;

namespace archive {
class ArchiveReader;
} // namespace archive
class EntryListModel;

// Everything the entry list offers beyond the dialog's own commands: the preview window on a
// double-click or from the context menu, following the current entry while it is open, tooltips
// with size and data offset, and dragging entries out as files. The dialog keeps its controls
// and keys; this only listens to the view.
class PreviewController : public QObject {
    Q_OBJECT

public:
    // extractSelected runs the dialog's extract command. archive and list are the dialog's and
    // must outlive this object.
    PreviewController(QListView* view, archive::ArchiveReader& archive, const EntryListModel& list,
                      std::function<void()> extractSelected, QObject* parent = nullptr);
    ~PreviewController() override;

    void openPreview(int row);
    // The list's context menu for the entry at row (the caller owns it).
    QMenu* createContextMenu(int row);
    // Extracts the selected entries into a fresh temporary folder and describes the files as
    // URLs; null after showing the error when extraction fails or nothing is selected.
    QMimeData* dragData();
    // Removes every folder made for dragging.
    void removeDragFolders();

    PreviewWindow* window() const { return m_window; }
    QString toolTipFor(int row) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showContextMenu(const QPoint& pos);
    void startDrag();
    void followCurrent(const QModelIndex& current);

    QListView* m_view;
    archive::ArchiveReader& m_archive;
    const EntryListModel& m_list;
    std::function<void()> m_extractSelected;
    PreviewWindow* m_window = nullptr;
    std::vector<std::unique_ptr<QTemporaryDir>> m_dragFolders;
    QPoint m_pressPos;
    QPersistentModelIndex m_pressIndex;
    bool m_bPressedOnSelection = false;
    bool m_bDeferredClick = false;
};
