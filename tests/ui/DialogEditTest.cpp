// Changing the open archive from the dialog: the list's menu and keys, drops, a copy edited in
// another program, undo, and failures that leave the archive as it was.
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage950.h"
#include "res/CompareTexts.h"
#include "res/EditTexts.h"
#include "res/Messages.h"
#include "res/PreviewTexts.h"
#include "res/Resource.h"
#include "session/Wording.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/QtTestMain.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/ExternalEdits.h"
#include "ui/ExtractorDlg.h"
#include "ui/QtDialogServices.h"
#include "ui/preview/PreviewWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

using testsupport::ArchiveImage;
using testsupport::TempDir;

namespace {

using Entries = std::map<std::string, std::string>;

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Every entry of the archive at path with its bytes; names appearing twice keep the last.
Entries entriesOf(const std::string& path)
{
    // From a copy in memory: the dialog holds the file, and a second reader of it is refused.
    const std::string image = testsupport::readFile(path);
    archive::ArchiveReader reader;
    reader.OpenMemory({reinterpret_cast<const unsigned char*>(image.data()), image.size()}, path);
    Entries entries;
    for (std::size_t i = 0; i < reader.size(); ++i) {
        const archive::RecordView record = reader.at(i);
        std::string bytes(record.dataSize, '\0');
        reader.readAt(bytes.data(), bytes.size(), record.dataOffset);
        entries[std::string(record.name)] = bytes;
    }
    return entries;
}

struct EditFixture : ::testing::Test {
    TempDir dir;
    ScriptedServices services;
    CExtractorDlg dlg{nullptr, &services};
    std::string archivePath = dir / "GAME00.DAT";

    void SetUp() override
    {
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        // Under valgrind a change is slow: no progress window waits for an OK nobody presses.
        dlg.setProgressDelay(600'000);
    }

    // Writes the archive and opens it in the dialog.
    void open(const Entries& entries)
    {
        ArchiveImage image;
        for (const auto& [name, bytes] : entries)
            image.add(name, bytes);
        testsupport::writeFile(archivePath, image.bytes());
        dlg.OpenArchive(qs(archivePath));
        ASSERT_TRUE(services.messages.empty()) << services.messages.front().toStdString();
    }
    QString hostFile(const std::string& name, const std::string& bytes)
    {
        testsupport::writeFile(dir / ("host/" + name), bytes);
        return qs(dir / ("host/" + name));
    }
    int rowOf(const std::string& name) const
    {
        for (int row = 0; row < dlg.entryList().GetCount(); ++row)
            if (dlg.entryList().GetText(row) == name)
                return row;
        return -1;
    }
    std::vector<std::string> selectedNames() const
    {
        std::vector<std::string> names;
        for (const int row : dlg.GetSelItems())
            names.emplace_back(dlg.entryList().GetText(row));
        return names;
    }
    QString status() const { return dlg.findChild<QLabel*>("IDC_STATUS")->text(); }

    // The list's context menu opened by a right-click on the entry at row, or below the entries
    // for -1.
    QMenu* menuAt(int row)
    {
        QWidget* viewport = dlg.entryListView()->viewport();
        const QPoint at = row >= 0
                              ? dlg.entryListView()->visualRect(dlg.entryList().index(row)).center()
                              : QPoint(5, viewport->height() - 3);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &click);
        for (QMenu* menu : dlg.entryListView()->findChildren<QMenu*>())
            if (menu->isVisible())
                return menu;
        return nullptr;
    }
    // Chooses the menu command named text on the entry at row as a user does, with Enter on
    // the item inside the dialog's event loop, and returns once the loop has run what the
    // choice started; false when the command is missing or disabled.
    bool runMenu(int row, const char* text)
    {
        QMenu* menu = menuAt(row);
        if (!menu)
            return false;
        QAction* chosen = nullptr;
        QMenu* within = menu;
        for (QAction* action : menu->actions()) {
            if (action->text() == u8(text) && action->isEnabled())
                chosen = action;
            // An item of a submenu: the submenu opened as the user opens it.
            for (QAction* item : action->menu() ? action->menu()->actions() : QList<QAction*>())
                if (item->text() == u8(text) && item->isEnabled()) {
                    chosen = item;
                    within = action->menu();
                }
        }
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            if (within != menu) {
                menu->setActiveAction(within->menuAction());
                within->popup(menu->pos());
                within->setActiveAction(chosen);
                QTest::keyClick(within, Qt::Key_Return);
            } else if (chosen) {
                menu->setActiveAction(chosen);
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                menu->close();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        return chosen != nullptr;
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        // The offscreen platform gives the activation back to no window after a menu closes,
        // as a window manager would: without it a window shortcut never fires.
        QApplication::setActiveWindow(&dlg);
        dlg.entryListView()->setFocus();
        QTest::keyClick(dlg.entryListView(), key, modifiers);
        QApplication::processEvents();
    }
    // Drags the paths over the dialog and drops them; true when the dialog took the drag.
    bool drop(const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &enter);
        if (enter.isAccepted()) {
            QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&dlg, &dropped);
            QApplication::processEvents();
        }
        return enter.isAccepted();
    }
    // Waits until the dialog asks its next question, as a user's save reaches it.
    bool questionAsked(std::size_t before)
    {
        return QTest::qWaitFor([&] { return services.questions.size() > before; }, 5000);
    }
};

