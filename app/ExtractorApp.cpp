#include "app/ExtractorApp.h"

#include "ui/ApplicationSetup.h"
#include "ui/ExtractorDlg.h"
#include "ui/preview/DragOutFolders.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

CExtractorApp theApp;

namespace {

constexpr int kExitNoDisplay = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    R"(Usage: velmora-extractor [OPTION...] [ARCHIVE]
Opens a dialog, worded in Traditional Chinese, that lists, previews and extracts the entries of
Velmora data archives (files named like GAME00.DAT) and builds new archives from a folder.
ARCHIVE, when given, is opened at start; '--' before it lets its name begin with '-'.

Options:
  -h, --help     show this help
  --version      show the program's version

Qt's own options (-platform NAME and the like) are accepted as well. Exit status: 0 when the
dialog closes, 1 when there is no display to show it on, 2 on a usage error. velmora-dat does
the same work on the command line, without a display.
)";

// What Qt's platform plugins said while the application was being set up: kept back, because
// when no display opens they only say at length what the one line says.
QtMessageHandler g_previousHandler = nullptr;
std::vector<std::string> g_platformWarnings;

void reportMissingDisplay(const QString& fatalMessage)
{
    std::string reason;
    for (const std::string& warning : g_platformWarnings) {
        if (!warning.empty()) {
            reason = warning;
            break;
        }
    }
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    // With neither set, Qt's own words name no display at all.
    if ((!display || !*display) && (!wayland || !*wayland) &&
        (reason.empty() || reason.starts_with("could not connect to display")))
        reason = "DISPLAY and WAYLAND_DISPLAY are unset";
    if (reason.empty())
        reason = fatalMessage.section(QLatin1Char('\n'), 0, 0).toStdString();
    while (!reason.empty() && (reason.back() == ' ' || reason.back() == '\n'))
        reason.pop_back();
    std::fprintf(stderr, "velmora-extractor: no display to show the dialog on (%s)\n",
                 reason.c_str());
}

void holdPlatformMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        reportMissingDisplay(message);
        // Qt aborts once this returns; nothing of the program has started yet.
        std::_Exit(kExitNoDisplay);
    }
    if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0) {
        g_platformWarnings.push_back(message.toStdString());
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

std::optional<int> CExtractorApp::AnswerInfoOption(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (argument == "--version") {
            std::fputs("velmora-extractor " VELMORA_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    return std::nullopt;
}

std::unique_ptr<QApplication> CExtractorApp::OpenDisplay(int& argc, char* argv[])
{
    g_previousHandler = qInstallMessageHandler(holdPlatformMessages);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    // A display opened after all: what the plugins said goes out as it would have.
    for (const std::string& warning : g_platformWarnings)
        qWarning("%s", warning.c_str());
    g_platformWarnings.clear();
    return application;
}

bool CExtractorApp::InitInstance()
{
    // velmora-extractor [ARCHIVE]: Qt has taken its own options; a file manager passes the
    // archive it was asked to open.
    QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("--")) {
        arguments.removeAt(1);
    } else if (arguments.size() > 1 && arguments.at(1).size() > 1 &&
               arguments.at(1).startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr,
                     "velmora-extractor: %s: unknown option; see 'velmora-extractor --help'\n",
                     arguments.at(1).toLocal8Bit().constData());
        m_nExitCode = kExitUsage;
        return false;
    }
    setUpApplication();
    // What earlier runs dragged out before a crash or a KILL is still in the temporary folder.
    DragOutFolders::sweepStale();
    CExtractorDlg dlg;
    // It loads once the dialog shows, so a failure's message has the dialog behind it.
    if (arguments.size() > 1) {
        const QString path = arguments.at(1);
        QTimer::singleShot(0, &dlg, [&dlg, path] { dlg.OpenArchive(path); });
    }
    dlg.exec();
    return false;
}
