#include "mount/ArchiveMount.h"

#include "archive/files/FileSystem.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <vector>

namespace mount {

using archive::ErrorKind;
using archive::FileError;
using Kind = MountTree::Kind;

struct ArchiveMount::OpenFile {
    // An unchanged file: the archive it was opened on, which a commit does not take away.
    std::shared_ptr<archive::ArchiveReader> reader;
    std::uint64_t dataOffset = 0;
    std::uint64_t size = 0;
    int descriptor = -1; // a scratch file
    bool isWritable = false;

    OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile()
    {
        if (descriptor >= 0)
            ScratchFolder::close(descriptor);
    }
};

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

std::string currentStamp(const std::string& path)
{
    const auto stamp = archive::filesystem::stamp(path);
    return stamp ? ScratchFolder::stampText(*stamp) : std::string();
}

// A mount in the background works from "/": a relative path would lead elsewhere there.
std::string absolutePath(const std::string& path)
{
    return std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().string();
}

std::uint64_t number(const std::string& text)
{
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

ArchiveMount::ArchiveMount(const std::string& archivePath, const MountOptions& options,
                           MountEvents events)
    : m_strArchive(absolutePath(archivePath)), m_options(options), m_events(std::move(events)),
      m_scratch(m_strArchive), m_pReader(std::make_shared<archive::ArchiveReader>())
{
    // Shared: a dialog that mounts the archive it lists holds it too.
    m_pReader->Open(m_strArchive, options.encoding, true);
    m_pReader->requireWholeDirectory();
    m_tree.addArchive(*m_pReader);
    std::uint64_t size = 0;
    ScratchFolder::examine(m_strArchive, size, m_nArchiveSeconds, m_nArchiveNanoseconds);
    const std::vector<ScratchFolder::Record> records = m_scratch.records();
    // Folders alone are no change: an empty folder lasts only as long as its mount.
    const bool isPending = std::any_of(records.begin(), records.end(), [](const auto& record) {
        return record.op == 'F' || record.op == 'D' || record.op == 'R';
    });
    if (!isPending && !records.empty() && !options.isReadOnly)
        m_scratch.removeAll();
    if (isPending) {
        if (!options.recover)
            throw FileError(ErrorKind::changedMeanwhile, m_scratch.path(),
                            "holds changes an earlier mount of " + m_strArchive +
                                " did not put in: mount again with --recover to put them in, "
                                "or remove the folder to drop them");
        m_bJournalStarted = true; // recovery appends to the journal it replays
        recover();
    }
}

ArchiveMount::~ArchiveMount() = default;

void ArchiveMount::recover()
{
    const std::vector<ScratchFolder::Record> records = m_scratch.records();
    const ScratchFolder::Record& last = records.back();
    // A kill between the archive's replacement and the journal's reset leaves a complete commit:
    // the archive then is what that commit said it would write.
    if (last.op == 'C' && last.fields.size() == 2 && records[0].fields.size() == 1 &&
        currentStamp(m_strArchive) != records[0].fields[0] &&
        m_pReader->size() == number(last.fields[0]) &&
        m_pReader->fileLength() == number(last.fields[1])) {
        m_scratch.removeAll();
        m_bJournalStarted = false;
        return;
    }
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (const int refused = applyRecord(records[i]))
            throw FileError(ErrorKind::changedMeanwhile, m_scratch.path(),
                            "its changes no longer fit " + m_strArchive + ": " +
                                std::strerror(refused) + "; they are kept in the folder",
                            refused);
    }
    ++m_nGeneration;
    commit();
}

int ArchiveMount::applyRecord(const ScratchFolder::Record& record)
{
    const auto& f = record.fields;
    const auto at = [&](std::size_t i) {
        return m_tree.find(archive::paths::split("/" + f[i]).first);
    };
    const auto leaf = [&](std::size_t i) { return archive::paths::fileName(f[i]); };
    NodeId made = MountTree::kNone;
    switch (record.op) {
    case 'F': {
        const NodeId node = m_tree.find(f.at(0));
        if (node != MountTree::kNone && m_tree.kind(node) != Kind::folder) {
            m_tree.setScratch(node, static_cast<std::uint32_t>(number(f.at(1))));
            return 0;
        }
        return at(0) == MountTree::kNone
                   ? ENOENT
                   : m_tree.addFile(at(0), leaf(0), static_cast<std::uint32_t>(number(f[1])), made);
    }
    case 'M': {
        const NodeId node = m_tree.find(f.at(0));
        if (node != MountTree::kNone && m_tree.kind(node) == Kind::folder)
            return 0;
        return at(0) == MountTree::kNone ? ENOENT : m_tree.addFolder(at(0), leaf(0), made);
    }
    case 'D':
    case 'X':
        return at(0) == MountTree::kNone ? ENOENT : m_tree.remove(at(0), leaf(0), record.op == 'X');
    case 'R':
        if (at(0) == MountTree::kNone || at(1) == MountTree::kNone)
            return ENOENT;
        return m_tree.rename(at(0), leaf(0), at(1), leaf(1), f.at(2) == "1");
    default:
        return 0; // 'C': a commit that did not end
    }
}

void ArchiveMount::changed()
{
    ++m_nGeneration;
    m_lastChange = std::chrono::steady_clock::now();
}

NodeAttributes ArchiveMount::attributesOf(NodeId node) const
{
    NodeAttributes attributes{m_tree.kind(node) == Kind::folder, 0, m_nArchiveSeconds,
                              m_nArchiveNanoseconds};
    if (m_tree.kind(node) == Kind::entry)
        attributes.size = m_pReader->at(m_tree.data(node)).dataSize;
    else if (m_tree.kind(node) == Kind::scratch)
        ScratchFolder::examine(m_scratch.filePath(m_tree.data(node)), attributes.size,
                               attributes.seconds, attributes.nanoseconds);
    return attributes;
}

int ArchiveMount::lookup(NodeId folder, const std::string& name, NodeId& node,
                         NodeAttributes& attributes)
{
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(folder) || m_tree.kind(folder) != Kind::folder)
        return ENOTDIR;
    node = m_tree.child(folder, name);
    if (node == MountTree::kNone)
        return ENOENT;
    attributes = attributesOf(node);
    return 0;
}

