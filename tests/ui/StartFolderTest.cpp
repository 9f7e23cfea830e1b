// Where the open and save dialogs and the folder picker start: beside the archive last opened
// or in the folder last chosen in this run, whatever command chose it.

#include "tests/support/TestSupport.h"
#include "tests/ui/QtTestMain.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/ExtractorDlg.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

enum class Action {
    Load,    // the load button: the open dialog answers `answer`
    Open,    // an archive named on the command line: no chooser
    Extract, // the extract button: the folder picker answers `answer`
    Make,    // make archive: the folder picker answers `answer`, the save dialog `saveAnswer`
};

struct Step {
    Action action;
    const char* answer;     // below the scratch folder; nullptr: the user cancels
    const char* saveAnswer; // as answer, for make archive
    const char* start;      // where the step's first chooser starts; nullptr: Qt's own start
    const char* saveStart;  // where make archive's save dialog starts
};

TEST(StartFolderTest, ChoosersStartWhereTheUserLastWas)
{
    TempDir dir;
    const auto at = [&dir](const char* relative) {
        return relative ? QDir::cleanPath(QString::fromStdString(dir / relative)) : QString();
    };
    ArchiveImage image;
    image.add("A.DAT", "aa");
    for (const char* folder : {"a", "b", "c", "out", "src", "new"})
        std::filesystem::create_directory(dir / folder);
    testsupport::writeFile(dir / "a/GAME00.DAT", image.bytes());
    testsupport::writeFile(dir / "b/GAME01.DAT", image.bytes());
    testsupport::writeFile(dir / "c/BAD.DAT", "xx");
    testsupport::writeFile(dir / "src/X.DAT", "x");

    ScriptedServices services;
    CExtractorDlg dlg(nullptr, &services);
    // Through the buttons, so a failure is shown as the dialog shows it.
    const auto click = [&dlg](const char* name) {
        qttest::click(dlg.findChild<QPushButton*>(QString::fromUtf8(name)));
    };
    const std::vector<Step> steps = {
        {Action::Load, "a/GAME00.DAT", nullptr, nullptr, nullptr},
        {Action::Extract, "out", nullptr, "a", nullptr},
        {Action::Load, nullptr, nullptr, "out", nullptr},
        // A cancel moves nothing.
        {Action::Load, nullptr, nullptr, "out", nullptr},
        {Action::Open, "b/GAME01.DAT", nullptr, nullptr, nullptr},
        {Action::Extract, nullptr, nullptr, "b", nullptr},
        // The save dialog starts beside the source folder, where the archive may go.
        {Action::Make, "src", "new/NEW.DAT", "b", "."},
        {Action::Load, "c/BAD.DAT", nullptr, "new", nullptr},
        // An archive that would not open still was where the user went.
        {Action::Load, nullptr, nullptr, "c", nullptr},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        services.openStarts.clear();
        services.saveStarts.clear();
        services.folderStarts.clear();
        if (step.answer && step.action != Action::Open)
            (step.action == Action::Load ? services.openPaths : services.folders)
                .push_back(at(step.answer));
        if (step.saveAnswer)
            services.savePaths.push_back(at(step.saveAnswer));
        std::vector<QString>* starts = &services.openStarts;
        switch (step.action) {
        case Action::Load:
            click("IDC_LOAD");
            break;
        case Action::Open:
            dlg.OpenArchive(at(step.answer));
            starts = nullptr;
            break;
        case Action::Extract:
            dlg.OnSelectAll();
            click("IDC_EXTRACT");
            starts = &services.folderStarts;
            break;
        case Action::Make:
            click("IDC_MAKE_ARCHIVE");
            starts = &services.folderStarts;
            break;
        }
        if (starts) {
            ASSERT_EQ(starts->size(), 1u);
            EXPECT_EQ(starts->front().toStdString(), at(step.start).toStdString());
        }
        if (step.saveStart) {
            ASSERT_EQ(services.saveStarts.size(), 1u);
            EXPECT_EQ(services.saveStarts.front().toStdString(), at(step.saveStart).toStdString());
        }
        EXPECT_TRUE(services.openPaths.empty() && services.folders.empty() &&
                    services.savePaths.empty());
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "out/A.DAT"));
    EXPECT_TRUE(std::filesystem::exists(dir / "new/NEW.DAT"));
}

} // namespace
