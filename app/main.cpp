#include "ExtractorApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Qt's own options (-platform and the like) are taken; the tool has none of its own.
    QApplication application(argc, argv);
    return theApp.InitInstance() ? application.exec() : 0;
}
