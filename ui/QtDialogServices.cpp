#include "ui/QtDialogServices.h"

#include "res/Messages.h"
#include "res/Resource.h"
#include "ui/FileOrFolderDialog.h"
#include "ui/QtTranslations.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

namespace {

// Default suffix, initial name and the two filters both archive dialogs share.
std::optional<QString> runArchiveDialog(QWidget* parent, QFileDialog::AcceptMode mode,
                                        const QString& startFolder)
{
    QFileDialog dialog(parent, QString(), startFolder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters({uiText(res::kOpenFilter), uiText(res::kAllFilesFilter)});
    // Archives come from Windows in any letter case: GAME00.DAT must show under game??.dat.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    // "*.*" means every file where the texts come from; here it would hide names without a dot.
    const QString allFiles = uiText(res::kAllFilesFilter);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, allFiles](const QString& filter) {
                         auto* model = dialog.findChild<QFileSystemModel*>();
                         if (filter == allFiles && model)
                             model->setNameFilters({QStringLiteral("*")});
                     });
    dialog.setDefaultSuffix(QString::fromUtf8(res::kDefaultSuffix));
    dialog.selectFile(QString::fromUtf8(res::kDefaultFileName));
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

} // namespace

std::optional<QString> QtDialogServices::openArchivePath(QWidget* parent,
                                                         const QString& startFolder)
{
    return runArchiveDialog(parent, QFileDialog::AcceptOpen, startFolder);
}

std::optional<QString> QtDialogServices::saveArchivePath(QWidget* parent,
                                                         const QString& startFolder)
{
    return runArchiveDialog(parent, QFileDialog::AcceptSave, startFolder);
}

std::optional<QString> QtDialogServices::chooseFolder(QWidget* parent, const QString& title,
                                                      const QString& startFolder)
{
    QFileDialog dialog(parent, title, startFolder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

namespace {

std::optional<QStringList> runFilesDialog(QWidget* parent, const QString& title,
                                          const QString& startFolder, QFileDialog::FileMode mode)
{
    QFileDialog dialog(parent, title, startFolder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(mode);
    // No name filter: any file can become an entry.
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles();
}

} // namespace

std::optional<QStringList> QtDialogServices::chooseFiles(QWidget* parent, const QString& title,
                                                         const QString& startFolder)
{
    return runFilesDialog(parent, title, startFolder, QFileDialog::ExistingFiles);
}

std::optional<QString> QtDialogServices::chooseFile(QWidget* parent, const QString& title,
                                                    const QString& startFolder)
{
    const std::optional<QStringList> files =
        runFilesDialog(parent, title, startFolder, QFileDialog::ExistingFile);
    if (!files)
        return std::nullopt;
    return files->first();
}

std::optional<QString> QtDialogServices::chooseFileOrFolder(QWidget* parent, const QString& title,
                                                            const QString& startFolder)
{
    FileOrFolderDialog dialog(parent, title, startFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

std::optional<QString> QtDialogServices::askText(QWidget* parent, const QString& caption,
                                                 const QString& label, const QString& initial)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(label);
    dialog.setTextValue(initial);
    // Room for a long entry name with its folders.
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMinimumWidth(dialog.fontMetrics().averageCharWidth() * 60);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

void QtDialogServices::openWithDesktop(QObject* context, const QString& path,
                                       std::function<void()> onFailure)
{
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            onFailure();
        return;
    }
    // Nobody's child: closing the dialog must not end the program the file went to, which some
    // desktops' opener waits for.
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, context,
                     [onFailure](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0)
                             onFailure();
                     });
    QObject::connect(process, &QProcess::errorOccurred, context,
                     [onFailure](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             onFailure();
                     });
    // A process that never started does not finish.
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             process->deleteLater();
                     });
    process->start(opener, {path});
}

void QtDialogServices::showMessage(QWidget* parent, const QString& caption, const QString& text,
                                   MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Warning : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogServices::askYesNo(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

DialogServices::FailureAnswer
QtDialogServices::askAfterFailure(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent);
    QPushButton* skip = box.addButton(uiText(res::kSkip), QMessageBox::AcceptRole);
    QPushButton* skipAll = box.addButton(uiText(res::kSkipAll), QMessageBox::AcceptRole);
    QPushButton* stop = box.addButton(uiText(res::kStop), QMessageBox::RejectRole);
    box.setDefaultButton(skip);
    box.setEscapeButton(stop);
    box.exec();
    if (box.clickedButton() == skip)
        return FailureAnswer::Skip;
    return box.clickedButton() == skipAll ? FailureAnswer::SkipAll : FailureAnswer::Stop;
}
