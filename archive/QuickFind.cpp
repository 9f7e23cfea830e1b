#include "QuickFind.h"

#include "CodePage950.h"
#include "EntryList.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace archive {

namespace {

// Upper-cased match keys of one list in list order, packed in one buffer: a keystroke then
// scans memory sequentially instead of visiting every item. Built on the first search after the
// list's texts change (the revision tells), and kept for the latest list only.
struct KeyCache {
    static constexpr std::uint32_t kNoKey = 0xFFFFFFFF;
    struct Key {
        std::uint32_t offset;
        std::uint32_t length; // kNoKey: the text holds no '\'
    };

    std::mutex mutex;
    std::uint64_t revision = 0;
    std::string bytes;
    std::vector<Key> keys;

    void refresh(const EntryList& list)
    {
        if (revision != list.revision() || keys.size() != std::size_t(list.GetCount()))
            rebuild(list);
    }

    void rebuild(const EntryList& list)
    {
        bytes.clear();
        keys.clear();
        keys.reserve(static_cast<std::size_t>(list.GetCount()));
        list.forEach([&](int, const std::string& text, std::uint32_t, bool) {
            const std::ptrdiff_t slash = cp950::find(text, '\\');
            if (slash < 0) {
                keys.push_back({0, kNoKey});
            } else {
                const auto offset = static_cast<std::uint32_t>(bytes.size());
                bytes += cp950::makeUpper(std::string_view(text).substr(std::size_t(slash) + 1));
                keys.push_back({offset, static_cast<std::uint32_t>(bytes.size() - offset)});
            }
            return true;
        });
        revision = list.revision();
    }
};

KeyCache& keyCache()
{
    static KeyCache cache;
    return cache;
}

} // namespace

void prepareQuickFind(const EntryList& list)
{
    KeyCache& cache = keyCache();
    std::lock_guard lock(cache.mutex);
    cache.refresh(list);
}

int quickFind(const EntryList& list, std::string_view findText)
{
    if (list.GetCount() == 0)
        return -1;
    if (findText.empty())
        return 0;
    const std::string needle = cp950::makeUpper(findText);
    KeyCache& cache = keyCache();
    std::lock_guard lock(cache.mutex);
    cache.refresh(list);
    const char* bytes = cache.bytes.data();
    for (std::size_t i = 0; i < cache.keys.size(); ++i) {
        const KeyCache::Key key = cache.keys[i];
        if (key.length != KeyCache::kNoKey && key.length >= needle.size() &&
            std::memcmp(bytes + key.offset, needle.data(), needle.size()) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace archive
