#include "archive/SignalCleanup.h"

#include "archive/CFolder.h"
#include "archive/posix/Descriptor.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace archive {

namespace {

constexpr int kSlots = 64;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

enum SlotState : int { slotFree, slotFilling, slotLive };

struct Slot {
    std::atomic<int> state{slotFree};
    int folderFd = -1;
    char name[NAME_MAX + 1] = {};
};

Slot g_slots[kSlots];
std::atomic<bool> g_bInstalled{false};
std::atomic<bool> g_bStopOnInterrupt{false};
std::atomic<bool> g_bStopAsked{false};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

void removeAll() noexcept
{
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) == slotLive)
            ::unlinkat(slot.folderFd, slot.name, 0);
    }
}

extern "C" void onEndingSignal(int signalNumber)
{
    const int savedErrno = errno;
    if ((signalNumber == SIGINT || signalNumber == SIGTERM) &&
        g_bStopOnInterrupt.load(std::memory_order_relaxed) &&
        !g_bStopAsked.exchange(true, std::memory_order_relaxed)) {
        errno = savedErrno;
        return;
    }
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

void SignalCleanup::stopOnInterrupt()
{
    install();
    g_bStopOnInterrupt.store(true);
}

bool SignalCleanup::isStopAsked() noexcept
{
    return g_bStopAsked.load(std::memory_order_relaxed);
}

int SignalCleanup::add(const CFolder& folder, const char* name) noexcept
{
    const int folderFd = posix::fd(folder.m_nHandle);
    if (std::strlen(name) > NAME_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = slotFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, slotFilling,
                                                      std::memory_order_acquire))
            continue;
        g_slots[i].folderFd = folderFd;
        std::strcpy(g_slots[i].name, name);
        g_slots[i].state.store(slotLive, std::memory_order_release);
        return i;
    }
    return -1;
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
