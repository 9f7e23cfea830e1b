#pragma once

#include "archive/NativeHandle.h"

namespace archive::posix {

// A handle is a descriptor here.
inline int fd(NativeHandle handle) noexcept
{
    return static_cast<int>(handle);
}

inline NativeHandle handleOf(int descriptor) noexcept
{
    return descriptor < 0 ? kNoHandle : static_cast<NativeHandle>(descriptor);
}

} // namespace archive::posix
