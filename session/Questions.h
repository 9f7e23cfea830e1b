#pragma once

#include <optional>
#include <string>
#include <vector>

namespace session {

// The modal windows a command waits on: file and folder choices, the text prompt, the message
// box and the questions. Texts and paths are UTF-8 (paths as the archive layer takes them); each
// chooser starts in startFolder, or where the front end starts by itself when that is empty. A
// front end implements them over its own windows, a test over scripted answers.
class Questions {
public:
    virtual ~Questions() = default;

    // A path, or nullopt when the user cancels.
    virtual std::optional<std::string> openArchivePath(const std::string& startFolder) = 0;
    virtual std::optional<std::string> saveArchivePath(const std::string& startFolder) = 0;
    // An existing folder as a full path without a trailing separator, or nullopt.
    virtual std::optional<std::string> chooseFolder(const std::string& title,
                                                    const std::string& startFolder) = 0;
    // Existing files to put into the archive; nullopt when the user cancels.
    virtual std::optional<std::vector<std::string>> chooseFiles(const std::string& title,
                                                                const std::string& startFolder) = 0;
    virtual std::optional<std::string> chooseFile(const std::string& title,
                                                  const std::string& startFolder) = 0;
    // An existing archive or folder, in one chooser; nullopt when the user cancels. A front end
    // without such a chooser offers archives only.
    virtual std::optional<std::string> chooseArchiveOrFolder(const std::string& title,
                                                             const std::string& startFolder)
    {
        (void)title;
        return openArchivePath(startFolder);
    }
    // A line of text starting as initial, or nullopt when the user cancels.
    virtual std::optional<std::string> askText(const std::string& caption, const std::string& label,
                                               const std::string& initial) = 0;

    enum class MessageIcon { None, Error };
    virtual void showMessage(const std::string& caption, const std::string& text,
                             MessageIcon icon) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& caption, const std::string& text) = 0;
    // After one item of a run failed: skip it, skip it and every later failure without asking,
    // or stop the run. Closing the question stops.
    enum class FailureAnswer { Skip, SkipAll, Stop };
    virtual FailureAnswer askAfterFailure(const std::string& caption, const std::string& text) = 0;
};

} // namespace session
