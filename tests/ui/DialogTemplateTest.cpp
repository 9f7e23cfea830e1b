// The dialog's template, start state, keys, data exchange, listing texts, folder picker and quick
// find, driven offscreen with scripted windows.
#include "archive/format/CodePage950.h"
#include "res/Resource.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/QtTestMain.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/DialogServices.h"
#include "ui/ExtractorDlg.h"
#include "ui/FolderPicker.h"
#include "ui/QtDialogServices.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>

using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

struct Dialog : ::testing::Test {
    TempDir dir;
    ScriptedServices script;
    CExtractorDlg dlg{nullptr, &script};

    template <class W> W* control(const char* name) const
    {
        W* widget = dlg.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString status() const { return control<QLabel>("IDC_STATUS")->text(); }
    QComboBox* selector() const { return control<QComboBox>("IDC_TYPE_FILTER"); }
    QLineEdit* findBox() const { return control<QLineEdit>("IDC_FIND_TEXT"); }

    // Names are UTF-8 here and stored as Big5, as the game's archives hold them.
    QString archive(const std::vector<const char*>& names, const std::string& file = "GAME00.DAT")
    {
        ArchiveImage image;
        for (const char* name : names)
            image.add(*archive::cp950::fromUtf8(name), "x");
        testsupport::writeFile(dir / file, image.bytes());
        return QString::fromStdString(dir / file);
    }
    void load(const QString& path)
    {
        script.openPaths.push_back(path);
        qttest::click(control<QPushButton>("IDC_LOAD"));
    }
    void choose(const char* type)
    {
        const int index = selector()->findText(QString::fromLatin1(type));
        ASSERT_GE(index, 0) << type;
        selector()->setCurrentIndex(index);
        emit selector()->activated(index);
    }
    void key(QWidget* target, int code)
    {
        target->setFocus();
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::processEvents();
    }
    std::string topText() const
    {
        return archive::cp950::toUtf8Lossy(dlg.entryList().GetText(dlg.GetTopIndex()));
    }
};

TEST_F(Dialog, StartsEmptyWithEveryTypeListed)
{
    EXPECT_EQ(dlg.entryListView()->model()->rowCount(), 0);
    EXPECT_TRUE(status().isEmpty());
    EXPECT_TRUE(findBox()->text().isEmpty());
    EXPECT_FALSE(dlg.isArchiveOpen());
    QStringList items;
    for (int i = 0; i < selector()->count(); ++i)
        items << selector()->itemText(i);
    EXPECT_EQ(items, QStringList({"*", "BMP", "DAT", "EGA", "SCR", "WAV"}));
    EXPECT_EQ(selector()->currentText(), QStringLiteral("*"));
}

TEST_F(Dialog, ControlsCarryTheTemplateIdsTextsAndRectangles)
{
    const QFontMetrics metrics(dlg.font());
    const double ux = metrics.averageCharWidth() / 4.0;
    const double uy = metrics.height() / 8.0;
    struct Expected {
        const char* name;
        int id;
        const char* text;
        int x, y, w, h;
    };
    const Expected table[] = {
        {"IDC_ENTRY_LIST", 1001, "", 8, 7, 224, 204},
        {"IDC_LOAD", 1010, "載入文件", 5, 248, 37, 14},
        {"IDC_EXTRACT", 1011, "解壓文件", 43, 248, 37, 14},
        {"IDC_SELECT_ALL", 1012, "選擇全部", 81, 248, 37, 14},
        {"IDC_STATUS", 1019, "", 7, 233, 226, 11},
        {"IDC_CLOSE", 1023, "關閉", 211, 248, 22, 14},
        {"IDC_TYPE_FILTER", 1021, "", 7, 216, 88, 0},
        {"IDC_DESELECT_ALL", 1013, "取消全選", 119, 248, 37, 14},
        {"IDC_FIND_TEXT", 1022, "", 98, 216, 134, 14},
        {"IDC_MAKE_ARCHIVE", 1014, "製作數據檔案", 157, 248, 53, 14},
    };
    for (const Expected& e : table) {
        QWidget* widget = control<QWidget>(e.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->property("controlId").toInt(), e.id) << e.name;
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), u8(e.text)) << e.name;
            EXPECT_FALSE(button->isDefault()) << e.name;
            EXPECT_FALSE(button->autoDefault()) << e.name;
        }
        const QRect r = widget->geometry();
        EXPECT_NEAR(r.x(), e.x * ux, 1.0) << e.name;
        EXPECT_NEAR(r.y(), e.y * uy, 1.0) << e.name;
        EXPECT_NEAR(r.width(), e.w * ux, 1.0) << e.name;
        // The drop-down's template height is its open list's.
        if (e.h) {
            EXPECT_NEAR(r.height(), e.h * uy, 1.0) << e.name;
        }
    }
    EXPECT_NEAR(dlg.minimumWidth(), 240 * ux, 1.0);
    EXPECT_NEAR(dlg.minimumHeight(), 269 * uy, 1.0);
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_FALSE(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(Dialog, TabOrderFollowsTheTemplate)
{
    const char* order[] = {"IDC_ENTRY_LIST",   "IDC_LOAD",      "IDC_EXTRACT",
                           "IDC_SELECT_ALL",   "IDC_CLOSE",     "IDC_TYPE_FILTER",
                           "IDC_DESELECT_ALL", "IDC_FIND_TEXT", "IDC_MAKE_ARCHIVE"};
    QWidget* widget = control<QWidget>(order[0]);
    for (const char* name : order) {
        EXPECT_EQ(widget->objectName().toStdString(), name);
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) && widget != &dlg);
    }
}

