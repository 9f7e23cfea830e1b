#include "app/ExtractorApp.h"

#include "res/Resource.h"
#include "ui/ExtractorDlg.h"
#include "ui/QtTranslations.h"

#include <QApplication>
#include <QTimer>

CExtractorApp theApp;

bool CExtractorApp::InitInstance()
{
    QGuiApplication::setApplicationDisplayName(QString::fromUtf8(res::kDisplayName));
    installQtTranslations();
    CExtractorDlg dlg;
    // velmora-extractor [ARCHIVE]: Qt has taken its own options; a file manager passes the
    // archive it was asked to open. It loads once the dialog shows, so a failure's message
    // has the dialog behind it.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) {
        const QString path = arguments.at(1);
        QTimer::singleShot(0, &dlg, [&dlg, path] { dlg.OpenArchive(path); });
    }
    dlg.exec();
    return false;
}
