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
    std::optional<QString> askText(QWidget* parent, const QString& caption, const QString& label,
                                   const QString& initial) override;
    bool openWithDesktop(const QString& path) override;
    void showMessage(QWidget* parent, const QString& caption, const QString& text,
                     MessageIcon icon) override;
    bool askYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    FailureAnswer askAfterFailure(QWidget* parent, const QString& caption,
                                  const QString& text) override;
};