int ArchiveMount::attributes(NodeId node, NodeAttributes& attributes)
{
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(node))
        return ENOENT;
    attributes = attributesOf(node);
    return 0;
}

int ArchiveMount::list(
    NodeId folder, NodeId after,
    const std::function<bool(NodeId, const std::string&, const NodeAttributes&)>& visit)
{
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(folder) || m_tree.kind(folder) != Kind::folder)
        return ENOTDIR;
    NodeId node = m_tree.firstChild(folder);
    // A listing resumes after the child it stopped at, if that is still there.
    if (after != MountTree::kNone && m_tree.isLive(after) && m_tree.parent(after) == folder)
        node = m_tree.nextSibling(after);
    for (; node != MountTree::kNone; node = m_tree.nextSibling(node)) {
        if (!visit(node, std::string(m_tree.name(node)), attributesOf(node)))
            break;
    }
    return 0;
}

int ArchiveMount::copyUp(NodeId node, bool truncate)
{
    if (m_tree.kind(node) == Kind::entry) {
        // An entry whose name cannot be written again could never be committed.
        try {
            archive::names::requireStorable(m_tree.entryName(node), m_pReader->codePage());
        } catch (const archive::NameError&) {
            return EILSEQ;
        }
        const std::uint32_t file = m_scratch.newFile();
        if (!truncate) {
            const int descriptor = m_scratch.open(file, true);
            if (descriptor < 0)
                return -descriptor;
            const archive::RecordView record = m_pReader->at(m_tree.data(node));
            std::vector<char> buffer(std::min<std::size_t>(kCopyChunk, record.dataSize));
            for (std::uint64_t done = 0; done < record.dataSize;) {
                const std::size_t n = m_pReader->readAt(
                    buffer.data(), std::min<std::uint64_t>(buffer.size(), record.dataSize - done),
                    record.dataOffset + done);
                if (n == 0 || ScratchFolder::writeAt(descriptor, buffer.data(), n, done) !=
                                  static_cast<long long>(n)) {
                    ScratchFolder::close(descriptor);
                    return EIO;
                }
                done += n;
            }
            ScratchFolder::close(descriptor);
        }
        m_tree.setScratch(node, file);
        m_scratch.append({'F', {m_tree.path(node), std::to_string(file)}});
    } else if (truncate) {
        const int descriptor = m_scratch.open(m_tree.data(node), true);
        if (descriptor < 0)
            return -descriptor;
        const int status = ScratchFolder::resize(descriptor, 0);
        ScratchFolder::close(descriptor);
        if (status < 0)
            return -status;
    }
    changed();
    return 0;
}

