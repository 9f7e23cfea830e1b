#include "archive/SignalCleanup.h"

#include "archive/CFolder.h"
#include "archive/win32/Win32.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <cwchar>

namespace archive {

namespace {

constexpr int kSlots = 64;
// Deeper than this below a registered folder stays for the next start's sweep.
constexpr int kTreeDepth = 24;
constexpr int kPathChars = 1024;

enum SlotState : int { slotFree, slotFilling, slotLive };

// The full path is kept: Windows removes by path, and the folder's own path may be long gone
// from memory when the console handler runs.
struct Slot {
    std::atomic<int> state{slotFree};
    bool bTree = false;
    wchar_t path[kPathChars] = {};
};

Slot g_slots[kSlots];
std::atomic<bool> g_bInstalled{false};
std::atomic<bool> g_bStopOnInterrupt{false};
std::atomic<int> g_nStopSignal{0};
std::atomic<const char*> g_pStopNotice{nullptr};

// Removes path with what it holds, depthLeft levels below it at most, links removed and never
// followed; true when it is gone.
bool removeTree(const wchar_t* path, int depthLeft) noexcept
{
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ::DeleteFileW(path) != 0;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && depthLeft > 0) {
        wchar_t child[kPathChars];
        if (std::swprintf(child, kPathChars, L"%ls\\*", path) > 0) {
            WIN32_FIND_DATAW data;
            const HANDLE find = ::FindFirstFileW(child, &data);
            if (find != INVALID_HANDLE_VALUE) {
                do {
                    if (std::wcscmp(data.cFileName, L".") == 0 ||
                        std::wcscmp(data.cFileName, L"..") == 0)
                        continue;
                    if (std::swprintf(child, kPathChars, L"%ls\\%ls", path, data.cFileName) > 0)
                        removeTree(child, depthLeft - 1);
                } while (::FindNextFileW(find, &data));
                ::FindClose(find);
            }
        }
    }
    return ::RemoveDirectoryW(path) != 0;
}

void removeAll() noexcept
{
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) != slotLive)
            continue;
        if (slot.bTree)
            removeTree(slot.path, kTreeDepth);
        else
            ::DeleteFileW(slot.path);
    }
}

// Appends UTF-8 text to a path being built in the slot; false when it does not fit.
bool append(wchar_t* path, int& used, const char* text) noexcept
{
    const int length = static_cast<int>(std::strlen(text));
    if (length == 0)
        return true;
    const int written =
        ::MultiByteToWideChar(CP_UTF8, 0, text, length, path + used, kPathChars - 1 - used);
    if (written <= 0)
        return false;
    used += written;
    path[used] = L'\0';
    return true;
}

int addSlot(const CFolder& folder, const char* name, bool isTree) noexcept
{
    for (int i = 0; i < kSlots; ++i) {
        int expected = slotFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, slotFilling,
                                                      std::memory_order_acquire))
            continue;
        Slot& slot = g_slots[i];
        int used = 0;
        slot.path[0] = L'\0';
        const std::string& folderPath = folder.path();
        bool isWhole = append(slot.path, used, folderPath.empty() ? "." : folderPath.c_str());
        if (isWhole && used > 0 && slot.path[used - 1] != L'/' && slot.path[used - 1] != L'\\')
            isWhole = append(slot.path, used, "/");
        isWhole = isWhole && append(slot.path, used, name);
        if (!isWhole) {
            slot.state.store(slotFree, std::memory_order_release);
            return -1;
        }
        slot.bTree = isTree;
        slot.state.store(slotLive, std::memory_order_release);
        return i;
    }
    return -1;
}

// Runs on a thread of its own that Windows starts for the event. Ctrl+C stands for SIGINT and
// Ctrl+Break for SIGTERM, so a stopped run ends with the status it has on POSIX.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    const int signalNumber = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) &&
        g_bStopOnInterrupt.load(std::memory_order_relaxed) &&
        g_nStopSignal.exchange(signalNumber, std::memory_order_relaxed) == 0) {
        if (const char* notice = g_pStopNotice.load(std::memory_order_relaxed)) {
            DWORD written = 0;
            ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), notice,
                        static_cast<DWORD>(std::strlen(notice)), &written, nullptr);
        }
        return TRUE;
    }
    removeAll();
    // The default handler then ends the program, as it would have without this one.
    return FALSE;
}

} // namespace

void SignalCleanup::install()
{
    if (g_bInstalled.exchange(true))
        return;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
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

void SignalCleanup::endBySignal(int) noexcept
{
    removeAll();
}

int SignalCleanup::add(const CFolder& folder, const char* name) noexcept
{
    return addSlot(folder, name, false);
}

int SignalCleanup::addTree(const CFolder& folder, const char* name) noexcept
{
    return addSlot(folder, name, true);
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
