#include "archive/Updating.h"

#include "archive/ArchiveCheck.h"
#include "archive/ArchiveError.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/CFile.h"
#include "archive/CFolder.h"
#include "archive/CodePage950.h"
#include "archive/FileCopier.h"
#include "archive/FileSystem.h"
#include "archive/NameMapping.h"
#include "archive/OutputFile.h"
#include "archive/Paths.h"

#include <algorithm>
#include <deque>
#include <iterator>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace archive {

namespace {

const char kChangedSize[] = "changed size while the archive was being written";

// Ranges the same distance from a block boundary in both files can share their blocks on file
// systems that share extents, but only from a boundary on.
constexpr std::uint64_t kBlockBytes = 4096;

// One entry of the archive to be written: its bytes come from the old archive (isOld) or from a
// host file. Names are views: into the reader's directory, or into the table's own strings.
struct Item {
    std::string_view name;
    std::uint64_t size = 0;
    std::uint32_t dataOffset = 0;     // old only
    std::uint32_t recordPosition = 0; // old only
    std::string_view hostPath;        // host only
    // The bytes are another archive's, at dataOffset there: a patch's entry.
    const ArchiveReader* source = nullptr;
    bool isOld = true;
    bool isLive = true;
    bool isChanged = false;
};

// Entry-list order: names equal but for case come in byte order, as a build of a folder walks
// them.
bool isListedBefore(const Item& a, const Item& b)
{
    const int order = cp950::compareNoCase(a.name, b.name);
    return order != 0 ? order < 0 : a.name < b.name;
}

// A name as a new entry may carry it: one build could give, and one extraction could write.
void requireStorableName(const std::string& name)
{
    const std::string subject = names::displayName(name);
    std::string back;
    try {
        back = names::entryName(names::hostRelativePath(name));
    } catch (const NameError& e) {
        throw NameError(e.kind(), subject, e.reason());
    }
    if (back != name)
        throw NameError(ErrorKind::nameNotStorable, subject,
                        "is not a name a folder's file can have ('/' is not a separator here)");
}

// The entry list being changed, found by exact name bytes.
class EntryTable {
public:
    explicit EntryTable(std::string archiveName) : m_strArchive(std::move(archiveName)) {}

    // The reader's records, which must outlive the table.
    void addOld(const ArchiveReader& reader)
    {
        m_items.reserve(reader.size());
        m_byName.reserve(reader.size());
        for (std::size_t i = 0; i < reader.size(); ++i) {
            const RecordView record = reader.at(i);
            Item item;
            item.name = record.name;
            item.size = record.dataSize;
            item.dataOffset = record.dataOffset;
            item.recordPosition = record.recordPosition;
            insert(item);
        }
    }

    // The live item of exactly name, if any; NameError when two share it.
    std::optional<std::size_t> find(std::string_view name) const
    {
        const auto [first, last] = m_byName.equal_range(name);
        if (first == last)
            return std::nullopt;
        if (std::next(first) != last) {
            const std::uint32_t a = m_items[first->second].recordPosition;
            const std::uint32_t b = m_items[std::next(first)->second].recordPosition;
            throw NameError(ErrorKind::ambiguousName, names::displayName(name),
                            "is the name of two entries of " + m_strArchive + " (records at " +
                                std::to_string(std::min(a, b)) + " and " +
                                std::to_string(std::max(a, b)) + "); change neither by name");
        }
        return first->second;
    }

    std::size_t require(std::string_view name) const
    {
        if (const std::optional<std::size_t> index = find(name))
            return *index;
        throw NameError(ErrorKind::noSuchEntry, names::displayName(name),
                        "no entry of that name in " + m_strArchive);
    }

    bool contains(std::string_view name) const { return m_byName.count(name) != 0; }

    // A copy of text that lives as long as the table.
    std::string_view keep(const std::string& text) { return m_kept.emplace_back(text); }

    void insert(const Item& item)
    {
        m_byName.emplace(item.name, m_items.size());
        m_items.push_back(item);
    }

    void remove(std::size_t index)
    {
        unlink(index);
        m_items[index].isLive = false;
    }

    void rename(std::size_t index, std::string_view newName)
    {
        unlink(index);
        m_items[index].name = newName;
        m_items[index].isChanged = true;
        m_byName.emplace(newName, index);
    }

