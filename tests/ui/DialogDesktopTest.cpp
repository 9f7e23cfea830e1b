// The dialog among the desktop's pieces: rows drawn whole, files and folders dropped on it, an
// archive named at start, the save dialog's overwrite question, finished runs that say so.
#include "res/Messages.h"
#include "res/Resource.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/QtTestMain.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/EntryRowDelegate.h"
#include "ui/ExtractorDlg.h"
#include "ui/QtDialogServices.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QStringListModel>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Two rows painted by the view; the current-item frame is taken away so only the text differs.
std::pair<QImage, QImage> paintRows(QListView* view, int first, int second)
{
    view->selectionModel()->clearCurrentIndex();
    QApplication::processEvents();
    const QRect a = view->visualRect(view->model()->index(first, 0));
    const QRect b = view->visualRect(view->model()->index(second, 0));
    return {view->viewport()->grab(a).toImage(), view->viewport()->grab(b).toImage()};
}

TEST(EntryRows, UnderscoreIsDrawnInTheDialogsList)
{
    TempDir dir;
    ArchiveImage image;
    image.add("a b", "x");
    image.add("a_b", "x");
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    ScriptedServices script;
    CExtractorDlg dlg(nullptr, &script);
    script.openPaths.push_back(qs(dir / "GAME00.DAT"));
    dlg.show();
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    ASSERT_EQ(dlg.entryList().GetCount(), 2);
    const auto [space, underscore] = paintRows(dlg.entryListView(), 0, 1);
    EXPECT_NE(space, underscore);
}

TEST(EntryRows, UnderscoreIsDrawnInEveryMingFaceAndSize)
{
    std::vector<const char*> families = {res::kDialogFont};
    families.insert(families.end(), res::kFallbackFonts.begin(), res::kFallbackFonts.end());
    int tried = 0;
    for (const char* family : families) {
        if (!QFontDatabase::families().contains(u8(family)))
            continue;
        for (int points : {9, 10, 12, 14}) {
            QFont font(u8(family));
            font.setPointSize(points);
            QListView view;
            view.setFont(font);
            view.setUniformItemSizes(true);
            view.setItemDelegate(new EntryRowDelegate(&view));
            QStringListModel model({QStringLiteral("a b"), QStringLiteral("a_b")});
            view.setModel(&model);
            view.resize(200, 120);
            view.show();
            const auto [space, underscore] = paintRows(&view, 0, 1);
            EXPECT_NE(space, underscore) << family << " " << points;
            EXPECT_GE(EntryRowDelegate::rowHeight(font), QFontMetrics(font).lineSpacing());
            ++tried;
        }
    }
    EXPECT_GT(tried, 0) << "no Ming face installed";
}

struct Desktop : ::testing::Test {
    TempDir dir;
    ScriptedServices script;
    CExtractorDlg dlg{nullptr, &script};

    QString archive(const std::vector<std::string>& names, const std::string& file = "GAME00.DAT")
    {
        ArchiveImage image;
        for (const std::string& name : names)
            image.add(name, "data-" + name);
        testsupport::writeFile(dir / file, image.bytes());
        return qs(dir / file);
    }
    QString folder(const std::vector<std::string>& files, const std::string& name = "src")
    {
        std::filesystem::create_directories(dir / name);
        for (const std::string& file : files)
            testsupport::writeFile(dir / (name + "/" + file), "bytes of " + file);
        return qs(dir / name);
    }
    QString status() const { return dlg.findChild<QLabel*>("IDC_STATUS")->text(); }

