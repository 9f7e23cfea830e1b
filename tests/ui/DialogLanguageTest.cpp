// The dialog's language chosen from the user's, and the English dialog holding no Chinese text
// of its own.
#include "archive/ArchiveError.h"
#include "res/Resource.h"
#include "session/Wording.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/QtTestMain.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/ExtractorDlg.h"
#include "ui/QtTranslations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QProcess>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(DialogLanguage, ChineseUnderAnyChineseLocaleEnglishUnderAnyOther)
{
    using enum DialogLanguage;
    const struct {
        QStringList uiLanguages;
        DialogLanguage expected;
    } cases[] = {
        {{"zh-TW"}, chinese},
        {{"zh-Hant-HK", "zh-HK"}, chinese},
        {{"zh-CN"}, chinese},
        {{"zh"}, chinese},
        {{"en-US"}, english},
        {{"de-DE", "de"}, english},
        {{}, english},
        // The first language the dialog speaks wins, as Qt picks a translation.
        {{"fr-FR", "zh-TW"}, chinese},
        {{"ja-JP", "en-GB", "zh-TW"}, english},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dialogLanguage(c.uiLanguages), c.expected)
            << c.uiLanguages.join(',').toStdString();
}

// Qt reads LANGUAGE, LC_ALL and LANG once per program: each setting runs the program anew.
TEST(DialogLanguage, TheSystemsSettingsChooseIt)
{
    const struct {
        const char* variable;
        const char* value;
        DialogLanguage expected;
    } cases[] = {
        {"LANG", "de_DE.UTF-8", DialogLanguage::english},
        {"LANG", "zh_HK.UTF-8", DialogLanguage::chinese},
        {"LC_ALL", "zh_CN.UTF-8", DialogLanguage::chinese},
        {"LANGUAGE", "zh_TW:en", DialogLanguage::chinese},
        {"LC_ALL", "C", DialogLanguage::english},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        environment.insert(QString::fromLatin1(c.variable), QString::fromLatin1(c.value));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QCoreApplication::applicationFilePath(), {"--dialog-language", "-"});
        ASSERT_TRUE(program.waitForFinished(30000)) << c.value;
        EXPECT_EQ(program.exitCode(), static_cast<int>(c.expected)) << c.variable << '=' << c.value;
    }
}

bool hasChinese(const QString& text)
{
    return std::ranges::any_of(text, [](QChar c) { return c.unicode() >= 0x3000; });
}

// Every text the English dialog shows, its menus' included, is English: a res/ text shown
// without passing through the translation would show in Chinese.
TEST(DialogLanguage, TheEnglishDialogShowsNoChinese)
{
    ASSERT_TRUE(installTranslations(DialogLanguage::english));
    testsupport::TempDir dir;
    testsupport::ArchiveImage image;
    image.add("A.DAT", "alpha");
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    ScriptedServices services;
    CExtractorDlg dlg(nullptr, &services);
    dlg.show();
    dlg.OpenArchive(QString::fromStdString(dir / "GAME00.DAT"));
    QStringList shown = {dlg.windowTitle()};
    for (const QWidget* widget : dlg.findChildren<QWidget*>()) {
        shown << widget->toolTip();
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            shown << button->text();
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            shown << label->text();
    }
    QListView* list = dlg.entryListView();
    const QPoint at = list->visualRect(dlg.entryList().index(0)).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &click);
    for (const QMenu* menu : list->findChildren<QMenu*>())
        for (const QAction* action : menu->actions())
            shown << action->text();
    EXPECT_TRUE(shown.contains(QStringLiteral("Name encoding")));
    for (const QString& text : shown)
        EXPECT_FALSE(hasChinese(text)) << text.toStdString();
    // A failure naming no file drops the subject with its English separator.
    const archive::ArchiveError noSubject(archive::ErrorKind::cannotOpen, "", "", ENOENT);
    EXPECT_EQ(session::wording::errorMessage(noSubject),
              "Cannot open the file\nNo such file or folder");
}

} // namespace

// --dialog-language -: exits with the DialogLanguage the system's settings choose.
int dialogLanguageOfSystem(const QString&)
{
    return static_cast<int>(dialogLanguage(QLocale::system().uiLanguages()));
}

const bool kLanguageMode = qttest::addMode("--dialog-language", dialogLanguageOfSystem);