TEST_F(Dialog, CaptionAndFontAreTheTemplates)
{
    const QString prefix = u8("Velmora 遊戲文件擷取器　中文化：");
    EXPECT_TRUE(dlg.windowTitle().startsWith(prefix));
    EXPECT_GT(dlg.windowTitle().size(), prefix.size());
    EXPECT_EQ(dlg.font().pointSize(), 9);
    // The face really used must carry Traditional Chinese glyphs.
    const QFontMetrics metrics(dlg.font());
    EXPECT_TRUE(metrics.inFont(QChar(0x64F7))); // 擷
}

TEST_F(Dialog, LoadNamesTheFileAndCountInTheStatusAndSelectorFilters)
{
    load(archive({"A.DAT", "B.EGA", "C.DAT", "D.XWAV", "E.WAVE"}));
    ASSERT_TRUE(script.messages.empty()) << script.messages.front().toStdString();
    EXPECT_EQ(status(), u8("GAME00.DAT,共5個檔案　名稱編碼：Big5（自動偵測）"));
    choose("DAT");
    EXPECT_EQ(status(), u8("GAME00.DAT,共2個檔案　名稱編碼：Big5（自動偵測）"));
    EXPECT_EQ(dlg.entryListView()->model()->rowCount(), 2);
    choose("WAV");
    ASSERT_EQ(dlg.entryList().GetCount(), 1);
    EXPECT_EQ(dlg.entryList().GetText(0), "D.XWAV");
}

TEST_F(Dialog, SelectingATypeFromCodeDoesNotFilter)
{
    load(archive({"A.DAT", "B.EGA"}));
    selector()->setCurrentIndex(selector()->findText("EGA"));
    EXPECT_EQ(dlg.entryList().GetCount(), 2);
}

TEST_F(Dialog, LoadingAgainListsEverythingUnderTheStar)
{
    const QString first = archive({"A.DAT", "B.EGA", "C.DAT"});
    load(first);
    choose("EGA");
    load(first);
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(selector()->currentText(), QStringLiteral("*"));
    EXPECT_EQ(dlg.entryList().GetCount(), 3);
}

TEST_F(Dialog, SecondArchiveReplacesTheFirst)
{
    load(archive({"A.DAT", "B.EGA", "C.DAT"}));
    load(archive({"圖像\\主角.EGA"}, "GAME01.DAT"));
    ASSERT_TRUE(script.messages.empty()) << script.messages.front().toStdString();
    ASSERT_EQ(dlg.entryList().GetCount(), 1);
    EXPECT_EQ(status(), u8("GAME01.DAT,共1個檔案　名稱編碼：Big5（自動偵測）"));
    EXPECT_EQ(dlg.entryListView()->model()->data(dlg.entryListView()->model()->index(0, 0)),
              u8("圖像\\主角.EGA"));
}

TEST_F(Dialog, MissingFileIsNamedAndNothingStaysOpen)
{
    load(archive({"A.DAT"}));
    const std::string missing = dir / "GONE.DAT";
    load(QString::fromStdString(missing));
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].contains(QStringLiteral("GONE.DAT")))
        << script.messages[0].toStdString();
    EXPECT_FALSE(dlg.isArchiveOpen());
    EXPECT_EQ(dlg.entryListView()->model()->rowCount(), 0);
    EXPECT_TRUE(status().isEmpty());
}

