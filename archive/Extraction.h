#pragma once

#include "Progress.h"

#include <string>
#include <vector>

namespace archive {

class ArchiveReader;
class CFile;
class EntryList;

struct ExtractResult {
    int entriesWritten = 0;
    bool cancelled = false;
};

// Writes the entries at indexes (ascending) of list, an archive's listing whose item values are
// record positions, into destFolder: each record is taken from the reader, every folder level
// of its name is created below destFolder without following links, and the data is copied in
// chunks of 4096 bytes to a temporary file renamed into place when complete. Throws the first
// failure (NameError, FormatError, FileError); entries written before it stay. progress is
// called after every chunk (once for an empty entry) with bytesTotal left 0, since sizes are
// only known as each record is read; when it returns false the entry under way is finished and
// the rest are left, with cancelled set.
ExtractResult extractEntries(const ArchiveReader& reader, const EntryList& list,
                             const std::vector<int>& indexes, const std::string& destFolder,
                             const ProgressFn& progress = {});
// The same after reading the directory of an open file.
ExtractResult extractEntries(CFile& archive, const EntryList& list, const std::vector<int>& indexes,
                             const std::string& destFolder, const ProgressFn& progress = {});

} // namespace archive
