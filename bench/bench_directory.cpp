// Walks a directory of 1,000,000 records into the entry list, as opening a large archive does,
// then times velmora-dat list, list --long and check on that archive against tar -tvf of a tar
// holding the same 1,000,000 files, with the peak memory of each command.

#include "archive/commands/Catalogue.h"
#include "archive/commands/Listing.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/ArchiveReader.h"
#include "bench/BenchTree.h"
#include "bench/MeasuredRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kEntries = 1'000'000;

// Median time of five runs; the largest peak and processor time among them.
benchrun::Run medianOfRuns(const std::vector<std::string>& args)
{
    std::vector<double> times;
    benchrun::Run result;
    result.ok = true;
    for (int i = 0; i < benchtree::kRuns; ++i) {
        const benchrun::Run run = benchrun::runMeasured(args);
        times.push_back(run.seconds);
        result.cpuSeconds = std::max(result.cpuSeconds, run.cpuSeconds);
        result.peakMegabytes = std::max(result.peakMegabytes, run.peakMegabytes);
        result.ok = result.ok && run.ok;
    }
    result.seconds = benchtree::median(times);
    return result;
}

// One ustar member header: a regular file of size bytes, mode 0644, owner 0.
void appendTarHeader(std::string& out, const std::string& name, std::size_t size)
{
    char header[512] = {};
    std::memcpy(header, name.data(), std::min<std::size_t>(name.size(), 100));
    std::snprintf(header + 100, 8, "%07o", 0644);
    std::snprintf(header + 108, 8, "%07o", 0);
    std::snprintf(header + 116, 8, "%07o", 0);
    std::snprintf(header + 124, 12, "%011zo", size);
    std::snprintf(header + 136, 12, "%011o", 1700000000);
    header[156] = '0';
    std::memcpy(header + 257, "ustar", 6);
    std::memcpy(header + 263, "00", 2);
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : header)
        sum += static_cast<unsigned char>(c);
    std::snprintf(header + 148, 8, "%06o", sum);
    header[155] = ' ';
    out.append(header, sizeof header);
}

bool writeAll(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status = benchrun::measureIfAsked(argc, argv))
        return *status;
    std::vector<std::string> names;
    names.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i)
        names.push_back("dir" + std::to_string(i % 1000) + "\\file" + std::to_string(i) + ".bmp");
    std::mt19937 random(12345);
    std::shuffle(names.begin(), names.end(), random);
    std::vector<archive::EntrySpec> specs;
    specs.reserve(kEntries);
    for (const std::string& name : names)
        specs.push_back({name, 1});
    std::vector<unsigned char> encoded = archive::encodeDirectory(specs);
    specs.clear();
    specs.shrink_to_fit();
    const std::span<const unsigned char> directory(encoded.data() + 4, encoded.size() - 4);

    // The walk alone, to tell its share from the list's.
    const auto walkStart = std::chrono::steady_clock::now();
    std::size_t visited = 0;
    archive::walkDirectory(directory, "bench.dat", [&](const archive::RecordView&) { ++visited; });
    const double walkSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - walkStart).count();

    // Then what loading does: the directory read from a file and walked into the list. Each
    // entry holds one byte, so check finds every entry's data in the file.
    const std::filesystem::path work = benchtree::makeWorkFolder(argc, argv, "velmora-bench-dir");
    if (work.empty())
        return 1;
    const std::string archivePath = work / "GAME00.DAT";
    encoded.resize(encoded.size() + kEntries, 'x');
    if (!writeAll(archivePath, std::string(encoded.begin(), encoded.end())))
        return 1;
    encoded = {};
    double seconds = 0;
    int listed = 0;
    {
        const auto start = std::chrono::steady_clock::now();
        archive::ArchiveReader reader;
        reader.Open(archivePath);
        const archive::Catalogue list(reader);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        listed = static_cast<int>(list.size());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("entries: %d\nwalk alone: %.3f s (%zu records)\nlist the archive: %.3f s\n"
                "peak RSS: %.1f MB\n",
                listed, walkSeconds, visited, seconds, usage.ru_maxrss / 1024.0);

#ifdef VELMORA_DAT_PATH
    // The same files as a tar: a header and one 512-byte block of data each.
    const std::string tarPath = work / "game00.tar";
    {
        std::string tar;
        tar.reserve(std::size_t(kEntries) * 1024 + 1024);
        for (std::string& name : names) {
            std::replace(name.begin(), name.end(), '\\', '/');
            appendTarHeader(tar, name, 1);
            tar.append(512, '\0');
            tar[tar.size() - 512] = 'x';
        }
        tar.append(1024, '\0');
        if (!writeAll(tarPath, tar))
            return 1;
    }
    names = {};

    const std::string dat = VELMORA_DAT_PATH;
    std::vector<std::string> tarCommand = {"/usr/bin/tar", "-tvf", tarPath};
    benchrun::runMeasured(tarCommand); // warm the cache for both files
    benchrun::runMeasured({dat, "check", archivePath});
    const benchrun::Run tarRun = medianOfRuns(tarCommand);
    std::printf("\nwall time: median of %d, warm cache; processor time and peak RSS: the largest "
                "of the runs\n",
                benchtree::kRuns);
    std::printf("%-26s %8.3f s  cpu %6.3f s  %7.1f MB\n", "tar -tvf", tarRun.seconds,
                tarRun.cpuSeconds, tarRun.peakMegabytes);
    bool ok = tarRun.ok;
    const struct {
        const char* label;
        std::vector<std::string> args;
        double target;
    } commands[] = {
        {"velmora-dat list", {dat, "list", archivePath}, 0.5},
        {"velmora-dat list --long", {dat, "list", "--long", archivePath}, 1.0},
        {"velmora-dat list --json", {dat, "list", "--json", archivePath}, 1.0},
        {"velmora-dat check", {dat, "check", archivePath}, 1.0},
    };
    for (const auto& c : commands) {
        const benchrun::Run run = medianOfRuns(c.args);
        std::printf("%-26s %8.3f s  cpu %6.3f s  %7.1f MB  %.2fx tar  (target %.1f s, 300 MB)%s\n",
                    c.label, run.seconds, run.cpuSeconds, run.peakMegabytes,
                    run.seconds / tarRun.seconds, c.target, run.ok ? "" : "  FAILED");
        ok = ok && run.ok;
    }
    std::filesystem::remove(tarPath);
#else
    const bool ok = true;
#endif
    std::filesystem::remove(archivePath);
    std::filesystem::remove(work);
    return ok && listed == kEntries ? 0 : 1;
}
