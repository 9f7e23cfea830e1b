#include "ui/ApplicationSetup.h"

#include "ui/QtTranslations.h"

void setUpApplication()
{
    installQtTranslations();
}
