#pragma once

#include "session/SessionWindow.h"
#include "ui/EntryListModel.h"
#include "ui/EntryListSelection.h"
#include "ui/ExternalEdits.h"
#include "ui/ProgressWindow.h"

#include <QDialog>
#include <QIcon>
#include <QString>

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
class QtFileWatch;
class SessionQuestions;

namespace session {
class FolderMounts;
class MountedArchive;
} // namespace session

namespace session {
class Session;
struct MenuState;
} // namespace session

// The tool's one window: the view of a session (session/Session.h). It builds the controls,
// binds keys, menus and drops to the session's commands and shows what they leave; the
// commands themselves, their questions and their wording are the session's.
class CExtractorDlg : public QDialog, public session::SessionWindow {
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
    // The archive as a folder in the desktop's file manager (where this build has FUSE).
    void OnOpenAsFolder();
    // Puts back the archive as it was before the last change.
    void OnUndo();
    // Marks the rows against another archive or folder; shows only the differing rows, or all.
    void OnCompare();
    void OnShowDifferingOnly(bool isOn);

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

    bool isArchiveOpen() const;
    bool canUndo() const;
    const ExternalEdits& externalEdits() const { return *m_pEdits; }
    const EntryListModel& entryList() const { return *m_entryModel; }
    // The list box operations the commands are written in, over the view and its selection.
    std::vector<int> GetSelItems() const { return m_selection->rows(); }
    int GetSelCount() const { return static_cast<int>(GetSelItems().size()); }
    // index -1: every item.
    void SetSel(int index, bool select) { m_selection->set(index, select); }
    // The first row the view shows.
    int GetTopIndex() const { return m_selection->top(); }
    void SetTopIndex(int index) { m_selection->setTop(index); }
    QListView* entryListView() const { return m_entryListView; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // What the session takes is dropped; anything else, and what the list itself dragged out,
    // is refused.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void done(int result) override;
    // Copies in other programs are no longer watched once the dialog closes or hides.
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Unmounts the folder view before the scratch folders go.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // session::SessionWindow
    std::vector<int> selectedRows() const override { return GetSelItems(); }
    void selectOnly(const std::vector<std::pair<int, int>>& ranges) override
    {
        m_selection->selectOnly(ranges);
    }
    int currentRow() const override { return m_selection->current(); }
    void setCurrentRow(int row) override { m_selection->setCurrent(row); }
    void showRow(int row) override { m_selection->show(row); }
    int topRow() const override { return GetTopIndex(); }
    void scrollToTop(int row) override { SetTopIndex(row); }
    void setStatus(const std::string& text) override;
    void showFindMiss(bool isMiss) override;
    std::string typeFilter() const override;
    void resetTypeFilter() override;
    void relistUnder(const std::function<int()>& list) override;
    void post(std::function<void()> command) override;
    std::unique_ptr<session::LongRun> startLongRun(const std::string& label) override;
    void openInOtherProgram(const std::string& path, std::function<void()> onFailure) override;

    void DoDataExchange();
    bool OnInitDialog();
    void connectCommands();
    // The keys of the commands; Enter and Escape stay with keyPressEvent.
    void connectShortcuts();
    bool addEditCommands(QMenu& menu, int row);
    void addEncodingMenu(QMenu& menu, const session::MenuState& state);
    // Every command a button, key, menu or drop starts runs once the event that started it has
    // returned (session::CommandQueue).
    void runCommand(std::function<void()> command);
    // A drag that started in the list: its files are temporary copies of entries.
    bool isOwnDrag(const QDropEvent& event) const;
    // The dropped paths the session takes, empty when it takes none.
    std::vector<std::string> takenDrop(const QDropEvent& event) const;

    QComboBox* m_typeFilter = nullptr;
    QString m_strStatus;
    QString m_strFind;
    QIcon m_hIcon;
    CProgressWindow::Options m_progressOptions;

    QListView* m_entryListView = nullptr;
    EntryListModel* m_entryModel = nullptr;
    std::unique_ptr<EntryListSelection> m_selection;
    QLabel* m_statusText = nullptr;
    QLineEdit* m_findText = nullptr;
    std::unique_ptr<DialogServices> m_ownServices;
    DialogServices* m_pServices = nullptr;
    std::unique_ptr<SessionQuestions> m_questions;
    std::unique_ptr<session::Session> m_session;
    std::unique_ptr<PreviewController> m_preview;
    DragOutFolders* m_pDragOut = nullptr;
    QtFileWatch* m_pFileWatch = nullptr;
    std::unique_ptr<ExternalEdits> m_pEdits;
    std::unique_ptr<session::FolderMounts> m_pMounts;
    std::unique_ptr<session::MountedArchive> m_pMounted;
};
