#pragma once

#include <QFileDialog>

// Qt's file dialog choosing an existing file or folder: Open on a selected folder chooses it,
// where Qt's own modes either enter it or refuse files. A double-click still enters a folder.
class FileOrFolderDialog : public QFileDialog {
public:
    FileOrFolderDialog(QWidget* parent, const QString& title, const QString& startFolder);

    void accept() override;
};
