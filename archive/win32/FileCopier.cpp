#include "archive/files/FileCopier.h"

#include "archive/ArchiveError.h"
#include "archive/files/CFile.h"
#include "archive/files/OutputFile.h"

#include <algorithm>
#include <vector>

namespace archive {

// Windows copies between two open files through the process: one buffer, kept for later copies.
struct FileCopier::State {
    std::vector<unsigned char> buffer;
};

FileCopier::FileCopier() : m_pState(std::make_unique<State>()) {}

FileCopier::~FileCopier() = default;

std::uint64_t FileCopier::copy(const CFile& source, std::uint64_t offset, OutputFile& target,
                               std::uint64_t size)
{
    constexpr std::size_t kBufferBytes = 1024 * 1024;
    if (!source.isOpen())
        throw FileError(ErrorKind::internal, source.GetFilePath(), "the file is not open");
    if (target.m_nHandle == kNoHandle || target.m_bCommitted)
        throw FileError(ErrorKind::internal, target.m_strPath, "the file is not open");
    std::vector<unsigned char>& buffer = m_pState->buffer;
    buffer.resize(kBufferBytes);
    std::uint64_t copied = 0;
    while (copied < size) {
        const std::size_t ask =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - copied, buffer.size()));
        const std::size_t n = source.ReadAt(buffer.data(), ask, offset + copied);
        target.Write(buffer.data(), n);
        copied += n;
        if (n < ask)
            break;
    }
    return copied;
}

} // namespace archive
