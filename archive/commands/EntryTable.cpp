#include "archive/commands/EntryTable.h"

#include "archive/ArchiveError.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage.h"
#include "archive/format/NameMapping.h"

#include <algorithm>
#include <numeric>

namespace archive {

namespace {

// Entry-list order: names equal but for case come in byte order, as a build of a folder walks
// them.
bool isListedBefore(std::string_view a, std::string_view b, const CodePage& cp)
{
    const int order = cp.compareNoCase(a, b);
    return order != 0 ? order < 0 : a < b;
}

// Every folder level of name: "a\b\c" gives "a" and "a\b". A '\' that is the second byte of a
// multi-byte character does not end a level. One walk over the characters: CodePage::find starts
// at the front each time, which made deep names quadratic.
template <typename Visit> void forEachLevel(std::string_view name, const CodePage& cp, Visit visit)
{
    for (std::size_t at = 0; at < name.size(); at += cp.charLength(name, at)) {
        if (name[at] == '\\' && cp.charLength(name, at) == 1)
            visit(name.substr(0, at));
    }
}

// Whether level is one of name's folder levels, as forEachLevel walks them.
bool isFolderLevelOf(std::string_view level, std::string_view name, const CodePage& cp)
{
    if (name.size() <= level.size() || name.substr(0, level.size()) != level ||
        name[level.size()] != '\\')
        return false;
    std::size_t at = 0;
    while (at < level.size())
        at += cp.charLength(name, at);
    return at == level.size();
}

} // namespace

EntryTable::EntryTable(std::string archiveName, const CodePage& cp, const ArchiveReader* reader)
    : m_strArchive(std::move(archiveName)), m_codePage(cp), m_pReader(reader),
      m_nOld(reader ? reader->size() : 0), m_removed(m_nOld)
{
    // An archive this program wrote is in list order already and needs no order of its own.
    std::string_view previous;
    std::size_t i = 0;
    for (; i < m_nOld; ++i) {
        const std::string_view name = oldName(i);
        if (i > 0 && isListedBefore(name, previous, m_codePage))
            break;
        previous = name;
    }
    if (i == m_nOld)
        return;
    m_oldNames.reserve(m_nOld);
    for (i = 0; i < m_nOld; ++i)
        m_oldNames.push_back(reader->at(i).name);
    m_order.resize(m_nOld);
    std::iota(m_order.begin(), m_order.end(), 0u);
    // Records of one name keep their file order.
    std::stable_sort(m_order.begin(), m_order.end(), [this](std::uint32_t a, std::uint32_t b) {
        return isListedBefore(m_oldNames[a], m_oldNames[b], m_codePage);
    });
}

std::string_view EntryTable::oldName(std::size_t i) const
{
    return m_oldNames.empty() ? m_pReader->at(i).name : m_oldNames[i];
}

EntryTable::Item EntryTable::oldItem(std::size_t i) const
{
    const RecordView record = m_pReader->at(i);
    Item item;
    item.name = record.name;
    item.size = record.dataSize;
    item.dataOffset = record.dataOffset;
    item.recordPosition = record.recordPosition;
    return item;
}

const EntryTable::Item& EntryTable::item(std::size_t index) const
{
    return m_changed[index - m_nOld];
}

std::optional<std::size_t> EntryTable::find(std::string_view name) const
{
    std::size_t found[2];
    const std::size_t count = matches(name, found);
    if (count == 0)
        return std::nullopt;
    if (count > 1) {
        const auto positionOf = [this](std::size_t index) {
            return index < m_nOld ? m_pReader->at(index).recordPosition
                                  : item(index).recordPosition;
        };
        const std::uint32_t a = positionOf(found[0]);
        const std::uint32_t b = positionOf(found[1]);
        throw NameError(ErrorKind::ambiguousName, names::displayName(name, m_codePage),
                        "is the name of two entries of " + m_strArchive + " (records at " +
                            std::to_string(std::min(a, b)) + " and " +
                            std::to_string(std::max(a, b)) + "); change neither by name");
    }
    return found[0];
}

std::size_t EntryTable::require(std::string_view name) const
{
    if (const std::optional<std::size_t> index = find(name))
        return *index;
    throw NameError(ErrorKind::noSuchEntry, names::displayName(name, m_codePage),
                    "no entry of that name in " + m_strArchive);
}

bool EntryTable::contains(std::string_view name) const
{
    std::size_t found[2];
    return matches(name, found) != 0;
}

void EntryTable::insert(const Item& item)
{
    m_added.emplace(item.name, m_nOld + m_changed.size());
    m_changed.push_back(item);
}

void EntryTable::remove(std::size_t index)
{
    if (index < m_nOld) {
        m_removed[index] = true;
        ++m_nRemoved;
        return;
    }
    m_changed[index - m_nOld].isLive = false;
    auto [first, last] = m_added.equal_range(item(index).name);
    while (first != last && first->second != index)
        ++first;
    m_added.erase(first);
}

void EntryTable::rename(std::size_t index, std::string_view newName)
{
    Item renamed = index < m_nOld ? oldItem(index) : item(index);
    remove(index);
    renamed.name = newName;
    renamed.isChanged = true;
    insert(renamed);
}

std::size_t EntryTable::oldBound(std::string_view name, bool isAfter) const
{
    std::size_t k = 0;
    for (std::size_t end = m_nOld; k < end;) {
        const std::size_t middle = k + (end - k) / 2;
        const std::string_view other = oldName(oldIndex(middle));
        if (isAfter ? !isListedBefore(name, other, m_codePage)
                    : isListedBefore(other, name, m_codePage))
            k = middle + 1;
        else
            end = middle;
    }
    return k;
}

void EntryTable::settle()
{
    m_placed.clear();
    for (std::size_t j = 0; j < m_changed.size(); ++j) {
        if (m_changed[j].isLive)
            m_placed.push_back({j, 0});
    }
    // Records of one name keep the order they came in; each goes after the old ones of its name,
    // as std::merge puts them.
    std::stable_sort(m_placed.begin(), m_placed.end(), [this](const Placed& a, const Placed& b) {
        return isListedBefore(m_changed[a.index].name, m_changed[b.index].name, m_codePage);
    });
    for (Placed& placed : m_placed)
        placed.before = oldBound(m_changed[placed.index].name, true);
}

std::vector<std::string> EntryTable::changedNames() const
{
    std::vector<std::string> names;
    names.reserve(m_placed.size());
    for (const Placed& placed : m_placed)
        names.emplace_back(m_changed[placed.index].name);
    return names;
}

EntrySequence EntryTable::sequence() const
{
    return [this](const std::function<void(const EntrySpec&)>& visit) {
        forEachLive([&visit](const Item& item) {
            visit({item.name, item.size});
            return true;
        });
    };
}

// Up to two live items of exactly name, old ones first in file order; how many there are.
std::size_t EntryTable::matches(std::string_view name, std::size_t (&found)[2]) const
{
    std::size_t count = 0;
    for (std::size_t k = oldBound(name, false); k < m_nOld && count < 2; ++k) {
        const std::size_t i = oldIndex(k);
        if (oldName(i) != name)
            break;
        if (!m_removed[i])
            found[count++] = i;
    }
    auto [first, last] = m_added.equal_range(name);
    for (; first != last && count < 2; ++first)
        found[count++] = first->second;
    return count;
}

void EntryTable::requireNotFolderLevel(std::string_view name) const
{
    const auto refuse = [&] {
        throw NameError(ErrorKind::inTheWay, names::displayName(name, m_codePage),
                        "is already a folder level of other entries");
    };
    // Names that begin with name but for case stand together from where name would.
    const auto beginsAlike = [&](std::string_view other) {
        return m_codePage.compareNoCase(other.substr(0, name.size()), name) == 0;
    };
    for (std::size_t k = oldBound(name, false); k < m_nOld; ++k) {
        const std::size_t i = oldIndex(k);
        const std::string_view other = oldName(i);
        if (!beginsAlike(other))
            break;
        if (!m_removed[i] && isFolderLevelOf(name, other, m_codePage))
            refuse();
    }
    const auto first = std::partition_point(m_placed.begin(), m_placed.end(), [&](const Placed& p) {
        return isListedBefore(m_changed[p.index].name, name, m_codePage);
    });
    for (auto it = first; it != m_placed.end() && beginsAlike(m_changed[it->index].name); ++it) {
        if (isFolderLevelOf(name, m_changed[it->index].name, m_codePage))
            refuse();
    }
}

void EntryTable::requireNoFileFolderClash() const
{
    for (const Placed& placed : m_placed) {
        const std::string_view name = m_changed[placed.index].name;
        requireNotFolderLevel(name);
        forEachLevel(name, m_codePage, [&](std::string_view prefix) {
            if (contains(prefix))
                throw NameError(ErrorKind::inTheWay, names::displayName(name, m_codePage),
                                "needs a folder level named like the entry " +
                                    names::displayName(prefix, m_codePage));
        });
    }
}

} // namespace archive
