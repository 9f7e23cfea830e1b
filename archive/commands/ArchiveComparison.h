#pragma once

#include "archive/commands/ComparedTree.h"
#include "archive/commands/Progress.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace archive {

// How one entry differs between an older and a newer tree.
struct EntryDifference {
    enum class Kind { added, deleted, changed, renamed };
    Kind kind = Kind::changed;
    const ComparedTree::Entry* older = nullptr; // all but added
    const ComparedTree::Entry* newer = nullptr; // all but deleted
    // ContentHash of each side present, when hashes were asked for (renamed: always).
    std::optional<std::uint64_t> olderHash;
    std::optional<std::uint64_t> newerHash;

    // The name the difference is listed under: the older one where there is one.
    std::string_view name() const { return older ? older->name : newer->name; }
};

// The differences between two trees, in list order of their names. Entries are paired by exact
// name bytes (of two entries of one name, the first with the first). Bytes are read only where
// sizes agree, both sides a chunk at a time. An entry gone from one name and one come under
// another with the same bytes is renamed (empty entries excepted: nothing is no identity); each
// entry pairs once.
class ArchiveComparison {
public:
    // withHashes: every entry in a difference gets its hash, read to its end. progress counts
    // the entries of both sides passed and their bytes; when it asks to stop, the comparison
    // ends there, cancelled and without differences.
    ArchiveComparison(const ComparedTree& older, const ComparedTree& newer, bool withHashes,
                      const ProgressFn& progress = {});

    const std::vector<EntryDifference>& differences() const noexcept { return m_differences; }
    std::size_t unchanged() const noexcept { return m_nUnchanged; }
    bool isEqual() const noexcept { return m_differences.empty(); }
    bool isCancelled() const noexcept { return m_bCancelled; }

private:
    // False once the progress asked to stop; reported as done plus extraBytes.
    bool report(std::uint64_t extraBytes = 0) const;
    void pairByName(bool withHashes);
    void findRenames(std::vector<const ComparedTree::Entry*>& gone,
                     std::vector<const ComparedTree::Entry*>& come, bool withHashes);
    // The entries left in gone (deleted) and come (added), hashed when asked for.
    void addUnpaired(const std::vector<const ComparedTree::Entry*>& gone,
                     const std::vector<const ComparedTree::Entry*>& come,
                     const std::vector<std::optional<std::uint64_t>>& goneHashes,
                     const std::vector<std::optional<std::uint64_t>>& comeHashes, bool withHashes);
    // True when both entries, of one size, hold the same bytes; hashes filled in when given.
    bool sameBytes(const ComparedTree::Entry& a, const ComparedTree::Entry& b,
                   std::optional<std::uint64_t>* hashA, std::optional<std::uint64_t>* hashB) const;

    const ComparedTree& m_older;
    const ComparedTree& m_newer;
    std::vector<EntryDifference> m_differences;
    std::size_t m_nUnchanged = 0;
    ProgressFn m_progress;
    mutable Progress m_done;
    mutable bool m_bCancelled = false;
    mutable std::vector<unsigned char> m_bufferA;
    mutable std::vector<unsigned char> m_bufferB;
};

} // namespace archive
