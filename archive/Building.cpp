#include "archive/Building.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveFormat.h"
#include "archive/CFile.h"
#include "archive/CFileFind.h"
#include "archive/CFolder.h"
#include "archive/CodePage950.h"
#include "archive/FileCopier.h"
#include "archive/FileSystem.h"
#include "archive/NameMapping.h"
#include "archive/OutputFile.h"
#include "archive/Paths.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace archive {

namespace {

const char kChangedSize[] = "changed size while the archive was being built";

using filesystem::canonicalPath;
using FolderId = filesystem::ObjectId;

// Canonical form of a folder that may not exist yet: the part that exists resolved by the system,
// the rest, which holds no links since it does not exist, resolved by its names.
std::optional<std::string> canonicalFolder(const std::string& path)
{
    if (std::optional<std::string> resolved = canonicalPath(path))
        return resolved;
    std::string absolute = path;
    if (path.empty() || path.front() != '/') {
        const std::optional<std::string> cwd = canonicalPath(".");
        if (!cwd)
            return std::nullopt;
        absolute = paths::join(*cwd, path);
    }
    const std::vector<std::string> parts = paths::components(absolute);
    std::size_t known = parts.size();
    std::optional<std::string> base;
    while (!base) {
        std::string prefix = "/";
        for (std::size_t i = 0; i < known; ++i)
            prefix = paths::join(prefix, parts[i]);
        base = canonicalPath(prefix);
        if (!base && known-- == 0)
            return std::nullopt;
    }
    std::string result = *base;
    for (std::size_t i = known; i < parts.size(); ++i) {
        if (parts[i] == "..")
            result = paths::parent(result);
        else if (parts[i] != ".")
            result = paths::join(result, parts[i]);
    }
    return result;
}

// One object of a folder being packed.
struct Found {
    std::string name;
    std::string path;
    bool isFolder;
    std::uint64_t length;
};

// The regular files and real folders of folder, sorted by name: the list keeps names equal but
// for case in the order they are added, so sorting first makes the archive depend on the names
// alone, not on the order the file system returns them, and a tree extracted and packed again
// gives the same bytes.
std::vector<Found> folderObjects(const std::string& folder)
{
    std::vector<Found> found;
    CFileFind find;
    bool more = find.FindFile(paths::join(folder, "*.*"));
    while (more) {
        more = find.FindNextFile();
        if (find.IsDots())
            continue;
        const bool isFolder = find.MatchesMask(FILE_ATTRIBUTE_DIRECTORY);
        // FIFOs, sockets and devices would block or never end; links to folders and dangling
        // links have no bytes of their own.
        if (!isFolder && !find.isRegularFile())
            continue;
        found.push_back(
            {find.GetFileName(), find.GetFilePath(), isFolder, isFolder ? 0 : find.GetLength()});
    }
    find.Close();
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.name < b.name; });
    return found;
}

// The entry for the file at path below prefix, its name converted once.
BuildEntry buildEntry(const std::string& path, const std::string& prefix, std::uint64_t size)
{
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size())
        throw NameError(ErrorKind::unsafeName, path, "does not lie below the folder being packed");
    std::string name;
    try {
        name = names::entryName(std::string_view(path).substr(prefix.size()));
    } catch (const NameError& e) {
        throw NameError(e.kind(), path, e.reason());
    }
    if (size > format::kMaxEntryBytes)
        throw FormatError(ErrorKind::tooLarge, path,
                          "is 2 GiB or larger, more than an archive entry can hold");
    return {std::move(name), path, size};
}

// Links to folders are never followed, but a bind mount can still lead back up the tree; without
// this the walk would repeat the tree until the path grew too long.
std::int64_t addFolder(std::vector<BuildEntry>& list, const std::string& folder,
                       const std::string& prefix, std::vector<FolderId>& ancestors)
{
    if (const std::optional<FolderId> id = filesystem::identity(folder)) {
        if (std::find(ancestors.begin(), ancestors.end(), *id) != ancestors.end())
            throw FileError(ErrorKind::folderLoop, folder,
                            "leads back to a folder that contains it");
        ancestors.push_back(*id);
    }
    const std::size_t depth = ancestors.size();
    std::int64_t sum = 0;
    for (const Found& object : folderObjects(folder)) {
        if (object.isFolder) {
            sum += addFolder(list, object.path, prefix, ancestors);
            ancestors.resize(depth);
            continue;
        }
        list.push_back(buildEntry(object.path, prefix, object.length));
        sum += static_cast<std::int64_t>(list.back().name.size()) + 1;
    }
    return sum;
}

} // namespace

std::int64_t AddFolderEntries(std::vector<BuildEntry>& list, const std::string& folder,
                              const std::string& root)
{
    std::vector<FolderId> ancestors;
    const std::int64_t sum = addFolder(list, folder, paths::withSeparator(root), ancestors);
    std::stable_sort(list.begin(), list.end(), [](const BuildEntry& a, const BuildEntry& b) {
        return cp950::compareNoCase(a.name, b.name) < 0;
    });
    return sum;
}

