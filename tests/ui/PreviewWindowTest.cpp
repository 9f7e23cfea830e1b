#include "ui/preview/PreviewWindow.h"
#include "archive/files/SignalCleanup.h"
#include "archive/format/CodePage950.h"
#include "res/CompareTexts.h"
#include "res/EditTexts.h"
#include "res/Messages.h"
#include "res/PreviewTexts.h"
#include "res/Resource.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaveSamples.h"
#include "tests/ui/QtTestMain.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/ExtractorDlg.h"
#include "ui/preview/DragOutFolders.h"
#include "ui/preview/HexView.h"
#include "ui/preview/PictureView.h"
#include "ui/preview/PreviewController.h"
#include "ui/preview/WaveformView.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::ArchiveImage;
using testsupport::TempDir;
using testsupport::WaveImage;
using View = PreviewWindow::View;

namespace {

QString tr8(const char* text)
{
    return QString::fromUtf8(text);
}

std::string bmpBytes(int width, int height)
{
    QImage image(width, height, QImage::Format_Indexed8);
    image.setColorCount(16);
    for (int i = 0; i < 16; ++i)
        image.setColor(i, qRgb(i * 16, 255 - i * 16, 128));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, static_cast<uint>((x / 4 + y / 4) % 16));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes.toStdString();
}

