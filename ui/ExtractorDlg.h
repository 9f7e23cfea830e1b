#pragma once

#include "archive/ArchiveReader.h"
#include "archive/Progress.h"
#include "ui/EntryListModel.h"
#include "ui/FolderPicker.h"
#include "ui/ProgressWindow.h"

#include <QDialog>
#include <QIcon>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class DialogServices;
class DragOutFolders;
class PreviewController;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace res {
struct ControlTemplate;
}

// The tool's one window. It owns every piece of state (the open archive, the entry list, the
// texts); each On... handler does the window's part of a command and leaves the bytes, names
// and files to one function of the archive layer.
class CExtractorDlg : public QDialog {
public:
    // services: the file dialogs, folder choice and message box; the real ones when null.
    explicit CExtractorDlg(QWidget* parent = nullptr, DialogServices* services = nullptr);
    ~CExtractorDlg() override;

    // Moves the status and find texts between members and controls; a control whose text
    // already equals its member is left untouched, so it reports no change.
    void UpdateData(bool saveAndValidate);

    void OnLoad();
    void OnExtract();
    void OnTypeFilterChange();
    void OnSelectAll();
    void OnDeselectAll();
    void OnFindTextChange();
    void OnCloseButton();
    void OnMakeArchive();
    void OnOK();

    // Loads path as if it had been chosen in the open dialog, showing a failure the same way:
    // for an archive named on the command line or dropped on the window.
    void OpenArchive(const QString& path);
    // How long a command runs before its progress window opens (half a second unless a test
    // wants the window at once).
    void setProgressDelay(int ms) { m_progressOptions.delayMs = ms; }
    // Called on the worker thread with each report of a long command, for tests that act while
    // the work runs.
    void setProgressProbe(std::function<void(const archive::Progress&)> probe)
    {
        m_progressOptions.onWorker = std::move(probe);
    }

    bool isArchiveOpen() const { return m_bArchiveOpen; }
    const EntryListModel& entryList() const { return *m_entryModel; }
    // The list box operations the commands are written in, over the view and its selection.
    std::vector<int> GetSelItems() const;
    int GetSelCount() const { return static_cast<int>(GetSelItems().size()); }
    // index -1: every item.
    void SetSel(int index, bool select);
    // The first row the view shows.
    int GetTopIndex() const;
    void SetTopIndex(int index);
    QListView* entryListView() const { return m_entryListView; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // One dropped file is loaded, one dropped folder is packed; anything else is refused, as is
    // what the list itself dragged out.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void DoDataExchange();
    bool OnInitDialog();
    void buildControls();
    QWidget* createControl(const res::ControlTemplate& control);
    void connectCommands();
    // The keys of the commands; Enter and Escape stay with keyPressEvent.
    void connectShortcuts();
    void loadArchive(const QString& path);
    // Every chooser starts next in the folder holding this file, the one the user last chose.
    void startNextChoiceBeside(const QString& file);
    // Make archive after the folder is known: the save dialog, then the build.
    void makeArchiveFrom(const QString& folder);
    // The dialog's message handling: an error a command lets through is shown, and the dialog
    // goes on with the state the command left.
    // A find text that matches nothing tints the find box.
    void showFindMiss(bool isMiss);
    void runCommand(const std::function<void()>& command);
    void reportError(const QString& text);
    void closeArchive();
    void setStatusFromList();
    void clearStatus();
    // A drag that started in the list: its files are temporary copies of entries.
    bool isOwnDrag(const QDropEvent& event) const;
    bool m_bArchiveOpen = false;
    archive::ArchiveReader m_archive;
    CFolderPicker m_folderPicker;
    QComboBox* m_typeFilter = nullptr;
    QString m_strStatus;
    QString m_strFind;
    // What the last load was given, for loading it again.
    QString m_strLastArchive;
    QIcon m_hIcon;
    CProgressWindow::Options m_progressOptions;

    QListView* m_entryListView = nullptr;
    EntryListModel* m_entryModel = nullptr;
    QLabel* m_statusText = nullptr;
    QLineEdit* m_findText = nullptr;
    std::unique_ptr<DialogServices> m_ownServices;
    DialogServices* m_pServices = nullptr;
    std::unique_ptr<PreviewController> m_preview;
    DragOutFolders* m_pDragOut = nullptr;
};
