// Building an archive from a folder of 10,000 files (0 to 1 MiB, about 1 GiB in all, a few levels
// deep) against tar -cf of the same folder, page cache warm, median of 5 rounds. In each round
// every contender runs once, in turn, so a change in the machine's load falls on all of them.
// Our build is durable (the archive is flushed to the disk before it is named): tar -cf followed
// by sync of its file is the fair comparison for that. Every run starts after a sync, so none
// pays for the writing the one before left behind.
//
// bench_build [scratch folder, default /tmp] [--scale] [--million] [--no-large] [--other=PROGRAM]
//
// --scale adds 1,000, 10,000 and 100,000 small files (0 to 4 KiB) in 100 folders, and 100,000
// in one folder, reported as time per entry; --million adds 1,000,000 in 1,000 folders.
// --other=PROGRAM times "PROGRAM build FOLDER ARCHIVE" beside ours (another build of the
// command-line program). --no-large leaves out the 10,000 files of about 100 KiB.

#include "archive/ArchiveError.h"
#include "archive/commands/Building.h"
#include "bench/BenchTree.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using benchtree::kFiles;
using benchtree::kRuns;
using benchtree::median;
using benchtree::seconds;

struct Contender {
    const char* label;
    std::function<void()> run;
    std::vector<double> times;
};

void runCommand(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

std::string shellQuoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

// Medians of kRuns rounds: ours, tar -cf, tar -cf and sync, and the other program when given.
std::vector<double> timeBuild(const fs::path& work, const fs::path& src, const std::string& other)
{
    const std::string archivePath = (work / "GAME00.DAT").string();
    const fs::path tarPath = work / "out.tar";
    const std::string tarCommand =
        "tar -cf " + shellQuoted(tarPath) + " -C " + shellQuoted(src) + " .";
    std::vector<Contender> contenders = {
        {"ours", [&] { archive::buildArchive(src.string(), archivePath); }, {}},
        {"tar", [&] { runCommand(tarCommand); }, {}},
        {"tar+sync", [&] { runCommand(tarCommand + " && sync " + shellQuoted(tarPath)); }, {}},
    };
    if (!other.empty())
        contenders.push_back({"other",
                              [&] {
                                  runCommand(shellQuoted(other) + " build " + shellQuoted(src) +
                                             " " + shellQuoted(work / "OTHER.DAT"));
                              },
                              {}});

    // One untimed run of each warms the page cache and the output files.
    for (Contender& c : contenders)
        c.run();
    for (int run = 0; run < kRuns; ++run) {
        std::printf("run %d:", run + 1);
        for (Contender& c : contenders) {
            // Untimed: what the one before left for the disk to write must not fall on this one.
            ::sync();
            c.times.push_back(seconds(c.run));
            std::printf(" %s %.3f s", c.label, c.times.back());
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    fs::remove(archivePath);
    fs::remove(tarPath);
    fs::remove(work / "OTHER.DAT");
    std::vector<double> medians;
    for (const Contender& c : contenders)
        medians.push_back(median(c.times));
    return medians;
}

void printMedians(const char* what, int entries, const std::vector<double>& m)
{
    std::printf("%s: ours %.3f s (%.2f us/entry), tar %.3f s, tar+sync %.3f s; ours/tar %.2f, "
                "ours/(tar+sync) %.2f",
                what, m[0], m[0] * 1e6 / entries, m[1], m[2], m[0] / m[1], m[0] / m[2]);
    if (m.size() > 3)
        std::printf("; other %.3f s (%.2f us/entry), other/tar %.2f", m[3], m[3] * 1e6 / entries,
                    m[3] / m[1]);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path work = benchtree::makeWorkFolder(argc, argv, "velmora-bench-build");
    if (work.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    bool isScale = false;
    bool isMillion = false;
    bool isLarge = true;
    std::string other;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scale")
            isScale = true;
        else if (arg == "--million")
            isMillion = true;
        else if (arg == "--no-large")
            isLarge = false;
        else if (arg.rfind("--other=", 0) == 0)
            other = arg.substr(8);
    }
    int status = 0;
    try {
        const fs::path src = work / "src";
        if (isLarge) {
            std::printf("generating %d files...\n", kFiles);
            const std::uint64_t total = benchtree::generateTree(src, 0x9E3779B97F4A7C15ull);
            std::printf("%.1f MiB in %d files\n", static_cast<double>(total) / (1024 * 1024),
                        kFiles);
            printMedians("10000 files of about 100 KiB", kFiles, timeBuild(work, src, other));
        }

        std::vector<benchtree::ScaleCase> cases;
        if (isScale)
            cases.assign(std::begin(benchtree::kScaleCases), std::end(benchtree::kScaleCases));
        if (isMillion)
            cases.push_back({1000000, 1000});
        for (const benchtree::ScaleCase& c : cases) {
            fs::remove_all(src);
            benchtree::generateSmallTree(src, c.count, c.folders, 0x5DEECE66Dull);
            const std::vector<double> m = timeBuild(work, src, other);
            const std::string what = std::to_string(c.count) + " small files in " +
                                     std::to_string(c.folders) + " folders";
            printMedians(what.c_str(), c.count, m);
        }
    } catch (const archive::ArchiveError& e) {
        std::fprintf(stderr, "bench_build: %s: %s\n", e.subject().c_str(), e.reason().c_str());
        status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_build: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
