#pragma once

#include "ui/DialogServices.h"

#include <QString>

#include <cstdio>
#include <optional>
#include <utility>

// Dialog services for the window benchmarks: the open dialog always answers with one archive,
// everything else is declined, and a message goes to standard error so a failed run is seen.
class OneArchive : public DialogServices {
public:
    explicit OneArchive(QString path) : m_strPath(std::move(path)) {}
    std::optional<QString> openArchivePath(QWidget*, const QString&) override { return m_strPath; }
    std::optional<QString> saveArchivePath(QWidget*, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> chooseFolder(QWidget*, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> chooseFileOrFolder(QWidget*, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QStringList> chooseFiles(QWidget*, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> chooseFile(QWidget*, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> askText(QWidget*, const QString&, const QString&,
                                   const QString&) override
    {
        return std::nullopt;
    }
    void openWithDesktop(QObject*, const QString&, std::function<void()>) override {}
    void showMessage(QWidget*, const QString&, const QString& text, MessageIcon) override
    {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    }
    bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
    FailureAnswer askAfterFailure(QWidget*, const QString&, const QString&) override
    {
        return FailureAnswer::Stop;
    }

private:
    QString m_strPath;
};
