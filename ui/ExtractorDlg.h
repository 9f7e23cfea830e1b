#pragma once

#include "archive/ArchiveReader.h"
#include "archive/Progress.h"
#include "archive/Updating.h"
#include "ui/EntryListModel.h"
#include "ui/ExternalEdits.h"
#include "ui/FolderPicker.h"
#include "ui/ProgressWindow.h"

#include <QDialog>
#include <QIcon>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <string>
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
class QMenu;
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
    // The commands that change the open archive, for the entry at list index row (-1: none,
    // or for rename the current entry); the changed archive is listed again.
    void OnAddFiles(int row);
    void OnReplace(int row);
    void OnRename(int row);
    // The selected entries, or the one at row when it is not among them.
    void OnDelete(int row);
    void OnOpenWith(int row);
    // Puts back the archive as it was before the last change.
    void OnUndo();

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
    bool canUndo() const { return m_pEarlier != nullptr; }
    const ExternalEdits& externalEdits() const { return *m_pEdits; }
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
    // With an archive open, dropped files and folders are added to it, except one game??.dat,
    // which is loaded. Otherwise one dropped file is loaded, one dropped folder is packed, and
    // anything else is refused, as is what the list itself dragged out.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void done(int result) override;

private:
    void DoDataExchange();
    bool OnInitDialog();
    void buildControls();
    QWidget* createControl(const res::ControlTemplate& control);
    void connectCommands();
    // The keys of the commands; Enter and Escape stay with keyPressEvent.
    void connectShortcuts();
    // The keys of the buttons and the find box, named in their tooltips; the list's menu shows
    // those of its commands.
    void nameKeysInTooltips();
    void loadArchive(const QString& path);
    // Opens path into the current reader and lists it, under the type chosen now or under all.
    void listArchive(const std::string& path, bool keepType);
    // Changes: the archive is replaced, the replaced one kept for undo, and the new one listed
    // with the changed entries selected. False when nothing was written (cancelled).
    bool applyChanges(const std::vector<archive::ArchiveChange>& changes);
    // The same for an archive not listed now, which is neither listed nor kept for undo.
    bool updateOtherArchive(const archive::ArchiveReader& reader,
                            const std::vector<archive::ArchiveChange>& changes);
    // Undo's work once asked for: earlier's bytes back at path, listed; throws FileError
    // changedMeanwhile, having written nothing, when another program changed the file since.
    void putBackEarlier(const std::string& path, const QString& archiveName);
    // The progress window's last words on an update of archiveName.
    static void finishUpdate(CProgressWindow& progress, const QString& archiveName,
                             const archive::UpdateResult& result);
    // After the file at path was replaced: the current reader goes to earlier (kept there for
    // undo) or is closed, and the new file is listed with names selected; an open preview
    // shows the first of them.
    void relist(std::string path, bool keepForUndo, const std::vector<std::string>& names);
    // Returns the first row selected, -1 for none.
    int selectEntries(const std::vector<std::string>& names);
    // The undo belongs to the archive open now.
    void forgetChanges();
    bool addEditCommands(QMenu& menu, int row);
    // A copy saved in another program, offered to the archive it came from, listed or not;
    // false while another change runs.
    bool offerSavedCopy(const ExternalEdits::SavedCopy& copy);
    // Whether path reaches the archive listed now.
    bool isOpenArchive(const std::string& path) const;
    // Dropped files and folders go into the open archive, after one question.
    void addDropped(const QStringList& paths);
    QString archiveFileName() const;
    // Every chooser starts next in the folder holding this file, the one the user last chose.
    void startNextChoiceBeside(const QString& file);
    // Make archive after the folder is known: the save dialog, then the build.
    void makeArchiveFrom(const QString& folder);
    // A find text that matches nothing tints the find box.
    void showFindMiss(bool isMiss);
    // Every command a button, key, menu or drop starts runs here, once the event that started
    // it has returned: its questions and progress handle events, which may close the menu or
    // end the drag it came from. One runs at a time; what arrives meanwhile waits its turn.
    void runCommand(std::function<void()> command);
    void runPendingCommand();
    // For a command that code starts, outside any event, and for what follows the typing.
    void runNow(const std::function<void()>& command);
    // The dialog's message handling: an error a command lets through is shown, and the dialog
    // goes on with the state the command left.
    void reportFailures(const std::function<void()>& command);
    void reportError(const QString& text);
    void closeArchive();
    void setStatusFromList();
    void clearStatus();
    // A drag that started in the list: its files are temporary copies of entries.
    bool isOwnDrag(const QDropEvent& event) const;
    // Whether the drop of these paths does anything.
    bool takesDrop(const QStringList& paths) const;
    bool m_bArchiveOpen = false;
    // Never null; the list's catalogue and the preview read from it.
    std::unique_ptr<archive::ArchiveReader> m_pArchive;
    // The replaced archive, open without a name until the next change or the dialog closes,
    // and the entries to select once it is back.
    std::unique_ptr<archive::ArchiveReader> m_pEarlier;
    std::vector<std::string> m_undoNames;
    // The file the change wrote, which only an undo may replace.
    archive::filesystem::FileStamp m_undoWritten;
    // A change runs or its question waits.
    bool m_bChanging = false;
    bool m_bCommandRunning = false;
    std::deque<std::function<void()>> m_pendingCommands;
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
    ExternalEdits* m_pEdits = nullptr;
};
