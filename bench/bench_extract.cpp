// Extracting every entry of a generated archive of 10,000 entries (0 to 1 MiB, about 1 GiB in
// all, a few levels deep) into a fresh folder, against tar -xf of a tar holding the same files
// into another fresh folder; page cache warm, median of 5 runs each.
//
// bench_extract [scratch folder, default /tmp] [--scale [--million]]
//
// --scale adds 1,000, 10,000 and 100,000 small files (0 to 4 KiB) in 100 folders, and 100,000
// in one folder, reported as time per entry; --million adds 1,000,000 in 100 folders. Each line
// also gives the processor time (user and system) of both: on a machine others share, the wall
// clock measures them as much as us.

#include "archive/ArchiveError.h"
#include "archive/commands/Building.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Extraction.h"
#include "archive/commands/Listing.h"
#include "archive/format/ArchiveReader.h"
#include "bench/BenchTree.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using benchtree::kFiles;
using benchtree::kRuns;
using benchtree::median;
using benchtree::seconds;

void runShell(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

// A fresh, empty output folder for every run, its predecessor removed outside the timing; the
// write-back of the previous run is finished first so it does not land in the next one's time.
void freshFolder(const fs::path& folder)
{
    fs::remove_all(folder);
    fs::create_directory(folder);
    ::sync();
}

// Our extraction and tar's of the same files, median of kRuns each, into fresh folders: wall
// clock, and processor time of this process and its children.
struct Pair {
    double ours;
    double tar;
    double oursCpu = 0;
    double tarCpu = 0;
};

double processorSeconds()
{
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        ::getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime})
            total += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    }
    return total;
}

// Wall clock seconds of run; its processor seconds go to cpu.
double timed(const std::function<void()>& run, std::vector<double>& cpu)
{
    const double start = processorSeconds();
    const double wall = seconds(run);
    cpu.push_back(processorSeconds() - start);
    return wall;
}

Pair timeExtraction(const fs::path& work, const fs::path& src)
{
    const std::string archivePath = (work / "GAME00.DAT").string();
    const std::string tarPath = (work / "same.tar").string();
    archive::buildArchive(src.string(), archivePath);
    runShell("tar -cf '" + tarPath + "' -C '" + src.string() + "' .");
    fs::remove_all(src);

    const fs::path oursOut = work / "ours";
    const fs::path tarOut = work / "tar";
    const std::string tarCommand = "tar -xf '" + tarPath + "' -C '" + tarOut.string() + "'";
    // Opening and listing count too: tar reads its headers as it goes.
    auto ours = [&] {
        archive::ArchiveReader reader;
        reader.Open(archivePath);
        const archive::Catalogue list(reader);
        archive::extractEntries(reader, list.positions(list.filter("*")), oursOut.string());
    };
    auto tar = [&] { runShell(tarCommand); };

    // One untimed run of each warms the page cache.
    freshFolder(oursOut);
    ours();
    freshFolder(tarOut);
    tar();
    std::vector<double> oursTimes;
    std::vector<double> tarTimes;
    std::vector<double> oursCpu;
    std::vector<double> tarCpu;
    for (int run = 0; run < kRuns && !benchtree::g_nStop; ++run) {
        freshFolder(oursOut);
        oursTimes.push_back(timed(ours, oursCpu));
        freshFolder(tarOut);
        tarTimes.push_back(timed(tar, tarCpu));
        std::printf("run %d: ours %.3f s (cpu %.3f), tar %.3f s (cpu %.3f)\n", run + 1,
                    oursTimes.back(), oursCpu.back(), tarTimes.back(), tarCpu.back());
    }
    if (oursTimes.empty())
        throw std::runtime_error("interrupted");
    fs::remove_all(oursOut);
    fs::remove_all(tarOut);
    fs::remove(archivePath);
    fs::remove(tarPath);
    return {median(oursTimes), median(tarTimes), median(oursCpu), median(tarCpu)};
}

void printProcessorLine(const Pair& pair, int entries = 1)
{
    std::printf("  processor time: ours %.2f, tar %.2f %s, ours/tar %.2f\n",
                pair.oursCpu * (entries > 1 ? 1e6 / entries : 1),
                pair.tarCpu * (entries > 1 ? 1e6 / entries : 1), entries > 1 ? "us/entry" : "s",
                pair.oursCpu / pair.tarCpu);
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path work = benchtree::makeWorkFolder(argc, argv, "velmora-bench-extract");
    if (work.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    // An interrupted run still removes its gigabytes: the loops stop and cleanup runs.
    std::signal(SIGINT, [](int) { benchtree::g_nStop = 1; });
    std::signal(SIGTERM, [](int) { benchtree::g_nStop = 1; });
    int status = 0;
    try {
        const fs::path src = work / "src";
        std::printf("generating %d files...\n", kFiles);
        const std::uint64_t total = benchtree::generateTree(src, 0x2545F4914F6CDD1Dull);
        std::printf("%.1f MiB in %d files\n", static_cast<double>(total) / (1024 * 1024), kFiles);

        const Pair large = timeExtraction(work, src);
        std::printf("median of %d: ours %.3f s, tar %.3f s, ours/tar %.2f\n", kRuns, large.ours,
                    large.tar, large.ours / large.tar);
        printProcessorLine(large);

        if (argc > 2 && std::string(argv[2]) == "--scale") {
            std::vector<benchtree::ScaleCase> cases(std::begin(benchtree::kScaleCases),
                                                    std::end(benchtree::kScaleCases));
            if (argc > 3 && std::string(argv[3]) == "--million")
                cases.push_back({1000000, 100});
            for (const benchtree::ScaleCase& c : cases) {
                benchtree::generateSmallTree(src, c.count, c.folders, 0x5DEECE66Dull);
                const Pair small = timeExtraction(work, src);
                benchtree::printScaleLine(c, small.ours, small.tar);
                printProcessorLine(small, c.count);
            }
        }
    } catch (const archive::ArchiveError& e) {
        std::fprintf(stderr, "bench_extract: %s: %s\n", e.subject().c_str(), e.reason().c_str());
        status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_extract: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
