#include "ui/FileOrFolderDialog.h"

#include <QFileInfo>

FileOrFolderDialog::FileOrFolderDialog(QWidget* parent, const QString& title,
                                       const QString& startFolder)
    : QFileDialog(parent, title, startFolder)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFile);
    setWindowModality(Qt::WindowModal);
}

void FileOrFolderDialog::accept()
{
    const QStringList chosen = selectedFiles();
    if (chosen.size() == 1 && QFileInfo(chosen.first()).isDir()) {
        QDialog::accept();
        return;
    }
    QFileDialog::accept();
}
