#include "archive/files/Platform.h"

#include "archive/posix/Descriptor.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace archive {

namespace {

// How far below a registered folder the handler removes, each level a small buffer on the stack;
// what lies deeper stays for the next start's sweep.
constexpr int kTreeDepth = 24;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

std::atomic<bool (*)(int) noexcept> g_pHandler{nullptr};

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
        struct stat above {};
        struct stat below {};
        // A file system mounted inside (an archive opened as a folder) is not emptied: its
        // files are someone's data, not this run's leftovers.
        if (fd >= 0 && (::fstat(folderFd, &above) != 0 || ::fstat(fd, &below) != 0 ||
                        above.st_dev != below.st_dev)) {
            ::close(fd);
            return false;
        }
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

extern "C" void onEndingSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto handler = g_pHandler.load(std::memory_order_relaxed);
    if (handler && handler(signalNumber)) {
        errno = savedErrno;
        return;
    }
    platform::endAsSignal(signalNumber);
    errno = savedErrno;
}

} // namespace

bool platform::cleanupTarget(NativeHandle folder, const std::string&, const char* name,
                             CleanupTarget& target) noexcept
{
    if (std::strlen(name) > NAME_MAX)
        return false;
    target.folder = folder;
    std::strcpy(target.text, name);
    return true;
}

void platform::removeNow(const CleanupTarget& target, bool isTree) noexcept
{
    if (isTree)
        removeTree(posix::fd(target.folder), target.text, kTreeDepth);
    else
        ::unlinkat(posix::fd(target.folder), target.text, 0);
}

void platform::installEndingHandlers(bool (*handler)(int signalNumber) noexcept)
{
    g_pHandler.store(handler);
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

void platform::endAsSignal(int signalNumber) noexcept
{
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

void platform::writeToErrorStream(const char* text) noexcept
{
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, std::strlen(text));
}

} // namespace archive