const Entries kStart = {
    {"A.DAT", "alpha"},
    {"B.EGA", "bravo"},
    {"SUB\\C.DAT", "charlie"},
    {"SUB\\D.WAV", "delta"},
};

Entries with(Entries entries, const std::function<void(Entries&)>& change)
{
    change(entries);
    return entries;
}

TEST_F(EditFixture, EachMenuCommandChangesTheArchiveAndSelectsWhatChangedOrWritesNothing)
{
    struct Case {
        const char* what;
        const char* command;
        std::string row; // the entry the menu opens on; empty: below the entries
        std::function<void(EditFixture&)> answer;
        Entries after;
        std::vector<std::string> selected;
    };
    const Case cases[] = {
        {"add into the entry's folder",
         res::edit::kMenuAddFiles,
         "SUB\\C.DAT",
         [](EditFixture& f) {
             f.services.fileLists.push_back(
                 {f.hostFile("NEW.TXT", "new"), f.hostFile("C.DAT", "charlie 2")});
         },
         with(kStart,
              [](Entries& e) {
                  e["SUB\\NEW.TXT"] = "new";
                  e["SUB\\C.DAT"] = "charlie 2";
              }),
         {"SUB\\C.DAT", "SUB\\NEW.TXT"}},
        {"add at the top level below the entries",
         res::edit::kMenuAddFiles,
         "",
         [](EditFixture& f) { f.services.fileLists.push_back({f.hostFile("TOP.SCR", "top")}); },
         with(kStart, [](Entries& e) { e["TOP.SCR"] = "top"; }),
         {"TOP.SCR"}},
        {"replace keeps the name",
         res::edit::kMenuReplace,
         "B.EGA",
         [](EditFixture& f) {
             f.services.files.push_back(f.hostFile("other.bin", "longer bravo"));
         },
         with(kStart, [](Entries& e) { e["B.EGA"] = "longer bravo"; }),
         {"B.EGA"}},
        {"rename moves between folders, / read as \\",
         res::edit::kMenuRename,
         "A.DAT",
         [](EditFixture& f) { f.services.texts.push_back(QStringLiteral("SUB/DEEP/Z.DAT")); },
         with(kStart,
              [](Entries& e) {
                  e.erase("A.DAT");
                  e["SUB\\DEEP\\Z.DAT"] = "alpha";
              }),
         {"SUB\\DEEP\\Z.DAT"}},
        {"delete after yes",
         res::edit::kMenuDelete,
         "SUB\\D.WAV",
         [](EditFixture& f) { f.services.answers.push_back(true); },
         with(kStart, [](Entries& e) { e.erase("SUB\\D.WAV"); }),
         {}},
        // Declined or cancelled: nothing is written.
        {"add cancelled", res::edit::kMenuAddFiles, "B.EGA", [](EditFixture&) {}, kStart, {}},
        {"replace cancelled", res::edit::kMenuReplace, "B.EGA", [](EditFixture&) {}, kStart, {}},
        {"rename cancelled", res::edit::kMenuRename, "B.EGA", [](EditFixture&) {}, kStart, {}},
        {"rename to the same name",
         res::edit::kMenuRename,
         "B.EGA",
         [](EditFixture& f) { f.services.texts.push_back(QStringLiteral("B.EGA")); },
         kStart,
         {}},
        {"delete answered no",
         res::edit::kMenuDelete,
         "B.EGA",
         [](EditFixture& f) { f.services.answers.push_back(false); },
         kStart,
         {}},
        // Names read in another code page: the file stays as it is. Last, as it holds for the
        // archive through the loads above.
        {"code page chosen", res::kEncodings[1].menuText, "B.EGA", [](EditFixture&) {}, kStart, {}},
    };
    for (const Case& c : cases) {
        open(kStart);
        const std::string before = testsupport::readFile(archivePath);
        c.answer(*this);
        const int row = c.row.empty() ? -1 : rowOf(c.row);
        ASSERT_TRUE(runMenu(row, c.command)) << c.what;
        ASSERT_TRUE(services.messages.empty())
            << c.what << ": " << services.messages.front().toStdString();
        EXPECT_EQ(entriesOf(archivePath), c.after) << c.what;
        EXPECT_EQ(dlg.entryList().GetCount(), int(c.after.size())) << c.what;
        EXPECT_TRUE(status().contains(QString::number(c.after.size()))) << c.what;
        EXPECT_EQ(selectedNames(), c.selected) << c.what;
        const bool isChanged = c.after != kStart;
        EXPECT_EQ(testsupport::readFile(archivePath) != before, isChanged) << c.what;
        EXPECT_EQ(dlg.canUndo(), isChanged) << c.what;
    }
    // The code page chosen last shows in the status line and checked in the menu.
    const auto& gbk = archive::CodePage::of(archive::Encoding::gbk);
    EXPECT_EQ(status(), qs(session::wording::statusLine(archivePath, 4, gbk, false)));
    QMenu* menu = menuAt(0);
    const QAction* checked = menu->findChild<QActionGroup*>()->checkedAction();
    EXPECT_EQ(checked->text(), u8(res::kEncodings[1].menuText));
    menu->close();
}

