#include "archive/ArchiveError.h"

#include "archive/SystemError.h"

#include <utility>

namespace archive {

ArchiveError::ArchiveError(ErrorKind kind, std::string subject, std::string reason, int systemError)
    : std::runtime_error(subject.empty() ? reason : subject + ": " + reason), m_kind(kind),
      m_strSubject(std::move(subject)), m_strReason(std::move(reason)), m_nSystemError(systemError)
{
}

FileError FileError::fromErrno(ErrorKind kind, const std::string& path, int errorNumber)
{
    return FileError(kind, path, systemErrorText(errorNumber), errorNumber);
}

FormatError::FormatError(FormatCause cause, std::vector<std::uint64_t> figures, ErrorKind kind,
                         std::string subject, std::string reason)
    : ArchiveError(kind, std::move(subject), std::move(reason)), m_cause(cause),
      m_figures(std::move(figures))
{
}

} // namespace archive
