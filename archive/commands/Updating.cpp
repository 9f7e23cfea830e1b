#include "archive/commands/Updating.h"

#include "archive/ArchiveError.h"
#include "archive/commands/ArchiveCheck.h"
#include "archive/commands/ArchiveWriter.h"
#include "archive/files/CFile.h"
#include "archive/files/CFolder.h"
#include "archive/files/FileCopier.h"
#include "archive/files/FileLock.h"
#include "archive/files/FileSystem.h"
#include "archive/files/OutputFile.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage950.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"

#include <algorithm>
#include <deque>
#include <numeric>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace archive {

namespace {

const char kChangedSize[] = "changed size while the archive was being written";

// One entry of the archive to be written: its bytes come from the old archive (isOld) or from a
// host file. Names are views: into the reader's directory, or into the table's own strings. Kept
// small: a million of them are most of an update's memory.
struct Item {
    std::string_view name;
    // The add that gives the bytes (host only): its host file, or its source archive's entry at
    // dataOffset there (a patch's entry).
    const ArchiveChange* change = nullptr;
    std::uint32_t size = 0;           // at most format::kMaxEntryBytes
    std::uint32_t dataOffset = 0;     // old, or in the source archive
    std::uint32_t recordPosition = 0; // old only
    bool isOld = true;
    bool isLive = true;
    bool isChanged = false;
};

// Entry-list order: names equal but for case come in byte order, as a build of a folder walks
// them.
bool isListedBefore(std::string_view a, std::string_view b, const CodePage& cp)
{
    const int order = cp.compareNoCase(a, b);
    return order != 0 ? order < 0 : a < b;
}

// isListedBefore over items, as a comparison object.
struct ItemOrder {
    const CodePage& cp;
    bool operator()(const Item& a, const Item& b) const
    {
        return isListedBefore(a.name, b.name, cp);
    }
};

// kept and changed, each in list order, merged as std::merge merges them (kept first among
// equals) inside kept's own room from the back: only the items after the first changed one move.
std::vector<Item> mergedFromBack(std::vector<Item> kept, const std::vector<Item>& changed,
                                 const CodePage& cp)
{
    const ItemOrder isItemListedBefore{cp};
    std::size_t i = kept.size();
    std::size_t j = changed.size();
    kept.resize(i + j);
    for (std::size_t k = kept.size(); j > 0;) {
        if (i > 0 && isItemListedBefore(changed[j - 1], kept[i - 1]))
            kept[--k] = kept[--i];
        else
            kept[--k] = changed[--j];
    }
    return kept;
}

// The entry list being changed, found by exact name bytes. The old entries are found by binary
// search in their list order, which an archive this program wrote already has: no hash of a
// million names, and a change costs the changed entries' merge.
class EntryTable {
public:
    EntryTable(std::string archiveName, const CodePage& cp)
        : m_strArchive(std::move(archiveName)), m_codePage(cp)
    {
    }

    const CodePage& codePage() const noexcept { return m_codePage; }

    // The reader's records, which must outlive the table, with room for nMore changes: a table
    // of a million entries is not moved for one more.
    void addOld(const ArchiveReader& reader, std::size_t nMore)
    {
        m_items.reserve(reader.size() + nMore);
        for (std::size_t i = 0; i < reader.size(); ++i) {
            const RecordView record = reader.at(i);
            Item item;
            item.name = record.name;
            item.size = record.dataSize;
            item.dataOffset = record.dataOffset;
            item.recordPosition = record.recordPosition;
            m_items.push_back(item);
        }
        m_nOld = m_items.size();
        // An archive this program wrote is in list order already and needs no order of its own.
        if (std::is_sorted(m_items.begin(), m_items.end(), ItemOrder{m_codePage}))
            return;
        m_order.resize(m_nOld);
        std::iota(m_order.begin(), m_order.end(), 0u);
        // Records of one name keep their file order.
        std::stable_sort(m_order.begin(), m_order.end(), [this](std::uint32_t a, std::uint32_t b) {
            return isListedBefore(m_items[a].name, m_items[b].name, m_codePage);
        });
    }

