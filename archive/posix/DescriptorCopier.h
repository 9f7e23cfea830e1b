#pragma once

#include <cstdint>
#include <vector>

namespace archive::posix {

// Copies between two descriptors inside the kernel where it can (copy_file_range, then
// sendfile), and through one large buffer where the file systems refuse both. The method that
// was refused is not tried again for later copies.
class DescriptorCopier {
public:
    enum class Side { none, source, target };
    struct Outcome {
        std::uint64_t copied = 0;
        int error = 0;          // errno of the call that failed, 0 when none did
        Side side = Side::none; // which file the failure concerns
    };

    // Copies up to size bytes from sourceFd at offset (its file position is left alone) to
    // targetFd at its current position. Comes back short without an error only at the end of
    // the source.
    Outcome copy(int sourceFd, std::uint64_t offset, int targetFd, std::uint64_t size);

private:
    enum class Method { copyRange, sendFile, buffer };

    // One call of the current method; -1 with errno set on failure.
    long long step(int sourceFd, std::uint64_t& offset, int targetFd, std::uint64_t count);
    Outcome copyThroughBuffer(int sourceFd, std::uint64_t offset, int targetFd, std::uint64_t size,
                              Outcome done);

    Method m_method = Method::copyRange;
    std::vector<unsigned char> m_buffer;
};

} // namespace archive::posix
