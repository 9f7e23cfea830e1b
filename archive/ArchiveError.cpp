#include "ArchiveError.h"

#include <cstring>
#include <utility>

namespace archive {

ArchiveError::ArchiveError(std::string subject, std::string reason)
    : std::runtime_error(subject.empty() ? reason : subject + ": " + reason),
      m_strSubject(std::move(subject)), m_strReason(std::move(reason))
{
}

FileError FileError::fromErrno(const std::string& path, int errorNumber)
{
    // strerror_r's GNU form may return a static string instead of filling the buffer.
    char buffer[256] = {};
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return FileError(path, text ? text : "unknown error");
}

} // namespace archive
