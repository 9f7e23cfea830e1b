#include "ui/ExtractorDlg.h"
#include "archive/format/CodePage950.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/QtTestMain.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/DialogServices.h"
#include "ui/QtTranslations.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

struct DialogFixture : ::testing::Test {
    TempDir dir;
    ScriptedServices services;
    CExtractorDlg dlg{nullptr, &services};

    QString archiveWith(const std::vector<std::pair<std::string, std::string>>& entries,
                        const std::string& name = "GAME00.DAT")
    {
        ArchiveImage image;
        for (const auto& [entryName, content] : entries)
            image.add(entryName, content);
        testsupport::writeFile(dir / name, image.bytes());
        return QString::fromStdString(dir / name);
    }
    void load(const QString& path)
    {
        services.openPaths.push_back(path);
        qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    }
    QString status() const { return dlg.findChild<QLabel*>("IDC_STATUS")->text(); }
};

TEST_F(DialogFixture, LoadListsEveryEntryAndNamesTheFileInTheStatus)
{
    load(archiveWith({{"A.DAT", "aa"}, {"B.EGA", "b"}, {"C.DAT", "c"}}));
    ASSERT_TRUE(services.messages.empty()) << services.messages.front().toStdString();
    EXPECT_TRUE(dlg.isArchiveOpen());
    EXPECT_EQ(dlg.entryList().GetCount(), 3);
    EXPECT_EQ(dlg.entryListView()->model()->rowCount(), 3);
    EXPECT_TRUE(status().contains(QStringLiteral("GAME00.DAT")));
}

TEST_F(DialogFixture, SelectionOperationsWorkOnTheViewsSelection)
{
    load(archiveWith({{"d", ""}, {"a", ""}, {"c", ""}, {"b", ""}, {"e", ""}}));
    ASSERT_EQ(dlg.entryList().GetCount(), 5);
    dlg.SetSel(-1, false); // nothing to clear
    EXPECT_EQ(dlg.GetSelCount(), 0);
    const struct {
        int index;
        bool select;
        std::vector<int> selected;
    } steps[] = {
        {3, true, {3}},
        {1, true, {1, 3}},
        {1, true, {1, 3}},
        {9, true, {1, 3}},
        {-5, true, {1, 3}},
        {3, false, {1}},
        {-1, true, {0, 1, 2, 3, 4}},
        {2, false, {0, 1, 3, 4}},
        {-1, false, {}},
    };
    for (const auto& step : steps) {
        dlg.SetSel(step.index, step.select);
        EXPECT_EQ(dlg.GetSelItems(), step.selected) << step.index << " " << step.select;
        EXPECT_EQ(dlg.entryListView()->selectionModel()->selectedRows().size(),
                  qsizetype(step.selected.size()));
    }
    // Item values are record positions, in list order whatever the file order.
    EXPECT_EQ(dlg.entryList().GetText(0), "a");
    EXPECT_EQ(dlg.entryList().GetItemData(0), 4u + 18u);
    EXPECT_EQ(dlg.entryList().GetItemData(5), 0u);
    EXPECT_EQ(dlg.entryList().GetText(-1), "");
}

TEST_F(DialogFixture, FailedLoadShowsTheReasonAndLeavesNothingOpen)
{
    load(archiveWith({{"A.DAT", "aa"}}));
    testsupport::writeFile(dir / "BAD.DAT", "xx");
    load(QString::fromStdString(dir / "BAD.DAT"));
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_TRUE(services.messages[0].contains(QStringLiteral("BAD.DAT")));
    EXPECT_FALSE(dlg.isArchiveOpen());
    EXPECT_EQ(dlg.entryList().GetCount(), 0);
    EXPECT_EQ(dlg.entryListView()->model()->rowCount(), 0);
    EXPECT_TRUE(status().isEmpty());
}

TEST_F(DialogFixture, CancelledOpenKeepsTheArchive)
{
    load(archiveWith({{"A.DAT", "aa"}}));
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    EXPECT_TRUE(dlg.isArchiveOpen());
    EXPECT_EQ(dlg.entryList().GetCount(), 1);
}

