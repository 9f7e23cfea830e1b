#pragma once

#include "ui/DialogServices.h"

// The real windows: Qt's own file dialog (the same on every desktop, so the filter rules below
// hold everywhere) and message box, all modal to the dialog.
class QtDialogServices : public DialogServices {
public:
    std::optional<QString> openArchivePath(QWidget* parent, const QString& startFolder) override;
    std::optional<QString> saveArchivePath(QWidget* parent, const QString& startFolder) override;
    std::optional<QString> chooseFolder(QWidget* parent, const QString& title,
                                        const QString& startFolder) override;
    std::optional<QStringList> chooseFiles(QWidget* parent, const QString& title,
                                           const QString& startFolder) override;
    std::optional<QString> chooseFile(QWidget* parent, const QString& title,
                                      const QString& startFolder) override;
    std::optional<QString> chooseFileOrFolder(QWidget* parent, const QString& title,
                                              const QString& startFolder) override;
    std::optional<QString> askText(QWidget* parent, const QString& caption, const QString& label,
                                   const QString& initial) override;
    // Through the desktop's opener where there is one: its exit status says whether a program
    // took the file, where Qt's own call only says the opener started.
    void openWithDesktop(QObject* context, const QString& path,
                         std::function<void()> onFailure) override;
    void showMessage(QWidget* parent, const QString& caption, const QString& text,
                     MessageIcon icon) override;
    bool askYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    FailureAnswer askAfterFailure(QWidget* parent, const QString& caption,
                                  const QString& text) override;
};