    // Drags data over the dialog and drops it; true when the dialog took the drag.
    bool drop(QMimeData* data)
    {
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &enter);
        if (enter.isAccepted()) {
            QDropEvent dropped(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&dlg, &dropped);
            QApplication::processEvents();
        }
        delete data;
        return enter.isAccepted();
    }
    // What dragging rows out of the list hands over, each path's last slash replaced by slash.
    QMimeData* draggedOut(const std::vector<int>& rows, const QString& slash = QStringLiteral("/"))
    {
        QListView* view = dlg.entryListView();
        QModelIndexList indexes;
        for (int row : rows)
            indexes << view->model()->index(row, 0);
        const std::unique_ptr<QMimeData> data(view->model()->mimeData(indexes));
        QList<QUrl> list;
        for (const QUrl& url : data ? data->urls() : QList<QUrl>{}) {
            QString path = url.toLocalFile();
            path.replace(path.lastIndexOf(QLatin1Char('/')), 1, slash);
            list << QUrl::fromLocalFile(path);
        }
        return urls(list);
    }
    static QMimeData* urls(const QList<QUrl>& list)
    {
        auto* data = new QMimeData;
        data->setUrls(list);
        return data;
    }
};

TEST_F(Desktop, DropsLoadAFileBuildAFolderAndIgnoreTheRest)
{
    const QString game = archive({"A.DAT", "B.EGA", "SUB\\C.DAT"});
    const QString other = archive({"C.DAT"}, "GAME01.DAT");
    const QString src = folder({"X.DAT", "Y.WAV", "Z.SCR"});

    // With nothing open, a folder with the save dialog cancelled changes nothing.
    EXPECT_TRUE(drop(urls({QUrl::fromLocalFile(src)})));
    EXPECT_FALSE(dlg.isArchiveOpen());
    EXPECT_TRUE(status().isEmpty());
    EXPECT_TRUE(script.messages.empty());

    // A folder: the save dialog follows, then the build.
    script.savePaths.push_back(qs(dir / "NEW.DAT"));
    ASSERT_TRUE(drop(urls({QUrl::fromLocalFile(src + "/")})));
    ASSERT_TRUE(script.messages.empty()) << script.messages.front().toStdString();
    EXPECT_TRUE(script.titles.empty()) << "no folder prompt for a dropped folder";
    EXPECT_FALSE(dlg.isArchiveOpen());
    ASSERT_TRUE(std::filesystem::exists(dir / "NEW.DAT"));
    script.openPaths.push_back(qs(dir / "NEW.DAT"));
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    EXPECT_EQ(dlg.entryList().GetCount(), 3);

    // A file that is no archive is reported as the open dialog's choice would be; with an
    // archive open it would be offered for adding instead, so the one open goes first.
    dlg.OpenArchive(qs(dir / "GONE.DAT"));
    script.messages.clear();
    testsupport::writeFile(dir / "notes.txt", "xx");
    ASSERT_TRUE(drop(urls({QUrl::fromLocalFile(qs(dir / "notes.txt"))})));
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].contains(QStringLiteral("notes.txt")));
    EXPECT_FALSE(dlg.isArchiveOpen());
    EXPECT_EQ(dlg.entryList().GetCount(), 0);
    EXPECT_TRUE(status().isEmpty());
    script.messages.clear();
    script.saveStarts.clear();
    script.questions.clear();

    auto* text = new QMimeData;
    text->setText(game);
    ASSERT_TRUE(drop(urls({QUrl::fromLocalFile(game)})));
    EXPECT_TRUE(dlg.isArchiveOpen());
    EXPECT_EQ(dlg.entryList().GetCount(), 3);
    const QString loaded = status();
    struct Case {
        const char* what;
        QMimeData* data;
        bool taken;
    };
    // Entries dragged out of the list and back are the temporary copies, never an archive or a
    // folder to build from; so is the same file named another way. Two files are offered for
    // adding to the open archive, declined here.
    const Case ignored[] = {
        {"two files", urls({QUrl::fromLocalFile(game), QUrl::fromLocalFile(other)}), true},
        {"a web address", urls({QUrl(QStringLiteral("https://example.org/GAME00.DAT"))}), false},
        {"a missing file", urls({QUrl::fromLocalFile(qs(dir / "GONE.DAT"))}), false},
        {"plain text", text, false},
        {"nothing", urls({}), false},
        {"an entry dragged out", draggedOut({0}), false},
        {"a sub-folder dragged out", draggedOut({2}), false},
        {"a dragged entry's path uncleaned", draggedOut({1}, "/./"), false},
        {"a folder, offered for adding", urls({QUrl::fromLocalFile(src)}), true},
    };
    for (const Case& c : ignored) {
        EXPECT_EQ(drop(c.data), c.taken) << c.what;
        EXPECT_EQ(dlg.entryList().GetCount(), 3) << c.what;
        EXPECT_EQ(status(), loaded) << c.what;
        EXPECT_TRUE(script.messages.empty()) << c.what;
        EXPECT_TRUE(script.saveStarts.empty()) << c.what;
    }
    EXPECT_EQ(script.questions.size(), 2u);
}

