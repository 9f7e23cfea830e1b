#include "archive/commands/Building.h"

#include "archive/ArchiveError.h"
#include "archive/commands/ArchiveWriter.h"
#include "archive/files/CFile.h"
#include "archive/files/CFileFind.h"
#include "archive/files/CFolder.h"
#include "archive/files/FileCopier.h"
#include "archive/files/FileSystem.h"
#include "archive/files/FolderCache.h"
#include "archive/files/OutputFile.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/CodePage950.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"

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

// A file to pack, where its bytes lie and what the listing saw.
struct SourceFile {
    std::string entryName;
    std::uint32_t folder = 0;
    std::string hostName; // inside the folder
    std::uint64_t size = 0;
};

// The regular files below a folder and the links skipped, listed through held folder handles.
class SourceTree {
public:
    // folder is what is packed; entry names are made relative to root.
    SourceTree(const std::string& folder, const std::string& root, const CodePage& cp)
        : m_codePage(cp), m_strPrefix(paths::withSeparator(root)),
          m_strCanonical(canonicalPath(folder).value_or(std::string())),
          m_folders(folder, FolderCache::Use::read, kHeldFolders)
    {
        std::vector<FolderId> ancestors;
        walk(FolderCache::kTop, ancestors);
        // Names equal but for case keep the order of the walk, which sorted each folder's names:
        // the archive then depends on the names alone and building an extracted tree again gives
        // the same bytes.
        std::stable_sort(m_files.begin(), m_files.end(),
                         [&cp](const SourceFile& a, const SourceFile& b) {
                             return cp.compareNoCase(a.entryName, b.entryName) < 0;
                         });
    }

    std::vector<SourceFile>& files() { return m_files; }
    std::vector<std::string>& skippedLinks() { return m_skippedLinks; }
    std::string hostPath(const SourceFile& file) const
    {
        return paths::join(m_folders.path(file.folder), file.hostName);
    }

    // The folder holding file, opened again when it was let go.
    const CFolder& folderOf(const SourceFile& file) { return m_folders.open(file.folder); }

private:
    // Enough for the folders a sorted list visits around one point; few enough for any limit on
    // open files.
    static constexpr std::size_t kHeldFolders = 64;

