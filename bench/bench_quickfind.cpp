// The catalogue of a 1,000,000-entry archive held in memory: its one sort, the quick find keys,
// a type filter, and milliseconds per keystroke (the worst case scans every row and matches none).

#include "archive/commands/Catalogue.h"
#include "archive/commands/QuickFind.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/ArchiveReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace archive;

namespace {

template <class F> double medianMs(F&& f, int runs = 5)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    constexpr int kItems = 1000000;
    std::mt19937 random(1);
    std::vector<EntrySpec> specs;
    std::vector<std::string> names;
    names.reserve(kItems);
    const char* types[] = {".bmp", ".wav", ".dat", ".scr"};
    for (int i = 0; i < kItems; ++i)
        names.push_back("dir" + std::to_string(random() % 100) + "\\file" +
                        std::to_string(random() % 1000000) + types[random() % 4]);
    for (const std::string& name : names)
        specs.push_back({name, 0});
    const std::vector<unsigned char> image = encodeDirectory(specs);
    ArchiveReader reader;
    reader.OpenMemory(image, "bench.dat");

    // What the dialog does on loading: one sort, then the keys for quick find.
    std::unique_ptr<Catalogue> catalogue;
    const double sortMs = medianMs([&] { catalogue = std::make_unique<Catalogue>(reader); }, 1);
    const double keysMs = medianMs([&] { catalogue->quickFind(); }, 1);
    std::vector<std::uint32_t> rows;
    std::printf("items                    %d\n", kItems);
    std::printf("catalogue (one sort)     %8.1f ms\n", sortMs);
    std::printf("quick find keys          %8.1f ms\n", keysMs);
    for (const char* type : {"*", "BMP", "EGA"})
        std::printf("filter %-17s %8.2f ms\n", type,
                    medianMs([&] { rows = catalogue->filter(type); }));
    rows = catalogue->filter("*");
    int sink = 0;
    for (const char* text : {"F", "FILE5", "FILE999999", "NOTHING"})
        std::printf("keystroke %-14s %8.2f ms\n", text,
                    medianMs([&] { sink += catalogue->quickFind().find(rows, text); }));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory              %8.1f MB\n", usage.ru_maxrss / 1024.0);
    return sink == 42 ? 1 : 0;
}