// A BMP header claiming 65535 x 65535 pixels of 24 bits, with a few bytes of pixels behind it.
std::string trueColourBytes(int width, int height, const char* format = "BMP")
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(qRgb(10, 200, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

std::string hugeBmpHeader()
{
    std::string out = "BM";
    testsupport::putLE32(out, 70);
    testsupport::putLE32(out, 0);
    testsupport::putLE32(out, 54);
    testsupport::putLE32(out, 40);
    testsupport::putLE32(out, 65535);
    testsupport::putLE32(out, 65535);
    testsupport::putLE16(out, 1);
    testsupport::putLE16(out, 24);
    for (int i = 0; i < 6; ++i)
        testsupport::putLE32(out, 0);
    return out + std::string(16, '\x7F');
}

std::uint32_t crc32(std::string_view bytes)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBE32(std::string& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

// A gzip file holding text in one stored block, as a compressed SVG is.
std::string gzipStored(const std::string& text)
{
    std::string out("\x1F\x8B\x08\0\0\0\0\0\0\x03\x01", 11);
    testsupport::putLE16(out, static_cast<std::uint16_t>(text.size()));
    testsupport::putLE16(out, static_cast<std::uint16_t>(~text.size()));
    out += text;
    testsupport::putLE32(out, crc32(text));
    testsupport::putLE32(out, static_cast<std::uint32_t>(text.size()));
    return out;
}

// A PNG claiming width x height pixels of 32 bits, with no pixels.
std::string pngHeaderOnly(std::uint32_t width, std::uint32_t height)
{
    std::string chunk = "IHDR";
    putBE32(chunk, width);
    putBE32(chunk, height);
    chunk += std::string("\x08\x06\0\0\0", 5);
    std::string out("\x89PNG\r\n\x1a\n", 8);
    putBE32(out, 13);
    out += chunk;
    putBE32(out, crc32(chunk));
    // Readers look for the first data chunk before they tell the size.
    putBE32(out, 0);
    out += "IDAT";
    putBE32(out, crc32("IDAT"));
    return out;
}

std::string wave(double seconds)
{
    WaveImage w;
    w.sampleRate = 8000;
    w.samples = testsupport::sineSamples16(8000, 2, seconds);
    return w.bytes();
}

std::string big5(const char* utf8)
{
    return *archive::cp950::fromUtf8(utf8);
}

// The Chinese text of an error kind up to where the subject goes.
QString kindPrefix(archive::ErrorKind kind)
{
    return QString::fromUtf8(res::errorKindText(kind)).section(QStringLiteral("%1"), 0, 0);
}

// Two ASCII words in a row, as the engine's English reasons have ("the entry", "claims bytes");
// paths and file names have none.
bool hasEnglishWords(const QString& text)
{
    return QRegularExpression(QStringLiteral("[a-z]{2,} [a-z]{2,}")).match(text).hasMatch();
}

struct PreviewFixture : ::testing::Test {
    TempDir dir;
    ScriptedServices services;
    std::unique_ptr<CExtractorDlg> dlg = std::make_unique<CExtractorDlg>(nullptr, &services);
    ArchiveImage image;

    QListView* view() const { return dlg->entryListView(); }
    PreviewController* controller() const { return dlg->findChild<PreviewController*>(); }
    PreviewWindow* window() const { return controller()->window(); }

    void load(bool absolute = false)
    {
        testsupport::writeFile(dir / "GAME00.DAT", image.bytes(absolute));
        services.openPaths.push_back(QString::fromStdString(dir / "GAME00.DAT"));
        dlg->show();
        qttest::click(dlg->findChild<QPushButton*>("IDC_LOAD"));
        ASSERT_TRUE(services.messages.empty()) << services.messages.front().toStdString();
    }
    int rowOf(const std::string& name) const
    {
        const QString text = QString::fromStdString(archive::cp950::toUtf8Lossy(name));
        for (int row = 0; row < view()->model()->rowCount(); ++row)
            if (view()->model()->index(row, 0).data().toString() == text)
                return row;
        return -1;
    }
    QModelIndex indexOf(const std::string& name) const
    {
        return view()->model()->index(rowOf(name), 0);
    }
    // Where the image puts the record and the data of entry i.
    std::uint32_t recordPosition(std::size_t i) const
    {
        std::uint32_t at = 4;
        for (std::size_t k = 0; k < i; ++k)
            at += static_cast<std::uint32_t>(image.records[k].name.size() + 17);
        return at;
    }
    std::uint32_t dataOffset(std::size_t i) const
    {
        return image.records[i].dataOffset + 4 + image.directorySize();
    }
    void doubleClick(const std::string& name)
    {
        const QRect rect = view()->visualRect(indexOf(name));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    // What the view hands to a drag of the selected entries.
    QMimeData* dragData() const
    {
        return view()->model()->mimeData(view()->selectionModel()->selectedIndexes());
    }
    QString toolTipFor(int row) const
    {
        return view()->model()->index(row, 0).data(Qt::ToolTipRole).toString();
    }
    QMenu* menuAt(const std::string& name)
    {
        const QRect rect = view()->visualRect(indexOf(name));
        emit view()->customContextMenuRequested(rect.center());
        return view()->findChild<QMenu*>();
    }
};

TEST_F(PreviewFixture, DoubleClickAndTheMenuOpenOneWindowTitledWithTheEntry)
{
    image.add("A.TXT", "hello");
    image.add("B.TXT", "world");
    load();
    EXPECT_FALSE(window()->isVisible());
    doubleClick("A.TXT");
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->windowTitle(), QStringLiteral("A.TXT"));
    window()->close();

    QMenu* menu = menuAt("B.TXT");
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << action->text();
    // The commands that change the archive follow, each after a separator.
    texts.removeAll(QString());
    EXPECT_EQ(texts,
              QStringList({tr8(res::preview::kMenuPreview), tr8(res::preview::kMenuExtract),
                           tr8(res::preview::kMenuCopyName), tr8(res::edit::kMenuAddFiles),
                           tr8(res::edit::kMenuReplace), tr8(res::edit::kMenuRename),
                           tr8(res::edit::kMenuDelete), tr8(res::edit::kMenuOpenWith),
                           tr8(res::edit::kMenuOpenAsFolder), tr8(res::edit::kMenuUndo),
                           tr8(res::compare::kMenuCompare), tr8(res::compare::kMenuDifferingOnly),
                           tr8(res::kMenuNameEncoding)}));
    menu->actions()[0]->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->windowTitle(), QStringLiteral("B.TXT"));
    EXPECT_EQ(dlg->findChildren<PreviewWindow*>().size(), 1);

    menu->actions()[2]->trigger();
    QApplication::processEvents();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("B.TXT"));

    QTest::keyClick(window(), Qt::Key_Escape);
    EXPECT_FALSE(window()->isVisible());
}

TEST_F(PreviewFixture, ArrowKeysWalkTheOpenWindowThroughTheList)
{
    for (const char* name : {"P1.BMP", "P2.BMP", "P3.BMP"})
        image.add(name, bmpBytes(8, 8));
    load();
    view()->setFocus();
    // Without the window, moving the current entry opens nothing.
    view()->setCurrentIndex(indexOf("P1.BMP"));
    QTest::keyClick(view(), Qt::Key_Down);
    EXPECT_FALSE(window()->isVisible());
    doubleClick("P1.BMP");
    ASSERT_TRUE(window()->isVisible());
    view()->setFocus();
    QTest::keyClick(view(), Qt::Key_Down);
    EXPECT_EQ(window()->windowTitle(), QStringLiteral("P2.BMP"));
    QTest::keyClick(view(), Qt::Key_Down);
    EXPECT_EQ(window()->windowTitle(), QStringLiteral("P3.BMP"));
    QTest::keyClick(view(), Qt::Key_Up);
    EXPECT_EQ(window()->windowTitle(), QStringLiteral("P2.BMP"));
    EXPECT_EQ(window()->view(), View::picture);
}

TEST_F(PreviewFixture, TheStepKeysWalkTheListFromAnyPartOfThePreview)
{
    for (const char* name : {"T1.TXT", "T2.TXT", "T3.TXT", "T4.TXT", "T5.TXT"})
        image.add(name, std::string("text of ") + name);
    load();
    const auto inWindow = [this](const char* what) -> QWidget* {
        const std::string part = what;
        if (part == "focus")
            return QApplication::focusWidget() && QApplication::focusWidget()->window() == window()
                       ? QApplication::focusWidget()
                       : window();
        if (part == "window")
            return window();
        if (part == "text")
            return window()->textView();
        if (part == "hex")
            return window()->hexView();
        return window()->findChild<QCheckBox*>();
    };
    // Each walk starts on T3.TXT, opened by a double-click.
    const struct {
        const char* part;
        Qt::Key key;
        const char* title;
    } cases[] = {
        {"focus", Qt::Key_Down, "T4.TXT"},  {"focus", Qt::Key_Up, "T2.TXT"},
        {"window", Qt::Key_End, "T5.TXT"},  {"window", Qt::Key_Home, "T1.TXT"},
        {"text", Qt::Key_Down, "T4.TXT"},   {"text", Qt::Key_PageDown, "T5.TXT"},
        {"text", Qt::Key_PageUp, "T1.TXT"}, {"hex", Qt::Key_Up, "T2.TXT"},
        {"hex", Qt::Key_End, "T5.TXT"},     {"toggle", Qt::Key_Down, "T4.TXT"},
        {"toggle", Qt::Key_Home, "T1.TXT"},
    };
    for (const auto& c : cases) {
        window()->close();
        doubleClick("T3.TXT");
        ASSERT_TRUE(window()->isVisible()) << c.part;
        QWidget* target = inWindow(c.part);
        QTest::keyClick(target, c.key);
        EXPECT_EQ(window()->windowTitle().toStdString(), c.title) << c.part << " key " << c.key;
        EXPECT_EQ(view()->currentIndex(), indexOf(c.title)) << c.part << " key " << c.key;
        EXPECT_TRUE(window()->isVisible()) << c.part << " key " << c.key;
    }
}

TEST_F(PreviewFixture, EscapeClosesOnlyAnOpenPreviewWhereverTheFocusIs)
{
    for (const char* name : {"P1.BMP", "P2.BMP", "P3.BMP"})
        image.add(name, bmpBytes(8, 8));
    load();
    const struct {
        const char* where;
        bool preview;
        bool dialogStays;
    } cases[] = {
        {"IDC_ENTRY_LIST", true, true}, {"IDC_FIND_TEXT", true, true},    {"preview", true, true},
        {"text", true, true},           {"IDC_ENTRY_LIST", false, false},
    };
    for (const auto& c : cases) {
        dlg->show();
        if (c.preview) {
            doubleClick("P1.BMP");
            // Walking the list first, as a user looking through pictures would.
            view()->setFocus();
            QTest::keyClick(view(), Qt::Key_Down);
            ASSERT_TRUE(window()->isVisible()) << c.where;
        }
        const std::string where = c.where;
        QWidget* target = where == "preview" ? window()
                          : where == "text"  ? static_cast<QWidget*>(window()->textView())
                                             : dlg->findChild<QWidget*>(c.where);
        ASSERT_NE(target, nullptr) << c.where;
        if (target->window() == dlg.get())
            target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_FALSE(window()->isVisible()) << c.where;
        EXPECT_EQ(dlg->isVisible(), c.dialogStays) << c.where;
        EXPECT_TRUE(dlg->isArchiveOpen() || !c.dialogStays) << c.where;
    }
}

TEST_F(PreviewFixture, EachEntryOpensInTheViewItsBytesCallForWithItsDetails)
{
    const std::string textName = big5("劇情\\開場.TXT");
    image.add("PIC.BMP", bmpBytes(64, 48));
    image.add("SND.WAV", wave(0.25));
    image.add(textName, big5("第一幕：城門\r\n守衛說：站住！\r\n"));
    image.add("MAP.EGA", std::string("\x00\x01\x02\x03\xFE\xFF\x10\x00", 8));
    image.add("NOTPIC.BMP", wave(0.1)); // named as a picture, holds a sound
    image.add("RGB.BMP", trueColourBytes(20, 10));
    const std::string svgz =
        gzipStored("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\">"
                   "<rect width=\"64\" height=\"64\" fill=\"red\"/></svg>");
    image.add("VECTOR.BMP", svgz); // a compressed vector picture no reader is given
    // Each reader is chosen by name from the bytes, whatever the entry is called.
    image.add("P.DAT", trueColourBytes(7, 5, "PNG"));
    image.add("J.BMP", trueColourBytes(9, 6, "JPEG"));
    image.add("PIX.PPM", trueColourBytes(3, 2, "PPM"));
    load();
    const struct {
        std::string name;
        std::size_t index;
        View view;
        QString format; // a part of the format line
        QString hostPath;
    } cases[] = {
        {"PIC.BMP", 0, View::picture, QStringLiteral("64 × 48　4 位元色深　調色盤 16 色"),
         "PIC.BMP"},
        {"SND.WAV", 1, View::sound, QStringLiteral("2 聲道　8000 Hz　16 位元　0.25 秒　PCM"),
         "SND.WAV"},
        {textName, 2, View::text, QString(), QStringLiteral("劇情/開場.TXT")},
        {"MAP.EGA", 3, View::hex, QStringLiteral("8 位元組"), "MAP.EGA"},
        {"NOTPIC.BMP", 4, View::sound, QStringLiteral("0.10 秒"), "NOTPIC.BMP"},
        {"RGB.BMP", 5, View::picture, QStringLiteral("20 × 10　24 位元色深　無調色盤"), "RGB.BMP"},
        {"VECTOR.BMP", 6, View::hex, QStringLiteral("%1 位元組").arg(svgz.size()), "VECTOR.BMP"},
        {"P.DAT", 7, View::picture, QStringLiteral("7 × 5　"), "P.DAT"},
        {"J.BMP", 8, View::picture, QStringLiteral("9 × 6　"), "J.BMP"},
        {"PIX.PPM", 9, View::picture, QStringLiteral("3 × 2　"), "PIX.PPM"},
    };
    for (const auto& c : cases) {
        controller()->openPreview(rowOf(c.name));
        EXPECT_EQ(window()->view(), c.view) << c.name;
        EXPECT_TRUE(window()->message().isEmpty()) << c.name << window()->message().toStdString();
        EXPECT_TRUE(window()->formatLine().contains(c.format))
            << c.name << " " << window()->formatLine().toStdString();
        const QString details = tr8(res::preview::kDetails)
                                    .arg(image.records[c.index].dataSize)
                                    .arg(dataOffset(c.index))
                                    .arg(recordPosition(c.index))
                                    .arg(c.hostPath);
        EXPECT_EQ(window()->detailsLine(), details) << c.name;
    }
    controller()->openPreview(rowOf(textName));
    EXPECT_EQ(window()->textView()->toPlainText(),
              QStringLiteral("第一幕：城門\n守衛說：站住！\n"));
    controller()->openPreview(rowOf("MAP.EGA"));
    EXPECT_EQ(window()->hexView()->lineText(0).toStdString(),
              "00000000  00 01 02 03 FE FF 10 00 " + std::string(26, ' ') + "........");
    controller()->openPreview(rowOf("SND.WAV"));
    const auto& peaks = window()->waveformView()->peaks();
    ASSERT_EQ(peaks.size(), 2u);
    float highest = 0;
    for (const auto& peak : peaks[1])
        highest = std::max(highest, peak.high);
    EXPECT_NEAR(highest, 0.5, 0.01);
    // No audio device here: the waveform is drawn and the window says it cannot play.
    EXPECT_FALSE(window()->playButton()->isEnabled());
}

TEST_F(PreviewFixture, HostileOrDamagedContentShowsAMessageInTheWindow)
{
    WaveImage lyingWave;
    lyingWave.samples = std::string(64, '\0');
    lyingWave.dataSizeField = 0x7FFFFFFF;
    image.add("HUGE.BMP", hugeBmpHeader());
    // Small enough for Qt's own allocation limit, still too many pixels to decode at once.
    image.add("WIDE.PNG", pngHeaderOnly(6000, 6000));
    image.add("LIE.WAV", lyingWave.bytes());
    image.add("CUT.BMP", bmpBytes(32, 32).substr(0, 80));
    image.add("GONE.WAV", "tiny");
    image.records.back().dataSize = 1u << 20; // past the end of the file
    load();
    const auto prefix = [](const char* text) {
        return QString::fromUtf8(text).section(QLatin1Char('%'), 0, 0);
    };
    const struct {
        const char* name;
        QStringList messages; // what the message may start with
    } cases[] = {
        {"HUGE.BMP",
         {tr8(res::preview::kPictureTooLarge)
              .arg(65535)
              .arg(65535)
              .section(QLatin1Char('%'), 0, 0)}},
        {"WIDE.PNG", {tr8(res::preview::kPictureTooLarge).arg(6000).arg(6000).section('%', 0, 0)}},
        {"LIE.WAV", {tr8(res::preview::kSoundUnreadable).arg(tr8(res::preview::kWaveDataPastEnd))}},
        {"CUT.BMP", {prefix(res::preview::kPictureUndecodable)}},
        {"GONE.WAV", {prefix(res::preview::kEntryDamaged)}},
    };
    for (const auto& c : cases) {
        controller()->openPreview(rowOf(c.name));
        const QString shown = window()->message();
        EXPECT_TRUE(std::any_of(c.messages.begin(), c.messages.end(),
                                [&](const QString& m) { return shown.startsWith(m); }))
            << c.name << " " << shown.toStdString();
        EXPECT_NE(window()->view(), View::picture) << c.name;
        EXPECT_NE(window()->view(), View::sound) << c.name;
    }
    controller()->openPreview(rowOf("GONE.WAV"));
    EXPECT_TRUE(window()->message().contains(QStringLiteral("GAME00.DAT")));
    // The kind's Chinese wording, not the engine's English reason; no box for a preview.
    EXPECT_TRUE(window()->message().contains(kindPrefix(archive::ErrorKind::damagedEntry)))
        << window()->message().toStdString();
    EXPECT_FALSE(hasEnglishWords(window()->message())) << window()->message().toStdString();
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(PreviewFixture, AnEntryOverTheLimitShowsOnlyItsFirstMebibyteAsHexReadAsItScrolls)
{
    image.add("BIG.WAV", "RIFF");
    image.records[0].dataSize =
        static_cast<std::uint32_t>(PreviewWindow::kMaxDecodedEntryBytes + 1);
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    // The rest of the entry as a hole, so the test writes no 64 MiB.
    std::filesystem::resize_file(dir / "GAME00.DAT", dataOffset(0) + image.records[0].dataSize);
    services.openPaths.push_back(QString::fromStdString(dir / "GAME00.DAT"));
    dlg->show();
    qttest::click(dlg->findChild<QPushButton*>("IDC_LOAD"));
    controller()->openPreview(0);
    EXPECT_EQ(window()->view(), View::hex);
    EXPECT_TRUE(window()->message().startsWith(
        tr8(res::preview::kTooLarge).arg(image.records[0].dataSize).left(12)));
    EXPECT_EQ(window()->hexView()->size(), PreviewWindow::kLargeEntryHexBytes);
    EXPECT_LE(window()->hexView()->pagesRead(), 1);
    EXPECT_TRUE(window()->hexView()->lineText(0).contains(QStringLiteral("52 49 46 46")));
    EXPECT_EQ(window()->hexView()->lineText(PreviewWindow::kLargeEntryHexBytes / 16), QString());
}

TEST_F(PreviewFixture, ALargeTextShowsItsFirstMebibyteAndSaysSo)
{
    // One line, as the slowest text to lay out is, with a Big5 character across the limit.
    std::string text(PreviewWindow::kLargeTextBytes - 1, 'a');
    text += big5("城");
    text += std::string(2 << 20, 'b');
    image.add("LONG.TXT", text);
    image.add("SHORT.TXT", std::string(PreviewWindow::kLargeTextBytes, 'c'));
    load();
    const struct {
        const char* name;
        qsizetype characters;
        QString message;
    } cases[] = {
        {"LONG.TXT", qsizetype(PreviewWindow::kLargeTextBytes - 1),
         tr8(res::preview::kTextTooLarge).arg(text.size()).arg(1)},
        {"SHORT.TXT", qsizetype(PreviewWindow::kLargeTextBytes), QString()},
    };
    for (const auto& c : cases) {
        controller()->openPreview(rowOf(c.name));
        EXPECT_EQ(window()->view(), View::text) << c.name;
        const QString shown = window()->textView()->toPlainText();
        EXPECT_EQ(QString(shown).remove(QLatin1Char('\n')).size(), c.characters) << c.name;
        const QStringList lines = shown.split(QLatin1Char('\n'));
        EXPECT_EQ(
            std::max_element(lines.begin(), lines.end(),
                             [](const QString& a, const QString& b) { return a.size() < b.size(); })
                ->size(),
            PreviewWindow::kLongLineChars)
            << c.name;
        EXPECT_EQ(window()->message(), c.message) << c.name;
    }
    EXPECT_EQ(window()->formatLine(),
              tr8(res::preview::kHexLine).arg(PreviewWindow::kLargeTextBytes));
}

TEST_F(PreviewFixture, ALargeEntryCutShortAfterLoadingSaysSoInsteadOfBlankLines)
{
    image.add("BIG.DAT", "RIFF");
    image.records[0].dataSize =
        static_cast<std::uint32_t>(PreviewWindow::kMaxDecodedEntryBytes + 1);
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    std::filesystem::resize_file(dir / "GAME00.DAT", dataOffset(0) + image.records[0].dataSize);
    services.openPaths.push_back(QString::fromStdString(dir / "GAME00.DAT"));
    dlg->show();
    qttest::click(dlg->findChild<QPushButton*>("IDC_LOAD"));
    QCoreApplication::processEvents();
    // Cut inside the first page the view reads, after the dialog has checked the lengths.
    std::filesystem::resize_file(dir / "GAME00.DAT", dataOffset(0) + 100);
    controller()->openPreview(0);
    window()->hexView()->lineText(0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window()->message().startsWith(
        tr8(res::preview::kEntryDamaged).section(QLatin1Char('%'), 0, 0)))
        << window()->message().toStdString();
    EXPECT_TRUE(window()->message().contains(kindPrefix(archive::ErrorKind::damagedEntry)))
        << window()->message().toStdString();
    EXPECT_FALSE(hasEnglishWords(window()->message())) << window()->message().toStdString();
}

TEST_F(PreviewFixture, TheWindowOpensWhollyOnTheScreenWithWholeHexLines)
{
    image.add("MAP.EGA", std::string(4096, '\x01'));
    load();
    const QRect area = dlg->screen()->availableGeometry();
    const QSize dialog = dlg->frameGeometry().size();
    const struct {
        const char* where;
        QPoint dialogAt;
    } cases[] = {
        {"top left", area.topLeft()},
        {"bottom right",
         area.bottomRight() - QPoint(dialog.width(), dialog.height()) + QPoint(1, 1)},
        {"middle", area.center() - QPoint(dialog.width() / 2, dialog.height() / 2)},
        {"partly off the screen", area.bottomRight() - QPoint(dialog.width() / 2, 40)},
    };
    for (const auto& c : cases) {
        window()->close();
        dlg->move(c.dialogAt);
        controller()->openPreview(rowOf("MAP.EGA"));
        QCoreApplication::processEvents();
        ASSERT_EQ(window()->view(), View::hex);
        EXPECT_TRUE(area.contains(window()->frameGeometry()))
            << c.where << " " << window()->frameGeometry().x() << ","
            << window()->frameGeometry().y() << " " << window()->frameGeometry().width() << "x"
            << window()->frameGeometry().height();
        HexView* hex = window()->hexView();
        const int line = hex->fontMetrics().horizontalAdvance(hex->lineText(0));
        EXPECT_GE(hex->viewport()->width(), line + 4) << c.where << " line " << line;
        // The buttons and the details below the view are inside the window too.
        const QWidget* toggle = window()->findChild<QCheckBox*>();
        EXPECT_TRUE(
            window()->rect().contains(QRect(toggle->mapTo(window(), QPoint(0, 0)), toggle->size())))
            << c.where;
    }
}

TEST_F(PreviewFixture, TheMenusExtractIsTheButtonsCommand)
{
    image.add("A.DAT", "aaa");
    image.add("B.DAT", "bb");
    load();
    view()->selectionModel()->select(indexOf("B.DAT"), QItemSelectionModel::Select);
    std::filesystem::create_directory(dir / "out");
    services.folders.push_back(QString::fromStdString(dir / "out"));
    menuAt("B.DAT")->actions()[1]->trigger();
    QApplication::processEvents();
    ASSERT_TRUE(services.messages.empty()) << services.messages.front().toStdString();
    EXPECT_EQ(services.titles.size(), 1u);
    EXPECT_EQ(testsupport::readFile(dir / "out/B.DAT"), "bb");
    EXPECT_FALSE(std::filesystem::exists(dir / "out/A.DAT"));
    // As after the button: the selection is cleared.
    EXPECT_EQ(dlg->GetSelCount(), 0);
}

TEST_F(PreviewFixture, DraggedEntriesAreFilesWithTheEntriesBytesRemovedWhenTheDialogCloses)
{
    const std::string nested = big5("音效\\開門.WAV");
    image.add("A.DAT", "first entry");
    image.add(nested, wave(0.01));
    image.add("C.DAT", "not dragged");
    load();
    view()->selectionModel()->select(indexOf("A.DAT"), QItemSelectionModel::Select);
    view()->selectionModel()->select(indexOf(nested), QItemSelectionModel::Select);
    const int signalSlots = archive::SignalCleanup::liveCount();
    std::unique_ptr<QMimeData> mime(dragData());
    ASSERT_NE(mime, nullptr);
    ASSERT_TRUE(mime->hasFormat(QStringLiteral("text/uri-list")));
    const QList<QUrl> urls = mime->urls();
    ASSERT_EQ(urls.size(), 2);
    const std::filesystem::path folder =
        std::filesystem::path(urls[0].toLocalFile().toStdString()).parent_path();
    EXPECT_EQ(urls[0].toLocalFile().toStdString(), (folder / "A.DAT").string());
    EXPECT_EQ(urls[1].toLocalFile(),
              QString::fromStdString(folder.string()) + QStringLiteral("/音效"));
    EXPECT_EQ(testsupport::readFile((folder / "A.DAT").string()), "first entry");
    EXPECT_EQ(testsupport::readFile(urls[1].toLocalFile().toStdString() + "/開門.WAV"),
              image.data.substr(image.records[1].dataOffset, image.records[1].dataSize));
    EXPECT_FALSE(std::filesystem::exists(folder / "C.DAT"));
    // Inside this run's folder, named so that a later run can tell whose it was.
    EXPECT_TRUE(folder.parent_path().filename().string().starts_with(
        DragOutFolders::kNamePrefix + std::to_string(::getpid()) + "-"))
        << folder;

    // A second drag gets a folder of its own.
    std::unique_ptr<QMimeData> again(dragData());
    ASSERT_NE(again, nullptr);
    const std::filesystem::path second =
        std::filesystem::path(again->urls()[0].toLocalFile().toStdString()).parent_path();
    EXPECT_NE(second, folder);
    // One name for a signal to remove covers every drag of the run.
    EXPECT_EQ(archive::SignalCleanup::liveCount(), signalSlots + 1);
    dlg->close();
    EXPECT_EQ(archive::SignalCleanup::liveCount(), signalSlots);
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_FALSE(std::filesystem::exists(folder.parent_path()));
}

TEST_F(PreviewFixture, EntriesAreDraggedByTheViewAsCopiesOnly)
{
    image.add("A.DAT", "a");
    load();
    EXPECT_TRUE(view()->dragEnabled());
    EXPECT_EQ(view()->dragDropMode(), QAbstractItemView::DragOnly);
    const QAbstractItemModel* model = view()->model();
    EXPECT_TRUE(model->flags(indexOf("A.DAT")) & Qt::ItemIsDragEnabled);
    EXPECT_EQ(model->supportedDragActions(), Qt::CopyAction);
    EXPECT_TRUE(model->mimeTypes().contains(QStringLiteral("text/uri-list")));
    // Nothing selected: nothing to drag, and nothing to complain about.
    EXPECT_EQ(dragData(), nullptr);
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(PreviewFixture, AFailedDragOutIsShownInChineseThroughTheDialogsServices)
{
    image.add("A.DAT", "fine");
    image.add("GONE.DAT", "tiny");
    image.records.back().dataSize = 1u << 20; // past the end of the file
    load();
    view()->selectionModel()->select(indexOf("A.DAT"), QItemSelectionModel::Select);
    view()->selectionModel()->select(indexOf("GONE.DAT"), QItemSelectionModel::Select);
    EXPECT_EQ(dragData(), nullptr);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.captions[0], tr8(res::preview::kDragFailed));
    EXPECT_TRUE(services.messages[0].startsWith(kindPrefix(archive::ErrorKind::damagedEntry)))
        << services.messages[0].toStdString();
    EXPECT_FALSE(hasEnglishWords(services.messages[0])) << services.messages[0].toStdString();

    // The entry that extracts still drags on its own.
    view()->selectionModel()->select(indexOf("GONE.DAT"), QItemSelectionModel::Deselect);
    std::unique_ptr<QMimeData> mime(dragData());
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(testsupport::readFile(mime->urls()[0].toLocalFile().toStdString()), "fine");
}

TEST_F(PreviewFixture, TheCloseButtonAlsoRemovesTheDragFoldersAndThePreview)
{
    image.add("A.DAT", "a");
    load();
    view()->selectionModel()->select(indexOf("A.DAT"), QItemSelectionModel::Select);
    controller()->openPreview(rowOf("A.DAT"));
    std::unique_ptr<QMimeData> mime(dragData());
    ASSERT_NE(mime, nullptr);
    const std::string file = mime->urls()[0].toLocalFile().toStdString();
    ASSERT_TRUE(std::filesystem::exists(file));
    qttest::click(dlg->findChild<QPushButton*>("IDC_CLOSE"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(file).parent_path()));
    EXPECT_FALSE(window()->isVisible());
}

TEST_F(PreviewFixture, APressOnASelectionOfSeveralNarrowsItOnlyAtReleaseAsAClickWould)
{
    for (const char* name : {"A.DAT", "B.DAT", "C.DAT"})
        image.add(name, "x");
    load();
    QItemSelectionModel* selection = view()->selectionModel();
    selection->select(indexOf("A.DAT"), QItemSelectionModel::Select);
    selection->select(indexOf("C.DAT"), QItemSelectionModel::Select);
    const QPoint at = view()->visualRect(indexOf("C.DAT")).center();
    QTest::mousePress(view()->viewport(), Qt::LeftButton, {}, at);
    // Still both while the button is down: a drag now would carry them.
    EXPECT_EQ(selection->selectedRows().size(), 2);
    QTest::mouseRelease(view()->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(selection->selectedRows().size(), 1);
    EXPECT_EQ(selection->selectedRows()[0], indexOf("C.DAT"));
    EXPECT_EQ(view()->currentIndex(), indexOf("C.DAT"));

    // A double-click on an entry of a selection of several opens it too.
    selection->select(indexOf("A.DAT"), QItemSelectionModel::Select);
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->windowTitle(), QStringLiteral("C.DAT"));
}

TEST(DragOutSweep, RemovesOnlyThisUsersFoldersOfRunsThatEnded)
{
    TempDir parent;
    const testsupport::OtherProgram other;
    const std::string gone = std::to_string(testsupport::endedProcessId());
    const std::string self = std::to_string(::getpid());
    const std::string prefix = DragOutFolders::kNamePrefix;
    const struct {
        std::string name;
        bool folder;
        bool stays;
    } cases[] = {
        {prefix + gone + "-a1b2C3", true, false},
        {prefix + std::to_string(other.pid) + "-a1b2C3", true, false},
        {prefix + self + "-a1b2C3", true, true},
        {prefix + gone + "-file", false, true},
        {prefix + "x" + gone + "-a1b2C3", true, true},
        {prefix + gone, true, true},
        {prefix + "-1-a1b2C3", true, true},
        {prefix + "99999999999999999999-a1b2C3", true, true},
        {"velmora-test-" + gone + "-a1b2C3", true, true},
    };
    for (const auto& c : cases) {
        if (c.folder) {
            std::filesystem::create_directories(parent / (c.name + "/sub/deeper"));
            testsupport::writeFile(parent / (c.name + "/sub/deeper/A.DAT"), "copy");
        } else {
            testsupport::writeFile(parent / c.name, "a file");
        }
    }
    // A link to a folder outside, named as a stale folder: neither it nor what it names goes.
    TempDir outside;
    testsupport::writeFile(outside / "keep.txt", "keep");
    const std::string link = prefix + gone + "-link";
    std::filesystem::create_directory_symlink(outside.path(), parent / link);
    int expected = 0;
    for (const auto& c : cases)
        expected += c.stays ? 0 : 1;

    EXPECT_EQ(DragOutFolders::sweepStale(QString::fromStdString(parent.str())), expected);
    for (const auto& c : cases)
        EXPECT_EQ(std::filesystem::exists(parent / c.name), c.stays) << c.name;
    EXPECT_TRUE(std::filesystem::is_symlink(parent / link));
    EXPECT_TRUE(std::filesystem::exists(outside / "keep.txt"));
}

TEST(DragOutSweep, LeavesAnotherUsersFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand a folder to another user";
    TempDir parent;
    const std::string name =
        DragOutFolders::kNamePrefix + std::to_string(testsupport::endedProcessId()) + "-x";
    std::filesystem::create_directory(parent / name);
    ASSERT_EQ(::chown((parent / name).c_str(), 65534, 65534), 0);
    EXPECT_EQ(DragOutFolders::sweepStale(QString::fromStdString(parent.str())), 0);
    EXPECT_TRUE(std::filesystem::exists(parent / name));
}

// This test program run again with --drag-and-wait, its temporary folder set to tmp: the first
// line it prints is the folder of its drag, then it waits to be ended.
struct DraggingRun {
    pid_t pid = -1;
    std::string dragged;

    DraggingRun(const std::string& archivePath, const std::string& tmp)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        std::fflush(nullptr);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            ::setenv("TMPDIR", tmp.c_str(), 1);
            // SIGQUIT would leave a core file of its own.
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            ::alarm(30);
            ::execl("/proc/self/exe", "PreviewWindowTest", "--drag-and-wait", archivePath.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            dragged += c;
        ::close(fds[0]);
    }
    // The signal that ended the run, 0 when it exited.
    int endWith(int signalNumber)
    {
        ::kill(pid, signalNumber);
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid)
            return -1;
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
};

int dragFoldersIn(const std::string& folder)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.path().filename().string().starts_with(DragOutFolders::kNamePrefix);
    return count;
}

TEST(DragOutSignal, NoFolderOutlivesTheRunPastTheNextStart)
{
    ArchiveImage image;
    image.add("A.DAT", "first");
    image.add("SUB\\DEEPER\\B.DAT", "second");
    TempDir dir;
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    const struct {
        const char* name;
        int signalNumber;
    } cases[] = {
        {"TERM", SIGTERM}, {"INT", SIGINT}, {"HUP", SIGHUP}, {"QUIT", SIGQUIT}, {"KILL", SIGKILL},
    };
    for (const auto& c : cases) {
        const std::string tmp = dir / (std::string("tmp-") + c.name);
        std::filesystem::create_directory(tmp);
        DraggingRun run(dir / "GAME00.DAT", tmp);
        ASSERT_GT(run.pid, 0) << c.name;
        ASSERT_TRUE(run.dragged.starts_with(tmp + "/" + DragOutFolders::kNamePrefix))
            << c.name << ": " << run.dragged;
        ASSERT_TRUE(std::filesystem::exists(run.dragged)) << c.name;
        EXPECT_EQ(run.endWith(c.signalNumber), c.signalNumber) << c.name;
        // Only a KILL leaves its folder, for the next start to take away.
        EXPECT_EQ(dragFoldersIn(tmp), c.signalNumber == SIGKILL ? 1 : 0) << c.name;
        DragOutFolders::sweepStale(QString::fromStdString(tmp));
        EXPECT_EQ(dragFoldersIn(tmp), 0) << c.name;
    }
}

TEST_F(PreviewFixture, TooltipsGiveSizeAndDataOffset)
{
    image.add("A.DAT", "12345");
    image.add("B.DAT", "");
    load();
    for (std::size_t i : {0u, 1u})
        EXPECT_EQ(toolTipFor(rowOf(image.records[i].name)),
                  tr8(res::preview::kToolTip).arg(image.records[i].dataSize).arg(dataOffset(i)));
}

} // namespace