TEST_F(DialogFixture, SelectorListsOnlyThatType)
{
    load(archiveWith({{"A.DAT", "a"}, {"B.EGA", "b"}, {"C.DAT", "c"}}));
    QComboBox* filter = dlg.findChild<QComboBox*>("IDC_TYPE_FILTER");
    ASSERT_NE(filter, nullptr);
    filter->setCurrentIndex(filter->findText("EGA"));
    dlg.OnTypeFilterChange();
    EXPECT_EQ(dlg.entryList().GetCount(), 1);
}

TEST_F(DialogFixture, SelectAllAndDeselectAllMoveViewAndListTogether)
{
    load(archiveWith({{"A.DAT", "a"}, {"B.DAT", "b"}}));
    dlg.OnSelectAll();
    EXPECT_EQ(dlg.GetSelCount(), 2);
    EXPECT_EQ(dlg.entryListView()->selectionModel()->selectedRows().size(), 2);
    dlg.OnDeselectAll();
    EXPECT_EQ(dlg.GetSelCount(), 0);
    EXPECT_TRUE(dlg.entryListView()->selectionModel()->selectedRows().isEmpty());
}

TEST_F(DialogFixture, SelectAllOnAFilteredListExtractsOnlyThoseAndClearsTheSelection)
{
    load(archiveWith({{"A.DAT", "aaa"}, {"B.EGA", "bb"}, {"C.DAT", "c"}}));
    QComboBox* filter = dlg.findChild<QComboBox*>("IDC_TYPE_FILTER");
    filter->setCurrentIndex(filter->findText("DAT"));
    dlg.OnTypeFilterChange();
    dlg.OnSelectAll();
    std::filesystem::create_directory(dir / "out");
    services.folders.push_back(QString::fromStdString(dir / "out"));
    qttest::click(dlg.findChild<QPushButton*>("IDC_EXTRACT"));
    ASSERT_TRUE(services.messages.empty()) << services.messages.front().toStdString();
    EXPECT_EQ(testsupport::readFile(dir / "out/A.DAT"), "aaa");
    EXPECT_EQ(testsupport::readFile(dir / "out/C.DAT"), "c");
    EXPECT_FALSE(std::filesystem::exists(dir / "out/B.EGA"));
    EXPECT_EQ(dlg.GetSelCount(), 0);
}

// Two names that are one file where case is ignored: the second asks, naming both. A link made
// after the first entry plays the file system that folds case.
TEST_F(DialogFixture, ANameReachingAnEarlierEntrysFileNamesBoth)
{
    load(archiveWith({{"a.bmp", "lower"}, {"A.BMP", "upper"}}));
    const std::filesystem::path out = dir / "out";
    std::filesystem::create_directory(out);
    dlg.setProgressProbe([&](const archive::Progress& p) {
        if (p.entriesDone != 1)
            return;
        const bool isLowerFirst = std::filesystem::exists(out / "a.bmp");
        std::filesystem::create_hard_link(out / (isLowerFirst ? "a.bmp" : "A.BMP"),
                                          out / (isLowerFirst ? "A.BMP" : "a.bmp"));
    });
    services.failureAnswers = {DialogServices::FailureAnswer::Skip};
    services.folders.push_back(QString::fromStdString(out.string()));
    dlg.OnSelectAll();
    qttest::click(dlg.findChild<QPushButton*>("IDC_EXTRACT"));

    ASSERT_EQ(services.failures.size(), 1u);
    const QString& question = services.failures[0];
    const bool isLowerFirst = testsupport::readFile(out / "a.bmp") == "lower";
    const QString first = isLowerFirst ? QStringLiteral("a.bmp") : QStringLiteral("A.BMP");
    const QString second = isLowerFirst ? QStringLiteral("A.BMP") : QStringLiteral("a.bmp");
    EXPECT_TRUE(question.startsWith(QString::fromUtf8(res::kEntryFailed).arg(second)))
        << question.toStdString();
    EXPECT_TRUE(question.contains(QString::fromUtf8(res::kSameFileAsEntry).arg(first)))
        << question.toStdString();
    EXPECT_EQ(testsupport::readFile(out / first.toStdString()), isLowerFirst ? "lower" : "upper");
    EXPECT_EQ(services.messages, std::vector<QString>{QString::fromUtf8(res::kExtractDoneSkipped)
                                                          .arg(1)
                                                          .arg(QString::fromStdString(out.string()))
                                                          .arg(1)});
}

