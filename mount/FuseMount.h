#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

struct fuse_session;

namespace mount {

class ArchiveMount;

// Shows an ArchiveMount at a folder through the kernel's FUSE device (libfuse 3, low-level
// interface: node ids are inode numbers, so the kernel never makes the view keep a table of
// paths). While it serves, a timer commits the view's changes once it has been quiet.
// For a dialog: mount(), then serve() on a thread of its own, and stop() from any thread; the
// engine's events say when a commit went in.
class FuseMount {
public:
    FuseMount(ArchiveMount& engine, std::string folder);
    ~FuseMount();
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    // FileError cannotOpen naming the folder when it cannot be mounted there.
    void mount();
    // Goes on in the background, the terminal given back: a process of its own that keeps
    // standard error, where later failures are told.
    void detach();
    // Serves until the folder is unmounted (fusermount3 -u, umount), stop() is called, or, with
    // handleSignals, SIGINT, SIGTERM or SIGHUP arrives; then unmounts and commits what is
    // pending. True when nothing was left pending.
    bool serve(bool handleSignals);
    void stop();

private:
    void commitWhileServing();

    ArchiveMount& m_engine;
    std::string m_strFolder;
    fuse_session* m_pSession = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_bServing{false};
    bool m_bUnmounted = false; // by stop(); under m_mutex, as m_pSession once served
};

} // namespace mount
