#include "archive/files/Platform.h"

#include "archive/win32/Win32.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <cwchar>

namespace archive {

namespace {

// The console's other events (closing it, logging off) cannot be asked to wait: told as the
// POSIX hang-up, which the C library here does not name.
constexpr int kHangUp = 1;
// Deeper than this below a registered folder stays for the next start's sweep.
constexpr int kTreeDepth = 24;
constexpr int kPathChars = 1024;

std::atomic<bool (*)(int) noexcept> g_pHandler{nullptr};

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

// Appends text to target's path; false when it does not fit.
bool append(platform::CleanupTarget& target, std::size_t& used, const char* text) noexcept
{
    const std::size_t length = std::strlen(text);
    if (used + length >= platform::CleanupTarget::kTextBytes)
        return false;
    std::memcpy(target.text + used, text, length + 1);
    used += length;
    return true;
}

// Runs on a thread of its own that Windows starts for the event. Ctrl+C stands for SIGINT and
// Ctrl+Break for SIGTERM, so a stopped run ends with the status it has on POSIX.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    const auto handler = g_pHandler.load(std::memory_order_relaxed);
    const int signalNumber = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    const bool mayStop = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (handler && handler(mayStop ? signalNumber : kHangUp))
        return TRUE;
    // The default handler then ends the program, as it would have without this one.
    return FALSE;
}

} // namespace

// The full path is kept: Windows removes by path, and the folder's own path may be long gone
// from memory when the console handler runs.
bool platform::cleanupTarget(NativeHandle, const std::string& folderPath, const char* name,
                             CleanupTarget& target) noexcept
{
    std::size_t used = 0;
    target.folder = kNoHandle;
    target.text[0] = '\0';
    bool isWhole = append(target, used, folderPath.empty() ? "." : folderPath.c_str());
    if (isWhole && used > 0 && target.text[used - 1] != '/' && target.text[used - 1] != '\\')
        isWhole = append(target, used, "/");
    return isWhole && append(target, used, name);
}

void platform::removeNow(const CleanupTarget& target, bool isTree) noexcept
{
    wchar_t path[kPathChars];
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, target.text, -1, path, kPathChars);
    if (length <= 0)
        return;
    if (isTree)
        removeTree(path, kTreeDepth);
    else
        ::DeleteFileW(path);
}

void platform::installEndingHandlers(bool (*handler)(int signalNumber) noexcept)
{
    g_pHandler.store(handler);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void platform::endAsSignal(int) noexcept {}

void platform::writeToErrorStream(const char* text) noexcept
{
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)),
                &written, nullptr);
}

} // namespace archive
