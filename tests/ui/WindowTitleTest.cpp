// The title the desktop shows for the dialog, as Qt's X11 and Wayland windows format it once
// the program's application setup has run.

#include "res/Resource.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/ApplicationSetup.h"
#include "ui/ExtractorDlg.h"
#include "ui/QtTranslations.h"

#include <QApplication>

#include <gtest/gtest.h>

// Qt's own formatting of a window title for the title bar (exported, but its header is one of
// Qt's private ones, which are not installed).
class Q_GUI_EXPORT QPlatformWindow {
public:
    static QString formatWindowTitle(const QString& title, const QString& separator);
};

namespace {

TEST(WindowTitleTest, TitleBarShowsTheCaptionAlone)
{
    setUpApplication();
    ScriptedServices services;
    CExtractorDlg dlg(nullptr, &services);
    dlg.show();
    // X11 and Wayland join an appended name with these.
    for (const char* separator : {" \u2014 ", " - "}) {
        const QString shown =
            QPlatformWindow::formatWindowTitle(dlg.windowTitle(), QString::fromUtf8(separator));
        EXPECT_EQ(shown, uiText(res::kCaption)) << separator;
    }
}

} // namespace
