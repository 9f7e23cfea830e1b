#include "archive/posix/NameRefusal.h"

#include "archive/SystemError.h"

#include <atomic>
#include <cerrno>

namespace archive::posix {

namespace {

std::atomic<int> g_nSimulatedRefusal{0};
std::atomic<int> g_nSimulatedPermissionRefusal{0};

} // namespace

bool isFatRefusedName(std::string_view name)
{
    if (!name.empty() && (name.back() == '.' || name.back() == ' '))
        return true;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos)
            return true;
    }
    return false;
}

int simulatedRefusal(std::string_view name) noexcept
{
    const int error = g_nSimulatedRefusal.load(std::memory_order_relaxed);
    return error != 0 && isFatRefusedName(name) ? error : 0;
}

void simulateFatRefusals(int errorNumber) noexcept
{
    g_nSimulatedRefusal.store(errorNumber);
}

int simulatedPermissionRefusal() noexcept
{
    return g_nSimulatedPermissionRefusal.load(std::memory_order_relaxed);
}

void simulatePermissionRefusals(int errorNumber) noexcept
{
    g_nSimulatedPermissionRefusal.store(errorNumber);
}

FileError creationFailure(ErrorKind kind, const std::string& path, std::string_view name, int error)
{
    const bool isRefused = error == EINVAL || error == EILSEQ || error == ENAMETOOLONG ||
                           (error == EPERM && isFatRefusedName(name));
    if (!isRefused)
        return FileError::fromErrno(kind, path, error);
    return FileError(ErrorKind::nameRefusedByFileSystem, path,
                     "the file system cannot hold this name (" + systemErrorText(error) + ")",
                     error);
}

} // namespace archive::posix