TEST_F(EditFixture, TheMenuOffersWhatFitsWhereItOpens)
{
    // Nothing open: no menu below the entries.
    EXPECT_EQ(menuAt(-1), nullptr);
    open(kStart);
    const auto enabled = [&](int row) {
        QStringList names;
        QMenu* menu = menuAt(row);
        for (QAction* action : menu->actions())
            if (!action->text().isEmpty() && action->isEnabled())
                names << action->text();
        menu->close();
        return names;
    };
    const QStringList onEntry = enabled(0);
    for (const char* text :
         {res::edit::kMenuAddFiles, res::edit::kMenuReplace, res::edit::kMenuRename,
          res::edit::kMenuDelete, res::edit::kMenuOpenWith, res::edit::kMenuOpenAsFolder})
        EXPECT_TRUE(onEntry.contains(u8(text))) << text;
    EXPECT_FALSE(onEntry.contains(u8(res::edit::kMenuUndo)));
    const QStringList below = enabled(-1);
    EXPECT_TRUE(below.contains(u8(res::edit::kMenuAddFiles)));
    EXPECT_TRUE(below.contains(u8(res::edit::kMenuOpenAsFolder)));
    for (const char* text : {res::edit::kMenuReplace, res::edit::kMenuRename,
                             res::edit::kMenuDelete, res::edit::kMenuOpenWith})
        EXPECT_FALSE(below.contains(u8(text))) << text;
}

TEST_F(EditFixture, EveryKeyIsNamedInATooltipOrTheMenu)
{
    open(kStart);
    QMenu* menu = menuAt(0);
    ASSERT_NE(menu, nullptr);
    const struct {
        const char* keys;
        const char* control; // whose tooltip names the key, or null
        const char* item;    // the menu item showing it, or null
    } cases[] = {
        {res::kShortcutLoad, "IDC_LOAD", nullptr},
        {res::kShortcutReload, "IDC_LOAD", nullptr},
        {res::kShortcutExtract, "IDC_EXTRACT", res::preview::kMenuExtract},
        {res::kShortcutFind, "IDC_FIND_TEXT", nullptr},
        {res::kShortcutPreview, nullptr, res::preview::kMenuPreview},
        {res::kShortcutRename, nullptr, res::edit::kMenuRename},
        {res::kShortcutDelete, nullptr, res::edit::kMenuDelete},
        {res::kShortcutUndo, nullptr, res::edit::kMenuUndo},
    };
    QList<QKeySequence> named;
    for (const auto& c : cases) {
        const QKeySequence keys(QString::fromLatin1(c.keys));
        named << keys;
        if (c.control) {
            const QString tip = dlg.findChild<QWidget*>(c.control)->toolTip();
            EXPECT_TRUE(tip.contains(QStringLiteral(" (%1)").arg(keys.toString())))
                << c.keys << ": " << tip.toStdString();
        }
        if (c.item) {
            QKeySequence shown;
            for (QAction* action : menu->actions())
                if (action->text() == u8(c.item))
                    shown = action->shortcut();
            EXPECT_EQ(shown, keys) << c.keys;
        }
    }
    menu->close();
    // No key of the dialog is left out.
    for (const QShortcut* shortcut : dlg.findChildren<QShortcut*>())
        EXPECT_TRUE(named.contains(shortcut->key())) << shortcut->key().toString().toStdString();
}

