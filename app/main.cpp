#include "ExtractorApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Qt's own options (-platform and the like) are taken; what is left may name an archive.
    QApplication application(argc, argv);
    return theApp.InitInstance() ? application.exec() : 0;
}
