// The dialog's wording of failures and Qt's own texts in Traditional Chinese.
#include "ui/ErrorMessages.h"
#include "archive/ArchiveError.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/QtTestMain.h"
#include "tests/ui/ScriptedServices.h"
#include "ui/ExtractorDlg.h"
#include "ui/QtDialogServices.h"
#include "ui/QtTranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

using archive::ArchiveError;
using archive::ErrorKind;

namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

bool hasChinese(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

QString firstLine(const QString& text)
{
    return text.section(QLatin1Char('\n'), 0, 0);
}

TEST(ErrorWording, EveryKindHasAChineseTextNamingItsSubject)
{
    std::vector<ErrorKind> kinds(std::begin(archive::kAllErrorKinds),
                                 std::end(archive::kAllErrorKinds));
    kinds.push_back(ErrorKind::unspecified);
    QStringList seen;
    for (const ErrorKind kind : kinds) {
        const char* name = archive::kindName(kind);
        ASSERT_NE(res::errorKindText(kind), nullptr) << name;
        const QString text = errorMessage(ArchiveError(kind, "/tmp/某檔.DAT", "english words"));
        EXPECT_TRUE(hasChinese(firstLine(text))) << name;
        EXPECT_TRUE(firstLine(text).endsWith(u8("：/tmp/某檔.DAT"))) << name << text.toStdString();
        EXPECT_FALSE(firstLine(text).contains(QStringLiteral("english"))) << name;
        // Kinds are told apart by their words, not only by the file named.
        EXPECT_FALSE(seen.contains(firstLine(text))) << name;
        seen << firstLine(text);
    }
}

TEST(ErrorWording, SystemReasonsOnTheirOwnLine)
{
    struct Case {
        ErrorKind kind;
        int errorNumber;
        const char* secondLine; // nullptr: no second line
    };
    const Case cases[] = {
        {ErrorKind::cannotOpen, ENOENT, "沒有此檔案或資料夾"},
        {ErrorKind::cannotOpen, EACCES, "權限不足"},
        {ErrorKind::cannotWrite, ENOSPC, "磁碟空間不足"},
        {ErrorKind::cannotWrite, EDQUOT, "已超過磁碟配額"},
        {ErrorKind::cannotWrite, EROFS, "唯讀的檔案系統"},
        {ErrorKind::linkNotFollowed, ELOOP, "符號連結太多層，或此處是不跟隨的符號連結"},
        // A number without a text of its own keeps the system's words.
        {ErrorKind::cannotRead, ENOTSOCK, "english words"},
        // No system call failed: the kind's text is the whole message where it says why...
        {ErrorKind::notAnArchive, 0, nullptr},
        {ErrorKind::changedMeanwhile, 0, nullptr},
        // ...and the engine's words follow where it names only what failed.
        {ErrorKind::unspecified, 0, "english words"},
        {ErrorKind::cannotWrite, 0, "english words"},
    };
    for (const Case& c : cases) {
        const QString text =
            errorMessage(ArchiveError(c.kind, "G.DAT", "english words", c.errorNumber));
        const QStringList lines = text.split(QLatin1Char('\n'));
        if (!c.secondLine) {
            EXPECT_EQ(lines.size(), 1) << text.toStdString();
            continue;
        }
        ASSERT_EQ(lines.size(), 2) << text.toStdString();
        EXPECT_EQ(lines[1], u8(c.secondLine)) << archive::kindName(c.kind);
    }
}

TEST(ErrorWording, EveryTranslatedSystemReasonIsChineseAndDistinct)
{
    QStringList seen;
    for (const res::SystemReason& reason : res::kSystemReasons) {
        const QString text =
            systemReasonText(reason.errorNumber, std::strerror(reason.errorNumber));
        EXPECT_TRUE(hasChinese(text)) << reason.errorNumber;
        EXPECT_FALSE(seen.contains(text)) << reason.errorNumber;
        seen << text;
    }
    for (int number : {ENOENT, EACCES, EPERM, ENOSPC, EDQUOT, EFBIG, EEXIST, ENAMETOOLONG, EMFILE,
                       ENFILE, EROFS, ENOTDIR, EISDIR, ELOOP, EIO, EBUSY})
        EXPECT_TRUE(hasChinese(systemReasonText(number, "x"))) << number;
}

TEST(ErrorWording, NoSubjectLeavesNoStrayColon)
{
    const QString text =
        errorMessage(ArchiveError(ErrorKind::internal, "", "the file is not open"));
    EXPECT_EQ(text, u8("程式內部錯誤"));
}

TEST(ErrorWording, FailedLoadIsShownInChineseUnderTheProgramsName)
{
    testsupport::TempDir dir;
    ScriptedServices script;
    CExtractorDlg dlg(nullptr, &script);
    script.openPaths.push_back(QString::fromStdString(dir / "GONE.DAT"));
    qttest::click(dlg.findChild<QPushButton*>("IDC_LOAD"));
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(hasChinese(firstLine(script.messages[0]))) << script.messages[0].toStdString();
    EXPECT_TRUE(script.messages[0].contains(QStringLiteral("GONE.DAT")));
    EXPECT_EQ(script.captions[0], u8("Velmora 遊戲文件擷取器"));
}

TEST(ErrorWording, ADamagedArchiveIsShownWithItsOwnCauseAndFigures)
{
    testsupport::TempDir dir;
    testsupport::ArchiveImage image;
    image.add("A.DAT", "aaaa");
    image.add("B.DAT", "bb");
    const std::string whole = image.bytes();
    std::uint32_t directorySize = 0;
    std::memcpy(&directorySize, whole.data(), 4);
    const std::string cutDirectory = whole.substr(0, 4 + directorySize - 5);
    struct Case {
        const char* what;
        std::string bytes;
        QString cause;
    };
    const Case cases[] = {
        {"empty file", "", u8("檔案只有 0 位元組，遊戲數據檔案至少需要 4 位元組。")},
        {"text, not an archive", "hello, this is only text",
         u8("目錄宣稱長 1819043176 位元組，但長度欄位之後只有 20 位元組。")},
        {"directory of 4 GiB", std::string("\xff\xff\xff\xff", 4) + std::string(10, 'x'),
         u8("目錄宣稱長 4294967295 位元組，但長度欄位之後只有 10 位元組。")},
        {"directory cut by the end of the file", cutDirectory,
         u8("目錄宣稱長 %1 位元組，但長度欄位之後只有 %2 位元組。")
             .arg(directorySize)
             .arg(directorySize - 5)},
        {"record shorter than its fields", std::string("\x08\0\0\0\x05\0\0\0\0\0\0\0", 12),
         u8("位於 4 的記錄宣稱長 5 位元組，少於最小的 17 位元組。")},
        {"record longer than the directory", std::string("\x04\0\0\0\x20\0\0\0", 8),
         u8("位於 4 的記錄宣稱長 32 位元組，但目錄只剩 4 位元組。")},
    };
    for (const Case& c : cases) {
        testsupport::writeFile(dir / "BAD.DAT", c.bytes);
        ScriptedServices script;
        CExtractorDlg dlg(nullptr, &script);
        dlg.OpenArchive(QString::fromStdString(dir / "BAD.DAT"));
        ASSERT_EQ(script.messages.size(), 1u) << c.what;
        const QStringList lines = script.messages[0].split(QLatin1Char('\n'));
        EXPECT_EQ(lines.value(0), u8(res::errorKindText(ErrorKind::notAnArchive))
                                      .arg(QString::fromStdString(dir / "BAD.DAT")))
            << c.what;
        EXPECT_EQ(lines.value(1), c.cause) << c.what << ": " << lines.value(1).toStdString();
        EXPECT_FALSE(dlg.isArchiveOpen()) << c.what;
    }
}

TEST(QtTexts, ButtonsAndFileDialogsSpeakChinese)
{
    ASSERT_TRUE(installQtTranslations());
    QMessageBox box(QMessageBox::Warning, u8(res::kDisplayName), QStringLiteral("x"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), u8("確定"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), u8("取消"));
    QDialogButtonBox buttons(QDialogButtonBox::Open | QDialogButtonBox::Save);
    EXPECT_TRUE(hasChinese(buttons.button(QDialogButtonBox::Open)->text()));
    EXPECT_TRUE(hasChinese(buttons.button(QDialogButtonBox::Save)->text()));
}

// Whether the desktop has a program for a file only its opener's exit status tells (xdg-open
// exits 3 when none fits), known after the call returned.
TEST(QtTexts, OpeningWithTheDesktopFailsWhenItsOpenerDoes)
{
    testsupport::TempDir dir;
    const QByteArray path = qgetenv("PATH");
    QObject context;
    QStringList failed;
    // Opened first: reported, if at all, before the one that fails.
    for (const int status : {0, 3}) {
        const std::string opener = dir / (std::to_string(status) + "/xdg-open");
        testsupport::writeFile(opener, "#!/bin/sh\nexit " + std::to_string(status) + "\n");
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        qputenv("PATH", QByteArray::fromStdString(dir / std::to_string(status)) + ':' + path);
        const QString file = QStringLiteral("/tmp/%1.bin").arg(status);
        QtDialogServices().openWithDesktop(&context, file, [&failed, file] { failed << file; });
    }
    qputenv("PATH", path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failed.isEmpty(); }, 5000));
    EXPECT_EQ(failed, QStringList{QStringLiteral("/tmp/3.bin")});
}

// The real question after a failed entry: its three buttons in Chinese, each its own answer,
// and Escape stops.
TEST(QtTexts, AFailedEntrysQuestionOffersSkipSkipAllAndStop)
{
    using Answer = DialogServices::FailureAnswer;
    const struct {
        const char* press; // a button's text; nullptr: Escape
        Answer answer;
    } cases[] = {
        {"略過", Answer::Skip},
        {"全部略過", Answer::SkipAll},
        {"停止", Answer::Stop},
        {nullptr, Answer::Stop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.press ? c.press : "Escape");
        QStringList buttons;
        QString text;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            for (QAbstractButton* button : box->buttons())
                buttons << button->text();
            for (QAbstractButton* button : box->buttons()) {
                if (c.press && button->text() == u8(c.press)) {
                    button->click();
                    return;
                }
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QtDialogServices services;
        EXPECT_EQ(services.askAfterFailure(nullptr, u8(res::kDisplayName), QStringLiteral("why")),
                  c.answer);
        EXPECT_EQ(text, QStringLiteral("why"));
        buttons.sort();
        QStringList expected = {u8(res::kSkip), u8(res::kSkipAll), u8(res::kStop)};
        expected.sort();
        EXPECT_EQ(buttons, expected);
    }
}

} // namespace
