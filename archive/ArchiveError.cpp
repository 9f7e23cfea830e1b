#include "archive/ArchiveError.h"

#include "archive/files/SystemError.h"

#include <string_view>
#include <utility>

namespace archive {

namespace {

constexpr std::size_t kLongestSubject = 200;

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A name of tens of kilobytes repeated whole buries the reason: its middle goes, cut between
// UTF-8 characters so what is left stays valid text.
std::string shortened(std::string subject)
{
    if (subject.size() <= kLongestSubject)
        return subject;
    static constexpr std::string_view kEllipsis = "\u2026";
    const std::size_t keep = (kLongestSubject - kEllipsis.size()) / 2;
    std::size_t headEnd = keep;
    while (headEnd > 0 && isContinuationByte(subject[headEnd]))
        --headEnd;
    std::size_t tailStart = subject.size() - keep;
    while (tailStart < subject.size() && isContinuationByte(subject[tailStart]))
        ++tailStart;
    std::string result = subject.substr(0, headEnd);
    result += kEllipsis;
    result.append(subject, tailStart);
    return result;
}

} // namespace

ArchiveError::ArchiveError(ErrorKind kind, std::string subject, std::string reason, int systemError)
    : ArchiveError(kind, shortened(std::move(subject)), std::move(reason), systemError, 0)
{
}

ArchiveError::ArchiveError(ErrorKind kind, std::string subject, std::string reason, int systemError,
                           int)
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