    // The live item of exactly name, if any; NameError when two share it.
    std::optional<std::size_t> find(std::string_view name) const
    {
        std::size_t found[2];
        const std::size_t count = matches(name, found);
        if (count == 0)
            return std::nullopt;
        if (count > 1) {
            const std::uint32_t a = m_items[found[0]].recordPosition;
            const std::uint32_t b = m_items[found[1]].recordPosition;
            throw NameError(ErrorKind::ambiguousName, names::displayName(name, m_codePage),
                            "is the name of two entries of " + m_strArchive + " (records at " +
                                std::to_string(std::min(a, b)) + " and " +
                                std::to_string(std::max(a, b)) + "); change neither by name");
        }
        return found[0];
    }

    std::size_t require(std::string_view name) const
    {
        if (const std::optional<std::size_t> index = find(name))
            return *index;
        throw NameError(ErrorKind::noSuchEntry, names::displayName(name, m_codePage),
                        "no entry of that name in " + m_strArchive);
    }

    bool contains(std::string_view name) const
    {
        std::size_t found[2];
        return matches(name, found) != 0;
    }

    // False once a change deleted, replaced or renamed the item.
    bool keepsName(std::size_t index) const
    {
        return m_items[index].isLive && !m_items[index].isChanged;
    }

    // A copy of text that lives as long as the table.
    std::string_view keep(const std::string& text) { return m_kept.emplace_back(text); }

    void insert(const Item& item)
    {
        m_added.emplace(item.name, m_items.size());
        m_items.push_back(item);
    }

    void remove(std::size_t index)
    {
        m_items[index].isLive = false;
        if (index < m_nOld)
            return;
        auto [first, last] = m_added.equal_range(m_items[index].name);
        while (first != last && first->second != index)
            ++first;
        m_added.erase(first);
    }

    // The old item stays where the search finds it, dead; its renamed copy joins the added ones.
    void rename(std::size_t index, std::string_view newName)
    {
        Item item = m_items[index];
        remove(index);
        item.name = newName;
        item.isChanged = true;
        insert(item);
    }

    // The live items in entry-list order, the table left empty; records of one name keep their
    // file order.
    std::vector<Item> takeLive()
    {
        std::vector<Item> changed;
        for (std::size_t i = m_nOld; i < m_items.size(); ++i) {
            if (m_items[i].isLive)
                changed.push_back(m_items[i]);
        }
        std::stable_sort(changed.begin(), changed.end(), ItemOrder{m_codePage});
        std::vector<Item> kept;
        if (m_order.empty()) {
            // Squeezed where they stand, without a second copy of a million items.
            m_items.resize(m_nOld);
            std::erase_if(m_items, [](const Item& item) { return !item.isLive; });
            kept = std::move(m_items);
        } else {
            kept.reserve(m_items.size());
            for (const std::uint32_t i : m_order) {
                if (m_items[i].isLive)
                    kept.push_back(m_items[i]);
            }
        }
        m_items = {};
        m_order = {};
        m_added.clear();
        m_nOld = 0;
        return mergedFromBack(std::move(kept), changed, m_codePage);
    }

private:
    // Up to two live items of exactly name, old ones first in file order; how many there are.
    std::size_t matches(std::string_view name, std::size_t (&found)[2]) const
    {
        std::size_t count = 0;
        const auto oldIndex = [this](std::size_t k) { return m_order.empty() ? k : m_order[k]; };
        std::size_t k = 0;
        for (std::size_t end = m_nOld; k < end;) {
            const std::size_t middle = k + (end - k) / 2;
            if (isListedBefore(m_items[oldIndex(middle)].name, name, m_codePage))
                k = middle + 1;
            else
                end = middle;
        }
        for (; k < m_nOld && m_items[oldIndex(k)].name == name && count < 2; ++k) {
            if (m_items[oldIndex(k)].isLive)
                found[count++] = oldIndex(k);
        }
        auto [first, last] = m_added.equal_range(name);
        for (; first != last && count < 2; ++first)
            found[count++] = first->second;
        return count;
    }

