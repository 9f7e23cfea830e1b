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

const char* kindName(ErrorKind kind) noexcept
{
    switch (kind) {
    case ErrorKind::unspecified:
        return "unspecified";
    case ErrorKind::cannotOpen:
        return "cannotOpen";
    case ErrorKind::cannotRead:
        return "cannotRead";
    case ErrorKind::cannotWrite:
        return "cannotWrite";
    case ErrorKind::cannotCreateFolder:
        return "cannotCreateFolder";
    case ErrorKind::notAFolder:
        return "notAFolder";
    case ErrorKind::notAFile:
        return "notAFile";
    case ErrorKind::linkNotFollowed:
        return "linkNotFollowed";
    case ErrorKind::inTheWay:
        return "inTheWay";
    case ErrorKind::notAnArchive:
        return "notAnArchive";
    case ErrorKind::damagedEntry:
        return "damagedEntry";
    case ErrorKind::unsafeName:
        return "unsafeName";
    case ErrorKind::nameNotStorable:
        return "nameNotStorable";
    case ErrorKind::nameTooLong:
        return "nameTooLong";
    case ErrorKind::tooLarge:
        return "tooLarge";
    case ErrorKind::insideSource:
        return "insideSource";
    case ErrorKind::alreadyOpen:
        return "alreadyOpen";
    case ErrorKind::changedWhileBuilding:
        return "changedWhileBuilding";
    case ErrorKind::folderLoop:
        return "folderLoop";
    case ErrorKind::noSuchEntry:
        return "noSuchEntry";
    case ErrorKind::ambiguousName:
        return "ambiguousName";
    case ErrorKind::keptExisting:
        return "keptExisting";
    case ErrorKind::internal:
        return "internal";
    }
    return "unknown";
}

} // namespace archive
