#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QObject;
class QWidget;

// The windows a command waits on: the open and save file dialogs, the folder and file choices,
// the text prompt and the message box, and the desktop's program for a file. The dialog reaches
// them only through this, so tests can script every answer. Each chooser starts in startFolder, or
// where Qt starts by itself when that is empty.
class DialogServices {
public:
    virtual ~DialogServices() = default;

    // A path, or nullopt when the user cancels.
    virtual std::optional<QString> openArchivePath(QWidget* parent, const QString& startFolder) = 0;
    virtual std::optional<QString> saveArchivePath(QWidget* parent, const QString& startFolder) = 0;
    // An existing folder, or nullopt; the user may make a new folder there first.
    virtual std::optional<QString> chooseFolder(QWidget* parent, const QString& title,
                                                const QString& startFolder) = 0;

    // Existing files to put into the archive: several, or one; nullopt when the user cancels.
    virtual std::optional<QStringList> chooseFiles(QWidget* parent, const QString& title,
                                                   const QString& startFolder) = 0;
    virtual std::optional<QString> chooseFile(QWidget* parent, const QString& title,
                                              const QString& startFolder) = 0;
    // An existing file or folder in one chooser, or nullopt.
    virtual std::optional<QString> chooseFileOrFolder(QWidget* parent, const QString& title,
                                                      const QString& startFolder) = 0;
    // A line of text starting as initial, or nullopt when the user cancels.
    virtual std::optional<QString> askText(QWidget* parent, const QString& caption,
                                           const QString& label, const QString& initial) = 0;
    // Opens path in the desktop's program for its type. onFailure runs on this thread, at once or
    // once the desktop has answered, when there is no such program or it could not start; never
    // once context is gone.
    virtual void openWithDesktop(QObject* context, const QString& path,
                                 std::function<void()> onFailure) = 0;

    enum class MessageIcon { None, Error };
    virtual void showMessage(QWidget* parent, const QString& caption, const QString& text,
                             MessageIcon icon) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
    // After one item of a run failed: skip it, skip it and every later failure without asking,
    // or stop the run. Closing the question stops.
    enum class FailureAnswer { Skip, SkipAll, Stop };
    virtual FailureAnswer askAfterFailure(QWidget* parent, const QString& caption,
                                          const QString& text) = 0;
};