TEST_F(EditFixture, KeysRenameDeleteAndUndoInTheListWhichKeepsTheFocusBesideThePreview)
{
    open(kStart);
    dlg.entryListView()->setCurrentIndex(dlg.entryList().index(0));
    key(Qt::Key_Space);
    ASSERT_TRUE(dlg.findChild<PreviewWindow*>()->isVisible());
    // Back in the list, as after a click there.
    QApplication::setActiveWindow(&dlg);
    dlg.entryListView()->setFocus();
    const std::string original = testsupport::readFile(archivePath);
    struct Step {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::function<void()> before;
        std::set<std::string> names;
    };
    const Step steps[] = {
        {"F2 renames the current entry",
         Qt::Key_F2,
         Qt::NoModifier,
         [&] {
             dlg.entryListView()->setCurrentIndex(
                 dlg.entryListView()->model()->index(rowOf("A.DAT"), 0));
             services.texts.push_back(QStringLiteral("A2.DAT"));
         },
         {"A2.DAT", "B.EGA", "SUB\\C.DAT", "SUB\\D.WAV"}},
        {"Delete asks with the count and deletes the selection",
         Qt::Key_Delete,
         Qt::NoModifier,
         [&] {
             dlg.SetSel(-1, false);
             dlg.SetSel(rowOf("B.EGA"), true);
             dlg.SetSel(rowOf("SUB\\C.DAT"), true);
             services.answers.push_back(true);
         },
         {"A2.DAT", "SUB\\D.WAV"}},
        {"Ctrl+Z puts the last change back",
         Qt::Key_Z,
         Qt::ControlModifier,
         [] {},
         {"A2.DAT", "B.EGA", "SUB\\C.DAT", "SUB\\D.WAV"}},
        {"one level only",
         Qt::Key_Z,
         Qt::ControlModifier,
         [] {},
         {"A2.DAT", "B.EGA", "SUB\\C.DAT", "SUB\\D.WAV"}},
    };
    for (const Step& step : steps) {
        step.before();
        // Where the focus is, as the keyboard's keys go.
        ASSERT_EQ(QApplication::focusWidget(), dlg.entryListView()) << step.what;
        QTest::keyClick(QApplication::focusWidget(), step.key, step.modifiers);
        QApplication::processEvents();
        ASSERT_TRUE(services.messages.empty()) << step.what;
        std::set<std::string> names;
        for (const auto& [name, bytes] : entriesOf(archivePath))
            names.insert(name);
        EXPECT_EQ(names, step.names) << step.what;
    }
    ASSERT_EQ(services.questions.size(), 1u);
    EXPECT_EQ(services.questions[0],
              u8(res::edit::kDeleteQuestion).arg(2).arg(QStringLiteral("GAME00.DAT")));
    // The entries the undone delete named are selected again.
    EXPECT_EQ(selectedNames(), (std::vector<std::string>{"B.EGA", "SUB\\C.DAT"}));
    EXPECT_NE(testsupport::readFile(archivePath), original);
    EXPECT_EQ(QApplication::focusWidget(), dlg.entryListView());
}