    std::string m_strArchive;
    const CodePage& m_codePage;
    std::vector<Item> m_items; // the old entries in file order, then the added and renamed ones
    std::size_t m_nOld = 0;
    std::vector<std::uint32_t> m_order; // the old entries in list order; empty when in file order
                                        // // the old entries in list order
    std::unordered_multimap<std::string_view, std::size_t> m_added; // live ones only
    std::deque<std::string> m_kept;
};

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

// An entry that is a file where another entry needs a folder level could not be extracted. Only
// a changed entry is asked about, and items are in list order: the names below it and its levels
// are found by binary search.
void requireNoFileFolderClash(const std::vector<Item>& items, const CodePage& cp)
{
    const auto firstFrom = [&](std::string_view name) {
        return std::lower_bound(items.begin(), items.end(), name,
                                [&cp](const Item& item, std::string_view key) {
                                    return isListedBefore(item.name, key, cp);
                                });
    };
    for (const Item& item : items) {
        if (!item.isChanged)
            continue;
        const std::string_view name = item.name;
        // Names that begin with name but for case stand together from where name would.
        for (auto it = firstFrom(name);
             it != items.end() && cp.compareNoCase(it->name.substr(0, name.size()), name) == 0;
             ++it) {
            if (isFolderLevelOf(name, it->name, cp))
                throw NameError(ErrorKind::inTheWay, names::displayName(name, cp),
                                "is already a folder level of other entries");
        }
        forEachLevel(name, cp, [&](std::string_view prefix) {
            const auto it = firstFrom(prefix);
            if (it != items.end() && it->name == prefix)
                throw NameError(ErrorKind::inTheWay, names::displayName(name, cp),
                                "needs a folder level named like the entry " +
                                    names::displayName(prefix, cp));
        });
    }
}

// The length of the regular file at path, which must be readable.
std::uint32_t hostFileSize(const std::string& path)
{
    CFile file;
    file.Open(path, CFile::modeRead);
    const std::uint64_t size = file.lengthAtOpen();
    format::requireEntrySize(path, size);
    return static_cast<std::uint32_t>(size);
}

// Applies the changes to table, in their order, counting into result.
void applyChanges(EntryTable& table, const std::vector<ArchiveChange>& changes,
                  const UpdateOptions& options, const std::string& archivePath,
                  UpdateResult& result)
{
    using Outcome = UpdateResult::Outcome;
    const CodePage& cp = table.codePage();
    for (const ArchiveChange& change : changes) {
        switch (change.kind) {
        case ArchiveChange::Kind::add: {
            names::requireStorable(change.name, cp);
            const std::optional<std::size_t> existing = table.find(change.name);
            if (existing && options.keepExisting) {
                if (options.onKept)
                    options.onKept(FileError(ErrorKind::keptExisting,
                                             names::displayName(change.name, cp),
                                             "is already in " + archivePath + "; kept as it was"));
                ++result.kept;
                result.outcomes.push_back(Outcome::kept);
                break;
            }
            Item item;
            item.name = table.keep(change.name);
            item.change = &change;
            if (change.sourceArchive) {
                const RecordView record = change.sourceArchive->record(change.sourceRecord);
                change.sourceArchive->checkData(record);
                item.dataOffset = record.dataOffset;
                item.size = record.dataSize;
            } else {
                item.size = hostFileSize(change.hostPath);
            }
            item.isOld = false;
            item.isChanged = true;
            if (existing)
                table.remove(*existing);
            table.insert(item);
            ++(existing ? result.replaced : result.added);
            result.outcomes.push_back(existing ? Outcome::replaced : Outcome::added);
            break;
        }
        case ArchiveChange::Kind::remove:
            table.remove(table.require(change.name));
            ++result.deleted;
            result.outcomes.push_back(Outcome::deleted);
            break;
        case ArchiveChange::Kind::rename: {
            const std::size_t index = table.require(change.name);
            if (change.newName == change.name) {
                result.outcomes.push_back(Outcome::unchanged);
                break;
            }
            names::requireStorable(change.newName, cp);
            if (table.contains(change.newName))
                throw NameError(ErrorKind::inTheWay, names::displayName(change.newName, cp),
                                "is already the name of an entry of " + archivePath + "; " +
                                    names::displayName(change.name, cp) + " was not renamed");
            table.rename(index, table.keep(change.newName));
            ++result.renamed;
            result.outcomes.push_back(Outcome::renamed);
            break;
        }
        }
    }
}

// Each item's bytes after the directory, in list order; false when progress asked to stop.
bool copyAll(const CFile* archive, const std::vector<Item>& items, ArchiveWriter& writer,
             Progress& state)
{
    for (std::size_t i = 0; i < items.size();) {
        if (!writer.isGoing())
            return false;
        std::size_t end = i + 1;
        bool isGoing = true;
        if (items[i].isOld) {
            // Entries that lie back to back in the old archive go in one copy, so shared blocks
            // stay whole and a million small entries cost no million calls.
            std::uint64_t length = items[i].size;
            while (end < items.size() && items[end].isOld &&
                   items[end].dataOffset == items[i].dataOffset + length) {
                length += items[end].size;
                ++end;
            }
            isGoing = writer.copyArchiveRange(*archive, items[i].dataOffset, length);
        } else if (items[i].change->sourceArchive) {
            isGoing = writer.copyArchiveRange(items[i].change->sourceArchive->file(),
                                              items[i].dataOffset, items[i].size, false);
        } else {
            isGoing = writer.copyHostFile(items[i].change->hostPath, items[i].size);
        }
        if (!isGoing)
            return false;
        state.entriesDone += static_cast<int>(end - i);
        i = end;
    }
    return writer.isGoing();
}

// Where the archive's bytes live: a link to it is followed, so the link stays a link.
std::pair<std::string, std::string> resolvedTarget(const std::string& archivePath)
{
    const std::optional<std::string> resolved = filesystem::canonicalPath(archivePath);
    if (!resolved)
        return paths::split(archivePath);
    return paths::split(*resolved);
}

// The folder's handle and writability checked, with the folder named when it is not writable.
CFolder openTargetFolder(const std::string& folder)
{
    CFolder opened = CFolder::open(folder);
    filesystem::requireWritableFolder(folder);
    return opened;
}

// Refuses an archive whose bytes could not be copied as they stand (a broken directory, data
// outside the file) or whose names could not be written again, unless the name is one the
// changes in table delete or rename: the way to mend it.
void requireSound(const ArchiveReader& reader, const EntryTable& table)
{
    const CheckReport report = checkArchive(reader, true);
    for (const CheckProblem& problem : report.problems) {
        if (problem.severity != CheckProblem::Severity::Error ||
            (problem.nameOf && !table.keepsName(*problem.nameOf)))
            continue;
        throw FormatError(ErrorKind::damagedEntry, problem.subject, problem.reason);
    }
}

// The directory of an archive of the items, with their bytes summed into state.
std::vector<unsigned char> directoryOf(const std::vector<Item>& items, Progress& state)
{
    std::vector<EntrySpec> specs;
    specs.reserve(items.size());
    for (const Item& item : items) {
        specs.push_back({item.name, item.size});
        state.bytesTotal += item.size;
    }
    state.entriesTotal = static_cast<int>(items.size());
    return encodeDirectory(specs);
}

// Whether the archive is byte for byte what an update writes: anything else (trailing bytes,
// padding, reserved fields, another order) is not kept.
bool isWrittenLayout(const ArchiveReader& reader)
{
    EntryTable table(reader.path(), reader.codePage());
    table.addOld(reader, 0);
    Progress state;
    std::vector<unsigned char> directory;
    try {
        directory = directoryOf(table.takeLive(), state);
    } catch (const FormatError&) {
        return false;
    }
    if (reader.fileLength() != directory.size() + state.bytesTotal)
        return false;
    std::vector<unsigned char> bytes(directory.size());
    return reader.readAt(bytes.data(), bytes.size(), 0) == bytes.size() && bytes == directory;
}

// Where a new archive goes, and what may stand at its name.
struct Destination {
    std::string folder;
    std::string name;
    OutputFile::Existing existing = OutputFile::Existing::keep;
    std::optional<std::uint32_t> mode;
    const OutputFile::ExistingCheck* check = nullptr; // called on the file at the name at commit
};

// Writes the items as an archive at the destination; the result's counts are already filled in.
UpdateResult writeItems(const CFile* archive, std::vector<Item> items, const CodePage& cp,
                        const Destination& to, const ProgressFn& progress,
                        const UpdateOptions& options, UpdateResult result)
{
    requireNoFileFolderClash(items, cp);
    for (const Item& item : items) {
        if (item.isChanged)
            result.changedNames.emplace_back(item.name);
    }
    Progress state;
    // Refuses names, sizes and offsets the format cannot hold before the target is touched.
    const std::vector<unsigned char> directory = directoryOf(items, state);
    result.entries = state.entriesTotal;
    result.bytes = directory.size() + state.bytesTotal;

    const CFolder target = openTargetFolder(to.folder);
    if (options.dryRun)
        return result;
    OutputFile::removeLeftovers(target, to.name);
    OutputFile out(target, to.name, to.existing, to.check);
    // Durable from the start, so write-back runs during the copy rather than all at the end.
    out.setDurable(true);
    // The set-ID bits wait until the owner is settled.
    if (to.mode)
        out.setPermissions(*to.mode & 0777);
    out.Write(directory.data(), directory.size());
    ArchiveWriter writer(out, directory.size(), progress, state, kChangedSize);
    if (!copyAll(archive, items, writer, state)) {
        out.Discard();
        result.cancelled = true;
        return result;
    }
    if (archive && to.mode) {
        out.copyAttributesOf(*archive, *to.mode);
        result.splitHardLinks = archive->linkCount() > 1;
    }
    out.Commit();
    // Taken by the name once named: some systems set the time only when the file is closed.
    result.written = filesystem::stamp(paths::join(to.folder, to.name));
    return result;
}

// Someone else's newer file at the path would be lost under the old one's entries.
void requireUnreplaced(const std::optional<filesystem::ObjectId>& now, const CFile& archive,
                       const std::string& archivePath)
{
    if (now != archive.identity())
        throw FileError(ErrorKind::changedMeanwhile, archivePath,
                        "was replaced by another file since it was opened; open it again");
}

// Where a new archive at path goes: a symbolic link to nothing is followed, as a link to an
// archive is followed for a change, when the folder it leads into exists.
std::pair<std::string, std::string> creationTarget(const std::string& archivePath)
{
    // As many links in a row as the system itself follows.
    constexpr int kMaxLinks = 40;
    std::string path = archivePath;
    for (int depth = 0; depth < kMaxLinks; ++depth) {
        const std::optional<std::string> target = filesystem::linkTarget(path);
        if (!target)
            return paths::split(path);
        path = *target;
        const std::string folder = paths::split(path).first;
        try {
            filesystem::requireFolder(folder);
        } catch (const FileError&) {
            throw FileError(ErrorKind::cannotOpen, archivePath,
                            "is a symbolic link to " + path + ", whose folder does not exist");
        }
    }
    throw FileError(ErrorKind::cannotOpen, archivePath, "is a symbolic link that leads round");
}

bool changesSomething(const UpdateResult& result)
{
    return result.added + result.replaced + result.deleted + result.renamed > 0;
}

} // namespace

