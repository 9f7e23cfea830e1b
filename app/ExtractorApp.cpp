#include "ExtractorApp.h"

#include "ExtractorDlg.h"

CExtractorApp theApp;

bool CExtractorApp::InitInstance()
{
    CExtractorDlg dlg;
    dlg.exec();
    return false;
}