TEST_F(EditFixture, UndoPutsBackEveryByteOfTheArchiveBeforeTheChange)
{
    struct Case {
        const char* what;
        const char* command;
        std::function<void(EditFixture&)> answer;
    };
    const Case cases[] = {
        {"add", res::edit::kMenuAddFiles,
         [](EditFixture& f) { f.services.fileLists.push_back({f.hostFile("E.BMP", "echo")}); }},
        {"replace", res::edit::kMenuReplace,
         [](EditFixture& f) { f.services.files.push_back(f.hostFile("x", "")); }},
        {"rename", res::edit::kMenuRename,
         [](EditFixture& f) { f.services.texts.push_back(QStringLiteral("Q\\B.EGA")); }},
        {"delete", res::edit::kMenuDelete,
         [](EditFixture& f) { f.services.answers.push_back(true); }},
    };
    for (const Case& c : cases) {
        // Not the layout the engine writes (data in list order), so a rewrite could not give
        // it by chance.
        ArchiveImage image;
        image.add("SUB\\D.WAV", "delta");
        image.add("A.DAT", "alpha");
        image.add("B.EGA", "bravo");
        testsupport::writeFile(archivePath, image.bytes());
        dlg.OpenArchive(qs(archivePath));
        const std::string before = testsupport::readFile(archivePath);
        c.answer(*this);
        ASSERT_TRUE(runMenu(rowOf("B.EGA"), c.command)) << c.what;
        ASSERT_TRUE(services.messages.empty()) << c.what;
        ASSERT_NE(testsupport::readFile(archivePath), before) << c.what;
        ASSERT_TRUE(runMenu(0, res::edit::kMenuUndo)) << c.what;
        ASSERT_TRUE(services.messages.empty()) << c.what;
        EXPECT_EQ(testsupport::readFile(archivePath), before) << c.what;
        EXPECT_EQ(dlg.entryList().GetCount(), 3) << c.what;
        EXPECT_FALSE(dlg.canUndo()) << c.what;
    }
}

TEST_F(EditFixture, LongChangesAndUndoEndSayingWhatTheyDid)
{
    struct Step {
        const char* what;
        bool cancel;
        std::function<void()> run;
        QString text;
        bool isChanged; // the archive differs from the one opened
    };
    const Step steps[] = {
        // Held at its first report until Cancel is pressed: nothing is written.
        {"cancelled change", true,
         [&] {
             services.answers.push_back(true);
             dlg.OnDelete(rowOf("A.DAT"));
         },
         u8(res::edit::kUpdateCancelled).arg(QStringLiteral("GAME00.DAT")), false},
        {"change", false,
         [&] {
             services.answers.push_back(true);
             dlg.OnDelete(rowOf("A.DAT"));
         },
         u8(res::edit::kUpdateDone).arg(QStringLiteral("GAME00.DAT")).arg(0).arg(0).arg(1).arg(0),
         true},
        {"undo", false, [&] { dlg.OnUndo(); },
         u8(res::edit::kUndoDone).arg(QStringLiteral("GAME00.DAT")), false},
    };
    open(kStart);
    const std::string before = testsupport::readFile(archivePath);
    dlg.setProgressDelay(0);
    for (const Step& step : steps) {
        QStringList finished;
        QSemaphore cancelled;
        // Reads each finished window and presses its button; presses Cancel on a running one.
        QTimer watcher;
        watcher.setInterval(0);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* window = qobject_cast<QProgressDialog*>(widget);
                auto* button = window ? window->findChild<QPushButton*>() : nullptr;
                if (!button || !window->isVisible())
                    continue;
                if (button->text() == u8(res::kOk)) {
                    finished << window->labelText();
                    button->click();
                } else if (step.cancel && !window->wasCanceled()) {
                    button->click();
                    cancelled.release();
                }
            }
        });
        watcher.start();
        dlg.setProgressProbe([&](const archive::Progress&) {
            if (step.cancel && cancelled.tryAcquire(1, 10000))
                cancelled.release();
        });
        step.run();
        ASSERT_TRUE(services.messages.empty()) << step.what;
        EXPECT_EQ(finished, QStringList{step.text}) << step.what;
        EXPECT_EQ(testsupport::readFile(archivePath) != before, step.isChanged) << step.what;
    }
}

TEST_F(EditFixture, AChangeKeepsTheTypeChosenAndThePreviewFollows)
{
    open(kStart);
    QComboBox* types = dlg.findChild<QComboBox*>("IDC_TYPE_FILTER");
    types->setCurrentIndex(types->findText(QStringLiteral("DAT")));
    emit types->activated(types->currentIndex());
    ASSERT_EQ(dlg.entryList().GetCount(), 2);
    const int row = rowOf("SUB\\C.DAT");
    ASSERT_TRUE(runMenu(row, res::preview::kMenuPreview));
    auto* preview = dlg.findChild<PreviewWindow*>();
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(preview->isVisible());
    services.files.push_back(hostFile("c2", "charlie again"));
    ASSERT_TRUE(runMenu(row, res::edit::kMenuReplace));
    ASSERT_TRUE(services.messages.empty()) << services.messages.front().toStdString();
    EXPECT_EQ(types->currentText(), QStringLiteral("DAT"));
    EXPECT_EQ(dlg.entryList().GetCount(), 2);
    EXPECT_TRUE(status().contains(QStringLiteral("2")));
    EXPECT_EQ(dlg.entryListView()->currentIndex().row(), rowOf("SUB\\C.DAT"));
    EXPECT_EQ(selectedNames(), (std::vector<std::string>{"SUB\\C.DAT"}));
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->windowTitle(), QStringLiteral("SUB\\C.DAT"));
    // The details name the new size.
    EXPECT_TRUE(preview->detailsLine().contains(QStringLiteral(" 13 ")))
        << preview->detailsLine().toStdString();
}

