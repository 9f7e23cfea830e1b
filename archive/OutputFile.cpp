#include "archive/OutputFile.h"

#include "archive/CFolder.h"
#include "archive/Processes.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <random>
#include <string_view>

// What the two platforms' outputs share: their temporary names, and finding the ones a killed
// run left behind.
namespace archive {

namespace {

// Temporary names must stay within a component's 255 bytes however long the final name is.
constexpr std::size_t kTempNameStemBytes = 200;
constexpr std::size_t kTagDigits = 8;

} // namespace

std::string OutputFile::tempNamePrefix(const std::string& name)
{
    std::string stem = name.substr(0, kTempNameStemBytes);
    // Cut between UTF-8 characters, or the name would not convert on Windows.
    while (!stem.empty() && stem.size() < name.size() &&
           (static_cast<unsigned char>(name[stem.size()]) & 0xC0) == 0x80)
        stem.pop_back();
    return "." + stem + ".part-";
}

long long OutputFile::tempNameWriter(std::string_view rest)
{
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 10 ||
        rest.size() != dash + 1 + kTagDigits)
        return 0;
    long long id = 0;
    for (const char c : rest.substr(0, dash)) {
        if (c < '0' || c > '9')
            return 0;
        id = id * 10 + (c - '0');
    }
    for (const char c : rest.substr(dash + 1)) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return 0;
    }
    return id;
}

std::string OutputFile::tempName(const std::string& name, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned seed = std::random_device{}();
    const unsigned tag = seed ^ (++counter * 2654435761u) ^ attempt;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%lld-%08x", processes::currentId(), tag);
    return tempNamePrefix(name) + suffix;
}

void OutputFile::removeLeftovers(const CFolder& folder, const std::string& name) noexcept
{
    try {
        const std::string prefix = tempNamePrefix(name);
        for (const FolderItem& item : folder.items()) {
            if (item.kind != FolderItem::Kind::file || !item.name.starts_with(prefix))
                continue;
            // A live writer's file is never touched, even in the moments it is not held open.
            const long long writer =
                tempNameWriter(std::string_view(item.name).substr(prefix.size()));
            if (writer != 0 && !processes::runsThisProgram(writer))
                removeIfUnused(folder, item.name);
        }
    } catch (...) {
        // A folder that cannot be listed keeps its leftovers; the change goes on.
    }
}

} // namespace archive
