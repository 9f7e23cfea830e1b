#include "archive/commands/ArchiveComparison.h"

#include "archive/commands/ContentHash.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_set>

namespace archive {

namespace {

using Entry = ComparedTree::Entry;

constexpr std::size_t kChunkBytes = 256 * 1024;

} // namespace

ArchiveComparison::ArchiveComparison(const ComparedTree& older, const ComparedTree& newer,
                                     bool withHashes, const ProgressFn& progress)
    : m_older(older), m_newer(newer), m_progress(progress)
{
    for (const ComparedTree* tree : {&older, &newer}) {
        m_done.entriesTotal += static_cast<int>(tree->entries().size());
        for (const Entry& entry : tree->entries())
            m_done.bytesTotal += entry.size;
    }
    pairByName(withHashes);
    if (m_bCancelled) {
        m_differences.clear();
        m_nUnchanged = 0;
        return;
    }
    std::stable_sort(m_differences.begin(), m_differences.end(),
                     [](const EntryDifference& a, const EntryDifference& b) {
                         return ComparedTree::isListedBefore(a.name(), b.name());
                     });
}

bool ArchiveComparison::report(std::uint64_t extraBytes) const
{
    if (!m_progress || m_bCancelled)
        return !m_bCancelled;
    Progress now = m_done;
    now.bytesDone += extraBytes;
    m_bCancelled = !m_progress(now);
    return !m_bCancelled;
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
        m_done.entriesDone = static_cast<int>(i + j);
        if (!report())
            return;
        if (j == newerEntries.size() ||
            (i < olderEntries.size() &&
             ComparedTree::isListedBefore(olderEntries[i].name, newerEntries[j].name))) {
            m_done.bytesDone += olderEntries[i].size;
            gone.push_back(&olderEntries[i++]);
            continue;
        }
        if (i == olderEntries.size() || olderEntries[i].name != newerEntries[j].name) {
            m_done.bytesDone += newerEntries[j].size;
            come.push_back(&newerEntries[j++]);
            continue;
        }
        const Entry& a = olderEntries[i++];
        const Entry& b = newerEntries[j++];
        EntryDifference difference{EntryDifference::Kind::changed, &a, &b, {}, {}};
        const bool isSame =
            a.size == b.size && sameBytes(a, b, withHashes ? &difference.olderHash : nullptr,
                                          withHashes ? &difference.newerHash : nullptr);
        m_done.bytesDone += std::uint64_t{a.size} + b.size;
        if (m_bCancelled)
            return;
        if (isSame) {
            ++m_nUnchanged;
            continue;
        }
        if (a.size != b.size && withHashes) {
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
    // Only entries whose size the other side also has are read for their hashes.
    std::unordered_set<std::uint32_t> goneSizes;
    std::unordered_set<std::uint32_t> comeSizes;
    for (const Entry* entry : gone)
        goneSizes.insert(entry->size);
    for (const Entry* entry : come)
        comeSizes.insert(entry->size);
    std::vector<std::optional<std::uint64_t>> goneHashes(gone.size());
    std::vector<std::optional<std::uint64_t>> comeHashes(come.size());
    // (size, hash) -> the gone entries of them, earliest name first.
    std::map<std::pair<std::uint32_t, std::uint64_t>, std::deque<std::size_t>> candidates;
    for (std::size_t g = 0; g < gone.size(); ++g) {
        if (!report())
            return;
        if (gone[g]->size > 0 && comeSizes.count(gone[g]->size) != 0) {
            goneHashes[g] = m_older.hash(*gone[g]);
            candidates[{gone[g]->size, *goneHashes[g]}].push_back(g);
        }
    }
    for (std::size_t k = 0; k < come.size(); ++k) {
        if (!report())
            return;
        if (come[k]->size == 0 || goneSizes.count(come[k]->size) == 0)
            continue;
        comeHashes[k] = m_newer.hash(*come[k]);
        const auto found = candidates.find({come[k]->size, *comeHashes[k]});
        if (found == candidates.end())
            continue;
        std::deque<std::size_t>& queue = found->second;
        // Equal hashes are confirmed by the bytes; a collision leaves both entries as they are.
        const auto match = std::find_if(queue.begin(), queue.end(), [&](std::size_t g) {
            return sameBytes(*gone[g], *come[k], nullptr, nullptr);
        });
        if (match == queue.end())
            continue;
        const std::size_t g = *match;
        queue.erase(match);
        m_differences.push_back(
            {EntryDifference::Kind::renamed, gone[g], come[k], goneHashes[g], comeHashes[k]});
        gone[g] = nullptr;
        come[k] = nullptr;
    }
    addUnpaired(gone, come, goneHashes, comeHashes, withHashes);
}

void ArchiveComparison::addUnpaired(const std::vector<const Entry*>& gone,
                                    const std::vector<const Entry*>& come,
                                    const std::vector<std::optional<std::uint64_t>>& goneHashes,
                                    const std::vector<std::optional<std::uint64_t>>& comeHashes,
                                    bool withHashes)
{
    const auto hashIfAsked = [withHashes](const ComparedTree& tree, const Entry& entry,
                                          const std::optional<std::uint64_t>& known) {
        if (!withHashes || known)
            return known;
        return std::optional(tree.hash(entry));
    };
    for (std::size_t g = 0; g < gone.size(); ++g) {
        if (gone[g])
            m_differences.push_back({EntryDifference::Kind::deleted,
                                     gone[g],
                                     nullptr,
                                     hashIfAsked(m_older, *gone[g], goneHashes[g]),
                                     {}});
    }
    for (std::size_t k = 0; k < come.size(); ++k) {
        if (come[k])
            m_differences.push_back({EntryDifference::Kind::added,
                                     nullptr,
                                     come[k],
                                     {},
                                     hashIfAsked(m_newer, *come[k], comeHashes[k])});
    }
}

bool ArchiveComparison::sameBytes(const Entry& a, const Entry& b,
                                  std::optional<std::uint64_t>* hashA,
                                  std::optional<std::uint64_t>* hashB) const
{
    // One archive compared with itself: the same record holds the same bytes.
    if (!hashA && m_older.reader() && m_older.reader() == m_newer.reader() && a.ref == b.ref)
        return true;
    // Kept from one pair to the next: a million small entries would be two million allocations.
    const std::size_t chunk = std::min<std::size_t>(kChunkBytes, a.size);
    if (m_bufferA.size() < chunk) {
        m_bufferA.resize(chunk);
        m_bufferB.resize(chunk);
    }
    const std::span<unsigned char> bufferA(m_bufferA.data(), chunk);
    const std::span<unsigned char> bufferB(m_bufferB.data(), chunk);
    ComparedTree::Bytes bytesA(m_older, a);
    ComparedTree::Bytes bytesB(m_newer, b);
    ContentHash contentA;
    ContentHash contentB;
    bool isSame = true;
    std::uint64_t bytesRead = 0;
    for (;;) {
        const std::size_t countA = bytesA.read(bufferA);
        const std::size_t countB = bytesB.read(bufferB);
        if (countA == 0 && countB == 0)
            break;
        bytesRead += countA + countB;
        // A large entry reports each chunk, so its progress moves and a cancel ends it.
        if (a.size > chunk && !report(bytesRead))
            return false;
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
