#pragma once

#include "session/Questions.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <shobjidl.h>
#include <windows.h>

// The session's questions over Windows' own windows: the common item dialogs for files and
// folders (a folder is chosen with FOS_PICKFOLDERS, which takes a typed path), message boxes, and
// the program's prompt and failure windows from its resources. Paths come back as Windows writes
// them, which the engine takes as they are.
class Win32Questions : public session::Questions {
public:
    void setOwner(HWND owner) { m_hOwner = owner; }

    std::optional<std::string> openArchivePath(const std::string& startFolder) override;
    std::optional<std::string> saveArchivePath(const std::string& startFolder) override;
    std::optional<std::string> chooseFolder(const std::string& title,
                                            const std::string& startFolder) override;
    std::optional<std::vector<std::string>> chooseFiles(const std::string& title,
                                                        const std::string& startFolder) override;
    std::optional<std::string> chooseFile(const std::string& title,
                                          const std::string& startFolder) override;
    // Open takes an archive; a button of the Open dialog takes the folder selected or shown.
    std::optional<std::string> chooseArchiveOrFolder(const std::string& title,
                                                     const std::string& startFolder) override;
    std::optional<std::string> askText(const std::string& caption, const std::string& label,
                                       const std::string& initial) override;
    void showMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon) override;
    bool askYesNo(const std::string& caption, const std::string& text) override;
    FailureAnswer askAfterFailure(const std::string& caption, const std::string& text) override;

private:
    struct Choice {
        bool isSave = false;
        DWORD options = 0;
        std::string title;
        std::string startFolder;
        bool isArchive = false;
        bool isFolderToo = false;
    };
    // The paths chosen, empty when the user cancels.
    std::vector<std::string> choose(const Choice& choice);
    static std::vector<std::string> resultsOf(IFileDialog* dialog, bool isSave);
    static std::optional<std::string> first(const std::vector<std::string>& paths);

    HWND m_hOwner = nullptr;
};