TEST_F(Desktop, ArchiveNamedAtStartLoadsAsTheOpenDialogWould)
{
    struct Case {
        std::string file;
        bool loads;
    };
    testsupport::writeFile(dir / "SHORT.DAT", "x");
    archive({"A.DAT", "B.DAT"});
    const Case cases[] = {
        {"GAME00.DAT", true}, {"SHORT.DAT", false}, {"GONE.DAT", false}, {"GAME00.DAT", true}};
    for (const Case& c : cases) {
        script.messages.clear();
        dlg.OpenArchive(qs(dir / c.file));
        EXPECT_EQ(dlg.isArchiveOpen(), c.loads) << c.file;
        EXPECT_EQ(dlg.entryList().GetCount(), c.loads ? 2 : 0) << c.file;
        EXPECT_EQ(script.messages.size(), c.loads ? 0u : 1u) << c.file;
        EXPECT_EQ(status().contains(QStringLiteral("GAME00.DAT")), c.loads) << c.file;
        if (!c.loads) {
            EXPECT_TRUE(status().isEmpty());
        }
    }
}

TEST_F(Desktop, StatusIsEmptyWheneverABuildLeavesNothingOpen)
{
    struct Case {
        const char* what;
        std::vector<std::string> files;
        bool fails;
    };
    const Case cases[] = {
        {"a build", {"X.DAT"}, false},
        // A backslash cannot stand inside an entry name's level.
        {"a failed build", {"X.DAT", "bad\\name.DAT"}, true},
    };
    int round = 0;
    for (const Case& c : cases) {
        script.messages.clear();
        script.openPaths.push_back(archive({"A.DAT", "B.EGA"}));
        qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
        ASSERT_FALSE(status().isEmpty());
        const std::string name = "src" + std::to_string(round++);
        script.folders.push_back(folder(c.files, name));
        script.savePaths.push_back(qs(dir / (name + ".DAT")));
        qttest::click(dlg.findChild<QPushButton*>("IDC_MAKE_ARCHIVE"));
        EXPECT_EQ(script.messages.size(), c.fails ? 1u : 0u) << c.what;
        EXPECT_TRUE(status().isEmpty()) << c.what << ": " << status().toStdString();
        // The selector then has nothing to describe either.
        QComboBox* types = dlg.findChild<QComboBox*>("IDC_TYPE_FILTER");
        types->setCurrentIndex(types->findText(QStringLiteral("EGA")));
        emit types->activated(types->currentIndex());
        EXPECT_TRUE(status().isEmpty()) << c.what;
        EXPECT_EQ(dlg.entryList().GetCount(), 0) << c.what;
    }
}

