#include "app/ExtractorApp.h"
#include "archive/files/SignalCleanup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = CExtractorApp::AnswerInfoOption(argc, argv))
        return *status;
    // No temporary file outlives a signal, and a file-size limit fails the write instead of
    // killing the dialog.
    archive::SignalCleanup::install();
    // Qt's own options (-platform and the like) are taken; what is left may name an archive.
    const std::unique_ptr<QApplication> application = CExtractorApp::OpenDisplay(argc, argv);
    return theApp.InitInstance() ? application->exec() : theApp.ExitInstance();
}
