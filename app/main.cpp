#include "app/ExtractorApp.h"
#include "archive/SignalCleanup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // No temporary file outlives a signal, and a file-size limit fails the write instead of
    // killing the dialog.
    archive::SignalCleanup::install();
    // Qt's own options (-platform and the like) are taken; what is left may name an archive.
    QApplication application(argc, argv);
    return theApp.InitInstance() ? application.exec() : 0;
}
