// Code page detection over 1,000,000 names: the detector alone on names of each code page, and
// opening a 1,000,000-entry archive held in memory with detection against a forced code page
// (the difference is what detection adds to every open). Median of 5 runs, in the thread's
// processor time: the figure to trust on a loaded machine.
//
// bench_detect

#include "archive/format/ArchiveFormat.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage.h"
#include "archive/format/CodePageDetector.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

using namespace archive;

namespace {

double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

template <class F> double medianMs(F&& f, int runs = 5)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = threadMs();
        f();
        times.push_back(threadMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A million names of two non-ASCII levels and a number, as a game's archive names its files.
std::vector<std::string> namesIn(Encoding encoding, const char* const (&levels)[4])
{
    const CodePage& cp = CodePage::of(encoding);
    std::vector<std::string> stems;
    for (const char* level : levels)
        stems.push_back(*cp.fromUtf8(level));
    std::mt19937 random(1);
    std::vector<std::string> names;
    names.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        names.push_back(stems[random() % 4] + "\\" + stems[random() % 4] +
                        std::to_string(random() % 100000) + ".BMP");
    return names;
}

} // namespace

int main()
{
    const char* const traditional[4] = {"圖像", "音效", "劇情", "遊戲"};
    const char* const simplified[4] = {"图像", "音效", "剧情", "游戏"};
    const char* const japanese[4] = {"画像", "音楽", "ゲーム", "データ"};
    const struct {
        const char* label;
        Encoding encoding;
        const char* const (&levels)[4];
    } sets[] = {
        {"Big5", Encoding::big5, traditional},
        {"GBK", Encoding::gbk, simplified},
        {"Shift-JIS", Encoding::shiftJis, japanese},
        {"UTF-8", Encoding::utf8, simplified},
    };
    std::printf("detection over 1,000,000 names (median of 5)\n");
    for (const auto& set : sets) {
        const std::vector<std::string> names = namesIn(set.encoding, set.levels);
        Encoding found = Encoding::big5;
        const double ms = medianMs([&] {
            CodePageDetector detector;
            for (const std::string& name : names)
                detector.add(name);
            found = detector.result();
        });
        std::printf("  %-10s %7.1f ms  -> %s\n", set.label, ms,
                    std::string(CodePage::of(found).name()).c_str());
    }

    const std::vector<std::string> names = namesIn(Encoding::gbk, simplified);
    std::vector<EntrySpec> specs;
    for (const std::string& name : names)
        specs.push_back({name, 0});
    const std::vector<unsigned char> image = encodeDirectory(specs);
    const auto open = [&](std::optional<Encoding> forced) {
        return medianMs([&] {
            ArchiveReader reader;
            reader.OpenMemory(image, "bench", forced);
        });
    };
    const double forced = open(Encoding::gbk);
    const double detected = open(std::nullopt);
    std::printf("open of a 1,000,000-entry GBK archive in memory: %.1f ms forced, %.1f ms "
                "detected (+%.1f ms)\n",
                forced, detected, detected - forced);
}