TEST_F(EditFixture, DroppedFilesAndFoldersAreAddedAfterOneQuestion)
{
    std::filesystem::create_directories(dir / "drop/SUB");
    testsupport::writeFile(dir / "drop/SUB/C.DAT", "charlie 2");
    testsupport::writeFile(dir / "drop/SUB/INNER/E.DAT", "echo");
    testsupport::writeFile(dir / "drop/F.TXT", "foxtrot");
    testsupport::writeFile(dir / "drop/A.DAT", "alpha 2");
    const QStringList paths = {qs(dir / "drop/SUB"), qs(dir / "drop/F.TXT"),
                               qs(dir / "drop/A.DAT")};
    struct Case {
        const char* what;
        bool yes;
        Entries after;
    };
    const Case cases[] = {
        {"declined", false, kStart},
        {"accepted", true,
         with(kStart,
              [](Entries& e) {
                  e["SUB\\C.DAT"] = "charlie 2";
                  e["SUB\\INNER\\E.DAT"] = "echo";
                  e["F.TXT"] = "foxtrot";
                  e["A.DAT"] = "alpha 2";
              })},
    };
    for (const Case& c : cases) {
        open(kStart);
        services.questions.clear();
        services.answers.push_back(c.yes);
        ASSERT_TRUE(drop(paths)) << c.what;
        ASSERT_TRUE(services.messages.empty())
            << c.what << ": " << services.messages.front().toStdString();
        ASSERT_EQ(services.questions.size(), 1u) << c.what;
        EXPECT_EQ(services.questions[0],
                  u8(res::edit::kDropQuestion).arg(QStringLiteral("GAME00.DAT")).arg(2).arg(2))
            << c.what;
        EXPECT_EQ(entriesOf(archivePath), c.after) << c.what;
        EXPECT_EQ(dlg.canUndo(), c.yes) << c.what;
    }
    EXPECT_EQ(selectedNames(),
              (std::vector<std::string>{"A.DAT", "F.TXT", "SUB\\C.DAT", "SUB\\INNER\\E.DAT"}));

    // A single archive still opens, without a question.
    ArchiveImage other;
    other.add("ONLY.DAT", "x");
    testsupport::writeFile(dir / "game01.dat", other.bytes());
    services.questions.clear();
    ASSERT_TRUE(drop({qs(dir / "game01.dat")}));
    EXPECT_TRUE(services.questions.empty());
    EXPECT_EQ(dlg.entryList().GetCount(), 1);
    EXPECT_TRUE(status().contains(QStringLiteral("game01.dat")));
    EXPECT_FALSE(dlg.canUndo()) << "undo belongs to the archive it was made in";
}