UpdateResult updateArchive(const ArchiveReader& reader, const std::vector<ArchiveChange>& changes,
                           const ProgressFn& progress, const UpdateOptions& options)
{
    const CFile& archive = reader.file();
    const std::string& archivePath = reader.path();
    reader.requireWholeDirectory();

    EntryTable table(archivePath, reader.codePage());
    table.addOld(reader, changes.size());
    UpdateResult result;
    applyChanges(table, changes, options, archivePath, result);
    requireSound(reader, table);
    if (options.dryRun)
        result.isRelaidOut = !isWrittenLayout(reader);
    std::vector<Item> items = table.takeLive();
    if (!changesSomething(result)) {
        result.entries = static_cast<int>(items.size());
        result.bytes = reader.fileLength();
        return result;
    }

    const auto [folder, name] = resolvedTarget(archivePath);
    const std::string target = paths::join(folder, name);
    requireUnreplaced(filesystem::identity(target), archive, archivePath);
    FileLock lock;
    if (!options.dryRun) {
        // Held until the new archive has its name: a change that waited for it then finds the
        // path naming the new file, and starts again from that.
        lock.lock(target, options.lockWait);
        requireUnreplaced(lock.identity(), archive, archivePath);
    }
    const OutputFile::ExistingCheck unreplaced = [&](const filesystem::ObjectId& id) {
        requireUnreplaced(id, archive, archivePath);
    };
    return writeItems(&archive, std::move(items), reader.codePage(),
                      {folder, name, OutputFile::Existing::replaceOpen,
                       filesystem::permissions(target), &unreplaced},
                      progress, options, std::move(result));
}