void ArchiveMount::startJournal()
{
    if (m_bJournalStarted)
        return;
    // The journal's base is the file the view reads, even when another program has put another
    // at the path meanwhile: recovery must not take that one for it.
    auto stamp = archive::filesystem::stamp(m_strArchive);
    if (!stamp || stamp->id != m_pReader->file().identity())
        stamp = archive::filesystem::FileStamp{m_pReader->file().identity(),
                                               m_pReader->fileLength(), 0};
    m_scratch.reset(*stamp);
    m_bJournalStarted = true;
}

int ArchiveMount::open(NodeId node, bool isWritable, bool truncate, OpenFile*& file)
{
    if (isWritable && m_options.isReadOnly)
        return EROFS;
    std::unique_lock<std::mutex> commitLock(m_commitMutex, std::defer_lock);
    if (isWritable)
        commitLock.lock();
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(node))
        return ENOENT;
    if (m_tree.kind(node) == Kind::folder)
        return EISDIR;
    auto opened = std::make_unique<OpenFile>();
    opened->isWritable = isWritable;
    if (isWritable) {
        startJournal();
        if (const int refused = copyUp(node, truncate))
            return refused;
    }
    if (m_tree.kind(node) == Kind::entry) {
        const archive::RecordView record = m_pReader->at(m_tree.data(node));
        opened->reader = m_pReader;
        opened->dataOffset = record.dataOffset;
        opened->size = record.dataSize;
    } else {
        opened->descriptor = m_scratch.open(m_tree.data(node), isWritable);
        if (opened->descriptor < 0)
            return -opened->descriptor;
    }
    m_nWriters += isWritable ? 1 : 0;
    file = keep(std::move(opened));
    return 0;
}

int ArchiveMount::create(NodeId folder, const std::string& name, OpenFile*& file, NodeId& node,
                         NodeAttributes& attributes)
{
    if (m_options.isReadOnly)
        return EROFS;
    std::lock_guard commitLock(m_commitMutex);
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(folder) || m_tree.kind(folder) != Kind::folder)
        return ENOENT;
    if (m_tree.child(folder, name) != MountTree::kNone)
        return EEXIST;
    if (const int refused = m_tree.checkNewName(folder, name))
        return refused;
    startJournal();
    const std::uint32_t number = m_scratch.newFile();
    if (const int refused = m_tree.addFile(folder, name, number, node))
        return refused;
    m_scratch.append({'F', {m_tree.path(node), std::to_string(number)}});
    changed();
    auto opened = std::make_unique<OpenFile>();
    opened->isWritable = true;
    opened->descriptor = m_scratch.open(number, true);
    if (opened->descriptor < 0)
        return -opened->descriptor;
    ++m_nWriters;
    attributes = attributesOf(node);
    file = keep(std::move(opened));
    return 0;
}

long long ArchiveMount::read(OpenFile& file, char* buffer, std::size_t count, std::uint64_t offset)
{
    if (file.descriptor >= 0)
        return ScratchFolder::readAt(file.descriptor, buffer, count, offset);
    if (offset >= file.size)
        return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, file.size - offset));
    try {
        return static_cast<long long>(file.reader->readAt(buffer, count, file.dataOffset + offset));
    } catch (const archive::ArchiveError& error) {
        return -(error.systemError() ? error.systemError() : EIO);
    }
}