TEST_F(DialogFixture, QuickFindScrollsTheMatchToTheTop)
{
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 200; ++i)
        entries.push_back({"D\\F" + std::to_string(1000 + i) + ".DAT", "x"});
    load(archiveWith(entries));
    dlg.resize(dlg.size());
    dlg.show();
    QLineEdit* find = dlg.findChild<QLineEdit*>("IDC_FIND_TEXT");
    ASSERT_NE(find, nullptr);
    find->setText("f115");
    EXPECT_EQ(dlg.GetTopIndex(), 150);
    find->setText("zzz");
    EXPECT_EQ(dlg.GetTopIndex(), 150);
}

TEST_F(DialogFixture, QuickFindMakesTheMatchCurrentKeepsTheSelectionAndTintsAMiss)
{
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 200; ++i)
        entries.push_back({"D\\F" + std::to_string(1000 + i) + ".DAT", "x"});
    load(archiveWith(entries));
    dlg.show();
    QLineEdit* find = dlg.findChild<QLineEdit*>("IDC_FIND_TEXT");
    const QColor plain = find->palette().color(QPalette::Base);
    dlg.SetSel(3, true);
    dlg.SetSel(7, true);
    const struct {
        const char* text;
        int current; // -1: unchanged from the step before
        bool tinted;
    } steps[] = {
        // Too near the end to reach the top: only the current row shows which matched.
        {"f1198", 198, false},
        {"f1198x", -1, true},
        {"f10", 0, false},
        // A character code page 950 cannot hold matches nothing.
        {"\xf0\x9f\x98\x80", -1, true},
        {"", -1, false},
        {"F1150", 150, false},
    };
    int current = -1;
    for (const auto& step : steps) {
        find->setText(QString::fromUtf8(step.text));
        if (step.current >= 0)
            current = step.current;
        EXPECT_EQ(dlg.entryListView()->currentIndex().row(), current) << step.text;
        EXPECT_EQ(dlg.GetSelItems(), (std::vector<int>{3, 7})) << step.text;
        EXPECT_EQ(find->palette().color(QPalette::Base) != plain, step.tinted) << step.text;
    }
}

TEST_F(DialogFixture, TheCurrentRowIsFramedWhileTheFocusIsElsewhere)
{
    load(archiveWith({{"D\\A.DAT", "a"}, {"D\\B.DAT", "b"}}));
    dlg.show();
    QListView* view = dlg.entryListView();
    QLineEdit* find = dlg.findChild<QLineEdit*>("IDC_FIND_TEXT");
    find->setFocus();
    const QRect row = view->visualRect(view->model()->index(0, 0));
    const auto rowImage = [&] { return view->viewport()->grab(row).toImage(); };
    view->selectionModel()->setCurrentIndex(view->model()->index(1, 0),
                                            QItemSelectionModel::NoUpdate);
    const QImage plain = rowImage();
    find->setText("a");
    ASSERT_EQ(view->currentIndex().row(), 0);
    EXPECT_NE(rowImage(), plain);
}

