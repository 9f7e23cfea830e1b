#pragma once

#include "archive/format/CodePage.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace archive {

class ArchiveReader;

struct CheckProblem {
    enum class Severity { Warning, Error };
    Severity severity = Severity::Error;
    std::string subject; // the archive path, or the entry's display name
    std::string reason;
    // For an error about an entry's name: that entry's index in file order. A change that
    // deletes or renames it mends the error.
    std::optional<std::size_t> nameOf;
};

struct CheckReport {
    int entries = 0;
    int errors = 0;
    int warnings = 0;
    std::vector<CheckProblem> problems;
};

// Validates an archive without writing anything: the directory's structure, every entry's data
// inside the file, names safe to extract and that names::unstorableReason takes (errors);
// overlapping data, duplicate names, names equal but for letter case and names Windows or FAT
// cannot hold where the system can (warnings). Throws FileError only when the file cannot be opened
// or read. Names are read in forced's code page, or the one they show.
CheckReport checkArchive(const std::string& path, std::optional<Encoding> forced = std::nullopt);
// The same for an archive already open (from a file or from memory). errorsOnly leaves out the
// warnings and the passes that find nothing else, for a caller that only refuses errors.
CheckReport checkArchive(const ArchiveReader& archive, bool errorsOnly = false);

} // namespace archive
