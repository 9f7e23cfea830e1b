#include "archive/commands/Updating.h"

#include "archive/ArchiveError.h"
#include "archive/commands/ArchiveCheck.h"
#include "archive/commands/ArchiveWriter.h"
#include "archive/commands/EntryTable.h"
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
#include <optional>
#include <string_view>
#include <utility>

namespace archive {

namespace {

const char kChangedSize[] = "changed size while the archive was being written";

using Item = EntryTable::Item;

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
bool copyAll(const CFile* archive, const EntryTable& table, ArchiveWriter& writer, Progress& state)
{
    // Entries that lie back to back in the old archive go in one copy, so shared blocks stay
    // whole and a million small entries cost no million calls.
    std::uint64_t runOffset = 0;
    std::uint64_t runLength = 0;
    int nRun = 0;
    const auto copyRun = [&] {
        if (nRun == 0)
            return true;
        const bool isGoing = writer.copyArchiveRange(*archive, runOffset, runLength);
        state.entriesDone += std::exchange(nRun, 0);
        return isGoing;
    };
    const bool isWhole = table.forEachLive([&](const Item& item) {
        if (item.isOld && nRun > 0 && item.dataOffset == runOffset + runLength) {
            runLength += item.size;
            ++nRun;
            return true;
        }
        if (!copyRun() || !writer.isGoing())
            return false;
        if (item.isOld) {
            runOffset = item.dataOffset;
            runLength = item.size;
            nRun = 1;
            return true;
        }
        const bool isGoing = item.change->sourceArchive
                                 ? writer.copyArchiveRange(item.change->sourceArchive->file(),
                                                           item.dataOffset, item.size, false)
                                 : writer.copyHostFile(item.change->hostPath, item.size);
        ++state.entriesDone;
        return isGoing;
    });
    return isWhole && copyRun() && writer.isGoing();
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

// Whether the archive is byte for byte what an update writes: anything else (trailing bytes,
// padding, reserved fields, another order) is not kept.
bool isWrittenLayout(const ArchiveReader& reader)
{
    EntryTable table(reader.path(), reader.codePage(), &reader);
    table.settle();
    const EntrySequence entries = table.sequence();
    DirectoryLayout layout;
    try {
        layout = checkedLayout(entries);
    } catch (const FormatError&) {
        return false;
    }
    if (reader.fileLength() !=
        format::kDirectorySizeBytes + layout.directorySize + layout.dataBytes)
        return false;
    bool isSame = true;
    std::uint64_t offset = 0;
    std::vector<unsigned char> bytes;
    writeDirectory(entries, layout, [&](std::span<const unsigned char> piece) {
        bytes.resize(piece.size());
        isSame = isSame && reader.readAt(bytes.data(), bytes.size(), offset) == bytes.size() &&
                 std::equal(piece.begin(), piece.end(), bytes.begin());
        offset += piece.size();
    });
    return isSame;
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
UpdateResult writeItems(const CFile* archive, const EntryTable& table, const Destination& to,
                        const ProgressFn& progress, const UpdateOptions& options,
                        UpdateResult result)
{
    table.requireNoFileFolderClash();
    result.changedNames = table.changedNames();
    const EntrySequence entries = table.sequence();
    // Refuses names, sizes and offsets the format cannot hold before the target is touched.
    const DirectoryLayout layout = checkedLayout(entries);
    Progress state;
    state.entriesTotal = static_cast<int>(layout.entries);
    state.bytesTotal = layout.dataBytes;
    result.entries = state.entriesTotal;
    result.bytes = format::kDirectorySizeBytes + layout.directorySize + layout.dataBytes;

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
    ArchiveWriter writer(out, 0, progress, state, kChangedSize);
    writeDirectory(entries, layout,
                   [&writer](std::span<const unsigned char> piece) { writer.write(piece); });
    if (!copyAll(archive, table, writer, state)) {
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

    EntryTable table(archivePath, reader.codePage(), &reader);
    UpdateResult result;
    applyChanges(table, changes, options, archivePath, result);
    requireSound(reader, table);
    if (options.dryRun)
        result.isRelaidOut = !isWrittenLayout(reader);
    table.settle();
    if (!changesSomething(result)) {
        result.entries = static_cast<int>(table.liveCount());
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
    return writeItems(&archive, table,
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
    table.settle();
    return writeItems(nullptr, table,
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
