#pragma once

#include "archive/ArchiveError.h"
#include "archive/commands/Updating.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace archive {

class ArchiveComparison;
class ArchiveReader;
class ComparedTree;

// A patch is an archive of the entries added or changed between two trees, plus one text entry,
// kScriptName, that says what else to do and to which tree. The text, one line each, fields
// between tabs, names as reversible UTF-8 text ('\' between levels, control characters and
// undecodable bytes as U+F0000 + byte):
//   velmora-patch 1
//   from DIGEST ENTRIES      the tree the patch applies to (ComparedTree::digest, 16 hex digits)
//   to DIGEST ENTRIES        the tree it makes
//   delete NAME
//   rename OLD NEW
//   add NAME                 the patch's entry of that name is put in (replacing one there)
class ArchivePatch {
public:
    static constexpr std::string_view kScriptName = "VELMORA.PATCH";

    // Writes the patch from older to newer at path (replacing a file there only once the patch
    // is whole). NameError when newer holds an entry to carry named kScriptName, or two entries
    // of a name to carry. Reads every entry of both trees for their digests.
    static void write(const ComparedTree& older, const ComparedTree& newer,
                      const ArchiveComparison& comparison, const std::string& path);

    // Reads the script of an open patch, which must outlive this. FormatError (damagedEntry)
    // when the patch holds no script, a script that cannot be read, or not the entries it names.
    explicit ArchivePatch(const ArchiveReader& patch);

    enum class Fit { from, alreadyApplied, other };
    // Whether target is the tree the patch was made from, the one it makes, or neither. Reads
    // every entry of target.
    Fit fit(const ComparedTree& target) const;

    // The changes, deletions first, then renames, then additions (their bytes from the patch).
    const std::vector<ArchiveChange>& changes() const noexcept { return m_changes; }
    std::size_t fromEntries() const noexcept { return m_nFromEntries; }

private:
    void parse(std::string_view script);
    void parseLine(const std::vector<std::string_view>& fields);
    FormatError damaged(const std::string& reason) const;

    const ArchiveReader& m_patch;
    std::uint64_t m_nFromDigest = 0;
    std::uint64_t m_nToDigest = 0;
    std::size_t m_nFromEntries = 0;
    std::size_t m_nToEntries = 0;
    bool m_bHasFrom = false;
    bool m_bHasTo = false;
    std::vector<ArchiveChange> m_changes;
    // Record position of each name the patch holds; kTwice for a name two entries share.
    static constexpr std::uint32_t kTwice = 0;
    std::unordered_map<std::string_view, std::uint32_t> m_entryRecords;
};

} // namespace archive
