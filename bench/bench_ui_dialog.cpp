// The dialog's extraction and building against velmora-dat doing the same work, so the progress
// window's cost shows: 200,000 entries of 0 to 4 KiB, and the 10,000-file set (0 to 1 MiB,
// about 1 GiB). The dialog runs offscreen with its progress window; velmora-dat runs as its own
// process. Page cache warm, runs alternate, medians of wall and processor time.
//
// bench_ui_dialog [scratch folder, default /tmp] [runs, default 5]

#include "bench/BenchTree.h"
#include "res/Messages.h"
#include "ui/DialogServices.h"
#include "ui/ExtractorDlg.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kSmallFiles = 200000;
constexpr int kSmallPerFolder = 1000;

// The folder and file name every prompt is answered with; messages are failures here.
class Answers : public DialogServices {
public:
    std::deque<QString> paths, saves, folders;
    int messages = 0;

    std::optional<QString> openArchivePath(QWidget*, const QString&) override
    {
        return next(paths);
    }
    std::optional<QString> saveArchivePath(QWidget*, const QString&) override
    {
        return next(saves);
    }
    std::optional<QString> chooseFolder(QWidget*, const QString&, const QString&) override
    {
        return next(folders);
    }
    std::optional<QString> chooseFileOrFolder(QWidget*, const QString&, const QString&) override
    {
        return next(folders);
    }
    std::optional<QStringList> chooseFiles(QWidget*, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> chooseFile(QWidget*, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> askText(QWidget*, const QString&, const QString&,
                                   const QString&) override
    {
        return std::nullopt;
    }
    void openWithDesktop(QObject*, const QString&, std::function<void()>) override {}
    void showMessage(QWidget*, const QString&, const QString& text, MessageIcon) override
    {
        ++messages;
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    }
    // A finished build's offer to open the archive: declined, so the run times the build alone.
    bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
    FailureAnswer askAfterFailure(QWidget*, const QString&, const QString&) override
    {
        return FailureAnswer::Stop;
    }

private:
    static std::optional<QString> next(std::deque<QString>& queue)
    {
        if (queue.empty())
            return std::nullopt;
        QString value = queue.front();
        queue.pop_front();
        return value;
    }
};

void runShell(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

void fresh(const fs::path& folder)
{
    fs::remove_all(folder);
    fs::create_directory(folder);
    ::sync();
}

// Processor seconds (user and system) of this process or of its finished children: on a
// shared machine they vary less than the wall clock.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto sec = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return sec(usage.ru_utime) + sec(usage.ru_stime);
}

struct Times {
    double wall = 0;
    double cpu = 0;
};

Times measure(int who, const std::function<void()>& run)
{
    const double before = cpuSeconds(who);
    Times t;
    t.wall = benchtree::seconds(run);
    t.cpu = cpuSeconds(who) - before;
    return t;
}

struct Pair {
    std::vector<double> dialog, cli, dialogCpu, cliCpu;

    void add(const char* what, int run, const Times& d, const Times& c)
    {
        dialog.push_back(d.wall);
        cli.push_back(c.wall);
        dialogCpu.push_back(d.cpu);
        cliCpu.push_back(c.cpu);
        std::printf("%s run %d: dialog %.3f s (cpu %.3f), velmora-dat %.3f s (cpu %.3f)\n", what,
                    run, d.wall, d.cpu, c.wall, c.cpu);
        std::fflush(stdout);
    }
};

void report(const std::string& what, const Pair& times)
{
    using benchtree::median;
    const double d = median(times.dialog);
    const double c = median(times.cli);
    const double dc = median(times.dialogCpu);
    const double cc = median(times.cliCpu);
    std::printf("%s: median of %zu: dialog %.3f s, velmora-dat %.3f s, dialog/velmora-dat %.3f; "
                "cpu dialog %.3f s, velmora-dat %.3f s, ratio %.3f\n",
                what.c_str(), times.dialog.size(), d, c, d / c, dc, cc, dc / cc);
    std::fflush(stdout);
}

// Both extractions and both builds of one source tree, runs alternating.
void compare(const char* name, const fs::path& work, const fs::path& src, int runs,
             CExtractorDlg& dlg, Answers& answers)
{
    if (benchtree::g_nStop)
        throw std::runtime_error("interrupted");
    const std::string cli = VELMORA_DAT;
    const fs::path archive = work / "GAME00.DAT";
    const fs::path out = work / "out";
    fs::remove(archive);
    runShell("'" + cli + "' build '" + src.string() + "' '" + archive.string() + "'");

    Pair extraction;
    const auto dialogExtract = [&] {
        answers.folders.push_back(QString::fromStdString(out.string()));
        dlg.OnSelectAll();
        dlg.OnExtract();
    };
    const auto cliExtract = [&] {
        runShell("'" + cli + "' extract '" + archive.string() + "' '" + out.string() + "'");
    };
    for (int run = -1; run < runs && !benchtree::g_nStop; ++run) {
        dlg.OpenArchive(QString::fromStdString(archive.string()));
        fresh(out);
        const Times d = measure(RUSAGE_SELF, dialogExtract);
        fresh(out);
        const Times c = measure(RUSAGE_CHILDREN, cliExtract);
        // The first pair only warms the cache.
        if (run >= 0)
            extraction.add((std::string(name) + " extract").c_str(), run + 1, d, c);
    }
    fs::remove_all(out);

    Pair building;
    const auto dialogBuild = [&] {
        answers.folders.push_back(QString::fromStdString(src.string()));
        answers.saves.push_back(QString::fromStdString(archive.string()));
        dlg.OnMakeArchive();
    };
    const auto cliBuild = [&] {
        runShell("'" + cli + "' build '" + src.string() + "' '" + archive.string() + "'");
    };
    for (int run = -1; run < runs && !benchtree::g_nStop; ++run) {
        fs::remove(archive);
        ::sync();
        const Times d = measure(RUSAGE_SELF, dialogBuild);
        fs::remove(archive);
        ::sync();
        const Times c = measure(RUSAGE_CHILDREN, cliBuild);
        if (run >= 0)
            building.add((std::string(name) + " build").c_str(), run + 1, d, c);
    }
    if (extraction.dialog.empty() || building.dialog.empty())
        throw std::runtime_error("interrupted");
    report(std::string(name) + " extraction", extraction);
    report(std::string(name) + " building", building);
    fs::remove(archive);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path work = benchtree::makeWorkFolder(argc, argv, "velmora-bench-ui-dialog");
    if (work.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : benchtree::kRuns;
    std::signal(SIGINT, [](int) { benchtree::g_nStop = 1; });
    std::signal(SIGTERM, [](int) { benchtree::g_nStop = 1; });

    Answers answers;
    CExtractorDlg dlg(nullptr, &answers);
    dlg.show();
    // A long run ends with its window waiting for OK: the user presses it at once.
    QTimer okPresser;
    okPresser.setInterval(10);
    QObject::connect(&okPresser, &QTimer::timeout, [] {
        const QString ok = QString::fromUtf8(res::kOk);
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<QProgressDialog*>(widget);
                window && window->isVisible())
                if (auto* button = window->findChild<QPushButton*>();
                    button && button->text() == ok)
                    button->click();
    });
    okPresser.start();

    int status = 0;
    try {
        std::printf("generating %d small files...\n", kSmallFiles);
        std::fflush(stdout);
        benchtree::generateSmallTree(work / "small", kSmallFiles, kSmallFiles / kSmallPerFolder,
                                     0x9E3779B97F4A7C15ull);
        compare("200,000 small", work, work / "small", runs, dlg, answers);
        fs::remove_all(work / "small");
        std::printf("generating %d files...\n", benchtree::kFiles);
        std::fflush(stdout);
        benchtree::generateTree(work / "set", 0x2545F4914F6CDD1Dull);
        compare("10,000-file set", work, work / "set", runs, dlg, answers);
        if (answers.messages > 0)
            throw std::runtime_error("the dialog reported a failure");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_ui_dialog: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