long long ArchiveMount::readUnopened(NodeId node, char* buffer, std::size_t count,
                                     std::uint64_t offset)
{
    OpenFile file;
    {
        std::lock_guard lock(m_treeMutex);
        if (!m_tree.isLive(node) || m_tree.kind(node) == Kind::folder)
            return -EIO;
        if (m_tree.kind(node) == Kind::scratch) {
            const int descriptor = m_scratch.open(m_tree.data(node), false);
            if (descriptor < 0)
                return descriptor;
            const long long n = ScratchFolder::readAt(descriptor, buffer, count, offset);
            ScratchFolder::close(descriptor);
            return n;
        }
        const archive::RecordView record = m_pReader->at(m_tree.data(node));
        file.reader = m_pReader;
        file.dataOffset = record.dataOffset;
        file.size = record.dataSize;
    }
    return read(file, buffer, count, offset);
}

long long ArchiveMount::write(OpenFile& file, const char* buffer, std::size_t count,
                              std::uint64_t offset)
{
    const long long written = ScratchFolder::writeAt(file.descriptor, buffer, count, offset);
    std::lock_guard lock(m_treeMutex);
    changed();
    return written;
}

ArchiveMount::OpenFile* ArchiveMount::keep(std::unique_ptr<OpenFile> file)
{
    OpenFile* kept = file.get();
    m_openFiles.emplace(kept, std::move(file));
    return kept;
}

void ArchiveMount::release(OpenFile* file)
{
    std::lock_guard lock(m_treeMutex);
    if (file->isWritable) {
        --m_nWriters;
        m_lastChange = std::chrono::steady_clock::now();
    }
    m_openFiles.erase(file);
}

int ArchiveMount::resize(NodeId node, std::uint64_t size)
{
    if (m_options.isReadOnly)
        return EROFS;
    std::lock_guard commitLock(m_commitMutex);
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(node))
        return ENOENT;
    if (m_tree.kind(node) == Kind::folder)
        return EISDIR;
    startJournal();
    if (const int refused = copyUp(node, size == 0))
        return refused;
    const int descriptor = m_scratch.open(m_tree.data(node), true);
    if (descriptor < 0)
        return -descriptor;
    const int status = ScratchFolder::resize(descriptor, size);
    ScratchFolder::close(descriptor);
    return -status;
}

int ArchiveMount::makeFolder(NodeId folder, const std::string& name, NodeId& node)
{
    if (m_options.isReadOnly)
        return EROFS;
    std::lock_guard commitLock(m_commitMutex);
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(folder) || m_tree.kind(folder) != Kind::folder)
        return ENOENT;
    if (const int refused = m_tree.addFolder(folder, name, node))
        return refused;
    startJournal();
    m_scratch.append({'M', {m_tree.path(node)}});
    return 0; // no entry changes: an empty folder is no entry
}

int ArchiveMount::remove(NodeId folder, const std::string& name, bool isFolder)
{
    if (m_options.isReadOnly)
        return EROFS;
    std::lock_guard commitLock(m_commitMutex);
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(folder) || m_tree.kind(folder) != Kind::folder)
        return ENOENT;
    const std::string path = archive::paths::join(m_tree.path(folder), name);
    if (const int refused = m_tree.remove(folder, name, isFolder))
        return refused;
    startJournal();
    m_scratch.append({isFolder ? 'X' : 'D', {path}});
    if (!isFolder)
        changed();
    return 0;
}

int ArchiveMount::rename(NodeId from, const std::string& name, NodeId to,
                         const std::string& newName, bool noReplace)
{
    if (m_options.isReadOnly)
        return EROFS;
    std::lock_guard commitLock(m_commitMutex);
    std::lock_guard lock(m_treeMutex);
    if (!m_tree.isLive(from) || !m_tree.isLive(to) || m_tree.kind(to) != Kind::folder)
        return ENOENT;
    const std::string oldPath = archive::paths::join(m_tree.path(from), name);
    const std::string newPath = archive::paths::join(m_tree.path(to), newName);
    if (const int refused = m_tree.rename(from, name, to, newName, noReplace))
        return refused;
    startJournal();
    m_scratch.append({'R', {oldPath, newPath, noReplace ? "1" : "0"}});
    changed();
    return 0;
}

