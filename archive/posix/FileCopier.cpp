#include "archive/files/FileCopier.h"

#include "archive/ArchiveError.h"
#include "archive/files/CFile.h"
#include "archive/files/OutputFile.h"
#include "archive/posix/Descriptor.h"
#include "archive/posix/DescriptorCopier.h"

namespace archive {

struct FileCopier::State {
    posix::DescriptorCopier copier;
};

FileCopier::FileCopier() : m_pState(std::make_unique<State>()) {}

FileCopier::~FileCopier() = default;

std::uint64_t FileCopier::copy(const CFile& source, std::uint64_t offset, OutputFile& target,
                               std::uint64_t size)
{
    if (!source.isOpen())
        throw FileError(ErrorKind::internal, source.GetFilePath(), "the file is not open");
    if (target.m_nHandle == kNoHandle || target.m_bCommitted)
        throw FileError(ErrorKind::internal, target.m_strPath, "the file is not open");
    const posix::DescriptorCopier::Outcome done = m_pState->copier.copy(
        posix::fd(source.m_nHandle), offset, posix::fd(target.m_nHandle), size);
    target.wrote(done.copied);
    if (done.side == posix::DescriptorCopier::Side::target)
        throw target.failure(done.error);
    if (done.error != 0)
        throw FileError::fromErrno(ErrorKind::cannotRead, source.GetFilePath(), done.error);
    return done.copied;
}

} // namespace archive