TEST_F(EditFixture, ACopySavedInAnotherProgramReplacesTheEntryOnYes)
{
    open(kStart);
    ASSERT_TRUE(runMenu(rowOf("SUB\\C.DAT"), res::edit::kMenuOpenWith));
    ASSERT_TRUE(services.messages.empty()) << services.messages.front().toStdString();
    ASSERT_EQ(services.opened.size(), 1u);
    const std::string copy = services.opened[0].toStdString();
    EXPECT_TRUE(copy.ends_with("/SUB/C.DAT")) << copy;
    EXPECT_EQ(testsupport::readFile(copy), "charlie");
    const QString question = u8(res::edit::kEditedQuestion).arg(QStringLiteral("SUB\\C.DAT"));
    struct Save {
        const char* what;
        bool byRename; // as editors that write a new file and rename it over the old one
        std::string bytes;
        bool yes;
        std::string entry;      // the entry's bytes afterwards
        std::string whileAsked; // saved again while the question is open
    };
    const Save saves[] = {
        {"saved, declined", false, "charlie edited", false, "charlie", ""},
        {"saved by rename, accepted", true, "charlie renamed", true, "charlie renamed", ""},
        {"saved again in place, accepted", false, "charlie 3", true, "charlie 3", ""},
        // What went in is what is compared next: the later save is not asked about again.
        {"saved while asked, accepted", false, "charlie 4", true, "charlie 5", "charlie 5"},
    };
    for (const Save& save : saves) {
        const std::size_t asked = services.questions.size();
        services.answers.push_back(save.yes);
        if (!save.whileAsked.empty())
            services.whileAsked = [&] { testsupport::writeFile(copy, save.whileAsked); };
        if (save.byRename) {
            testsupport::writeFile(copy + ".new", save.bytes);
            std::filesystem::rename(copy + ".new", copy);
        } else {
            testsupport::writeFile(copy, save.bytes);
        }
        ASSERT_TRUE(questionAsked(asked)) << save.what;
        EXPECT_EQ(services.questions.back(), question) << save.what;
        ASSERT_TRUE(services.messages.empty())
            << save.what << ": " << services.messages.front().toStdString();
        EXPECT_EQ(entriesOf(archivePath).at("SUB\\C.DAT"), save.entry) << save.what;
    }
    // Nothing new was saved: nothing more is asked, and undo takes back the last save.
    const std::size_t asked = services.questions.size();
    QTest::qWait(ExternalEdits::kSettleMs * 3);
    EXPECT_EQ(services.questions.size(), asked);
    dlg.OnUndo();
    EXPECT_EQ(entriesOf(archivePath).at("SUB\\C.DAT"), "charlie 3");

    // Renamed meanwhile: the save is refused, naming the entry, and the old name stays gone.
    services.texts.push_back(QStringLiteral("SUB\\E.DAT"));
    ASSERT_TRUE(runMenu(rowOf("SUB\\C.DAT"), res::edit::kMenuRename));
    const std::string renamed = testsupport::readFile(archivePath);
    testsupport::writeFile(copy, "charlie 6");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !services.messages.empty(); }, 5000));
    EXPECT_TRUE(services.messages[0].contains(QStringLiteral("SUB\\C.DAT")))
        << services.messages[0].toStdString();
    EXPECT_EQ(testsupport::readFile(archivePath), renamed);
    EXPECT_EQ(services.questions.size(), asked);

    // Closing the dialog takes the copy away.
    qttest::click(dlg.findChild<QPushButton*>("IDC_CLOSE"));
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_EQ(dlg.externalEdits().count(), 0);
}

// Through a real mount: what a program writes in the folder goes into the archive, the list
// follows each commit, and closing the dialog unmounts, putting in what is left.
TEST_F(EditFixture, AnArchiveOpenedAsAFolderTakesWhatProgramsWriteThere)
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        if (std::getenv("VELMORA_REQUIRE_FUSE") && *std::getenv("VELMORA_REQUIRE_FUSE"))
            FAIL() << "no /dev/fuse, which this run requires";
        GTEST_SKIP() << "no /dev/fuse: nothing can be mounted here";
    }
    open(kStart);
    ASSERT_TRUE(runMenu(0, res::edit::kMenuOpenAsFolder));
    ASSERT_TRUE(services.messages.empty()) << services.messages.front().toStdString();
    ASSERT_EQ(services.opened.size(), 1u);
    const std::string folder = services.opened[0].toStdString();
    EXPECT_EQ(testsupport::readFile(folder + "/SUB/C.DAT"), "charlie");
    testsupport::writeFile(folder + "/NEW.DAT", "new");
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowOf("NEW.DAT") >= 0; }, 20000));
    testsupport::writeFile(folder + "/A.DAT", "alpha 2");
    qttest::click(dlg.findChild<QPushButton*>("IDC_CLOSE"));
    EXPECT_EQ(entriesOf(archivePath).at("A.DAT"), "alpha 2");
    EXPECT_EQ(entriesOf(archivePath).at("NEW.DAT"), "new");
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(EditFixture, AnArchiveInAFolderThatCannotBeWrittenIsLeftAlone)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    open(kStart);
    const std::string before = testsupport::readFile(archivePath);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    services.answers.push_back(true);
    dlg.SetSel(0, true);
    key(Qt::Key_Delete);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_TRUE(services.messages[0].contains(qs(dir.path().filename().string())))
        << services.messages[0].toStdString();
    // Why, in the dialog's words.
    EXPECT_EQ(services.messages[0].section(QLatin1Char('\n'), 1), u8("權限不足"));
    EXPECT_EQ(testsupport::readFile(archivePath), before);
    EXPECT_EQ(dlg.entryList().GetCount(), 4);
}

} // namespace