TEST_F(Desktop, KeysRunTheirCommandsWhereTheFocusAllowsThem)
{
    std::filesystem::create_directory(dir / "out");
    QLineEdit* find = dlg.findChild<QLineEdit*>("IDC_FIND_TEXT");
    QListView* list = dlg.entryListView();
    struct Case {
        const char* what;
        QWidget* focus;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::function<void()> before;
        std::function<bool()> done;
    };
    const Case cases[] = {
        {"Ctrl+O loads", list, Qt::Key_O, Qt::ControlModifier,
         [&] {
             dlg.OpenArchive(archive({"A.DAT"}, "ONE.DAT"));
             script.openPaths.push_back(archive({"A.DAT", "B.DAT"}, "TWO.DAT"));
         },
         [&] { return dlg.entryList().GetCount() == 2 && status().contains("TWO.DAT"); }},
        {"F5 loads the same archive again", list, Qt::Key_F5, Qt::NoModifier,
         [&] {
             archive({"A.DAT", "B.DAT", "C.DAT"}, "TWO.DAT");
         },
         [&] { return dlg.entryList().GetCount() == 3; }},
        {"Ctrl+E extracts the selection", find, Qt::Key_E, Qt::ControlModifier,
         [&] {
             dlg.SetSel(1, true);
             script.folders.push_back(qs(dir / "out"));
         },
         [&] { return std::filesystem::exists(dir / "out/B.DAT"); }},
        {"Ctrl+F goes to the find box", list, Qt::Key_F, Qt::ControlModifier, [] {},
         [&] { return find->hasFocus(); }},
        {"Space previews the current entry", list, Qt::Key_Space, Qt::NoModifier,
         [&] { list->setCurrentIndex(list->model()->index(2, 0)); },
         [&] {
             for (QWidget* w : QApplication::topLevelWidgets())
                 if (w != &dlg && w->isVisible() && !qobject_cast<QMenu*>(w))
                     return true;
             return false;
         }},
        {"Space in the find box is typed", find, Qt::Key_Space, Qt::NoModifier,
         [&] { find->clear(); }, [&] { return find->text() == QStringLiteral(" "); }},
    };
    dlg.show();
    dlg.activateWindow();
    QApplication::setActiveWindow(&dlg);
    for (const Case& c : cases) {
        c.before();
        c.focus->setFocus();
        QTest::keyClick(c.focus, c.key, c.modifiers);
        QApplication::processEvents();
        EXPECT_TRUE(c.done()) << c.what;
        EXPECT_TRUE(script.messages.empty()) << c.what;
    }
    // The list's context menu names the keys of the commands it holds.
    emit list->customContextMenuRequested(list->visualRect(list->model()->index(0, 0)).center());
    QStringList keys;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible()) {
            for (QAction* action : menu->actions())
                keys << action->shortcut().toString(QKeySequence::PortableText);
            menu->close();
        }
    for (const char* key : {"Space", "Ctrl+E", "F2", "Del", "Ctrl+Z"})
        EXPECT_TRUE(keys.contains(QString::fromLatin1(key)))
            << key << " in " << keys.join(",").toStdString();
}

// Reads the progress window's last state and presses its button; cancels a run still going
// when asked to.
struct ProgressWatcher {
    bool cancelWhileRunning = false;
    QStringList finished;
    QStringList buttons;
    // How full each finished window's bar was, in percent.
    std::vector<int> bars;
    // The title and first label line of each window cancelled while running.
    QStringList running;
    QTimer timer;
    QSemaphore cancelPressed;

    ProgressWatcher()
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] { look(); });
        timer.start();
    }
    void look()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<QProgressDialog*>(widget);
            if (!window || !window->isVisible())
                continue;
            auto* button = window->findChild<QPushButton*>();
            const bool done = button && button->text() == u8(res::kOk);
            if (done) {
                finished << window->labelText();
                bars.push_back(window->maximum() > 0 ? window->value() * 100 / window->maximum()
                                                     : -1);
                buttons << button->text();
                button->click();
            } else if (cancelWhileRunning && button && !window->wasCanceled()) {
                running << window->windowTitle() + QLatin1Char('|') +
                               window->labelText().section(QLatin1Char('\n'), 0, 0);
                button->click();
                cancelPressed.release();
            }
        }
    }
    // A probe that holds the worker at its first report until Cancel was pressed, as a user
    // would press it while a long run is still going.
    std::function<void(const archive::Progress&)> holdUntilCancelled()
    {
        return [this](const archive::Progress&) {
            if (cancelPressed.tryAcquire(1, 10000))
                cancelPressed.release();
        };
    }
};

