#include "archive/files/TestSeams.h"

#include "archive/files/Platform.h"

#include <atomic>

namespace archive {

namespace {

std::atomic<bool> g_bUnnamedAllowed{true};
std::atomic<bool> g_bNoReplaceNamingAllowed{true};
std::atomic<int> g_nFatRefusal{0};
std::atomic<int> g_nPermissionRefusal{0};

} // namespace

void seams::allowUnnamedFiles(bool isAllowed) noexcept
{
    g_bUnnamedAllowed.store(isAllowed);
}

void seams::allowNoReplaceNaming(bool isAllowed) noexcept
{
    g_bNoReplaceNamingAllowed.store(isAllowed);
}

void seams::refuseNamesAsFat(int errorNumber) noexcept
{
    g_nFatRefusal.store(errorNumber);
}

void seams::refusePermissions(int errorNumber) noexcept
{
    g_nPermissionRefusal.store(errorNumber);
}

bool platform::seamAllowsUnnamed() noexcept
{
    return g_bUnnamedAllowed.load(std::memory_order_relaxed);
}

bool platform::seamAllowsNoReplaceNaming() noexcept
{
    return g_bNoReplaceNamingAllowed.load(std::memory_order_relaxed);
}

int platform::seamFatRefusal() noexcept
{
    return g_nFatRefusal.load(std::memory_order_relaxed);
}

int platform::seamPermissionRefusal() noexcept
{
    return g_nPermissionRefusal.load(std::memory_order_relaxed);
}

} // namespace archive
