#include "ui/ApplicationSetup.h"

#include "ui/QtTranslations.h"

#include <QLocale>

void setUpApplication()
{
    installTranslations(dialogLanguage(QLocale::system().uiLanguages()));
}
