#pragma once

#include <cstdint>
#include <memory>

namespace archive {

class CFile;
class OutputFile;

// Copies bytes from an open file into an output file inside the system where it can, and through
// one large buffer where the file systems refuse. A way of copying that was refused is not tried
// again for later copies.
class FileCopier {
public:
    // Progress and cancel are looked at between slices of this size within a large entry.
    static constexpr std::uint64_t kSliceBytes = 4 * 1024 * 1024;

    FileCopier();
    ~FileCopier();
    FileCopier(const FileCopier&) = delete;
    FileCopier& operator=(const FileCopier&) = delete;

    // Copies up to size bytes of source from offset (its file position is left alone) to the end
    // of what target holds so far; returns how many. Comes back short only at the end of the
    // source. Throws FileError: cannotRead naming the source, or cannotWrite naming the target.
    std::uint64_t copy(const CFile& source, std::uint64_t offset, OutputFile& target,
                       std::uint64_t size);

private:
    struct State;
    std::unique_ptr<State> m_pState;
};

} // namespace archive
