#include "archive/files/Platform.h"

#include "archive/win32/Win32.h"

namespace archive::platform {

void* allocateZeroed(std::size_t bytes) noexcept
{
    // Committed pages read as zero until written; large pages need a privilege users lack.
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void releaseZeroed(void* block, std::size_t) noexcept
{
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

} // namespace archive::platform