bool ArchiveMount::isQuiet() const
{
    std::lock_guard lock(m_treeMutex);
    return m_nGeneration != m_nCommitted && m_nGeneration != m_nFailedGeneration && !m_bConflict &&
           m_nWriters == 0 && m_options.commitDelay.count() > 0 &&
           std::chrono::steady_clock::now() - m_lastChange >= m_options.commitDelay;
}

void ArchiveMount::commitIfQuiet()
{
    if (isQuiet())
        commitNow();
}

void ArchiveMount::commitNow()
{
    // The events are told with no lock held, so a front end may ask the view again at once.
    std::optional<archive::UpdateResult> result;
    try {
        result = commit();
    } catch (const archive::ArchiveError& error) {
        {
            std::lock_guard lock(m_treeMutex);
            m_nFailedGeneration = m_nGeneration;
            m_bConflict = m_bConflict || error.kind() == ErrorKind::changedMeanwhile;
        }
        if (m_events.failed)
            m_events.failed(error);
        return;
    }
    if (result && m_events.committed)
        m_events.committed(*result);
}

bool ArchiveMount::finish()
{
    if (m_options.isReadOnly)
        return true;
    {
        std::lock_guard lock(m_treeMutex);
        if (m_bConflict)
            return false;
        m_nFailedGeneration = 0;
        // The folder is unmounted: a file still open for writing is written no more, and the
        // kernel sends no release for it (a save just before the unmount would stay pending).
        m_nWriters = 0;
    }
    commitNow();
    std::lock_guard lock(m_treeMutex);
    if (m_nGeneration != m_nCommitted)
        return false;
    m_scratch.removeAll();
    m_bJournalStarted = false;
    return true;
}

std::optional<archive::UpdateResult> ArchiveMount::commit()
{
    std::lock_guard commitLock(m_commitMutex);
    std::vector<archive::ArchiveChange> changes;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_treeMutex);
        if (m_nGeneration == m_nCommitted || m_nWriters > 0)
            return std::nullopt;
        generation = m_nGeneration;
        changes = m_tree.changes(*m_pReader,
                                 [&](std::uint32_t file) { return m_scratch.filePath(file); });
    }
    archive::UpdateOptions options;
    options.lockWait = m_options.lockWait;
    std::shared_ptr<archive::ArchiveReader> reader = m_pReader;
    archive::UpdateResult result;
    if (!changes.empty()) {
        options.dryRun = true;
        const archive::UpdateResult planned = archive::updateArchive(*reader, changes, {}, options);
        m_scratch.append({'C', {std::to_string(planned.entries), std::to_string(planned.bytes)}});
        options.dryRun = false;
        result = archive::updateArchive(*reader, changes, {}, options);
    }
    if (result.written) {
        auto next = std::make_shared<archive::ArchiveReader>();
        // The code page the view was read in, even if the new names would suggest another.
        next->Open(m_strArchive, m_pReader->codePage().encoding(), true);
        if (archive::filesystem::stamp(m_strArchive) != result.written)
            throw FileError(ErrorKind::changedMeanwhile, m_strArchive,
                            "was replaced by another program just after this mount's commit");
        std::lock_guard lock(m_treeMutex);
        if (!m_tree.remap(*next))
            throw FileError(ErrorKind::internal, m_strArchive,
                            "the committed archive lacks a file of the mounted folder");
        m_pReader = std::move(next);
        std::uint64_t size = 0;
        ScratchFolder::examine(m_strArchive, size, m_nArchiveSeconds, m_nArchiveNanoseconds);
    }
    std::lock_guard lock(m_treeMutex);
    m_nCommitted = generation;
    m_bJournalStarted = false;
    startJournal();
    for (const std::string& folder : m_tree.emptyFolders())
        m_scratch.append({'M', {folder}});
    return result.written ? std::optional(result) : std::nullopt;
}

} // namespace mount