TEST_F(Desktop, LongRunsEndSayingWhatWasWrittenAndWhere)
{
    const QString game = archive({"A.DAT", "B.DAT", "C.EGA"});
    std::filesystem::create_directory(dir / "out");
    const QString out = qs(dir / "out");
    const QString src = folder({"X.DAT", "Y.DAT"});
    const QString built = qs(dir / "NEW.DAT");
    struct Case {
        const char* what;
        bool build;
        bool cancel;
        QString text;
        int filesOut;
        int barPercent;
    };
    const Case cases[] = {
        {"extraction", false, false, u8("已解壓 3 個檔案到 ") + out, 3, 100},
        // The bar stays where the run stopped.
        {"cancelled extraction", false, true, u8("已取消。取消前已解壓 1 個檔案到 ") + out, 1, 33},
        // A finished build asks whether to open the archive instead; no bar is left to read.
        {"build", true, false, u8("已打包 2 個檔案到 ") + built, 0, -1},
        {"cancelled build", true, true, u8("已取消。") + built + u8(" 未建立（已寫入 0 個檔案）"),
         0, 0},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir / "out");
        std::filesystem::create_directory(dir / "out");
        std::filesystem::remove(dir / "NEW.DAT");
        script.messages.clear();
        script.questions.clear();
        script.openPaths.push_back(game);
        qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
        dlg.setProgressDelay(0);
        ProgressWatcher watcher;
        watcher.cancelWhileRunning = c.cancel;
        dlg.setProgressProbe(c.cancel ? watcher.holdUntilCancelled() : nullptr);
        if (c.build) {
            script.folders.push_back(src);
            script.savePaths.push_back(built);
            dlg.OnMakeArchive();
        } else {
            script.folders.push_back(out);
            dlg.OnSelectAll();
            dlg.OnExtract();
        }
        EXPECT_TRUE(script.messages.empty()) << c.what;
        if (c.barPercent < 0) {
            EXPECT_TRUE(watcher.finished.isEmpty()) << c.what;
            ASSERT_EQ(script.questions.size(), 1u) << c.what;
            EXPECT_EQ(script.questions[0].section(QLatin1Char('\n'), 0, 0), c.text) << c.what;
        } else {
            EXPECT_EQ(watcher.finished, QStringList{c.text}) << c.what;
            EXPECT_EQ(watcher.bars, std::vector<int>{c.barPercent}) << c.what;
            // Under the dialog's own name, in Chinese, ending in a full-width colon and where.
            const QString label =
                c.build ? u8(res::kBuildProgress).arg(src) : u8(res::kExtractProgress).arg(out);
            const QStringList running = {u8(res::kDisplayName) + QLatin1Char('|') + label};
            EXPECT_EQ(watcher.running, c.cancel ? running : QStringList()) << c.what;
            EXPECT_TRUE(script.questions.empty()) << c.what;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"),
                                std::filesystem::directory_iterator()),
                  c.filesOut)
            << c.what;
        EXPECT_EQ(std::filesystem::exists(dir / "NEW.DAT"), c.build && !c.cancel) << c.what;
    }
}

TEST_F(Desktop, FailuresOnTheWorkerAreReportedAsTheCommandsOwn)
{
    const QString game = archive({"A.DAT", "B.DAT"});
    const QString out = qs(dir / "out");
    struct Case {
        const char* what;
        bool build;
        archive::ErrorKind kind;
        QString subject;
    };
    const Case cases[] = {
        // Thrown before the first report, while the window is still closed.
        {"unstorable name in the folder", true, archive::ErrorKind::nameNotStorable,
         qs(dir / "bad/a\\b.DAT")},
        // Thrown after the window opened for the first entry.
        {"folder in the way of the second entry", false, archive::ErrorKind::inTheWay,
         out + "/B.DAT"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir / "out");
        std::filesystem::create_directories(dir / "out/B.DAT");
        script.messages.clear();
        script.openPaths.push_back(game);
        qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
        dlg.setProgressDelay(0);
        ProgressWatcher watcher;
        if (c.build) {
            script.folders.push_back(folder({"a\\b.DAT"}, "bad"));
            script.savePaths.push_back(qs(dir / "NEW.DAT"));
            qttest::click(dlg.findChild<QPushButton*>("IDC_MAKE_ARCHIVE"));
        } else {
            script.folders.push_back(out);
            dlg.OnSelectAll();
            qttest::click(dlg.findChild<QPushButton*>("IDC_EXTRACT"));
        }
        ASSERT_EQ(script.messages.size(), 1u) << c.what;
        EXPECT_EQ(script.messages[0].section(QLatin1Char('\n'), 0, 0),
                  u8(res::errorKindText(c.kind)).arg(c.subject))
            << c.what;
        EXPECT_TRUE(watcher.finished.isEmpty()) << c.what;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir / "NEW.DAT")) << c.what;
    }
}

