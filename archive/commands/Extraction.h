#pragma once

#include "archive/commands/Progress.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace archive {

class ArchiveReader;
class ArchiveError;
class FileError;

struct ExtractResult {
    int entriesWritten = 0;
    int entriesKept = 0;    // existing files left alone, as asked
    int entriesSkipped = 0; // entries onEntryFailure chose to go past
    bool cancelled = false;
    bool stopped = false; // onEntryFailure asked to stop
};

struct ExtractOptions {
    // An existing object at an entry's path is kept and reported to onKept instead of replaced.
    bool keepExisting = false;
    std::function<void(const FileError&)> onKept;
    // A stop asked by progress drops the entry under way at its next slice instead of finishing
    // it (its unfinished file never gets a name), and counts as cancelled even on the last
    // entry: a signal must end the run promptly and say so.
    bool stopsMidEntry = false;
    // A failure confined to one entry (its data damaged or outside the file, a name this file
    // system cannot hold, a name that would replace a file this run wrote for another entry, as
    // on a file system that ignores case) goes here instead of ending the run: true goes on with
    // the next entry, counted as skipped; false ends the run with stopped set. Without it, such
    // a failure is thrown.
    std::function<bool(const ArchiveError&)> onEntryFailure;
};

// Writes the entries whose records start at positions, in that order (a later entry of the same
// name replaces an earlier one), into destFolder (created with its parents when missing, once the
// first entry has passed its checks): each record is taken from the reader, every folder level of
// its name is created below destFolder without following links, and the data is copied into a
// file that is named only when complete. A file written for one entry is never replaced by an
// entry of another name that reaches it (FileError of kind sameFileAsEarlierEntry). Throws the
// first failure (NameError, FormatError, FileError) that options.onEntryFailure does not take;
// entries written before it stay. progress is called after every slice of a large
// entry and once after each other entry, with bytesTotal left 0, since sizes are only known as
// each record is read; when it returns false the entry under way is finished and the rest are
// left, with cancelled set.
ExtractResult extractEntries(const ArchiveReader& reader, std::span<const std::uint32_t> positions,
                             const std::string& destFolder, const ProgressFn& progress = {},
                             const ExtractOptions& options = {});

} // namespace archive
