#pragma once

// Answers the dialog's file dialogs, folder choices and message boxes from a script, and
// records what the dialog asked and showed.

#include "DialogServices.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

class ScriptedServices : public DialogServices {
public:
    std::deque<std::optional<QString>> openPaths;
    std::deque<std::optional<QString>> savePaths;
    std::deque<std::optional<QString>> folders;

    QStringList folderTitles;
    struct Message {
        QString caption;
        QString text;
        MessageIcon icon;
    };
    std::vector<Message> messages;

    std::optional<QString> openArchivePath(QWidget*) override { return next(openPaths); }
    std::optional<QString> saveArchivePath(QWidget*) override { return next(savePaths); }
    std::optional<QString> chooseFolder(QWidget*, const QString& title, const QString&) override
    {
        folderTitles.append(title);
        return next(folders);
    }
    void showMessage(QWidget*, const QString& caption, const QString& text,
                     MessageIcon icon) override
    {
        messages.push_back({caption, text, icon});
    }

private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& queue)
    {
        std::optional<QString> value;
        if (!queue.empty()) {
            value.swap(queue.front());
            queue.pop_front();
        }
        return value;
    }
};