// Hidden option for the screenshot script: --grab-preview PNG shows a picture entry in the
// preview window beside the dialog and saves both, side by side, to PNG.
int grabPreview(const QString& png)
{
    TempDir dir;
    ArchiveImage image;
    QImage picture(160, 120, QImage::Format_RGB888);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 0, 120);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(200, 220, 240));
    painter.fillRect(picture.rect(), sky);
    painter.setBrush(QColor(250, 210, 60));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(120, 30), 16, 16);
    painter.setBrush(QColor(60, 130, 60));
    painter.drawPolygon(QPolygon({QPoint(0, 120), QPoint(50, 60), QPoint(95, 120)}));
    painter.setBrush(QColor(40, 100, 50));
    painter.drawPolygon(QPolygon({QPoint(60, 120), QPoint(115, 70), QPoint(160, 120)}));
    painter.end();
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    const std::string mountain = big5("圖像\\山景.BMP");
    for (const char* name : {"地圖\\城鎮.DAT", "圖像\\主角.EGA", "音效\\開門.WAV", "劇情.SCR"})
        image.add(big5(name), "data");
    image.add(mountain, bmp.toStdString());
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());
    ScriptedServices services;
    services.openPaths.push_back(QString::fromStdString(dir / "GAME00.DAT"));
    CExtractorDlg dlg(nullptr, &services);
    dlg.show();
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    auto* controller = dlg.findChild<PreviewController*>();
    const QAbstractItemModel* model = dlg.entryListView()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->index(row, 0).data().toString().contains(QStringLiteral("山景"))) {
            dlg.entryListView()->setCurrentIndex(model->index(row, 0));
            controller->openPreview(row);
        }
    PreviewWindow* window = controller->window();
    window->resize(420, dlg.height());
    QApplication::processEvents();
    const QPixmap left = dlg.grab();
    const QPixmap right = window->grab();
    QPixmap both(left.width() + 12 + right.width(), std::max(left.height(), right.height()));
    both.fill(QColor(230, 230, 230));
    QPainter out(&both);
    out.drawPixmap(0, 0, left);
    out.drawPixmap(left.width() + 12, 0, right);
    out.end();
    return both.save(png) && services.messages.empty() && window->view() == View::picture ? 0 : 1;
}

const bool kGrabPreviewMode = qttest::addMode("--grab-preview", grabPreview);

// Hidden option for DragOutSignal: --drag-and-wait ARCHIVE starts as the program does, drags all
// entries of ARCHIVE out, prints the first dragged path and waits for a signal.
int dragAndWait(const QString& archivePath)
{
    archive::SignalCleanup::install();
    ScriptedServices services;
    services.openPaths.push_back(archivePath);
    CExtractorDlg dlg(nullptr, &services);
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    QListView* view = dlg.entryListView();
    view->selectAll();
    const std::unique_ptr<QMimeData> data(
        view->model()->mimeData(view->selectionModel()->selectedIndexes()));
    if (!data || data->urls().isEmpty())
        return 1;
    std::printf("%s\n", QFile::encodeName(data->urls().constLast().toLocalFile()).constData());
    std::fflush(stdout);
    for (;;)
        ::pause();
}

const bool kDragAndWaitMode = qttest::addMode("--drag-and-wait", dragAndWait);
