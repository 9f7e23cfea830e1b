#pragma once

#include "archive/ArchiveError.h"

#include <string>
#include <string_view>

// Telling a name the file system will not hold from any other failure to create it.
namespace archive::posix {

// A character FAT and its kin refuse (<>:"\|?* and control characters), or a trailing dot or
// space.
bool isFatRefusedName(std::string_view name);

// The error creating name fails with on a file system made to refuse what FAT refuses, or 0;
// always 0 unless a test asked for such a file system (archive/files/TestSeams.h).
int simulatedRefusal(std::string_view name) noexcept;

// Creating name (a file or folder at path) failed with error: of kind nameRefusedByFileSystem
// when the error says the file system cannot hold the name, else of kind with the system's
// reason. EPERM counts only for a name FAT refuses: FAT through FUSE says that for its
// characters, while elsewhere it is a matter of rights.
FileError creationFailure(ErrorKind kind, const std::string& path, std::string_view name,
                          int error);

} // namespace archive::posix
