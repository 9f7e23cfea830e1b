#define FUSE_USE_VERSION 312

#include "mount/FuseMount.h"

#include "archive/ArchiveError.h"
#include "archive/files/FileSystem.h"
#include "mount/ArchiveMount.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fuse_lowlevel.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace mount {

namespace {

using NodeId = MountTree::NodeId;

// How long the kernel may keep names and attributes before asking again. They change only
// through this folder, which the kernel sees (a commit's new archive time shows late): a copy
// of a large folder then asks once per file, not again for each file reached after a second.
constexpr double kCacheSeconds = 30.0;

NodeId nodeOf(fuse_ino_t ino)
{
    return static_cast<NodeId>(ino - FUSE_ROOT_ID);
}
fuse_ino_t inoOf(NodeId node)
{
    return static_cast<fuse_ino_t>(node) + FUSE_ROOT_ID;
}

ArchiveMount& engineOf(fuse_req_t req)
{
    return *static_cast<ArchiveMount*>(fuse_req_userdata(req));
}

ArchiveMount::OpenFile& fileOf(fuse_file_info* fi)
{
    return *reinterpret_cast<ArchiveMount::OpenFile*>(fi->fh);
}

struct stat statOf(ArchiveMount& engine, NodeId node, const NodeAttributes& attributes)
{
    struct stat st {};
    st.st_ino = inoOf(node);
    const mode_t writable = engine.options().isReadOnly ? 0 : 0200;
    st.st_mode = attributes.isFolder ? (S_IFDIR | 0555 | writable) : (S_IFREG | 0444 | writable);
    st.st_nlink = attributes.isFolder ? 2 : 1;
    st.st_uid = ::getuid();
    st.st_gid = ::getgid();
    st.st_size = static_cast<off_t>(attributes.size);
    st.st_blocks = static_cast<blkcnt_t>((attributes.size + 511) / 512);
    st.st_mtim.tv_sec = st.st_ctim.tv_sec = st.st_atim.tv_sec = attributes.seconds;
    st.st_mtim.tv_nsec = st.st_ctim.tv_nsec = st.st_atim.tv_nsec = attributes.nanoseconds;
    return st;
}

fuse_entry_param entryOf(fuse_req_t req, NodeId node, const NodeAttributes& attributes)
{
    fuse_entry_param entry{};
    entry.ino = inoOf(node);
    entry.attr = statOf(engineOf(req), node, attributes);
    entry.attr_timeout = kCacheSeconds;
    entry.entry_timeout = kCacheSeconds;
    return entry;
}

void replyEntry(fuse_req_t req, NodeId node, const NodeAttributes& attributes)
{
    const fuse_entry_param entry = entryOf(req, node, attributes);
    fuse_reply_entry(req, &entry);
}

// Every operation answers the kernel even when the engine throws (a journal that cannot be
// written, memory): EIO then, never a hung caller.
template <typename Work> void answer(fuse_req_t req, Work work)
{
    int status = 0;
    try {
        status = work();
    } catch (const archive::ArchiveError& error) {
        status = error.systemError() ? error.systemError() : EIO;
    } catch (...) {
        status = EIO;
    }
    if (status != 0)
        fuse_reply_err(req, status);
}

void onLookup(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    answer(req, [&] {
        NodeId node = 0;
        NodeAttributes attributes;
        const int status = engineOf(req).lookup(nodeOf(parent), name, node, attributes);
        if (status == 0)
            replyEntry(req, node, attributes);
        return status;
    });
}

void onGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*)
{
    answer(req, [&] {
        NodeAttributes attributes;
        const int status = engineOf(req).attributes(nodeOf(ino), attributes);
        if (status == 0) {
            const struct stat st = statOf(engineOf(req), nodeOf(ino), attributes);
            fuse_reply_attr(req, &st, kCacheSeconds);
        }
        return status;
    });
}

void onSetattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int toSet, fuse_file_info*)
{
    answer(req, [&] {
        // Modes, owners and times are not kept by the format: only the size changes anything.
        if (toSet & FUSE_SET_ATTR_SIZE) {
            if (const int status =
                    engineOf(req).resize(nodeOf(ino), static_cast<std::uint64_t>(attr->st_size)))
                return status;
        }
        onGetattr(req, ino, nullptr);
        return 0;
    });
}

