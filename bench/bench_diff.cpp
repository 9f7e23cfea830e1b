// Compares two archives of 10,000 entries (about 1 GiB each, or scaled down by the second
// argument, the largest file in KiB) that differ in 10 entries against diff -rq of the two trees
// they were built from; an archive with an equal copy against cmp of the two; and an archive
// with its own tree; and two archives of 1,000,000 small entries. Median of 3 each, with warm
// caches for all. Usage:
// bench_diff [SCRATCH [MAX_KIB]].

#include "archive/ArchiveError.h"
#include "archive/commands/ArchiveComparison.h"
#include "archive/commands/Building.h"
#include "archive/commands/ComparedTree.h"
#include "archive/format/ArchiveFormat.h"

#include "BenchTree.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    const std::string older = (work / "A.DAT").string();
    const std::string copy = (work / "A2.DAT").string();
    const std::string newer = (work / "B.DAT").string();
    archive::buildArchive(a.string(), older);
    archive::buildArchive(b.string(), newer);
    fs::copy_file(older, copy);
    std::printf("%d files, %.1f MiB a tree\n", benchtree::kFiles,
                static_cast<double>(bytes) / (1 << 20));
    // cmp stops at the first difference, which lies in the directory: against an equal copy it
    // reads both archives whole, the least any exact comparison of them reads.
    const std::string cmp = "cmp -s " + older + " " + copy;
    const std::string diffRq = "diff -rq " + a.string() + " " + b.string() + " >/dev/null";
    std::vector<double> times[5];
    // One untimed round warms the caches.
    for (int i = 0; i <= kRuns; ++i) {
        std::size_t found = 0;
        std::size_t same = 1;
        const double round[5] = {
            seconds([&] { found = differences(older, newer); }),
            seconds([&] { same = differences(older, copy); }),
            seconds([&] { differences(older, a.string()); }),
            seconds([&] { run(cmp, 0); }),
            seconds([&] { run(diffRq, 1); }),
        };
        if (found != 10 || same != 0)
            throw std::runtime_error("found " + std::to_string(found) + " differences, not 10");
        if (i == 0)
            continue;
        for (int k = 0; k < 5; ++k)
            times[k].push_back(round[k]);
        std::printf("run %d: differing archives %.3f s, equal archives %.3f s, archive/folder "
                    "%.3f s, cmp %.3f s, diff -rq %.3f s\n",
                    i, round[0], round[1], round[2], round[3], round[4]);
    }
    const double cmpTime = median(times[3]);
    const double diffTime = median(times[4]);
    std::printf("median of %d: differing archives %.3f s (diff -rq x%.2f), equal archives %.3f s "
                "(cmp x%.2f), archive/folder %.3f s (diff -rq x%.2f)\n",
                kRuns, median(times[0]), median(times[0]) / diffTime, median(times[1]),
                median(times[1]) / cmpTime, median(times[2]), median(times[2]) / diffTime);
}

// An archive of a million 4-byte entries in 1,000 folders; the entries in changed get other
// bytes.
void writeListing(const std::string& path, const std::vector<int>& changed)
{
    constexpr int kEntries = 1000000;
    std::vector<std::string> names;
    names.reserve(kEntries);
    char name[32];
    for (int i = 0; i < kEntries; ++i) {
        std::snprintf(name, sizeof name, "d%04d\\f%07d.dat", i / 1000, i);
        names.emplace_back(name);
    }
    std::vector<archive::EntrySpec> specs;
    for (const std::string& entryName : names)
        specs.push_back({entryName, 4});
    const std::vector<unsigned char> directory = archive::encodeDirectory(specs);
    std::string data(4 * static_cast<std::size_t>(kEntries), '\0');
    for (int i = 0; i < kEntries; ++i)
        std::memcpy(data.data() + 4 * i, &i, 4);
    for (const int i : changed)
        data[4 * static_cast<std::size_t>(i)] ^= 0x55;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(directory.data()),
              static_cast<std::streamsize>(directory.size()));
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void measureListings(const fs::path& work)
{
    const std::string older = (work / "L1.DAT").string();
    const std::string newer = (work / "L2.DAT").string();
    writeListing(older, {});
    writeListing(newer, {0, 99999, 500000, 999999});
    std::vector<double> times;
    for (int i = 0; i <= kRuns; ++i) {
        std::size_t found = 0;
        const double t = seconds([&] { found = differences(older, newer); });
        if (found != 4)
            throw std::runtime_error("found " + std::to_string(found) + " differences, not 4");
        if (i > 0)
            times.push_back(t);
    }
    std::printf("1,000,000-entry archives differing in 4, median of %d: %.3f s\n", kRuns,
                median(times));
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
        measureListings(work);
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
