#pragma once

#include "session/Questions.h"

class DialogServices;
class QWidget;

// The session's questions asked through the dialog's windows, modal to owner: paths cross as
// the file system's bytes, texts as UTF-8.
class SessionQuestions : public session::Questions {
public:
    SessionQuestions(DialogServices& services, QWidget* owner)
        : m_services(services), m_pOwner(owner)
    {
    }

    std::optional<std::string> openArchivePath(const std::string& startFolder) override;
    std::optional<std::string> saveArchivePath(const std::string& startFolder) override;
    std::optional<std::string> chooseFolder(const std::string& title,
                                            const std::string& startFolder) override;
    std::optional<std::vector<std::string>> chooseFiles(const std::string& title,
                                                        const std::string& startFolder) override;
    std::optional<std::string> chooseFile(const std::string& title,
                                          const std::string& startFolder) override;
    std::optional<std::string> chooseArchiveOrFolder(const std::string& title,
                                                     const std::string& startFolder) override;
    std::optional<std::string> askText(const std::string& caption, const std::string& label,
                                       const std::string& initial) override;
    void showMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon) override;
    bool askYesNo(const std::string& caption, const std::string& text) override;
    FailureAnswer askAfterFailure(const std::string& caption, const std::string& text) override;

private:
    DialogServices& m_services;
    QWidget* m_pOwner;
};
