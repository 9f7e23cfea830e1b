// Quick find and bulk selection on a 1,000,000-item list: milliseconds per keystroke (the worst
// case scans every item and matches none) and per select-all / clear-all.

#include "archive/EntryList.h"
#include "archive/QuickFind.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
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
    std::vector<std::pair<std::string, std::uint32_t>> items;
    for (int i = 0; i < kItems; ++i)
        items.emplace_back("dir" + std::to_string(random() % 100) + "\\file" +
                               std::to_string(random() % 1000000) + ".bmp",
                           std::uint32_t(i));
    // One by one, as a build's enumeration adds, and in one batch, as listing an archive does.
    const double addOneByOneMs = medianMs(
        [&] {
            EntryList one;
            for (const auto& [text, value] : items)
                one.SetItemData(one.AddString(text), value);
        },
        1);
    EntryList list;
    const double addMs = medianMs([&] { list.AddItems(items); }, 1);
    int sink = 0;
    QuickFind finder;
    std::printf("items                    %d\n", kItems);
    std::printf("add one by one           %8.1f ms\n", addOneByOneMs);
    std::printf("add as one batch         %8.1f ms\n", addMs);
    for (const char* text : {"F", "FILE5", "FILE999999", "NOTHING"})
        std::printf("keystroke %-14s %8.2f ms\n", text,
                    medianMs([&] { sink += finder.find(list, text); }));
    std::printf("select all               %8.2f ms\n", medianMs([&] { list.SetSel(-1, true); }));
    std::printf("clear all                %8.2f ms\n", medianMs([&] { list.SetSel(-1, false); }));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory              %8.1f MB\n", usage.ru_maxrss / 1024.0);
    return sink == 42 ? 1 : 0;
}