// Hidden option for looking at the real windows: --grab-edit PNG saves the dialog with the
// list's menu open (PNG), then the delete question and the rename prompt as the desktop's own
// boxes show them (PNG with "-delete" and "-rename" before its suffix); nothing is changed.
int grabEdit(const QString& png)
{
    TempDir dir;
    ArchiveImage image;
    for (const char* name : {"地圖\\城鎮.DAT", "圖像\\主角_走路.EGA", "音效\\開門_01.WAV"})
        image.add(*archive::cp950::fromUtf8(name), "data");
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    QtDialogServices services;
    CExtractorDlg dlg(nullptr, &services);
    dlg.show();
    dlg.OpenArchive(qs(dir / "GAME00.DAT"));
    dlg.SetSel(0, true);
    QApplication::processEvents();
    QListView* view = dlg.entryListView();
    const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
    emit view->customContextMenuRequested(at);
    QApplication::processEvents();
    QMenu* menu = view->findChild<QMenu*>();
    if (!menu)
        return 1;
    // The menu drawn over the dialog where it opened.
    QImage shot = dlg.grab().toImage();
    QPainter painter(&shot);
    painter.drawPixmap(dlg.mapFromGlobal(menu->pos()), menu->grab());
    painter.end();
    bool saved = shot.save(png);
    menu->close();
    const auto suffixed = [&](const char* suffix) {
        QString name = png;
        return name.insert(png.lastIndexOf(QLatin1Char('.')), QLatin1String(suffix));
    };
    // Grabs the box the command opens, then cancels it.
    const auto grabBox = [&](const char* suffix, const std::function<void()>& command) {
        QTimer::singleShot(300, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                saved = box->grab().save(suffixed(suffix)) && saved;
                box->close();
            } else {
                saved = false;
            }
        });
        command();
    };
    grabBox("-delete", [&] { dlg.OnDelete(-1); });
    grabBox("-rename", [&] { dlg.OnRename(0); });
    return saved ? 0 : 1;
}

const bool kGrabEditMode = qttest::addMode("--grab-edit", grabEdit);

TEST_F(EditFixture, CompareFromTheMenuMarksTheRowsUntilTheNextChange)
{
    open(kStart);
    ArchiveImage older;
    older.add("A.DAT", "alpha");
    older.add("B.EGA", "old bravo");
    older.add("GONE.DAT", "gone");
    testsupport::writeFile(dir / "OLD00.DAT", older.bytes());
    services.openPaths.push_back(qs(dir / "OLD00.DAT"));
    ASSERT_TRUE(runMenu(0, res::compare::kMenuCompare));
    const auto mark = [&](const std::string& name, int role) {
        return dlg.entryList().index(rowOf(name)).data(role);
    };
    EXPECT_EQ(mark("A.DAT", Qt::DecorationRole), QColor(res::compare::kUnchangedColor));
    EXPECT_EQ(mark("B.EGA", Qt::DecorationRole), QColor(res::compare::kChangedColor));
    EXPECT_EQ(mark("SUB\\C.DAT", Qt::DecorationRole), QColor(res::compare::kAddedColor));
    EXPECT_TRUE(
        mark("B.EGA", Qt::ToolTipRole).toString().startsWith(u8(res::compare::kMarkChanged)));
    EXPECT_TRUE(
        status().endsWith(qs(session::wording::fill(res::compare::kCounts, {2, 1, 0, 1, 1}))));

    ASSERT_TRUE(runMenu(-1, res::compare::kMenuDifferingOnly));
    EXPECT_EQ(rowOf("A.DAT"), -1);
    EXPECT_EQ(dlg.entryList().GetCount(), 3);
    // Chosen again, the checked item shows every row.
    ASSERT_TRUE(runMenu(-1, res::compare::kMenuDifferingOnly));
    EXPECT_EQ(dlg.entryList().GetCount(), 4);

    services.answers.push_back(true);
    ASSERT_TRUE(runMenu(rowOf("B.EGA"), res::edit::kMenuDelete));
    EXPECT_FALSE(mark("A.DAT", Qt::DecorationRole).isValid());
    QMenu* menu = menuAt(0);
    for (QAction* action : menu->actions())
        if (action->text() == u8(res::compare::kMenuDifferingOnly)) {
            EXPECT_FALSE(action->isEnabled() || action->isChecked());
        }
    menu->close();
}