// A listing; with isPlus each name comes with its attributes, which spares the kernel a lookup
// of every name listed.
void listFolder(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, bool isPlus)
{
    answer(req, [&] {
        std::vector<char> buffer(size);
        std::size_t used = 0;
        const auto add = [&](const char* name, const fuse_entry_param& entry, off_t next) {
            char* at = buffer.data() + used;
            const std::size_t need =
                isPlus ? fuse_add_direntry_plus(req, at, size - used, name, &entry, next)
                       : fuse_add_direntry(req, at, size - used, name, &entry.attr, next);
            if (need > size - used)
                return false; // not written: the next call starts from it
            used += need;
            return true;
        };
        // "." and ".." carry no entry of their own (ino 0): the kernel knows both already.
        fuse_entry_param dot{};
        dot.attr.st_ino = ino;
        dot.attr.st_mode = S_IFDIR;
        // Offsets 1 and 2 follow "." and ".."; then an offset names the last child given plus
        // kChildOffset, so a long listing resumes without counting.
        constexpr off_t kChildOffset = 3;
        if ((off < 1 && !add(".", dot, 1)) || (off < 2 && !add("..", dot, 2))) {
            fuse_reply_buf(req, buffer.data(), used);
            return 0;
        }
        const NodeId after =
            off < kChildOffset ? MountTree::kNone : static_cast<NodeId>(off - kChildOffset);
        const int status = engineOf(req).list(
            nodeOf(ino), after,
            [&](NodeId node, const std::string& name, const NodeAttributes& attributes) {
                return add(name.c_str(), entryOf(req, node, attributes),
                           static_cast<off_t>(node) + kChildOffset);
            });
        if (status == 0)
            fuse_reply_buf(req, buffer.data(), used);
        return status;
    });
}

void onReaddir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*)
{
    listFolder(req, ino, size, off, false);
}

void onReaddirplus(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*)
{
    listFolder(req, ino, size, off, true);
}

// The kernel opens without asking when told ENOSYS once (it says whether it can at init).
std::atomic<bool> g_bKernelOpensAlone{false};

void onOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    // A read-only view keeps nothing per open file: unasked, the kernel sends no open and no
    // release, and a copy of a big folder costs one request per file instead of three.
    if (engineOf(req).options().isReadOnly && g_bKernelOpensAlone) {
        fuse_reply_err(req, ENOSYS);
        return;
    }
    answer(req, [&] {
        ArchiveMount::OpenFile* file = nullptr;
        const bool isWritable = (fi->flags & O_ACCMODE) != O_RDONLY;
        const int status =
            engineOf(req).open(nodeOf(ino), isWritable, (fi->flags & O_TRUNC) != 0, file);
        if (status == 0) {
            fi->fh = reinterpret_cast<std::uint64_t>(file);
            // A file's bytes change only through this folder, which the kernel's cache sees:
            // what it holds of them stays valid from one open to the next.
            fi->keep_cache = 1;
            if (fuse_reply_open(req, fi) != 0)
                engineOf(req).release(file);
        }
        return status;
    });
}

void onCreate(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t, fuse_file_info* fi)
{
    answer(req, [&] {
        ArchiveMount::OpenFile* file = nullptr;
        NodeId node = 0;
        NodeAttributes attributes;
        const int status = engineOf(req).create(nodeOf(parent), name, file, node, attributes);
        if (status == 0) {
            fi->fh = reinterpret_cast<std::uint64_t>(file);
            const fuse_entry_param entry = entryOf(req, node, attributes);
            if (fuse_reply_create(req, &entry, fi) != 0)
                engineOf(req).release(file);
        }
        return status;
    });
}

void onRead(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi)
{
    answer(req, [&] {
        // One buffer per serving thread, not a zero-filled one per request.
        thread_local std::vector<char> buffer;
        if (buffer.size() < size)
            buffer.resize(size);
        const std::uint64_t at = static_cast<std::uint64_t>(off);
        const long long n = fi->fh == 0
                                ? engineOf(req).readUnopened(nodeOf(ino), buffer.data(), size, at)
                                : engineOf(req).read(fileOf(fi), buffer.data(), size, at);
        if (n < 0)
            return static_cast<int>(-n);
        fuse_reply_buf(req, buffer.data(), static_cast<std::size_t>(n));
        return 0;
    });
}

void onWrite(fuse_req_t req, fuse_ino_t, const char* buf, size_t size, off_t off,
             fuse_file_info* fi)
{
    answer(req, [&] {
        const long long n =
            engineOf(req).write(fileOf(fi), buf, size, static_cast<std::uint64_t>(off));
        if (n < 0)
            return static_cast<int>(-n);
        fuse_reply_write(req, static_cast<std::size_t>(n));
        return 0;
    });
}

void onRelease(fuse_req_t req, fuse_ino_t, fuse_file_info* fi)
{
    engineOf(req).release(&fileOf(fi));
    fuse_reply_err(req, 0);
}

void onMkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t)
{
    answer(req, [&] {
        NodeId node = 0;
        NodeAttributes attributes;
        int status = engineOf(req).makeFolder(nodeOf(parent), name, node);
        if (status == 0)
            status = engineOf(req).attributes(node, attributes);
        if (status == 0)
            replyEntry(req, node, attributes);
        return status;
    });
}

void onUnlink(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    answer(req, [&] {
        const int status = engineOf(req).remove(nodeOf(parent), name, false);
        if (status == 0)
            fuse_reply_err(req, 0);
        return status;
    });
}

void onRmdir(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    answer(req, [&] {
        const int status = engineOf(req).remove(nodeOf(parent), name, true);
        if (status == 0)
            fuse_reply_err(req, 0);
        return status;
    });
}

void onRename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newParent,
              const char* newName, unsigned int flags)
{
    answer(req, [&] {
        if (flags & ~static_cast<unsigned>(RENAME_NOREPLACE))
            return EINVAL; // an exchange has no meaning for entries written anew
        const int status = engineOf(req).rename(nodeOf(parent), name, nodeOf(newParent), newName,
                                                (flags & RENAME_NOREPLACE) != 0);
        if (status == 0)
            fuse_reply_err(req, 0);
        return status;
    });
}

