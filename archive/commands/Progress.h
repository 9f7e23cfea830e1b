#pragma once

#include <cstdint>
#include <functional>

namespace archive {

struct Progress {
    int entriesDone = 0;
    int entriesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

// Called between copy chunks; returning false asks the command to stop at the next safe point.
using ProgressFn = std::function<bool(const Progress&)>;

} // namespace archive
