// Building an archive from a folder of 10,000 files (0 to 1 MiB, about 1 GiB in all, a few levels
// deep) against tar -cf of the same folder, page cache warm, median of 5 runs each.
//
// bench_build [scratch folder, default /tmp]

#include "ArchiveError.h"
#include "Building.h"
#include "EntryList.h"

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

constexpr int kFiles = 10000;
constexpr int kRuns = 5;
constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;

// Sizes skewed towards small files, as game data is: u^9 of 1 MiB averages about 100 KiB.
std::uint64_t generateTree(const fs::path& root)
{
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::vector<char> bytes(kMaxFileBytes);
    for (char& c : bytes)
        c = static_cast<char>(next());

    std::uint64_t total = 0;
    for (int i = 0; i < kFiles; ++i) {
        const fs::path folder = root / ("level" + std::to_string(i % 10)) /
                                ("sub" + std::to_string(i / 10 % 10)) / (i % 3 == 0 ? "deep" : "");
        fs::create_directories(folder);
        double u = static_cast<double>(next() % 1000001) / 1000000.0;
        double scaled = 1.0;
        for (int k = 0; k < 9; ++k)
            scaled *= u;
        const auto size = static_cast<std::uint64_t>(scaled * kMaxFileBytes);
        std::ofstream out(folder / ("file" + std::to_string(i) + ".dat"), std::ios::binary);
        out.write(bytes.data() + (i * 4099) % 4096, static_cast<std::streamsize>(size));
        if (!out)
            throw std::runtime_error("cannot write the test tree");
        total += size;
    }
    return total;
}

double seconds(const std::function<void()>& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path scratch = argc > 1 ? argv[1] : "/tmp";
    fs::path work = scratch / "velmora-bench-build-XXXXXX";
    std::string pattern = work.string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    work = pattern;
    int status = 0;
    try {
        const fs::path src = work / "src";
        std::printf("generating %d files...\n", kFiles);
        const std::uint64_t total = generateTree(src);
        std::printf("%.1f MiB in %d files\n", static_cast<double>(total) / (1024 * 1024), kFiles);

        const std::string archivePath = (work / "GAME00.DAT").string();
        const std::string tarCommand =
            "tar -cf '" + (work / "out.tar").string() + "' -C '" + src.string() + "' .";
        archive::EntryList list;
        auto ours = [&] { archive::buildArchive(src.string(), archivePath, list); };
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
        const double oursMedian = median(oursTimes);
        const double tarMedian = median(tarTimes);
        std::printf("median of %d: ours %.3f s, tar %.3f s, ours/tar %.2f\n", kRuns, oursMedian,
                    tarMedian, oursMedian / tarMedian);
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
