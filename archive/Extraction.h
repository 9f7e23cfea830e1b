#pragma once

#include "archive/Progress.h"

#include <functional>
#include <string>
#include <vector>

namespace archive {

class ArchiveReader;
class CFile;
class EntryList;
class FileError;

struct ExtractResult {
    int entriesWritten = 0;
    int entriesKept = 0; // existing files left alone, as asked
    bool cancelled = false;
};

struct ExtractOptions {
    // An existing object at an entry's path is kept and reported to onKept instead of replaced.
    bool keepExisting = false;
    std::function<void(const FileError&)> onKept;
};

// Writes the entries at indexes (ascending) of list, an archive's listing whose item values are
// record positions, into destFolder (created with its parents when missing, once the first entry
// has passed its checks): each record is taken from the reader, every folder level of its name
// is created below destFolder without following links, and the data is copied into a file that
// is named only when complete. Throws the first failure (NameError, FormatError, FileError);
// entries written before it stay. progress is called after every slice of a large entry and once
// after each other entry, with bytesTotal left 0, since sizes are only known as each record is
// read; when it returns false the entry under way is finished and the rest are left, with
// cancelled set.
ExtractResult extractEntries(const ArchiveReader& reader, const EntryList& list,
                             const std::vector<int>& indexes, const std::string& destFolder,
                             const ProgressFn& progress = {}, const ExtractOptions& options = {});
// The same after reading the directory of an open file.
ExtractResult extractEntries(CFile& archive, const EntryList& list, const std::vector<int>& indexes,
                             const std::string& destFolder, const ProgressFn& progress = {},
                             const ExtractOptions& options = {});

} // namespace archive
