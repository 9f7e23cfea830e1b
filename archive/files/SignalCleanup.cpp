#include "archive/files/SignalCleanup.h"

#include "archive/files/CFolder.h"
#include "archive/files/Platform.h"

#include <atomic>
#include <csignal>

namespace archive {

namespace {

constexpr int kSlots = 64;

enum SlotState : int { slotFree, slotFilling, slotLive };

struct Slot {
    std::atomic<int> state{slotFree};
    bool bTree = false;
    platform::CleanupTarget target;
};

Slot g_slots[kSlots];
std::atomic<bool> g_bInstalled{false};
std::atomic<bool> g_bStopOnInterrupt{false};
std::atomic<int> g_nStopSignal{0};
std::atomic<const char*> g_pStopNotice{nullptr};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
                  std::atomic<const char*>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

void removeAll() noexcept
{
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) == slotLive)
            platform::removeNow(slot.target, slot.bTree);
    }
}

int addSlot(const CFolder& folder, NativeHandle handle, const char* name, bool isTree) noexcept
{
    for (int i = 0; i < kSlots; ++i) {
        int expected = slotFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, slotFilling,
                                                      std::memory_order_acquire))
            continue;
        Slot& slot = g_slots[i];
        if (!platform::cleanupTarget(handle, folder.path(), name, slot.target)) {
            slot.state.store(slotFree, std::memory_order_release);
            return -1;
        }
        slot.bTree = isTree;
        slot.state.store(slotLive, std::memory_order_release);
        return i;
    }
    return -1;
}

// The first SIGINT or SIGTERM of a run that stops on interrupt only asks it to stop; anything
// else removes every registered name before the program ends.
bool onEndingSignal(int signalNumber) noexcept
{
    if ((signalNumber == SIGINT || signalNumber == SIGTERM) &&
        g_bStopOnInterrupt.load(std::memory_order_relaxed) &&
        g_nStopSignal.exchange(signalNumber, std::memory_order_relaxed) == 0) {
        if (const char* notice = g_pStopNotice.load(std::memory_order_relaxed))
            platform::writeToErrorStream(notice);
        return true;
    }
    removeAll();
    return false;
}

} // namespace

void SignalCleanup::install()
{
    if (g_bInstalled.exchange(true))
        return;
    platform::installEndingHandlers(onEndingSignal);
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
    platform::endAsSignal(signalNumber);
}

int SignalCleanup::add(const CFolder& folder, const char* name) noexcept
{
    return addSlot(folder, folder.m_nHandle, name, false);
}

int SignalCleanup::addTree(const CFolder& folder, const char* name) noexcept
{
    return addSlot(folder, folder.m_nHandle, name, true);
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
