#pragma once

#include <memory>
#include <optional>

class QApplication;

// The application: it runs the one dialog modally and ends when the dialog closes.
class CExtractorApp {
public:
    // --help and --version, answered before Qt starts so that they work without a display: the
    // exit status when one of them was given.
    static std::optional<int> AnswerInfoOption(int argc, char* argv[]);
    // Qt's application on the display. Without a usable display the program ends here with one
    // line on standard error and exit status 1, where Qt would abort.
    static std::unique_ptr<QApplication> OpenDisplay(int& argc, char* argv[]);

    // Runs the dialog; returns FALSE so that no message loop of its own follows.
    bool InitInstance();
    int ExitInstance() const { return m_nExitCode; }

private:
    int m_nExitCode = 0;
};

extern CExtractorApp theApp;
