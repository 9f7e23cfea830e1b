#pragma once

#include "ArchiveReader.h"
#include "EntryList.h"
#include "FolderPicker.h"
#include "Progress.h"
#include "QuickFind.h"

#include <QDialog>
#include <QIcon>
#include <QString>

#include <functional>
#include <memory>

class DialogServices;
class EntryListModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

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

    bool isArchiveOpen() const { return m_bArchiveOpen; }
    const archive::EntryList& entryList() const { return m_entryList; }
    QListView* entryListView() const { return m_entryListView; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void DoDataExchange();
    bool OnInitDialog();
    void buildControls();
    // The dialog's message handling: an error a command lets through is shown, and the dialog
    // goes on with the state the command left.
    void runCommand(const std::function<void()>& command);
    void reportError(const QString& text);
    void closeArchive();
    void setStatusFromList();
    // Copies the view's selection into the entry list, as whole ranges.
    void selectionToList();
    // Calls work with a progress callback that opens a modal progress window once the work has
    // run for half a second.
    template <class Work> auto withProgress(const QString& label, Work&& work);

    bool m_bArchiveOpen = false;
    archive::ArchiveReader m_archive;
    CFolderPicker m_folderPicker;
    QComboBox* m_typeFilter = nullptr;
    archive::EntryList m_entryList;
    archive::QuickFind m_quickFind;
    QString m_strStatus;
    QString m_strFind;
    QIcon m_hIcon;

    QListView* m_entryListView = nullptr;
    EntryListModel* m_entryModel = nullptr;
    QLabel* m_statusText = nullptr;
    QLineEdit* m_findText = nullptr;
    std::unique_ptr<DialogServices> m_ownServices;
    DialogServices* m_pServices = nullptr;
};