TEST_F(Dialog, UndecodableNameShowsVisibly)
{
    ArchiveImage image;
    image.add(std::string("\x81\x30.DAT"), "x");
    image.add("B.DAT", "y");
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    load(QString::fromStdString(dir / "GAME00.DAT"));
    ASSERT_EQ(dlg.entryList().GetCount(), 2);
    QStringList shown;
    for (int row = 0; row < 2; ++row)
        shown << dlg.entryListView()
                     ->model()
                     ->data(dlg.entryListView()->model()->index(row, 0))
                     .toString();
    EXPECT_TRUE(shown.contains(QStringLiteral("B.DAT")));
    EXPECT_TRUE(shown.join(QString()).contains(QChar(0xFFFD)));
}

TEST_F(Dialog, EnterInTheListOrFindBoxClosesAsCloseDoes)
{
    for (const char* target : {"IDC_ENTRY_LIST", "IDC_FIND_TEXT"}) {
        load(archive({"A.DAT"}));
        dlg.show();
        key(control<QWidget>(target), Qt::Key_Return);
        EXPECT_FALSE(dlg.isVisible()) << target;
        EXPECT_EQ(dlg.result(), QDialog::Accepted) << target;
        EXPECT_FALSE(dlg.isArchiveOpen()) << target;
    }
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(Dialog, EnterOnAButtonPressesIt)
{
    load(archive({"A.DAT", "B.DAT"}));
    dlg.show();
    key(control<QPushButton>("IDC_SELECT_ALL"), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.GetSelCount(), 2);
}

TEST_F(Dialog, EscapeEndsWithoutAMessage)
{
    load(archive({"A.DAT"}));
    dlg.show();
    key(control<QWidget>("IDC_ENTRY_LIST"), Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(Dialog, WritingTheFindTextBackRaisesNoSecondChange)
{
    load(archive({"bg\\title.bmp"}));
    int changes = 0;
    QObject::connect(findBox(), &QLineEdit::textChanged, [&] { ++changes; });
    findBox()->setText(QStringLiteral("T"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(findBox()->text(), QStringLiteral("T"));
}

TEST_F(Dialog, QuickFindBringsTheMatchToTheTopAndLeavesTheSelection)
{
    std::vector<const char*> names = {"bg\\title.bmp", "bg\\tower.bmp", "se\\a\\b.wav",
                                      "readme.txt", "許\\x.dat"};
    // Rows after the matches, so the list is long enough for any of them to be the top row.
    std::vector<std::string> padding;
    for (int i = 0; i < 40; ++i)
        padding.push_back("龍\\pad" + std::to_string(10 + i) + ".dat");
    for (const std::string& name : padding)
        names.push_back(name.c_str());
    load(archive(names));
    dlg.show();
    ASSERT_EQ(dlg.entryList().GetCount(), 45);
    dlg.entryListView()->selectionModel()->select(dlg.entryListView()->model()->index(4, 0),
                                                  QItemSelectionModel::Select);
    struct Step {
        const char* typed;
        const char* top;
    };
    const Step steps[] = {
        {"t", "bg\\title.bmp"},  {"TO", "bg\\tower.bmp"}, {"TX", "bg\\tower.bmp"},
        {"a\\", "se\\a\\b.wav"}, {"b", "se\\a\\b.wav"},   {"readme", "se\\a\\b.wav"},
        {"x", "許\\x.dat"},      {"", nullptr},
    };
    for (const Step& step : steps) {
        findBox()->setText(u8(step.typed));
        const std::string expected =
            step.top ? step.top : archive::cp950::toUtf8Lossy(dlg.entryList().GetText(0));
        EXPECT_EQ(topText(), expected) << step.typed;
    }
    EXPECT_EQ(dlg.entryListView()->selectionModel()->selectedRows().size(), 1);
}

TEST_F(Dialog, FindTextOutsideBig5OrWithoutArchiveChangesNothing)
{
    findBox()->setText(QStringLiteral("T"));
    EXPECT_TRUE(script.messages.empty());
    std::vector<const char*> names;
    std::vector<std::string> keep;
    for (int i = 0; i < 50; ++i)
        keep.push_back("d\\f" + std::to_string(100 + i) + ".dat");
    for (const std::string& name : keep)
        names.push_back(name.c_str());
    load(archive(names));
    dlg.show();
    findBox()->setText(QStringLiteral("f120"));
    const int top = dlg.GetTopIndex();
    EXPECT_EQ(top, 20);
    findBox()->setText(QString::fromUtf8("f120\xF0\x9F\x98\x80"));
    EXPECT_EQ(dlg.GetTopIndex(), top);
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(Dialog, LoadingAFolderIsRefusedWithItsName)
{
    std::filesystem::create_directory(dir / "FOLDER.DAT");
    load(QString::fromStdString(dir / "FOLDER.DAT"));
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].contains(QStringLiteral("FOLDER.DAT")))
        << script.messages[0].toStdString();
    EXPECT_FALSE(dlg.isArchiveOpen());
    EXPECT_TRUE(status().isEmpty());
}

TEST_F(Dialog, StatusCountsWhatEachTypeLeavesListed)
{
    load(archive({"a.bmp", "B.BMP", "c.dat", "d.scr"}));
    struct Case {
        const char* type;
        const char* status;
    };
    const Case cases[] = {
        {"BMP", "GAME00.DAT,共2個檔案　名稱編碼：Big5（自動偵測）"},
        {"WAV", "GAME00.DAT,共0個檔案　名稱編碼：Big5（自動偵測）"},
        {"*", "GAME00.DAT,共4個檔案　名稱編碼：Big5（自動偵測）"},
    };
    for (const Case& c : cases) {
        choose(c.type);
        EXPECT_EQ(status(), u8(c.status)) << c.type;
        EXPECT_EQ(dlg.entryListView()->model()->rowCount(), dlg.entryList().GetCount());
    }
}

TEST_F(Dialog, EmptyArchiveCountsNothing)
{
    load(archive({}));
    EXPECT_TRUE(script.messages.empty());
    EXPECT_TRUE(dlg.isArchiveOpen());
    EXPECT_EQ(status(), u8("GAME00.DAT,共0個檔案　名稱編碼：Big5（自動偵測）"));
}

TEST_F(Dialog, TypeChoiceWithoutAnArchiveOnlyMovesTheSelector)
{
    choose("EGA");
    EXPECT_EQ(selector()->currentText(), QStringLiteral("EGA"));
    EXPECT_TRUE(status().isEmpty());
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(dlg.entryList().GetCount(), 0);
}

TEST(FolderPicker, ReturnsExistingFoldersWithoutATrailingSlash)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "out");
    testsupport::writeFile(dir / "file.txt", "x");
    struct Case {
        std::string chosen;
        bool ok;
        std::string path;
    };
    const Case cases[] = {
        {dir / "out/", true, dir / "out"},
        {dir / "out", true, dir / "out"},
        {"/", true, "/"},
        {dir / "missing", false, ""},
        {dir / "out/../out", true, dir / "out"},
        {dir / "file.txt", false, ""},
    };
    for (const Case& c : cases) {
        ScriptedServices script;
        script.folders.push_back(QString::fromStdString(c.chosen));
        CFolderPicker picker;
        picker.setServices(&script, nullptr);
        picker.m_strTitle = QStringLiteral("prompt");
        EXPECT_EQ(picker.Browse(), c.ok) << c.chosen;
        if (c.ok) {
            EXPECT_EQ(picker.m_strPath.toStdString(), c.path) << c.chosen;
        }
        EXPECT_EQ(script.titles, std::vector<QString>{QStringLiteral("prompt")});
    }
    ScriptedServices cancelled;
    CFolderPicker picker;
    picker.setServices(&cancelled, nullptr);
    EXPECT_FALSE(picker.Browse());
}

TEST_F(Dialog, CancelledFolderChoiceEndsExtractionAndBuildWithoutEffect)
{
    load(archive({"A.DAT"}));
    qttest::click(control<QPushButton>("IDC_EXTRACT"));
    qttest::click(control<QPushButton>("IDC_MAKE_ARCHIVE"));
    EXPECT_EQ(script.titles,
              (std::vector<QString>{u8("解壓到資料夾:"), u8("請選擇要打包的資料夾:")}));
    EXPECT_TRUE(script.messages.empty());
    EXPECT_TRUE(dlg.isArchiveOpen());
    EXPECT_EQ(dlg.entryList().GetCount(), 1);
}

// What the real file dialog offers: inspected while it runs, then cancelled.
struct SeenDialog {
    QStringList filters;
    QString suffix;
    QStringList initial;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    bool confirmsOverwrite = true;
    QString startedIn;
    QStringList shown;
    QStringList shownForAll;
};

SeenDialog inspect(const std::string& folder, bool save)
{
    SeenDialog seen;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.filters = dialog->nameFilters();
        seen.suffix = dialog->defaultSuffix();
        seen.initial = dialog->selectedFiles();
        seen.mode = dialog->fileMode();
        seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        seen.startedIn = dialog->directory().absolutePath();
        auto* model = dialog->findChild<QFileSystemModel*>();
        QEventLoop loop;
        QObject::connect(model, &QFileSystemModel::directoryLoaded, &loop, &QEventLoop::quit);
        // A guard against a hang should the model never report; not a measurement.
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        dialog->setDirectory(QString::fromStdString(folder));
        loop.exec();
        const QModelIndex root = model->index(QString::fromStdString(folder));
        const auto visible = [&] {
            QStringList names;
            for (int row = 0; row < model->rowCount(root); ++row)
                names << model->index(row, 0, root).data().toString();
            names.sort();
            return names;
        };
        seen.shown = visible();
        // The user picks the second filter with the keyboard.
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        types->setFocus();
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QEventLoop sorted;
        QObject::connect(model, &QFileSystemModel::layoutChanged, &sorted, &QEventLoop::quit);
        QTimer::singleShot(20000, &sorted, &QEventLoop::quit);
        QApplication::sendEvent(types, &down);
        // The model applies new name filters on its next sort.
        sorted.exec();
        seen.shownForAll = visible();
        dialog->reject();
    });
    QtDialogServices services;
    const std::optional<QString> path =
        save ? services.saveArchivePath(nullptr, QString::fromStdString(folder))
             : services.openArchivePath(nullptr, QString::fromStdString(folder));
    EXPECT_FALSE(path.has_value());
    return seen;
}