    // Links to folders are never followed, but a bind mount can still lead back up the tree;
    // without this the walk would repeat the tree until the path grew too long.
    void walk(std::uint32_t index, std::vector<FolderId>& ancestors)
    {
        const CFolder& folder = m_folders.open(index);
        if (const std::optional<FolderId> id = m_folders.identity(index)) {
            if (std::find(ancestors.begin(), ancestors.end(), *id) != ancestors.end())
                throw FileError(ErrorKind::folderLoop, folder.path(),
                                "leads back to a folder that contains it");
            ancestors.push_back(*id);
        }
        // Taken now: what is opened below may let this folder go.
        std::vector<FolderItem> items = folder.items();
        const std::size_t depth = ancestors.size();
        if (m_files.capacity() < m_files.size() + items.size())
            m_files.reserve(std::max(m_files.size() + items.size(), 2 * m_files.capacity()));
        std::sort(items.begin(), items.end(),
                  [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
        for (FolderItem& item : items) {
            switch (item.kind) {
            case FolderItem::Kind::folder:
                walk(m_folders.child(index, item.name), ancestors);
                ancestors.resize(depth);
                break;
            case FolderItem::Kind::file:
                addFile(index, std::move(item.name), item.size, item.id);
                break;
            case FolderItem::Kind::link:
                addLink(index, item.name);
                break;
            case FolderItem::Kind::other:
                // FIFOs, sockets and devices would block or never end.
                break;
            }
        }
    }

    void addFile(std::uint32_t folder, std::string name, std::uint64_t size, const FolderId& id)
    {
        const std::string path = paths::join(m_folders.path(folder), name);
        if (CFile::isHeldOpen(id.device, id.inode))
            throw FileError(ErrorKind::alreadyOpen, path, "is already open in this program");
        m_files.push_back(
            {entryName(path, path), folder, std::move(name), checkedSize(path, size)});
    }

    // Packed under its own name when it leads to a regular file inside the tree, read from there
    // without following it again; anything else is only reported.
    void addLink(std::uint32_t folder, const std::string& name)
    {
        const std::string path = paths::join(m_folders.path(folder), name);
        const std::optional<LinkedFile> target = m_folders.open(folder).linkedFile(name);
        if (!target || m_strCanonical.empty() ||
            !paths::isSameOrBelow(target->path, m_strCanonical) ||
            target->path.size() == m_strCanonical.size()) {
            m_skippedLinks.push_back(path);
            return;
        }
        const std::size_t skip = m_strCanonical.size() + (m_strCanonical == "/" ? 0 : 1);
        std::vector<std::string> parts = paths::components(target->path.substr(skip));
        std::string fileName = std::move(parts.back());
        parts.pop_back();
        std::uint32_t index = FolderCache::kTop;
        for (const std::string& part : parts)
            index = m_folders.child(index, part);
        m_files.push_back(
            {entryName(path, path), index, std::move(fileName), checkedSize(path, target->size)});
    }

    std::string entryName(const std::string& path, const std::string& subject) const
    {
        if (path.compare(0, m_strPrefix.size(), m_strPrefix) != 0 ||
            path.size() == m_strPrefix.size())
            throw NameError(ErrorKind::unsafeName, subject,
                            "does not lie below the folder being packed");
        const std::string_view relative = std::string_view(path).substr(m_strPrefix.size());
        std::string name;
        try {
            name = names::entryName(relative, m_codePage);
        } catch (const NameError& e) {
            throw NameError(e.kind(), subject, e.reason());
        }
        // entryName gave the name that maps back to exactly this path.
        if (auto reason = names::unstorableReason(name, relative, m_codePage))
            throw NameError(ErrorKind::nameNotStorable, subject, *reason);
        return name;
    }

    static std::uint64_t checkedSize(const std::string& path, std::uint64_t size)
    {
        format::requireEntrySize(path, size);
        return size;
    }

    const CodePage& m_codePage;
    std::string m_strPrefix;
    std::string m_strCanonical;
    FolderCache m_folders;
    std::vector<SourceFile> m_files;
    std::vector<std::string> m_skippedLinks;
};

} // namespace

std::int64_t AddFolderEntries(std::vector<BuildEntry>& list, const std::string& folder,
                              const std::string& root, const CodePage& cp)
{
    std::vector<std::string> skippedLinks;
    return AddFolderEntries(list, folder, root, skippedLinks, cp);
}

std::int64_t AddFolderEntries(std::vector<BuildEntry>& list, const std::string& folder,
                              const std::string& root, std::vector<std::string>& skippedLinks,
                              const CodePage& cp)
{
    SourceTree tree(folder, root, cp);
    std::int64_t sum = 0;
    list.reserve(list.size() + tree.files().size());
    for (SourceFile& file : tree.files()) {
        sum += static_cast<std::int64_t>(file.entryName.size()) + 1;
        list.push_back({std::move(file.entryName), tree.hostPath(file), file.size});
    }
    std::stable_sort(list.begin(), list.end(), [&cp](const BuildEntry& a, const BuildEntry& b) {
        return cp.compareNoCase(a.name, b.name) < 0;
    });
    for (std::string& link : tree.skippedLinks())
        skippedLinks.push_back(std::move(link));
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
std::vector<EntrySpec> entrySpecs(const std::vector<SourceFile>& files, Progress& state)
{
    std::vector<EntrySpec> specs;
    specs.reserve(files.size());
    for (const SourceFile& file : files) {
        specs.push_back({file.entryName, file.size});
        state.bytesTotal += file.size;
    }
    state.entriesTotal = static_cast<int>(specs.size());
    return specs;
}

// Each source's bytes after the directory, in record order; false when progress asked to stop.
bool copyAll(SourceTree& tree, ArchiveWriter& writer, Progress& state)
{
    for (const SourceFile& file : tree.files()) {
        if (!writer.isGoing())
            return false;
        if (!writer.copyFolderFile(tree.folderOf(file), file.hostName, file.size))
            return false;
        ++state.entriesDone;
        if (!writer.isGoing())
            return false;
    }
    writer.flush();
    return true;
}

} // namespace

BuildResult buildArchive(const std::string& sourceFolder, const std::string& archivePath,
                         const ProgressFn& progress, const CodePage& cp)
{
    const auto [targetFolder, fileName] = checkBuildPaths(sourceFolder, archivePath);

    SourceTree tree(sourceFolder, sourceFolder, cp);
    Progress state;
    std::uint64_t directoryBytes = 0;
    const CFolder folder = CFolder::open(targetFolder);
    std::optional<OutputFile> out;
    {
        const std::vector<EntrySpec> specs = entrySpecs(tree.files(), state);
        // Refuses names, sizes and offsets the format cannot hold before the target is touched.
        const std::vector<unsigned char> directory = encodeDirectory(specs);
        directoryBytes = directory.size();
        out.emplace(folder, fileName);
        // Write-back starts during the copy, so the final flush has little left to do.
        out->setDurable(true);
        out->Write(directory.data(), directory.size());
    }
    ArchiveWriter writer(*out, directoryBytes, progress, state, kChangedSize);
    if (!copyAll(tree, writer, state)) {
        out->Discard();
        return {0, 0, true, {}};
    }
    // An archive replaces an earlier one only once it is on the disk.
    out->Commit();
    return {state.entriesTotal, directoryBytes + state.bytesTotal, false,
            std::move(tree.skippedLinks())};
}

} // namespace archive