bool isArchiveInsideFolder(const std::string& archivePath, const std::string& sourceFolder)
{
    const std::optional<std::string> source = canonicalPath(sourceFolder);
    if (!source)
        return false;

    // A path ending in "." or ".." names a folder, not a file inside the last folder written.
    auto [folder, name] = paths::split(archivePath);
    if (name == "." || name == ".." || name.empty())
        folder = archivePath;
    const std::optional<std::string> target = canonicalFolder(folder);
    if (!target)
        return false;

    if (paths::isSameOrBelow(*target, *source))
        return true;
    // The same folder reached through another name (a bind mount) is still the same folder.
    const std::optional<FolderId> sourceId = filesystem::identity(*source);
    if (!sourceId)
        return false;
    for (std::string prefix = *target;; prefix = paths::parent(prefix)) {
        if (filesystem::identity(prefix) == sourceId)
            return true;
        if (prefix == "/")
            return false;
    }
}

namespace {

// Folder and name of the archive to write, once the source is known to be a folder the archive
// does not lie in.
std::pair<std::string, std::string> checkBuildPaths(const std::string& sourceFolder,
                                                    const std::string& archivePath)
{
    filesystem::requireFolder(sourceFolder);
    if (isArchiveInsideFolder(archivePath, sourceFolder))
        throw FileError(ErrorKind::insideSource, archivePath,
                        "lies inside the folder being packed");
    auto split = paths::split(archivePath);
    if (split.second.empty() || split.second == "." || split.second == "..")
        throw FileError(ErrorKind::unsafeName, archivePath, "is not a file name");
    return split;
}

// The listed files as records to write, their sizes summed into state.
std::vector<EntrySpec> entrySpecs(const std::vector<BuildEntry>& list, Progress& state)
{
    std::vector<EntrySpec> specs;
    specs.reserve(list.size());
    for (const BuildEntry& entry : list) {
        specs.push_back({entry.name, entry.size});
        state.bytesTotal += entry.size;
    }
    state.entriesTotal = static_cast<int>(specs.size());
    return specs;
}

// Each source's bytes after the directory, in record order; false when progress asked to stop.
class EntryCopy {
public:
    EntryCopy(OutputFile& out, const ProgressFn& progress) : m_out(out), m_progress(progress) {}

    bool copyAll(const std::vector<BuildEntry>& list, Progress& state)
    {
        for (const BuildEntry& entry : list) {
            if (!isGoing(state))
                return false;
            const std::string& path = entry.hostPath;
            CFile source;
            source.Open(path, CFile::modeRead);
            // The records are already written: data of any other length would shift every
            // entry after this one.
            if (source.lengthAtOpen() != entry.size)
                throw FileError(ErrorKind::changedWhileBuilding, path, kChangedSize);
            if (!copyOne(source, entry.size, state))
                return false;
            ++state.entriesDone;
            if (!isGoing(state))
                return false;
        }
        return true;
    }

private:
    bool isGoing(const Progress& state) const { return !m_progress || m_progress(state); }

    bool copyOne(const CFile& source, std::uint64_t size, Progress& state)
    {
        std::uint64_t offset = 0;
        while (offset < size) {
            const std::uint64_t slice = std::min(size - offset, FileCopier::kSliceBytes);
            if (m_copier.copy(source, offset, m_out, slice) != slice)
                throw FileError(ErrorKind::changedWhileBuilding, source.GetFilePath(),
                                kChangedSize);
            offset += slice;
            state.bytesDone += slice;
            // Within a large file only; a whole file is followed by the entry's own report.
            if (offset < size && !isGoing(state))
                return false;
        }
        return true;
    }

    OutputFile& m_out;
    const ProgressFn& m_progress;
    FileCopier m_copier;
};

} // namespace

BuildResult buildArchive(const std::string& sourceFolder, const std::string& archivePath,
                         const ProgressFn& progress)
{
    const auto [targetFolder, fileName] = checkBuildPaths(sourceFolder, archivePath);

    std::vector<BuildEntry> list;
    AddFolderEntries(list, sourceFolder, sourceFolder);
    Progress state;
    const std::vector<EntrySpec> specs = entrySpecs(list, state);
    // Refuses names, sizes and offsets the format cannot hold before the target is touched.
    const std::vector<unsigned char> directory = encodeDirectory(specs);

    const CFolder folder = CFolder::open(targetFolder);
    OutputFile out(folder, fileName);
    out.Write(directory.data(), directory.size());
    EntryCopy copy(out, progress);
    if (!copy.copyAll(list, state)) {
        out.Discard();
        return {0, 0, true};
    }
    // An archive replaces an earlier one only once it is on the disk.
    out.setDurable(true);
    out.Commit();
    return {state.entriesTotal, directory.size() + state.bytesTotal, false};
}

} // namespace archive
