#include "archive/ArchiveComparison.h"

#include "archive/ContentHash.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace archive {

namespace {

using Entry = ComparedTree::Entry;

constexpr std::size_t kChunkBytes = 256 * 1024;

} // namespace

ArchiveComparison::ArchiveComparison(const ComparedTree& older, const ComparedTree& newer,
                                     bool withHashes)
    : m_older(older), m_newer(newer)
{
    pairByName(withHashes);
    std::stable_sort(m_differences.begin(), m_differences.end(),
                     [](const EntryDifference& a, const EntryDifference& b) {
                         return ComparedTree::isListedBefore(a.name(), b.name());
                     });
}

void ArchiveComparison::pairByName(bool withHashes)
{
    const std::vector<Entry>& olderEntries = m_older.entries();
    const std::vector<Entry>& newerEntries = m_newer.entries();
    std::vector<const Entry*> gone;
    std::vector<const Entry*> come;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < olderEntries.size() || j < newerEntries.size()) {
        if (j == newerEntries.size() ||
            (i < olderEntries.size() &&
             ComparedTree::isListedBefore(olderEntries[i].name, newerEntries[j].name))) {
            gone.push_back(&olderEntries[i++]);
            continue;
        }
        if (i == olderEntries.size() || olderEntries[i].name != newerEntries[j].name) {
            come.push_back(&newerEntries[j++]);
            continue;
        }
        const Entry& a = olderEntries[i++];
        const Entry& b = newerEntries[j++];
        EntryDifference difference{EntryDifference::Kind::changed, &a, &b, {}, {}};
        if (a.size == b.size) {
            if (sameBytes(a, b, withHashes ? &difference.olderHash : nullptr,
                          withHashes ? &difference.newerHash : nullptr)) {
                ++m_nUnchanged;
                continue;
            }
        } else if (withHashes) {
            difference.olderHash = m_older.hash(a);
            difference.newerHash = m_newer.hash(b);
        }
        m_differences.push_back(difference);
    }
    findRenames(gone, come, withHashes);
}

void ArchiveComparison::findRenames(std::vector<const Entry*>& gone,
                                    std::vector<const Entry*>& come, bool withHashes)
{
    std::unordered_multimap<std::uint32_t, std::size_t> goneBySize;
    for (std::size_t k = 0; k < gone.size(); ++k) {
        if (gone[k]->size > 0)
            goneBySize.emplace(gone[k]->size, k);
    }
    std::vector<std::optional<std::uint64_t>> goneHashes(gone.size());
    std::vector<std::optional<std::uint64_t>> comeHashes(come.size());
    for (std::size_t k = 0; k < come.size(); ++k) {
        auto [first, last] = goneBySize.equal_range(come[k]->size);
        // The earliest name first, so the pairing does not depend on the map's order.
        std::vector<std::size_t> candidates;
        for (auto it = first; it != last; ++it)
            candidates.push_back(it->second);
        std::sort(candidates.begin(), candidates.end());
        for (const std::size_t g : candidates) {
            if (!gone[g])
                continue;
            if (!goneHashes[g])
                goneHashes[g] = m_older.hash(*gone[g]);
            if (!comeHashes[k])
                comeHashes[k] = m_newer.hash(*come[k]);
            if (*goneHashes[g] != *comeHashes[k] ||
                !sameBytes(*gone[g], *come[k], nullptr, nullptr))
                continue;
            m_differences.push_back(
                {EntryDifference::Kind::renamed, gone[g], come[k], goneHashes[g], comeHashes[k]});
            gone[g] = nullptr;
            come[k] = nullptr;
            break;
        }
    }
    for (std::size_t g = 0; g < gone.size(); ++g) {
        if (gone[g])
            m_differences.push_back(
                {EntryDifference::Kind::deleted,
                 gone[g],
                 nullptr,
                 withHashes ? std::optional(goneHashes[g].value_or(m_older.hash(*gone[g])))
                            : std::nullopt,
                 {}});
    }
    for (std::size_t k = 0; k < come.size(); ++k) {
        if (come[k])
            m_differences.push_back(
                {EntryDifference::Kind::added,
                 nullptr,
                 come[k],
                 {},
                 withHashes ? std::optional(comeHashes[k].value_or(m_newer.hash(*come[k])))
                            : std::nullopt});
    }
}

bool ArchiveComparison::sameBytes(const Entry& a, const Entry& b,
                                  std::optional<std::uint64_t>* hashA,
                                  std::optional<std::uint64_t>* hashB) const
{
    const std::size_t chunk = std::min<std::size_t>(kChunkBytes, a.size);
    std::vector<unsigned char> bufferA(chunk);
    std::vector<unsigned char> bufferB(chunk);
    ComparedTree::Bytes bytesA(m_older, a);
    ComparedTree::Bytes bytesB(m_newer, b);
    ContentHash contentA;
    ContentHash contentB;
    bool isSame = true;
    for (;;) {
        const std::size_t countA = bytesA.read(bufferA);
        const std::size_t countB = bytesB.read(bufferB);
        if (countA == 0 && countB == 0)
            break;
        isSame =
            isSame && countA == countB && std::memcmp(bufferA.data(), bufferB.data(), countA) == 0;
        if (!hashA) {
            if (!isSame)
                return false;
            continue;
        }
        contentA.add({bufferA.data(), countA});
        contentB.add({bufferB.data(), countB});
    }
    if (hashA) {
        *hashA = contentA.value();
        *hashB = contentB.value();
    }
    return isSame;
}

} // namespace archive
