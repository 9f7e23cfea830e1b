#pragma once

#include <cstdint>

namespace archive {

// What an open file or folder is to the operating system. Only the platform folder's code looks
// inside: a descriptor there on POSIX systems, and a Windows HANDLE has the same width.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

} // namespace archive
