#pragma once

#include "archive/format/ArchiveFormat.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace archive {

class ArchiveReader;
class CodePage;
struct ArchiveChange;

// The entry list an update writes, found by exact name bytes. The old entries stay in the
// reader's directory, known by their index in file order: a change of one entry in a million
// makes no item per entry, only one per added or renamed entry, merged into the old entries' list
// order as the new archive is walked. That order is the file's own in an archive this program
// wrote, found in one pass; any other is sorted once.
class EntryTable {
public:
    // One entry of the archive to be written. Its bytes come from the old archive (isOld) or from
    // its add's host file or source archive. Names are views into the reader's directory or into
    // the table's own strings.
    struct Item {
        std::string_view name;
        const ArchiveChange* change = nullptr; // the add that gives the bytes (not isOld)
        std::uint32_t size = 0;                // at most format::kMaxEntryBytes
        std::uint32_t dataOffset = 0;          // in the old archive, or in the source archive
        std::uint32_t recordPosition = 0;      // old bytes only
        bool isOld = true;
        bool isLive = true;
        bool isChanged = false; // added, replacing or renamed
    };

    // reader (nullptr: a new archive) must outlive the table.
    EntryTable(std::string archiveName, const CodePage& cp, const ArchiveReader* reader = nullptr);

    const CodePage& codePage() const noexcept { return m_codePage; }

    // The live item of exactly name, if any; NameError when two share it. An index below the
    // reader's size is that old record's.
    std::optional<std::size_t> find(std::string_view name) const;
    // find, NameError noSuchEntry when there is none.
    std::size_t require(std::string_view name) const;
    bool contains(std::string_view name) const;
    // False once a change deleted, replaced or renamed the old record at index.
    bool keepsName(std::size_t index) const { return index < m_nOld && !m_removed[index]; }

    // A copy of text that lives as long as the table.
    std::string_view keep(const std::string& text) { return m_kept.emplace_back(text); }
    void insert(const Item& item);
    void remove(std::size_t index);
    // The old item stays where the search finds it, dead; its renamed copy joins the added ones.
    void rename(std::size_t index, std::string_view newName);

    // Places the changed items among the old ones; call once every change is in, before the
    // walks below.
    void settle();
    std::size_t liveCount() const noexcept { return m_nOld - m_nRemoved + m_placed.size(); }
    // The names of the changed live items, in list order.
    std::vector<std::string> changedNames() const;
    // NameError inTheWay when a changed entry is a file where another entry needs a folder
    // level, or needs one where an entry is a file.
    void requireNoFileFolderClash() const;
    // The live items in list order (records of one name in file order, changed after kept).
    EntrySequence sequence() const;

    // Calls visit(item) for each live item in list order while it returns true; false when it
    // stopped the walk.
    template <typename Visit> bool forEachLive(Visit visit) const
    {
        std::size_t j = 0;
        for (std::size_t k = 0; k < m_nOld; ++k) {
            for (; j < m_placed.size() && m_placed[j].before == k; ++j) {
                if (!visit(m_changed[m_placed[j].index]))
                    return false;
            }
            const std::size_t i = oldIndex(k);
            if (!m_removed[i] && !visit(oldItem(i)))
                return false;
        }
        for (; j < m_placed.size(); ++j) {
            if (!visit(m_changed[m_placed[j].index]))
                return false;
        }
        return true;
    }

private:
    // A changed live item and the place in the old list order it goes before.
    struct Placed {
        std::size_t index; // in m_changed
        std::size_t before;
    };

    std::size_t oldIndex(std::size_t k) const { return m_order.empty() ? k : m_order[k]; }
    std::string_view oldName(std::size_t i) const;
    Item oldItem(std::size_t i) const;
    const Item& item(std::size_t index) const;
    // The first place in the old list order whose name is not listed before name (isAfter: the
    // first listed after it).
    std::size_t oldBound(std::string_view name, bool isAfter) const;
    std::size_t matches(std::string_view name, std::size_t (&found)[2]) const;
    // Throws when a live name other than name itself has name as a folder level.
    void requireNotFolderLevel(std::string_view name) const;

    std::string m_strArchive;
    const CodePage& m_codePage;
    const ArchiveReader* m_pReader;
    std::size_t m_nOld = 0;
    std::size_t m_nRemoved = 0;
    std::vector<bool> m_removed;        // per old record, in file order
    std::vector<std::uint32_t> m_order; // the old records in list order; empty when in file order
    // The old records' names, only when they had to be sorted: a sort decoding each record at
    // each comparison took seconds.
    std::vector<std::string_view> m_oldNames;
    std::vector<Item> m_changed;                                    // added and renamed
    std::unordered_multimap<std::string_view, std::size_t> m_added; // live ones only
    std::vector<Placed> m_placed;                                   // in list order
    std::deque<std::string> m_kept;
};

} // namespace archive
