#pragma once

#include <stdexcept>
#include <string>

namespace archive {

// Every failure the archive layer reports carries what it concerns (a host path in UTF-8, or an
// entry name as display text) and why, so a front end can show "subject: reason" as it stands.
class ArchiveError : public std::runtime_error {
public:
    ArchiveError(std::string subject, std::string reason);

    const std::string& subject() const noexcept { return m_strSubject; }
    const std::string& reason() const noexcept { return m_strReason; }

private:
    std::string m_strSubject;
    std::string m_strReason;
};

// A file or folder operation failed: subject is the path, reason the operating system's text.
class FileError : public ArchiveError {
public:
    using ArchiveError::ArchiveError;
    static FileError fromErrno(const std::string& path, int errorNumber);
};

// The bytes of an archive are not what the format allows, or an archive to be written would not
// fit its 32-bit fields.
class FormatError : public ArchiveError {
public:
    using ArchiveError::ArchiveError;
};

// An entry name that cannot become a host path (it would leave the destination), or a host name
// that cannot become an entry name.
class NameError : public ArchiveError {
public:
    using ArchiveError::ArchiveError;
};

} // namespace archive
