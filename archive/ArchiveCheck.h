#pragma once

#include <string>
#include <vector>

namespace archive {

class ArchiveReader;

struct CheckProblem {
    enum class Severity { Warning, Error };
    Severity severity = Severity::Error;
    std::string subject; // the archive path, or the entry's display name
    std::string reason;
};

struct CheckReport {
    int entries = 0;
    int errors = 0;
    int warnings = 0;
    std::vector<CheckProblem> problems;
};

// Validates an archive without writing anything: the directory's structure, every entry's data
// inside the file, names valid in code page 950 and safe to extract (errors); overlapping data,
// duplicate names, names equal but for letter case and names Windows or FAT cannot hold
// (warnings). Throws FileError only when the file cannot be opened or read.
CheckReport checkArchive(const std::string& path);
// The same for an archive already open (from a file or from memory).
CheckReport checkArchive(const ArchiveReader& archive);

} // namespace archive