void onInit(void*, fuse_conn_info* conn)
{
    g_bKernelOpensAlone = (conn->capable & FUSE_CAP_NO_OPEN_SUPPORT) != 0;
    // Large requests: a copy of a big entry costs a round trip per MiB, not per 128 KiB.
    conn->max_write = 1 << 20;
    conn->max_readahead = 1 << 20;
}

fuse_lowlevel_ops operations()
{
    fuse_lowlevel_ops ops{};
    ops.init = onInit;
    ops.lookup = onLookup;
    ops.getattr = onGetattr;
    ops.setattr = onSetattr;
    ops.readdir = onReaddir;
    ops.readdirplus = onReaddirplus;
    ops.open = onOpen;
    ops.create = onCreate;
    ops.read = onRead;
    ops.write = onWrite;
    ops.release = onRelease;
    // No flush or fsync: the kernel then stops asking (a round trip less per closed file), and
    // the bytes are safe from a kill once written, which is what the scratch folder promises.
    ops.mkdir = onMkdir;
    ops.unlink = onUnlink;
    ops.rmdir = onRmdir;
    ops.rename = onRename;
    return ops;
}

std::atomic<fuse_session*> g_signalledSession{nullptr};

void onSignal(int)
{
    if (fuse_session* session = g_signalledSession.load())
        fuse_session_exit(session);
}

} // namespace

FuseMount::FuseMount(ArchiveMount& engine, std::string folder)
    : m_engine(engine), m_strFolder(std::move(folder))
{
}

FuseMount::~FuseMount()
{
    if (m_pSession) {
        fuse_session_unmount(m_pSession);
        fuse_session_destroy(m_pSession);
    }
}

void FuseMount::mount()
{
    archive::filesystem::requireFolder(m_strFolder);
    const std::string fsname = "fsname=velmora:" + m_engine.archivePath();
    std::vector<std::string> arguments{
        "velmora-dat", "-o", "subtype=velmora", "-o", "default_permissions", "-o", fsname};
    if (m_engine.options().isReadOnly)
        arguments.insert(arguments.end(), {"-o", "ro"});
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    const fuse_lowlevel_ops ops = operations();
    m_pSession = fuse_session_new(&args, &ops, sizeof ops, &m_engine);
    // Parsing may have copied the arguments into memory of its own.
    fuse_opt_free_args(&args);
    if (!m_pSession)
        throw archive::FileError(archive::ErrorKind::cannotOpen, m_strFolder,
                                 "cannot start a FUSE session");
    if (fuse_session_mount(m_pSession, m_strFolder.c_str()) != 0) {
        fuse_session_destroy(m_pSession);
        m_pSession = nullptr;
        throw archive::FileError(archive::ErrorKind::cannotOpen, m_strFolder,
                                 "cannot be mounted on (is /dev/fuse there, and fusermount3?)");
    }
}

void FuseMount::detach()
{
    const int keptError = ::dup(STDERR_FILENO);
    fuse_daemonize(0);
    if (keptError >= 0) {
        ::dup2(keptError, STDERR_FILENO);
        ::close(keptError);
    }
}

void FuseMount::commitWhileServing()
{
    std::unique_lock lock(m_mutex);
    while (m_bServing) {
        m_wake.wait_for(lock, std::chrono::milliseconds(100));
        lock.unlock();
        m_engine.commitIfQuiet();
        lock.lock();
    }
}

bool FuseMount::serve(bool handleSignals)
{
    struct sigaction previous[3]{};
    const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    if (handleSignals) {
        g_signalledSession = m_pSession;
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 3; ++i)
            sigaction(signals[i], &action, &previous[i]);
    }
    m_bServing = true;
    std::thread committer([this] { commitWhileServing(); });
    fuse_loop_config* config = fuse_loop_cfg_create();
    fuse_loop_cfg_set_clone_fd(config, 0);
    fuse_session_loop_mt(m_pSession, config);
    fuse_loop_cfg_destroy(config);
    {
        std::lock_guard lock(m_mutex);
        m_bServing = false;
    }
    m_wake.notify_all();
    committer.join();
    {
        // stop() may be unmounting on another thread: libfuse's unmount is not to be run twice.
        std::lock_guard lock(m_mutex);
        if (!m_bUnmounted)
            fuse_session_unmount(m_pSession);
        fuse_session_destroy(m_pSession);
        m_pSession = nullptr;
    }
    if (handleSignals) {
        g_signalledSession = nullptr;
        for (int i = 0; i < 3; ++i)
            sigaction(signals[i], &previous[i], nullptr);
    }
    return m_engine.finish();
}

void FuseMount::stop()
{
    std::lock_guard lock(m_mutex);
    if (m_pSession && !m_bUnmounted) {
        fuse_session_exit(m_pSession);
        // The loop waits in a read of the device: unmounting ends it.
        fuse_session_unmount(m_pSession);
        m_bUnmounted = true;
    }
}

} // namespace mount