TEST(FileDialogs, OfferTheGameFilterCaseInsensitivelyAndTheArchiveDefaults)
{
    TempDir dir;
    for (const char* name :
         {"GAME00.DAT", "game01.dat", "Game02.Dat", "GAME1.DAT", "notes.txt", "README"})
        testsupport::writeFile(dir / name, "x");
    for (bool save : {false, true}) {
        const SeenDialog seen = inspect(dir.path().string(), save);
        EXPECT_EQ(seen.filters, QStringList({u8("遊戲數據檔案(game??.dat)"), u8("所有檔案(*.*)")}));
        EXPECT_EQ(seen.suffix, QStringLiteral("DAT"));
        ASSERT_EQ(seen.initial.size(), 1);
        EXPECT_TRUE(seen.initial[0].endsWith(QStringLiteral("/GAME00.DAT")));
        EXPECT_EQ(seen.mode, save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        EXPECT_EQ(seen.startedIn.toStdString(), dir.str());
        if (save) {
            EXPECT_TRUE(seen.confirmsOverwrite);
        }
        EXPECT_EQ(seen.shown, QStringList({"GAME00.DAT", "Game02.Dat", "game01.dat"})) << save;
        EXPECT_EQ(seen.shownForAll, QStringList({"GAME00.DAT", "GAME1.DAT", "Game02.Dat", "README",
                                                 "game01.dat", "notes.txt"}))
            << save;
    }
}

// The real folder picker starts where it is told, and the user can make a new folder there
// and choose it.
TEST(FileDialogs, FolderPickerStartsWhereToldAndMakesNewFolders)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "games");
    QString startedIn;
    bool canMakeFolder = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        startedIn = dialog->directory().absolutePath();
        auto* newFolder = dialog->findChild<QAbstractButton*>(QStringLiteral("newFolderButton"));
        canMakeFolder = newFolder && newFolder->isVisible() && newFolder->isEnabled();
        if (canMakeFolder)
            newFolder->click();
        dialog->reject();
    });
    QtDialogServices services;
    const std::optional<QString> chosen =
        services.chooseFolder(nullptr, QStringLiteral("t"), QString::fromStdString(dir / "games"));
    EXPECT_FALSE(chosen.has_value());
    EXPECT_EQ(startedIn.toStdString(), dir / "games");
    EXPECT_TRUE(canMakeFolder);
    // The new folder is made at once, below the folder shown.
    std::size_t made = 0;
    for (const auto& item : std::filesystem::directory_iterator(dir / "games"))
        made += item.is_directory() ? 1 : 0;
    EXPECT_EQ(made, 1u);
}

} // namespace
