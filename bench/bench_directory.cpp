// Walks a directory of 1,000,000 records into the entry list, as opening a large archive does,
// and reports wall time and peak memory.

#include "ArchiveFormat.h"
#include "CFile.h"
#include "EntryList.h"
#include "Listing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

int main()
{
    constexpr int kEntries = 1'000'000;
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
    const std::vector<unsigned char> encoded = archive::encodeDirectory(specs);
    specs.clear();
    specs.shrink_to_fit();
    names.clear();
    names.shrink_to_fit();
    const std::span<const unsigned char> directory(encoded.data() + 4, encoded.size() - 4);

    // The walk alone, to tell its share from the list's.
    const auto walkStart = std::chrono::steady_clock::now();
    std::size_t visited = 0;
    archive::walkDirectory(directory, "bench.dat",
                           [&](std::string_view, std::uint32_t) { ++visited; });
    const double walkSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - walkStart).count();

    // Then what loading does: the directory read from a file and walked into the list.
    char path[] = "/tmp/velmora-bench-directory-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, encoded.data(), encoded.size()) != ssize_t(encoded.size()))
        return 1;
    close(fd);
    archive::CFile file;
    file.Open(path, archive::CFile::modeRead);
    unlink(path);
    const auto start = std::chrono::steady_clock::now();
    archive::EntryList list;
    archive::listArchive(file, list, "*");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("entries: %d\nwalk alone: %.3f s (%zu records)\nlist the archive: %.3f s\n"
                "peak RSS: %.1f MB\n",
                list.GetCount(), walkSeconds, visited, seconds, usage.ru_maxrss / 1024.0);
    return list.GetCount() == kEntries ? 0 : 1;
}
