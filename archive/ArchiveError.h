#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace archive {

// What went wrong, for a front end to word in its own language. The engine's English reason
// travels beside it for the command line and for logs. Each kind is declared here once; the
// enum, kindName and kAllErrorKinds are made from this list.
// clang-format off
#define VELMORA_ERROR_KINDS(X)                                                                    \
    X(cannotOpen)           /* a file or folder could not be opened */                            \
    X(cannotRead)           /* reading a file or folder failed */                                 \
    X(cannotWrite)          /* writing, creating, naming or replacing a file failed */            \
    X(cannotCreateFolder)   /* a folder level could not be made */                                \
    X(notAFolder)           /* a folder was asked for and something else is there */              \
    X(notAFile)             /* a regular file was asked for (a FIFO, a device, a folder...) */    \
    X(linkNotFollowed)      /* a symbolic link stands where a folder or file is written */        \
    X(inTheWay)             /* a file where a folder must go, or a folder where a file must go */ \
    X(notAnArchive)         /* a malformed directory: too short, claims too much, a bad record */ \
    X(damagedEntry)         /* an entry's data lies past the archive's end, or cannot be read */  \
    X(unsafeName)           /* an entry name would leave the destination folder */                \
    X(nameNotStorable)      /* a host name cannot become an entry name (Big5, '\', NUL, UTF-8) */ \
    X(nameTooLong)          /* a name or a folder level is too long for the host or the record */ \
    X(tooLarge)             /* an entry of 2 GiB or more, or an archive past 4 GiB */             \
    X(insideSource)         /* the archive would lie inside the folder being packed */            \
    X(alreadyOpen)          /* the file is one this program holds open (the archive) */           \
    X(changedWhileBuilding) /* a source file changed size while the archive was written */        \
    X(changedMeanwhile)     /* the file at the path is not the one this program read or wrote */  \
    X(folderLoop)           /* a folder leads back to one that contains it */                     \
    X(noSuchEntry)          /* a name asked for is not in the archive */                          \
    X(ambiguousName)        /* a name asked for matches more than one entry */                    \
    X(keptExisting)         /* an existing file was kept instead of replaced, as asked */         \
    X(nameRefusedByFileSystem) /* the file system cannot hold the name (FAT: <>:"|?*) */          \
    X(sameFileAsEarlierEntry) /* the name reaches a file this run wrote for another entry */      \
    X(internal)             /* the program misused its own objects (a file not open) */
// clang-format on

#define VELMORA_ERROR_KIND_ENUMERATOR(name) name,
enum class ErrorKind {
    unspecified, // never thrown by the engine; front ends word it generically
    VELMORA_ERROR_KINDS(VELMORA_ERROR_KIND_ENUMERATOR)
};
#undef VELMORA_ERROR_KIND_ENUMERATOR

// Every failure the archive layer reports carries its kind, what it concerns (a host path in
// UTF-8, or an entry name as display text), the engine's reason in English, and the system's
// error number when a system call failed (0 otherwise). what() is "subject: reason". A subject
// over 200 bytes keeps its start and end with an ellipsis between.
class ArchiveError : public std::runtime_error {
public:
    ArchiveError(ErrorKind kind, std::string subject, std::string reason, int systemError = 0);

    ErrorKind kind() const noexcept { return m_kind; }
    const std::string& subject() const noexcept { return m_strSubject; }
    const std::string& reason() const noexcept { return m_strReason; }
    int systemError() const noexcept { return m_nSystemError; }

private:
    // subject already shortened.
    ArchiveError(ErrorKind kind, std::string subject, std::string reason, int systemError, int);

    ErrorKind m_kind;
    std::string m_strSubject;
    std::string m_strReason;
    int m_nSystemError;
};

// A file or folder operation failed: subject is the path, reason the operating system's text.
class FileError : public ArchiveError {
public:
    using ArchiveError::ArchiveError;
    static FileError fromErrno(ErrorKind kind, const std::string& path, int errorNumber);
};

// Why a file's directory cannot be read, so a front end can word the cause in its own language.
// The comment lists the figures that travel with each cause, in order.
enum class FormatCause {
    unspecified,       // no figures
    fileTooShort,      // the file's length, the least an archive holds
    directoryTooLarge, // the directory size claimed, the bytes after the length field
    fileEndedEarly,    // no figures: the file shrank while it was read
    recordCutOff,      // the record's file offset
    recordTooShort,    // the record's file offset, its claimed length, the least length
    recordTooLong,     // the record's file offset, its claimed length, the directory bytes left
    nameUnterminated,  // the record's file offset
    noRecordAt,        // the file offset asked for
};

// The bytes of an archive are not what the format allows, or an archive to be written would not
// fit its 32-bit fields.
class FormatError : public ArchiveError {
public:
    using ArchiveError::ArchiveError;
    FormatError(FormatCause cause, std::vector<std::uint64_t> figures, ErrorKind kind,
                std::string subject, std::string reason);

    FormatCause cause() const noexcept { return m_cause; }
    const std::vector<std::uint64_t>& figures() const noexcept { return m_figures; }

private:
    FormatCause m_cause = FormatCause::unspecified;
    std::vector<std::uint64_t> m_figures;
};

// An entry name that cannot become a host path (it would leave the destination), or a host name
// that cannot become an entry name.
class NameError : public ArchiveError {
public:
    using ArchiveError::ArchiveError;
};

#define VELMORA_ERROR_KIND_ENTRY(name) ErrorKind::name,
// Every kind but unspecified, in declaration order: front ends check that each is worded.
inline constexpr ErrorKind kAllErrorKinds[] = {VELMORA_ERROR_KINDS(VELMORA_ERROR_KIND_ENTRY)};
#undef VELMORA_ERROR_KIND_ENTRY

// The English name of a kind, for tests and logs ("cannotOpen").
constexpr const char* kindName(ErrorKind kind) noexcept
{
#define VELMORA_ERROR_KIND_NAME(name) #name,
    constexpr const char* kNames[] = {"unspecified", VELMORA_ERROR_KINDS(VELMORA_ERROR_KIND_NAME)};
#undef VELMORA_ERROR_KIND_NAME
    const auto index = static_cast<std::size_t>(kind);
    return index < std::size(kNames) ? kNames[index] : "unknown";
}

} // namespace archive
