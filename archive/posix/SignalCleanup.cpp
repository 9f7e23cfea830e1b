#include "archive/SignalCleanup.h"

#include "archive/CFolder.h"
#include "archive/posix/Descriptor.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace archive {

namespace {

constexpr int kSlots = 64;
// How far below a registered folder the handler removes, each level a small buffer on the stack;
// what lies deeper stays for the next start's sweep.
constexpr int kTreeDepth = 24;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

enum SlotState : int { slotFree, slotFilling, slotLive };

struct Slot {
    std::atomic<int> state{slotFree};
    int folderFd = -1;
    bool bTree = false;
    char name[NAME_MAX + 1] = {};
};

Slot g_slots[kSlots];
std::atomic<bool> g_bInstalled{false};
std::atomic<bool> g_bStopOnInterrupt{false};
std::atomic<int> g_nStopSignal{0};
std::atomic<const char*> g_pStopNotice{nullptr};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
                  std::atomic<const char*>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

bool isDotOrDotDot(const char* name) noexcept
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes name inside folderFd with what it holds, depthLeft levels below it at most; true when
// it is gone. Only system calls on a stack buffer: the handler may call it.
bool removeTree(int folderFd, const char* name, int depthLeft) noexcept
{
    if (::unlinkat(folderFd, name, 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return false;
    if (depthLeft > 0) {
        const int fd = ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            alignas(dirent64) char buffer[1024];
            // Entries removed while the folder is read may hide others from that reading.
            for (bool isRemoving = true; isRemoving;) {
                isRemoving = false;
                ::lseek(fd, 0, SEEK_SET);
                long n;
                while ((n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer)) > 0) {
                    for (long at = 0; at < n;) {
                        const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
                        at += entry->d_reclen;
                        if (!isDotOrDotDot(entry->d_name))
                            isRemoving |= removeTree(fd, entry->d_name, depthLeft - 1);
                    }
                }
            }
            ::close(fd);
        }
    }
    return ::unlinkat(folderFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

void removeAll() noexcept
{
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) != slotLive)
            continue;
        if (slot.bTree)
            removeTree(slot.folderFd, slot.name, kTreeDepth);
        else
            ::unlinkat(slot.folderFd, slot.name, 0);
    }
}

int addSlot(int folderFd, const char* name, bool isTree) noexcept
{
    if (std::strlen(name) > NAME_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = slotFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, slotFilling,
                                                      std::memory_order_acquire))
            continue;
        g_slots[i].folderFd = folderFd;
        g_slots[i].bTree = isTree;
        std::strcpy(g_slots[i].name, name);
        g_slots[i].state.store(slotLive, std::memory_order_release);
        return i;
    }
    return -1;
}

extern "C" void onEndingSignal(int signalNumber)
{
    const int savedErrno = errno;
    if ((signalNumber == SIGINT || signalNumber == SIGTERM) &&
        g_bStopOnInterrupt.load(std::memory_order_relaxed) &&
        g_nStopSignal.exchange(signalNumber, std::memory_order_relaxed) == 0) {
        if (const char* notice = g_pStopNotice.load(std::memory_order_relaxed)) {
            [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, notice, std::strlen(notice));
        }
        errno = savedErrno;
        return;
    }
    SignalCleanup::endBySignal(signalNumber);
    errno = savedErrno;
}

} // namespace

void SignalCleanup::install()
{
    if (g_bInstalled.exchange(true))
        return;
    struct sigaction ending {};
    ending.sa_handler = onEndingSignal;
    sigemptyset(&ending.sa_mask);
    // One handler at a time: a second signal waits until the first has done its removals.
    for (int signalNumber : kEndingSignals)
        sigaddset(&ending.sa_mask, signalNumber);
    for (int signalNumber : kEndingSignals) {
        struct sigaction previous {};
        // A signal ignored by whoever started the program stays ignored (nohup).
        if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signalNumber, &ending, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

void SignalCleanup::stopOnInterrupt(const char* notice)
{
    g_pStopNotice.store(notice);
    install();
    g_bStopOnInterrupt.store(true);
}

bool SignalCleanup::isStopAsked() noexcept
{
    return stopSignal() != 0;
}

int SignalCleanup::stopSignal() noexcept
{
    return g_nStopSignal.load(std::memory_order_relaxed);
}

void SignalCleanup::endBySignal(int signalNumber) noexcept
{
    removeAll();
    // Ends the program as the signal would have without a handler, so the parent sees it.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signalNumber, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    ::raise(signalNumber);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
}

int SignalCleanup::add(const CFolder& folder, const char* name) noexcept
{
    return addSlot(posix::fd(folder.m_nHandle), name, false);
}

int SignalCleanup::addTree(const CFolder& folder, const char* name) noexcept
{
    return addSlot(posix::fd(folder.m_nHandle), name, true);
}

void SignalCleanup::remove(int slot) noexcept
{
    if (slot >= 0 && slot < kSlots)
        g_slots[slot].state.store(slotFree, std::memory_order_release);
}

int SignalCleanup::liveCount() noexcept
{
    int count = 0;
    for (const Slot& slot : g_slots)
        count += slot.state.load(std::memory_order_acquire) == slotLive ? 1 : 0;
    return count;
}

} // namespace archive