TEST_F(Desktop, ShortRunsStaySilent)
{
    script.openPaths.push_back(archive({"A.DAT"}));
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    std::filesystem::create_directory(dir / "out");
    script.folders.push_back(qs(dir / "out"));
    ProgressWatcher watcher;
    dlg.OnSelectAll();
    dlg.OnExtract();
    EXPECT_TRUE(watcher.finished.isEmpty());
    EXPECT_EQ(testsupport::readFile(dir / "out/A.DAT"), "data-A.DAT");
}

// The question about a damaged entry comes while the window is up, and the window's last words
// count the skipped entry; no message comes on top.
TEST_F(Desktop, ALongRunThatSkippedSaysSoInItsWindow)
{
    ArchiveImage image;
    for (const char* name : {"A.DAT", "B.DAT", "C.DAT"})
        image.add(name, name);
    image.records[1].dataSize = 500; // past the end of the archive
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    script.openPaths.push_back(qs(dir / "GAME00.DAT"));
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    std::filesystem::create_directory(dir / "out");
    script.folders.push_back(qs(dir / "out"));
    script.failureAnswers = {DialogServices::FailureAnswer::Skip};
    dlg.setProgressDelay(0);
    ProgressWatcher watcher;
    dlg.OnSelectAll();
    dlg.OnExtract();
    EXPECT_EQ(script.failures.size(), 1u);
    EXPECT_EQ(watcher.finished,
              QStringList{u8(res::kExtractDoneSkipped).arg(2).arg(qs(dir / "out")).arg(1)});
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The real save dialog, given an existing name: what its question was, and what it returned.
struct SaveOutcome {
    QString question;
    std::optional<QString> path;
};

SaveOutcome saveOver(const QString& existing, QMessageBox::StandardButton answer)
{
    SaveOutcome outcome;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->selectFile(existing);
        QTimer::singleShot(0, [&, dialog] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                outcome.question = box->text();
                box->button(answer)->click();
            }
            // Still open after a No: the user then cancels.
            QTimer::singleShot(0, [dialog] {
                if (QApplication::activeModalWidget() == dialog)
                    dialog->reject();
            });
        });
        // The user presses Save; the question, if any, runs inside.
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    QtDialogServices services;
    outcome.path = services.saveArchivePath(nullptr, QString());
    return outcome;
}

TEST(SaveDialog, AsksBeforeReplacingAnExistingFile)
{
    TempDir dir;
    testsupport::writeFile(dir / "GAME00.DAT", "keep me");
    const QString existing = qs(dir / "GAME00.DAT");
    struct Case {
        QMessageBox::StandardButton answer;
        bool chosen;
    };
    for (const Case& c : {Case{QMessageBox::No, false}, Case{QMessageBox::Yes, true}}) {
        const SaveOutcome outcome = saveOver(existing, c.answer);
        EXPECT_TRUE(outcome.question.contains(QStringLiteral("GAME00.DAT")))
            << outcome.question.toStdString();
        EXPECT_EQ(outcome.path.has_value(), c.chosen);
        if (c.chosen) {
            EXPECT_EQ(outcome.path.value_or(QString()), existing);
        }
        EXPECT_EQ(testsupport::readFile(dir / "GAME00.DAT"), "keep me");
    }
}

} // namespace
