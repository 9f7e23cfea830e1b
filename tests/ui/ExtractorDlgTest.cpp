#include "ExtractorDlg.h"
#include "Resource.h"
#include "ScriptedServices.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::ArchiveImage;

namespace {

class ExtractorDlgTest : public ::testing::Test {
protected:
    ExtractorDlgTest() : dlg(nullptr, &services) { dlg.show(); }

    template <class T> T* control(const char* name)
    {
        return dlg.findChild<T*>(QString::fromLatin1(name));
    }
    QString status() { return control<QLabel>("IDC_STATUS")->text(); }
    QComboBox* types() { return control<QComboBox>("IDC_TYPE_FILTER"); }
    QListView* view() { return dlg.entryListView(); }
    QStringList rows()
    {
        QStringList out;
        for (int r = 0; r < view()->model()->rowCount(); ++r)
            out << view()->model()->index(r, 0).data().toString();
        return out;
    }
    QString writeArchive(const std::string& name, const ArchiveImage& image)
    {
        testsupport::writeFile(temp / name, image.bytes());
        return QString::fromStdString(temp / name);
    }
    void load(const QString& path)
    {
        services.openPaths.push_back(path);
        control<QPushButton>("IDC_LOAD")->click();
    }
    void chooseType(int index)
    {
        types()->setCurrentIndex(index);
        emit types()->activated(index);
    }
    void key(QWidget* target, int k)
    {
        target->setFocus();
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }
    int topRow() { return view()->indexAt(QPoint(2, 2)).row(); }

    testsupport::TempDir temp;
    ScriptedServices services;
    CExtractorDlg dlg;
};

ArchiveImage threeEntries()
{
    ArchiveImage image;
    image.add("sub\\b.wav", "bbbbb");
    image.add("a.BMP", "aaa");
    image.add("\xB3\x5C.bmp", "xu"); // 許.bmp
    return image;
}

TEST_F(ExtractorDlgTest, StartsEmptyWithEveryControlOfTheTemplate)
{
    EXPECT_EQ(view()->model()->rowCount(), 0);
    EXPECT_EQ(status(), "");
    EXPECT_EQ(control<QLineEdit>("IDC_FIND_TEXT")->text(), "");
    QStringList items;
    for (int i = 0; i < types()->count(); ++i)
        items << types()->itemText(i);
    EXPECT_EQ(items, (QStringList{"*", "BMP", "DAT", "EGA", "SCR", "WAV"}));
    EXPECT_EQ(types()->currentIndex(), 0);
    EXPECT_FALSE(dlg.isArchiveOpen());
    EXPECT_TRUE(
        dlg.windowTitle().startsWith(QString::fromUtf8("Velmora 遊戲文件擷取器　中文化：")));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());

    QWidget* previous = nullptr;
    for (const res::ControlTemplate& t : res::kControls) {
        QWidget* widget = control<QWidget>(t.name);
        ASSERT_NE(widget, nullptr) << t.name;
        EXPECT_EQ(widget->property("controlId").toInt(), t.id);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(t.text));
            EXPECT_FALSE(button->isDefault() || button->autoDefault()) << t.name;
        }
        // Every rectangle keeps the template's proportions of the dialog, within a unit.
        const QRect r = widget->geometry();
        EXPECT_NEAR(r.x() * double(res::kDialogWidth) / dlg.width(), t.x, 1.0) << t.name;
        EXPECT_NEAR(r.y() * double(res::kDialogHeight) / dlg.height(), t.y, 1.0) << t.name;
        EXPECT_NEAR(r.width() * double(res::kDialogWidth) / dlg.width(), t.width, 1.0) << t.name;
        // Tab order is template order.
        if (!(widget->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous) {
            QWidget* next = previous->nextInFocusChain();
            while (!next->property("controlId").isValid() || !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            EXPECT_EQ(next, widget) << t.name;
        }
        previous = widget;
    }
    EXPECT_LT(control<QWidget>("IDC_LOAD")->x(), control<QWidget>("IDC_EXTRACT")->x());
    EXPECT_LT(control<QWidget>("IDC_ENTRY_LIST")->y(), control<QWidget>("IDC_STATUS")->y());
}