UpdateResult createArchive(const std::string& archivePath,
                           const std::vector<ArchiveChange>& changes, const ProgressFn& progress,
                           const UpdateOptions& options, const CodePage& cp)
{
    EntryTable table(archivePath, cp);
    UpdateResult result;
    for (const ArchiveChange& change : changes) {
        if (change.kind != ArchiveChange::Kind::add)
            throw NameError(ErrorKind::noSuchEntry, names::displayName(change.name, cp),
                            "no entry of that name in " + archivePath +
                                ", which does not exist yet");
    }
    applyChanges(table, changes, options, archivePath, result);
    const auto [folder, name] = creationTarget(archivePath);
    if (name.empty() || name == "." || name == "..")
        throw FileError(ErrorKind::unsafeName, archivePath, "is not a file name");
    // An archive missing only for a stopped replacement is not created anew over.
    OutputFile::recoverReplaced(archivePath);
    return writeItems(nullptr, table.takeLive(), cp,
                      {folder, name, OutputFile::Existing::keep, std::nullopt, nullptr}, progress,
                      options, std::move(result));
}

void restoreArchive(const ArchiveReader& earlier, const std::string& archivePath,
                    const filesystem::FileStamp& written, const ProgressFn& progress)
{
    const CFile& source = earlier.file();
    const auto [folder, name] = resolvedTarget(archivePath);
    const std::string targetPath = paths::join(folder, name);
    // What another program wrote since the change would be lost under the earlier bytes. Asked
    // first, and again by the output just before it takes the name.
    const OutputFile::ExistingCheck requireWritten = [&](const filesystem::ObjectId&) {
        if (filesystem::stamp(targetPath) != written)
            throw FileError(ErrorKind::changedMeanwhile, archivePath,
                            "was changed by another program since the change to undo; "
                            "not put back over it");
    };
    requireWritten({});
    FileLock lock;
    lock.lock(targetPath, kDefaultLockWait);
    requireWritten({});
    const CFolder target = openTargetFolder(folder);
    const std::optional<std::uint32_t> mode = filesystem::permissions(targetPath);
    OutputFile::removeLeftovers(target, name);
    OutputFile out(target, name, OutputFile::Existing::replaceOpen, &requireWritten);
    out.setDurable(true);
    if (mode)
        out.setPermissions(*mode & 0777);
    Progress state;
    state.bytesTotal = earlier.fileLength();
    // Putting back is not stopped halfway: the undo either happens or fails.
    const ProgressFn reportOnly = [&progress](const Progress& now) {
        if (progress)
            progress(now);
        return true;
    };
    ArchiveWriter writer(out, 0, reportOnly, state, kChangedSize);
    writer.copyFile(source, state.bytesTotal, [&archivePath] {
        throw FileError(ErrorKind::changedWhileBuilding, archivePath,
                        "the earlier archive's file shrank while it was put back");
    });
    reportOnly(state);
    // The earlier file is the one whose owner and attributes the archive had.
    if (mode)
        out.copyAttributesOf(source, *mode);
    out.Commit();
}

} // namespace archive
