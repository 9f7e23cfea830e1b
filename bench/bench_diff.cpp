// Compares two archives of 10,000 entries (about 1 GiB each, or scaled down by the second
// argument, the largest file in KiB) that differ in 10 entries: the engine's comparison against
// cmp of the two archives and diff -rq of the two trees they were built from, and the archive
// against its own tree; median of 3 each, with warm caches for all. Usage:
// bench_diff [SCRATCH [MAX_KIB]].

#include "archive/ArchiveComparison.h"
#include "archive/ArchiveError.h"
#include "archive/Building.h"
#include "archive/ComparedTree.h"

#include "BenchTree.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using benchtree::median;
using benchtree::seconds;

namespace {

constexpr int kRuns = 3;
std::uint64_t g_nMaxBytes = benchtree::kMaxFileBytes;

void run(const std::string& command, int expected)
{
    const int status = std::system(command.c_str());
    if (status == -1 || WEXITSTATUS(status) != expected)
        throw std::runtime_error("unexpected status of: " + command);
}

// Four entries change bytes at the same size, two change size, two go, two come.
void changeTen(const fs::path& tree)
{
    const auto file = [&](int i) {
        return tree / ("level" + std::to_string(i % 10)) / ("sub" + std::to_string(i / 10 % 10)) /
               (i % 3 == 0 ? "deep" : "") / ("file" + std::to_string(i) + ".dat");
    };
    for (int i : {101, 2002, 5003, 9004}) {
        std::fstream out(file(i), std::ios::in | std::ios::out | std::ios::binary);
        const int first = out.get();
        out.clear();
        out.seekp(0);
        out.put(first == EOF ? 'x' : static_cast<char>(first ^ 0xFF));
    }
    for (int i : {3005, 7006})
        std::ofstream(file(i), std::ios::app | std::ios::binary) << "longer";
    fs::remove(file(4007));
    fs::remove(file(8008));
    std::ofstream(tree / "new1.dat", std::ios::binary) << "new one";
    std::ofstream(tree / "new2.dat", std::ios::binary) << "new two";
}

std::size_t differences(const std::string& older, const std::string& newer)
{
    const archive::ComparedTree a(older);
    const archive::ComparedTree b(newer);
    return archive::ArchiveComparison(a, b, false).differences().size();
}

void measure(const fs::path& work)
{
    const fs::path a = work / "a";
    const fs::path b = work / "b";
    const std::uint64_t bytes = benchtree::generateTree(a, 42, g_nMaxBytes);
    fs::copy(a, b, fs::copy_options::recursive);
    changeTen(b);
    archive::buildArchive(a.string(), (work / "A.DAT").string());
    archive::buildArchive(b.string(), (work / "B.DAT").string());
    std::printf("%d files, %.1f MiB a tree\n", benchtree::kFiles,
                static_cast<double>(bytes) / (1 << 20));
    const std::string cmp = "cmp -s " + (work / "A.DAT").string() + " " + (work / "B.DAT").string();
    const std::string diffRq = "diff -rq " + a.string() + " " + b.string() + " >/dev/null";
    std::vector<double> ours;
    std::vector<double> withFolder;
    std::vector<double> cmpTimes;
    std::vector<double> diffTimes;
    // One untimed round warms the caches.
    for (int i = 0; i <= kRuns; ++i) {
        std::size_t found = 0;
        const double t1 = seconds([&] { found = differences(work / "A.DAT", work / "B.DAT"); });
        const double t2 = seconds([&] { differences(work / "A.DAT", a.string()); });
        const double t3 = seconds([&] { run(cmp, 1); });
        const double t4 = seconds([&] { run(diffRq, 1); });
        if (found != 10)
            throw std::runtime_error("found " + std::to_string(found) + " differences, not 10");
        if (i == 0)
            continue;
        ours.push_back(t1);
        withFolder.push_back(t2);
        cmpTimes.push_back(t3);
        diffTimes.push_back(t4);
        std::printf("run %d: archives %.3f s, archive/folder %.3f s, cmp %.3f s, diff -rq %.3f s\n",
                    i, t1, t2, t3, t4);
    }
    std::printf("median of %d: archives %.3f s (cmp x%.2f, diff -rq x%.2f), archive/folder %.3f s "
                "(diff -rq x%.2f)\n",
                kRuns, median(ours), median(ours) / median(cmpTimes),
                median(ours) / median(diffTimes), median(withFolder),
                median(withFolder) / median(diffTimes));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2)
        g_nMaxBytes = std::strtoull(argv[2], nullptr, 10) * 1024;
    const fs::path work = benchtree::makeWorkFolder(argc, argv, "velmora-bench-diff");
    if (work.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    int status = 0;
    try {
        measure(work);
    } catch (const archive::ArchiveError& e) {
        std::fprintf(stderr, "bench_diff: %s: %s\n", e.subject().c_str(), e.reason().c_str());
        status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_diff: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
