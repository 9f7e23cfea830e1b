#include "archive/files/Platform.h"

#include <cstdint>
#include <sys/mman.h>

namespace archive::platform {

namespace {

// What a large page holds on the machines this runs on.
constexpr std::size_t kLargePageBytes = 2 * 1024 * 1024;

} // namespace

void* allocateZeroed(std::size_t bytes) noexcept
{
    if (bytes < kLargePageBytes) {
        void* block =
            mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return block == MAP_FAILED ? nullptr : block;
    }
    // Mapped one large page longer and trimmed to a boundary on both sides, so that every page
    // of the block can be a large one.
    const std::size_t mapped = bytes + kLargePageBytes;
    void* area = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t aligned = (start + kLargePageBytes - 1) & ~(kLargePageBytes - 1);
    if (aligned > start)
        munmap(area, aligned - start);
    const std::uintptr_t end = start + mapped;
    const std::uintptr_t blockEnd = aligned + bytes;
    const std::uintptr_t pageEnd = (blockEnd + 4095) & ~std::uintptr_t(4095);
    if (end > pageEnd)
        munmap(reinterpret_cast<void*>(pageEnd), end - pageEnd);
#ifdef MADV_HUGEPAGE
    // A fault per 4 KiB page of a fresh directory cost more than reading the directory itself.
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void releaseZeroed(void* block, std::size_t bytes) noexcept
{
    if (block)
        munmap(block, bytes);
}

} // namespace archive::platform