    // The live items in entry-list order; records of one name keep their file order.
    std::vector<Item> live() const
    {
        std::vector<Item> kept;
        std::vector<Item> changed;
        kept.reserve(m_items.size());
        for (const Item& item : m_items) {
            if (item.isLive)
                (item.isChanged ? changed : kept).push_back(item);
        }
        std::stable_sort(changed.begin(), changed.end(), isListedBefore);
        // An archive this program wrote is in list order already: only the changed entries
        // need sorting, and a merge puts them in place.
        if (!std::is_sorted(kept.begin(), kept.end(), isListedBefore))
            std::stable_sort(kept.begin(), kept.end(), isListedBefore);
        std::vector<Item> all;
        all.reserve(kept.size() + changed.size());
        std::merge(kept.begin(), kept.end(), changed.begin(), changed.end(),
                   std::back_inserter(all), isListedBefore);
        return all;
    }

private:
    void unlink(std::size_t index)
    {
        auto [first, last] = m_byName.equal_range(m_items[index].name);
        while (first != last && first->second != index)
            ++first;
        m_byName.erase(first);
    }

    std::string m_strArchive;
    std::vector<Item> m_items;
    std::unordered_multimap<std::string_view, std::size_t> m_byName;
    std::deque<std::string> m_kept;
};

// Every folder level of name: "a\b\c" gives "a" and "a\b". A '\' that is the second byte of a
// double-byte character does not end a level.
template <typename Visit> void forEachLevel(std::string_view name, Visit visit)
{
    for (std::ptrdiff_t at = cp950::find(name, '\\'); at != cp950::npos;
         at = cp950::find(name, '\\', static_cast<std::size_t>(at) + 1))
        visit(name.substr(0, static_cast<std::size_t>(at)));
}

// An entry that is a file where another entry needs a folder level could not be extracted.
void requireNoFileFolderClash(const std::vector<Item>& items)
{
    if (std::none_of(items.begin(), items.end(), [](const Item& item) { return item.isChanged; }))
        return;
    std::unordered_set<std::string_view> files;
    std::unordered_set<std::string_view> folders;
    files.reserve(items.size());
    folders.reserve(items.size());
    for (const Item& item : items) {
        files.insert(item.name);
        forEachLevel(item.name, [&](std::string_view level) { folders.insert(level); });
    }
    for (const Item& item : items) {
        if (!item.isChanged)
            continue;
        if (folders.count(item.name) != 0)
            throw NameError(ErrorKind::inTheWay, names::displayName(item.name),
                            "is already a folder level of other entries");
        forEachLevel(item.name, [&](std::string_view level) {
            if (files.count(level) != 0)
                throw NameError(ErrorKind::inTheWay, names::displayName(item.name),
                                "needs a folder level named like the entry " +
                                    names::displayName(level));
        });
    }
}

// The length of the regular file at path, which must be readable.
std::uint64_t hostFileSize(const std::string& path)
{
    CFile file;
    file.Open(path, CFile::modeRead);
    const std::uint64_t size = file.lengthAtOpen();
    if (size > format::kMaxEntryBytes)
        throw FormatError(ErrorKind::tooLarge, path,
                          "is 2 GiB or larger, more than an archive entry can hold");
    return size;
}

// Applies the changes to table, in their order, counting into result.
void applyChanges(EntryTable& table, const std::vector<ArchiveChange>& changes,
                  const UpdateOptions& options, const std::string& archivePath,
                  UpdateResult& result)
{
    using Outcome = UpdateResult::Outcome;
    for (const ArchiveChange& change : changes) {
        switch (change.kind) {
        case ArchiveChange::Kind::add: {
            requireStorableName(change.name);
            const std::optional<std::size_t> existing = table.find(change.name);
            if (existing && options.keepExisting) {
                if (options.onKept)
                    options.onKept(FileError(ErrorKind::keptExisting,
                                             names::displayName(change.name),
                                             "is already in " + archivePath + "; kept as it was"));
                ++result.kept;
                result.outcomes.push_back(Outcome::kept);
                break;
            }
            Item item;
            item.name = table.keep(change.name);
            item.hostPath = change.hostPath;
            if (change.sourceArchive) {
                const RecordView record = change.sourceArchive->record(change.sourceRecord);
                change.sourceArchive->checkData(record);
                item.source = change.sourceArchive;
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
            if (change.newName != change.name) {
                requireStorableName(change.newName);
                if (table.contains(change.newName))
                    throw NameError(ErrorKind::inTheWay, names::displayName(change.newName),
                                    "is already the name of an entry of " + archivePath + "; " +
                                        names::displayName(change.name) + " was not renamed");
                table.rename(index, table.keep(change.newName));
            }
            ++result.renamed;
            result.outcomes.push_back(Outcome::renamed);
            break;
        }
        }
    }
}

// Each item's bytes after the directory, in list order; false when progress asked to stop.
class ItemCopy {
public:
    ItemCopy(OutputFile& out, std::uint64_t written, const ProgressFn& progress)
        : m_out(out), m_nWritten(written), m_progress(progress)
    {
    }

    bool copyAll(const CFile* archive, const std::vector<Item>& items, Progress& state)
    {
        for (std::size_t i = 0; i < items.size();) {
            if (!isGoing(state))
                return false;
            std::size_t end = i + 1;
            if (items[i].isOld) {
                // Entries that lie back to back in the old archive go in one copy, so shared
                // blocks stay whole and a million small entries cost no million calls.
                std::uint64_t length = items[i].size;
                while (end < items.size() && items[end].isOld &&
                       items[end].dataOffset == items[i].dataOffset + length) {
                    length += items[end].size;
                    ++end;
                }
                if (!copyRange(*archive, items[i].dataOffset, length, m_archiveCopier, state, true))
                    return false;
            } else if (items[i].source) {
                if (!copyRange(items[i].source->file(), items[i].dataOffset, items[i].size,
                               m_hostCopier, state, true))
                    return false;
            } else if (!copyHostFile(items[i], state)) {
                return false;
            }
            state.entriesDone += static_cast<int>(end - i);
            i = end;
        }
        return isGoing(state);
    }

private:
    bool isGoing(const Progress& state) const { return !m_progress || m_progress(state); }

    bool copyHostFile(const Item& item, Progress& state)
    {
        CFile source;
        source.Open(std::string(item.hostPath), CFile::modeRead);
        // The records are already written: data of any other length would shift every entry
        // after this one.
        if (source.lengthAtOpen() != item.size)
            throw FileError(ErrorKind::changedWhileBuilding, source.GetFilePath(), kChangedSize);
        return copyRange(source, 0, item.size, m_hostCopier, state, false);
    }

    bool copyRange(const CFile& source, std::uint64_t offset, std::uint64_t length,
                   FileCopier& copier, Progress& state, bool isArchive)
    {
        while (length > 0) {
            std::uint64_t slice = std::min(length, FileCopier::kSliceBytes);
            const std::uint64_t intoBlock = m_nWritten % kBlockBytes;
            if (intoBlock != 0 && offset % kBlockBytes == intoBlock)
                slice = std::min(slice, kBlockBytes - intoBlock);
            if (copier.copy(source, offset, m_out, slice) != slice) {
                if (isArchive)
                    throw FormatError(ErrorKind::damagedEntry, source.GetFilePath(),
                                      "the archive ended while its entries were copied");
                throw FileError(ErrorKind::changedWhileBuilding, source.GetFilePath(),
                                kChangedSize);
            }
            offset += slice;
            length -= slice;
            m_nWritten += slice;
            state.bytesDone += slice;
            if (length > 0 && !isGoing(state))
                return false;
        }
        return true;
    }

    OutputFile& m_out;
    std::uint64_t m_nWritten;
    const ProgressFn& m_progress;
    // Apart, so a host file on another file system that refuses the kernel copy does not turn
    // the archive's own ranges to buffered copies.
    FileCopier m_archiveCopier;
    FileCopier m_hostCopier;
};

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
// outside the file) or whose names could not be written again.
void requireSound(const ArchiveReader& reader)
{
    reader.requireWholeDirectory();
    const CheckReport report = checkArchive(reader);
    for (const CheckProblem& problem : report.problems) {
        if (problem.severity == CheckProblem::Severity::Error)
            throw FormatError(ErrorKind::damagedEntry, problem.subject, problem.reason);
    }
}

// Writes the items as an archive at folder/name; the result's counts are already filled in.
UpdateResult writeItems(const CFile* archive, std::vector<Item> items, const std::string& folder,
                        const std::string& name, OutputFile::Existing existing,
                        std::optional<std::uint32_t> mode, const ProgressFn& progress,
                        const UpdateOptions& options, UpdateResult result)
{
    requireNoFileFolderClash(items);
    Progress state;
    std::vector<EntrySpec> specs;
    specs.reserve(items.size());
    for (const Item& item : items) {
        specs.push_back({item.name, item.size});
        state.bytesTotal += item.size;
        if (item.isChanged)
            result.changedNames.emplace_back(item.name);
    }
    state.entriesTotal = static_cast<int>(items.size());
    // Refuses names, sizes and offsets the format cannot hold before the target is touched.
    const std::vector<unsigned char> directory = encodeDirectory(specs);
    result.entries = state.entriesTotal;
    result.bytes = directory.size() + state.bytesTotal;

    const CFolder target = openTargetFolder(folder);
    if (options.dryRun)
        return result;
    OutputFile out(target, name, existing);
    // Durable from the start, so write-back runs during the copy rather than all at the end.
    out.setDurable(true);
    if (mode)
        out.setPermissions(*mode);
    out.Write(directory.data(), directory.size());
    ItemCopy copy(out, directory.size(), progress);
    if (!copy.copyAll(archive, items, state)) {
        out.Discard();
        result.cancelled = true;
        return result;
    }
    out.Commit();
    return result;
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
    requireSound(reader);

    EntryTable table(archivePath);
    table.addOld(reader);
    UpdateResult result;
    applyChanges(table, changes, options, archivePath, result);
    std::vector<Item> items = table.live();
    if (!changesSomething(result)) {
        result.entries = static_cast<int>(items.size());
        result.bytes = reader.fileLength();
        return result;
    }

    const auto [folder, name] = resolvedTarget(archivePath);
    // Someone else's newer file at the path would be lost under the old one's entries.
    if (filesystem::identity(paths::join(folder, name)) != archive.identity())
        throw FileError(ErrorKind::cannotWrite, archivePath,
                        "was replaced by another file since it was opened; open it again");
    return writeItems(&archive, std::move(items), folder, name, OutputFile::Existing::replaceOpen,
                      filesystem::permissions(paths::join(folder, name)), progress, options,
                      std::move(result));
}

UpdateResult createArchive(const std::string& archivePath,
                           const std::vector<ArchiveChange>& changes, const ProgressFn& progress,
                           const UpdateOptions& options)
{
    EntryTable table(archivePath);
    UpdateResult result;
    for (const ArchiveChange& change : changes) {
        if (change.kind != ArchiveChange::Kind::add)
            throw NameError(ErrorKind::noSuchEntry, names::displayName(change.name),
                            "no entry of that name in " + archivePath +
                                ", which does not exist yet");
    }
    applyChanges(table, changes, options, archivePath, result);
    const auto [folder, name] = paths::split(archivePath);
    if (name.empty() || name == "." || name == "..")
        throw FileError(ErrorKind::unsafeName, archivePath, "is not a file name");
    return writeItems(nullptr, table.live(), folder, name, OutputFile::Existing::keep, std::nullopt,
                      progress, options, std::move(result));
}

void restoreArchive(const ArchiveReader& earlier, const std::string& archivePath,
                    const ProgressFn& progress)
{
    const CFile& source = earlier.file();
    const auto [folder, name] = resolvedTarget(archivePath);
    const CFolder target = openTargetFolder(folder);
    const std::optional<std::uint32_t> mode = filesystem::permissions(paths::join(folder, name));
    OutputFile out(target, name, OutputFile::Existing::replaceOpen);
    out.setDurable(true);
    if (mode)
        out.setPermissions(*mode);
    Progress state;
    state.bytesTotal = earlier.fileLength();
    FileCopier copier;
    std::uint64_t offset = 0;
    while (offset < state.bytesTotal) {
        const std::uint64_t slice = std::min(state.bytesTotal - offset, FileCopier::kSliceBytes);
        if (copier.copy(source, offset, out, slice) != slice)
            throw FileError(ErrorKind::changedWhileBuilding, archivePath,
                            "the earlier archive's file shrank while it was put back");
        offset += slice;
        state.bytesDone = offset;
        // Putting back is not stopped halfway: the undo either happens or fails.
        if (progress)
            progress(state);
    }
    out.Commit();
}

} // namespace archive
