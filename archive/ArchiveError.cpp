#include "archive/ArchiveError.h"

#include <cstring>
#include <utility>

namespace archive {

ArchiveError::ArchiveError(ErrorKind kind, std::string subject, std::string reason, int systemError)
    : std::runtime_error(subject.empty() ? reason : subject + ": " + reason), m_kind(kind),
      m_strSubject(std::move(subject)), m_strReason(std::move(reason)), m_nSystemError(systemError)
{
}

FileError FileError::fromErrno(ErrorKind kind, const std::string& path, int errorNumber)
{
    // strerror_r's GNU form may return a static string instead of filling the buffer.
    char buffer[256] = {};
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return FileError(kind, path, text ? text : "unknown error", errorNumber);
}

} // namespace archive
