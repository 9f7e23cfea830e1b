// Building an archive from a folder of 10,000 files (0 to 1 MiB, about 1 GiB in all, a few levels
// deep) against tar -cf of the same folder, page cache warm, median of 5 runs each.
//
// bench_build [scratch folder, default /tmp] [--scale]
//
// --scale adds 1,000, 10,000 and 100,000 small files (0 to 4 KiB) in 100 folders, and 100,000
// in one folder, reported as time per entry.

#include "archive/ArchiveError.h"
#include "archive/Building.h"
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
#include <vector>

namespace fs = std::filesystem;

namespace {

using benchtree::kFiles;
using benchtree::kRuns;
using benchtree::median;
using benchtree::seconds;

struct Pair {
    double ours;
    double tar;
};

// Our build and tar -cf of src, median of kRuns each.
Pair timeBuild(const fs::path& work, const fs::path& src)
{
    const std::string archivePath = (work / "GAME00.DAT").string();
    const std::string tarCommand =
        "tar -cf '" + (work / "out.tar").string() + "' -C '" + src.string() + "' .";
    auto ours = [&] { archive::buildArchive(src.string(), archivePath); };
    auto tar = [&] {
        if (std::system(tarCommand.c_str()) != 0)
            throw std::runtime_error("tar failed");
    };

    // One untimed run of each warms the page cache and the output files.
    ours();
    tar();
    std::vector<double> oursTimes;
    std::vector<double> tarTimes;
    for (int run = 0; run < kRuns; ++run) {
        oursTimes.push_back(seconds(ours));
        tarTimes.push_back(seconds(tar));
        std::printf("run %d: ours %.3f s, tar %.3f s\n", run + 1, oursTimes.back(),
                    tarTimes.back());
    }
    fs::remove(archivePath);
    fs::remove(work / "out.tar");
    return {median(oursTimes), median(tarTimes)};
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path work = benchtree::makeWorkFolder(argc, argv, "velmora-bench-build");
    if (work.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    int status = 0;
    try {
        const fs::path src = work / "src";
        std::printf("generating %d files...\n", kFiles);
        const std::uint64_t total = benchtree::generateTree(src, 0x9E3779B97F4A7C15ull);
        std::printf("%.1f MiB in %d files\n", static_cast<double>(total) / (1024 * 1024), kFiles);

        const Pair large = timeBuild(work, src);
        std::printf("median of %d: ours %.3f s, tar %.3f s, ours/tar %.2f\n", kRuns, large.ours,
                    large.tar, large.ours / large.tar);

        if (argc > 2 && std::string(argv[2]) == "--scale") {
            for (const benchtree::ScaleCase& c : benchtree::kScaleCases) {
                fs::remove_all(src);
                benchtree::generateSmallTree(src, c.count, c.folders, 0x5DEECE66Dull);
                const Pair small = timeBuild(work, src);
                benchtree::printScaleLine(c, small.ours, small.tar);
            }
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