TEST_F(ExtractorDlgTest, LoadsFiltersAndReloads)
{
    const QString path = writeArchive("GAME00.DAT", threeEntries());
    load(path);
    EXPECT_TRUE(dlg.isArchiveOpen());
    EXPECT_EQ(rows(), (QStringList{"a.BMP", "sub\\b.wav", QString::fromUtf8("許.bmp")}));
    EXPECT_EQ(status(), QString::fromUtf8("GAME00.DAT,共3個檔案"));

    types()->setCurrentIndex(5); // from code: no filtering
    EXPECT_EQ(rows().size(), 3);
    chooseType(1); // BMP
    EXPECT_EQ(rows(), (QStringList{"a.BMP", QString::fromUtf8("許.bmp")}));
    EXPECT_EQ(status(), QString::fromUtf8("GAME00.DAT,共2個檔案"));
    chooseType(3); // EGA
    EXPECT_EQ(rows().size(), 0);
    EXPECT_EQ(status(), QString::fromUtf8("GAME00.DAT,共0個檔案"));

    // Loading again shows everything and puts the selector back on "*".
    load(path);
    EXPECT_EQ(types()->currentIndex(), 0);
    EXPECT_EQ(rows().size(), 3);

    ArchiveImage other;
    other.add("only.dat", "x");
    load(writeArchive("GAME01.DAT", other));
    EXPECT_EQ(rows(), QStringList{"only.dat"});
    EXPECT_EQ(status(), QString::fromUtf8("GAME01.DAT,共1個檔案"));
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(ExtractorDlgTest, AFailedLoadLeavesNothingOpenAndSaysWhy)
{
    testsupport::writeFile(temp / "short.dat", "ab");
    struct Case {
        QString path;
        const char* reasonPart;
    } cases[] = {
        {QString::fromStdString(temp / "short.dat"), "short.dat"},
        {QString::fromStdString(temp / "missing.dat"), "missing.dat"},
    };
    for (const Case& c : cases) {
        load(writeArchive("GAME00.DAT", threeEntries()));
        ASSERT_EQ(rows().size(), 3);
        services.messages.clear();
        load(c.path);
        ASSERT_EQ(services.messages.size(), 1u);
        EXPECT_TRUE(services.messages[0].text.contains(c.reasonPart))
            << services.messages[0].text.toStdString();
        EXPECT_FALSE(dlg.isArchiveOpen());
        EXPECT_EQ(rows().size(), 0);
        EXPECT_EQ(status(), "");
    }
    // A cancelled dialog changes nothing.
    load(writeArchive("GAME00.DAT", threeEntries()));
    services.openPaths.push_back(std::nullopt);
    control<QPushButton>("IDC_LOAD")->click();
    EXPECT_EQ(rows().size(), 3);
}

TEST_F(ExtractorDlgTest, EnterClosesFromTheListAndPressesAFocusedButton)
{
    load(writeArchive("GAME00.DAT", threeEntries()));
    key(control<QPushButton>("IDC_SELECT_ALL"), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(view()->selectionModel()->selectedRows().size(), 3);
    key(view(), Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isArchiveOpen());
}

TEST_F(ExtractorDlgTest, EnterInTheFindBoxAndEscapeEndTheDialog)
{
    key(control<QLineEdit>("IDC_FIND_TEXT"), Qt::Key_Enter);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    dlg.show();
    load(writeArchive("GAME00.DAT", threeEntries()));
    key(view(), Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(ExtractorDlgTest, QuickFindScrollsWithoutTouchingTheSelection)
{
    ArchiveImage image;
    for (int i = 0; i < 200; ++i)
        image.add("aa\\" + std::to_string(1000 + i) + ".bmp", "");
    image.add("bg\\title.bmp", "");
    image.add("bg\\tower.bmp", "");
    image.add("readme.txt", "");
    load(writeArchive("GAME00.DAT", image));
    view()->selectionModel()->select(view()->model()->index(3, 0), QItemSelectionModel::Select);
    auto* find = control<QLineEdit>("IDC_FIND_TEXT");
    struct Step {
        const char* text;
        int top;
    } steps[] = {{"T", 200}, {"TO", 201}, {"TX", 201}, {"", 0}, {"1100", 100}, {"readme", 100}};
    for (const Step& s : steps) {
        find->setText(QString::fromUtf8(s.text));
        QApplication::processEvents();
        // The last rows cannot reach the top: the list scrolls as far as it can.
        if (s.top >= 200) {
            EXPECT_TRUE(view()->visualRect(view()->model()->index(s.top, 0)).isValid());
        } else {
            EXPECT_EQ(topRow(), s.top) << s.text;
        }
    }
    EXPECT_EQ(view()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(find->text(), "readme");
}

TEST_F(ExtractorDlgTest, SelectAllOnAFilteredListExtractsOnlyThose)
{
    load(writeArchive("GAME00.DAT", threeEntries()));
    chooseType(1); // BMP
    control<QPushButton>("IDC_SELECT_ALL")->click();
    const std::string dest = temp / "out";
    std::filesystem::create_directory(dest);
    services.folders.push_back(QString::fromStdString(dest));
    control<QPushButton>("IDC_EXTRACT")->click();
    EXPECT_TRUE(services.messages.empty());
    EXPECT_EQ(services.folderTitles, QStringList{QString::fromUtf8("解壓到資料夾:")});
    EXPECT_EQ(testsupport::readFile(dest + "/a.BMP"), "aaa");
    EXPECT_EQ(testsupport::readFile(dest + "/許.bmp"), "xu");
    EXPECT_FALSE(std::filesystem::exists(dest + "/sub"));
    EXPECT_EQ(view()->selectionModel()->selectedRows().size(), 0);
    EXPECT_TRUE(dlg.isArchiveOpen());
    EXPECT_EQ(rows().size(), 2);

    // Extracting the archive onto itself fails with a message, and the selection stays.
    load(writeArchive("GAME00.DAT", [] {
        ArchiveImage self;
        self.add("GAME00.DAT", "would replace the open archive");
        return self;
    }()));
    control<QPushButton>("IDC_SELECT_ALL")->click();
    services.folders.push_back(QString::fromStdString(temp.str()));
    control<QPushButton>("IDC_EXTRACT")->click();
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(view()->selectionModel()->selectedRows().size(), 1);
}

TEST_F(ExtractorDlgTest, BuildsTheExampleAndRefusesAnArchiveInsideTheFolder)
{
    load(writeArchive("GAME00.DAT", threeEntries()));
    const std::string source = temp / "src";
    testsupport::writeFile(source + "/a.bmp", "aaa");
    testsupport::writeFile(source + "/sub/b.wav", "bbbbb");

    services.folders.push_back(QString::fromStdString(source));
    services.savePaths.push_back(QString::fromStdString(source + "/sub/GAME09.DAT"));
    control<QPushButton>("IDC_MAKE_ARCHIVE")->click();
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text, QString::fromUtf8("不能在該目錄中建立打包檔案"));
    EXPECT_EQ(services.messages[0].icon, DialogServices::MessageIcon::None);
    EXPECT_EQ(services.messages[0].caption, QApplication::applicationName());
    EXPECT_TRUE(dlg.isArchiveOpen()); // refused before anything changed

    chooseType(1);
    const QString statusBefore = status();
    services.folders.push_back(QString::fromStdString(source));
    services.savePaths.push_back(QString::fromStdString(temp / "GAME02.DAT"));
    control<QPushButton>("IDC_MAKE_ARCHIVE")->click();
    EXPECT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(testsupport::readFile(temp / "GAME02.DAT").size(), 60u);
    EXPECT_FALSE(dlg.isArchiveOpen());
    EXPECT_EQ(rows().size(), 0);
    EXPECT_EQ(types()->currentIndex(), 0);
    EXPECT_EQ(status(), statusBefore);
    EXPECT_EQ(services.folderTitles.back(), QString::fromUtf8("請選擇要打包的資料夾:"));
}

} // namespace
