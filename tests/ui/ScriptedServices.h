#pragma once

// Answers every window the dialog opens from queues the test fills (an empty queue means the
// user cancelled, or answered No) and records the folder prompts, where each chooser started,
// the messages shown and the files handed to the desktop.

#include "ui/DialogServices.h"

#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class ScriptedServices : public DialogServices {
public:
    std::deque<QString> openPaths, savePaths, folders;
    std::vector<QString> messages, titles, captions;
    std::vector<QString> openStarts, saveStarts, folderStarts;
    std::deque<bool> answers;
    std::vector<QString> questions;
    std::deque<FailureAnswer> failureAnswers; // empty: the question was closed, which stops
    std::vector<QString> failures;
    std::deque<QStringList> fileLists;
    std::deque<QString> files, texts;
    std::vector<QString> fileTitles, fileStarts;
    // Each text prompt's label and the text it started with.
    std::vector<QString> textLabels, textInitials;
    std::vector<QString> opened;
    bool desktopOpens = true;
    // Runs while a yes/no question waits for its answer, as the user's other programs go on.
    std::function<void()> whileAsked;

    std::optional<QString> openArchivePath(QWidget*, const QString& startFolder) override
    {
        openStarts.push_back(startFolder);
        return next(openPaths);
    }
    std::optional<QString> saveArchivePath(QWidget*, const QString& startFolder) override
    {
        saveStarts.push_back(startFolder);
        return next(savePaths);
    }
    std::optional<QString> chooseFolder(QWidget*, const QString& title,
                                        const QString& startFolder) override
    {
        titles.push_back(title);
        folderStarts.push_back(startFolder);
        return next(folders);
    }
    std::optional<QStringList> chooseFiles(QWidget*, const QString& title,
                                           const QString& startFolder) override
    {
        fileTitles.push_back(title);
        fileStarts.push_back(startFolder);
        if (fileLists.empty())
            return std::nullopt;
        QStringList list = fileLists.front();
        fileLists.pop_front();
        return list;
    }
    std::optional<QString> chooseFile(QWidget*, const QString& title,
                                      const QString& startFolder) override
    {
        fileTitles.push_back(title);
        fileStarts.push_back(startFolder);
        return next(files);
    }
    // Answered from openPaths, as the open dialog.
    std::optional<QString> chooseFileOrFolder(QWidget*, const QString& title,
                                              const QString& startFolder) override
    {
        fileTitles.push_back(title);
        openStarts.push_back(startFolder);
        return next(openPaths);
    }
    std::optional<QString> askText(QWidget*, const QString&, const QString& label,
                                   const QString& initial) override
    {
        textLabels.push_back(label);
        textInitials.push_back(initial);
        return next(texts);
    }
    void openWithDesktop(QObject*, const QString& path, std::function<void()> onFailure) override
    {
        opened.push_back(path);
        if (!desktopOpens)
            onFailure();
    }
    void showMessage(QWidget*, const QString& caption, const QString& text, MessageIcon) override
    {
        captions.push_back(caption);
        messages.push_back(text);
    }

    bool askYesNo(QWidget*, const QString& caption, const QString& text) override
    {
        captions.push_back(caption);
        questions.push_back(text);
        if (whileAsked)
            std::exchange(whileAsked, nullptr)();
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    FailureAnswer askAfterFailure(QWidget*, const QString& caption, const QString& text) override
    {
        captions.push_back(caption);
        failures.push_back(text);
        if (failureAnswers.empty())
            return FailureAnswer::Stop;
        const FailureAnswer answer = failureAnswers.front();
        failureAnswers.pop_front();
        return answer;
    }

private:
    static std::optional<QString> next(std::deque<QString>& queue)
    {
        if (queue.empty())
            return std::nullopt;
        QString value = queue.front();
        queue.pop_front();
        return value;
    }
};
