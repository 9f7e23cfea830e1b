#pragma once

#include "archive/ArchiveError.h"
#include "archive/commands/Updating.h"
#include "archive/format/ArchiveReader.h"
#include "mount/MountTree.h"
#include "mount/ScratchFolder.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace mount {

struct MountOptions {
    bool isReadOnly = false;
    // How long the view stays quiet (no change, no file open for writing) before a commit;
    // zero commits only when the mount ends.
    std::chrono::milliseconds commitDelay = std::chrono::seconds(2);
    // Puts in what an earlier mount of the archive left in its scratch folder.
    bool recover = false;
    std::chrono::milliseconds lockWait = archive::kDefaultLockWait;
    // The code page of the names; nullopt: the one the archive's names show.
    std::optional<archive::Encoding> encoding;
};

// What a front end hears of commits, on the thread that made the commit, with no lock held.
struct MountEvents {
    std::function<void(const archive::UpdateResult&)> committed;
    // A commit that failed; the changes stay pending (and in the scratch folder).
    std::function<void(const archive::ArchiveError&)> failed;
};

// What stat shows of a node.
struct NodeAttributes {
    bool isFolder = false;
    std::uint64_t size = 0;
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
};

// The open archive seen as a folder, apart from how the system asks (mount/FuseMount): every
// operation answers 0 or an errno value as a file system does. Reads of unchanged files read the
// archive in place; a file opened for writing is copied to the scratch folder first and each
// change of the view is journalled there, until a commit puts everything into the archive in one
// update. A commit holds off changes but not reads: an open file keeps the archive it was opened
// on, and the view switches to the new archive in one step once it is in place.
class ArchiveMount {
public:
    using NodeId = MountTree::NodeId;

    // Opens the archive. FileError changedMeanwhile (subject: the scratch folder) when an earlier
    // mount left changes and options.recover is not set; with it, they are put in first.
    ArchiveMount(const std::string& archivePath, const MountOptions& options, MountEvents events);
    ~ArchiveMount();
    ArchiveMount(const ArchiveMount&) = delete;
    ArchiveMount& operator=(const ArchiveMount&) = delete;

    const std::string& archivePath() const noexcept { return m_strArchive; }
    const std::string& scratchPath() const noexcept { return m_scratch.path(); }
    const MountOptions& options() const noexcept { return m_options; }

    int lookup(NodeId folder, const std::string& name, NodeId& node, NodeAttributes& attributes);
    int attributes(NodeId node, NodeAttributes& attributes);
    // The children from the one after `after` (kNone: the first), with their attributes; visit
    // returns false to stop.
    int list(NodeId folder, NodeId after,
             const std::function<bool(NodeId, const std::string&, const NodeAttributes&)>& visit);

    struct OpenFile;
    int open(NodeId node, bool isWritable, bool truncate, OpenFile*& file);
    int create(NodeId folder, const std::string& name, OpenFile*& file, NodeId& node,
               NodeAttributes& attributes);
    long long read(OpenFile& file, char* buffer, std::size_t count, std::uint64_t offset);
    // The same for a file of a read-only view that was never opened (the kernel opens alone).
    long long readUnopened(NodeId node, char* buffer, std::size_t count, std::uint64_t offset);
    long long write(OpenFile& file, const char* buffer, std::size_t count, std::uint64_t offset);
    void release(OpenFile* file);
    int resize(NodeId node, std::uint64_t size);

    int makeFolder(NodeId folder, const std::string& name, NodeId& node);
    int remove(NodeId folder, const std::string& name, bool isFolder);
    int rename(NodeId from, const std::string& name, NodeId to, const std::string& newName,
               bool noReplace);

    // Commits when there is something to commit and the view has been quiet for the delay
    // (always: now). Failures go to events.failed.
    void commitIfQuiet();
    void commitNow();
    // Commits what is pending, as the mount ends (files still open for writing count as
    // closed); true when nothing is left pending.
    bool finish();

private:
    // Called with m_treeMutex held.
    OpenFile* keep(std::unique_ptr<OpenFile> file);
    struct Snapshot;
    void startJournal();
    void replay(const std::vector<ScratchFolder::Record>& records);
    int applyRecord(const ScratchFolder::Record& record);
    void recover();
    int copyUp(NodeId node, bool truncate);
    void changed();
    bool isQuiet() const;
    // What the commit wrote, or nullopt when it had nothing to write.
    std::optional<archive::UpdateResult> commit();
    NodeAttributes attributesOf(NodeId node) const;

    std::string m_strArchive;
    MountOptions m_options;
    MountEvents m_events;
    ScratchFolder m_scratch;
    std::shared_ptr<archive::ArchiveReader> m_pReader;
    MountTree m_tree;
    std::int64_t m_nArchiveSeconds = 0;
    std::int64_t m_nArchiveNanoseconds = 0;

    // Changes of the view wait while a commit runs; the tree's own lock is held only briefly,
    // so reads go on during a commit. Taken in this order.
    std::mutex m_commitMutex;
    mutable std::mutex m_treeMutex;
    std::uint64_t m_nGeneration = 0;       // changes made
    std::uint64_t m_nCommitted = 0;        // the generation the archive holds
    std::uint64_t m_nFailedGeneration = 0; // a commit of this generation failed
    bool m_bConflict = false;              // another program changed the archive
    bool m_bJournalStarted = false;        // the scratch folder holds this view's journal
    int m_nWriters = 0;
    // What the kernel holds open; freed here too, for files it never released before the end.
    std::unordered_map<OpenFile*, std::unique_ptr<OpenFile>> m_openFiles;
    std::chrono::steady_clock::time_point m_lastChange;
};

} // namespace mount