TEST_F(DialogFixture, EveryTemplateControlExistsInTabOrderWithoutADefaultButton)
{
    QStringList expected;
    for (const res::ControlTemplate& control : res::kControls) {
        QWidget* widget = dlg.findChild<QWidget*>(QString::fromLatin1(control.name));
        ASSERT_NE(widget, nullptr) << control.name;
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(control.text)) << control.name;
            EXPECT_FALSE(button->isDefault() || button->autoDefault()) << control.name;
        }
        if (widget->focusPolicy() & Qt::TabFocus)
            expected << widget->objectName();
    }
    // The focus chain also holds the controls' inner widgets; only named controls count.
    QStringList chain;
    for (QWidget* w = dlg.nextInFocusChain(); w != &dlg; w = w->nextInFocusChain())
        if (w->objectName().startsWith(QStringLiteral("IDC_")) && (w->focusPolicy() & Qt::TabFocus))
            chain << w->objectName();
    EXPECT_EQ(chain, expected);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(res::kCaption));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
}

TEST_F(DialogFixture, SelectorStartsWithTheSixTypesAndAllSelected)
{
    QComboBox* filter = dlg.findChild<QComboBox*>("IDC_TYPE_FILTER");
    QStringList items;
    for (int i = 0; i < filter->count(); ++i)
        items << filter->itemText(i);
    EXPECT_EQ(items, QStringList({"*", "BMP", "DAT", "EGA", "SCR", "WAV"}));
    EXPECT_EQ(filter->currentText(), QStringLiteral("*"));
}

TEST_F(DialogFixture, WritingAnEqualFindTextRaisesNoChange)
{
    QLineEdit* find = dlg.findChild<QLineEdit*>("IDC_FIND_TEXT");
    find->setText("ABC");
    int changes = 0;
    QObject::connect(find, &QLineEdit::textChanged, [&] { ++changes; });
    dlg.UpdateData(true);
    dlg.UpdateData(false);
    EXPECT_EQ(changes, 0);
}

} // namespace

// Hidden option for the screenshot script: --grab PNG lists a small archive with Chinese
// names in the dialog and saves the window to PNG.
int grab(const QString& png)
{
    TempDir dir;
    ArchiveImage image;
    for (const char* name :
         {"地圖\\城鎮.DAT", "圖像\\主角_走路.EGA", "音效\\開門_01.WAV", "劇情.SCR"})
        image.add(*archive::cp950::fromUtf8(name), "data");
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    ScriptedServices services;
    services.openPaths.push_back(QString::fromStdString(dir / "GAME00.DAT"));
    CExtractorDlg dlg(nullptr, &services);
    dlg.show();
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    QApplication::processEvents();
    return dlg.grab().save(png) && services.messages.empty() ? 0 : 1;
}

const bool kGrabMode = qttest::addMode("--grab", grab);

// --grab-english PNG: the same dialog as a system that is not Chinese shows it.
int grabEnglish(const QString& png)
{
    return installTranslations(DialogLanguage::english) ? grab(png) : 1;
}

const bool kGrabEnglishMode = qttest::addMode("--grab-english", grabEnglish);

// --grab-find PNG: the same list after a quick find that matches (PNG) and one that does not
// (PNG with "-miss" before its suffix), to look at the current row's frame and the tint.
int grabFind(const QString& png)
{
    TempDir dir;
    ArchiveImage image;
    for (const char* name : {"MAP\\TOWN.DAT", "GFX\\HERO.EGA", "SND\\DOOR.WAV", "SND\\STEP.WAV"})
        image.add(name, "data");
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    ScriptedServices services;
    CExtractorDlg dlg(nullptr, &services);
    dlg.show();
    dlg.OpenArchive(QString::fromStdString(dir / "GAME00.DAT"));
    dlg.SetSel(0, true);
    auto* find = dlg.findChild<QLineEdit*>("IDC_FIND_TEXT");
    find->setFocus();
    find->setText("door");
    QApplication::processEvents();
    const bool matched = dlg.grab().save(png);
    find->setText("doorx");
    QApplication::processEvents();
    QString miss = png;
    miss.insert(png.lastIndexOf(QLatin1Char('.')), QStringLiteral("-miss"));
    return matched && dlg.grab().save(miss) && services.messages.empty() ? 0 : 1;
}

const bool kGrabFindMode = qttest::addMode("--grab-find", grabFind);
