// How the whole-archive commands grow: velmora-dat check, list, list --long and a delete, rename
// and add of one entry on archives of 10,000, 100,000 and 1,000,000 one-byte entries named
// dNNN\fNNNNNNN.bmp, laid out as build writes them (check is also timed on the same entries
// shuffled, which must be sorted). Prints the median wall time of 5 runs, the time per entry and
// the peak memory: a time per entry that climbs with the count is a growth worse than linear.
//
// bench_scale [scratch folder, default /dev/shm] [velmora-dat to time, default this build's]

#include "archive/format/ArchiveFormat.h"
#include "bench/BenchTree.h"
#include "bench/MeasuredRun.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kCounts[] = {10'000, 100'000, 1'000'000};
constexpr int kRuns = 5;

std::string entryName(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "d%03d\\f%07d.bmp", i % 1000, i);
    return name;
}

void writeArchive(const fs::path& path, int count, bool shuffled)
{
    std::vector<std::string> names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.push_back(entryName(i));
    // The names differ in digits only, so byte order is the list's order.
    std::sort(names.begin(), names.end());
    if (shuffled)
        std::shuffle(names.begin(), names.end(), std::mt19937(12345));
    std::vector<archive::EntrySpec> specs;
    specs.reserve(names.size());
    for (const std::string& name : names)
        specs.push_back({name, 1});
    std::vector<unsigned char> bytes = archive::encodeDirectory(specs);
    bytes.resize(bytes.size() + count, 'x');
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Each run gets its own arguments (a different entry to delete, a new name to add).
bool report(const char* label, int count, const std::function<std::vector<std::string>(int)>& args)
{
    std::vector<double> times;
    std::vector<double> cpuTimes;
    double peak = 0;
    bool ok = true;
    for (int run = 0; run < kRuns; ++run) {
        const benchrun::Run r = benchrun::runMeasured(args(run));
        times.push_back(r.seconds);
        cpuTimes.push_back(r.cpuSeconds);
        peak = std::max(peak, r.peakMegabytes);
        ok = ok && r.ok;
    }
    const double median = benchtree::median(times);
    const double cpu = benchtree::median(cpuTimes);
    std::printf("%-18s %9d  %7.3f s %6.3f us/entry  cpu %7.3f s %6.3f us/entry  %7.1f MB%s\n",
                label, count, median, median * 1e6 / count, cpu, cpu * 1e6 / count, peak,
                ok ? "" : "  FAILED");
    std::fflush(stdout);
    return ok;
}

bool measure(const std::string& dat, const fs::path& work, int count)
{
    const std::string shuffledPath = work / "SHUFFLED.DAT";
    writeArchive(shuffledPath, count, true);
    const std::string path = work / "GAME00.DAT";
    writeArchive(path, count, false);
    const std::string added = work / "added.bmp";
    std::ofstream(added) << 'x';
    benchrun::runMeasured({dat, "list", path}); // warm the cache

    bool ok = true;
    const auto fixed = [](std::vector<std::string> args) { return [args](int) { return args; }; };
    ok &= report("check", count, fixed({dat, "check", path}));
    ok &= report("check (shuffled)", count, fixed({dat, "check", shuffledPath}));
    ok &= report("list", count, fixed({dat, "list", path}));
    ok &= report("list --long", count, fixed({dat, "list", "--long", path}));
    ok &= report("delete 1", count, [&](int run) {
        return std::vector<std::string>{dat, "delete", path, entryName(run)};
    });
    // Back and forth, so each run finds the name it renames.
    ok &= report("rename 1", count, [&](int run) {
        const std::string a = entryName(count / 2);
        const std::string b = "moved\\f.bmp";
        return run % 2 == 0 ? std::vector<std::string>{dat, "rename", path, a, b}
                            : std::vector<std::string>{dat, "rename", path, b, a};
    });
    ok &= report("add 1", count, [&](int run) {
        return std::vector<std::string>{
            dat, "add", "--as", "new\\a" + std::to_string(run) + ".bmp", path, added};
    });
    fs::remove(path);
    fs::remove(shuffledPath);
    fs::remove(added);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status = benchrun::measureIfAsked(argc, argv))
        return *status;
    const fs::path scratch = argc > 1 ? argv[1] : "/dev/shm";
    const std::string dat = argc > 2 ? argv[2] : VELMORA_DAT_PATH;
    char* args[] = {argv[0], const_cast<char*>(scratch.c_str())};
    const fs::path work = benchtree::makeWorkFolder(2, args, "velmora-bench-scale");
    if (work.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    std::printf("%s, scratch %s; wall and processor time medians of %d, peak RSS the largest\n",
                dat.c_str(), scratch.c_str(), kRuns);
    bool ok = true;
    for (const int count : kCounts)
        ok &= measure(dat, work, count);
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return ok ? 0 : 1;
}
