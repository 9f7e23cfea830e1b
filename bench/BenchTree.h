#pragma once

// What the extraction and building benchmarks share: the generated tree of 10,000 files and
// the timing helpers.

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
#include <vector>

namespace benchtree {

constexpr int kFiles = 10000;
constexpr int kRuns = 5;
constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;

// Set by a signal handler: generation stops early so an interrupted run still cleans up.
inline volatile std::sig_atomic_t g_nStop = 0;

// Sizes skewed towards small files, as game data is: u^9 of 1 MiB averages about 100 KiB, so
// the tree holds about 1 GiB in three levels (a smaller maxFileBytes scales it down). Returns
// the total size.
inline std::uint64_t generateTree(const std::filesystem::path& root, std::uint64_t seed,
                                  std::uint64_t maxFileBytes = kMaxFileBytes)
{
    std::uint64_t state = seed;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    // Files start at varying offsets into this, so it holds the largest file past the last one.
    std::vector<char> bytes(kMaxFileBytes + 4096);
    for (char& c : bytes)
        c = static_cast<char>(next());

    std::uint64_t total = 0;
    for (int i = 0; i < kFiles && !g_nStop; ++i) {
        const std::filesystem::path folder = root / ("level" + std::to_string(i % 10)) /
                                             ("sub" + std::to_string(i / 10 % 10)) /
                                             (i % 3 == 0 ? "deep" : "");
        std::filesystem::create_directories(folder);
        const double u = static_cast<double>(next() % 1000001) / 1000000.0;
        double scaled = 1.0;
        for (int k = 0; k < 9; ++k)
            scaled *= u;
        const auto size = static_cast<std::uint64_t>(scaled * static_cast<double>(maxFileBytes));
        std::ofstream out(folder / ("file" + std::to_string(i) + ".dat"), std::ios::binary);
        out.write(bytes.data() + (i * 4099) % 4096, static_cast<std::streamsize>(size));
        if (!out)
            throw std::runtime_error("cannot write the test tree");
        total += size;
    }
    return total;
}

// count small files (0 to 4 KiB) spread evenly over folders folders below root, for the runs
// that show the cost per entry staying flat as the count grows.
inline void generateSmallTree(const std::filesystem::path& root, int count, int folders,
                              std::uint64_t seed)
{
    std::uint64_t state = seed;
    std::vector<char> bytes(8192);
    for (char& c : bytes)
        c = static_cast<char>(state = state * 6364136223846793005ull + 1442695040888963407ull);
    for (int f = 0; f < folders; ++f)
        std::filesystem::create_directories(root / ("folder" + std::to_string(f)));
    for (int i = 0; i < count && !g_nStop; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const std::size_t size = static_cast<std::size_t>(state >> 33) % 4097;
        std::ofstream out(root / ("folder" + std::to_string(i % folders)) /
                              ("small" + std::to_string(i) + ".dat"),
                          std::ios::binary);
        out.write(bytes.data() + i % 4096, static_cast<std::streamsize>(size));
        if (!out)
            throw std::runtime_error("cannot write the test tree");
    }
}

// The scale runs: entries and folders of each, the last two the same count in one folder and
// in a hundred.
struct ScaleCase {
    int count;
    int folders;
};
inline constexpr ScaleCase kScaleCases[] = {{1000, 100}, {10000, 100}, {100000, 100}, {100000, 1}};

// One scale run's line: time per entry for both and their ratio.
inline void printScaleLine(const ScaleCase& c, double ours, double tar)
{
    std::printf("%d small files in %d folders: ours %.2f us/entry, tar %.2f us/entry, ours/tar "
                "%.2f\n",
                c.count, c.folders, ours * 1e6 / c.count, tar * 1e6 / c.count, ours / tar);
}

// A new folder below scratch (argv[1], default /tmp) for one benchmark's gigabytes; empty when
// it cannot be made.
inline std::filesystem::path makeWorkFolder(int argc, char** argv, const std::string& name)
{
    const std::filesystem::path scratch = argc > 1 ? argv[1] : "/tmp";
    std::string pattern = (scratch / (name + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

inline double seconds(const std::function<void()>& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace benchtree
