#pragma once

#include "archive/format/CodePage.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace archive {
class ArchiveReader;
struct ArchiveChange;
} // namespace archive

namespace cli {

class CommandLine;
class Console;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1; // the work failed, or check found an error
constexpr int kExitUsage = 2;
// diff: 0 equal, 1 different, and this when the comparison could not be made.
constexpr int kExitTrouble = 2;

// What build and add say of a link they leave out.
constexpr char kLinkSkipped[] = "notice: symbolic link skipped: it does not lead to a regular "
                                "file inside the folder being packed";

// Each runs one sub-command; archive::ArchiveError and UsageError reach the caller.
int runList(const CommandLine& line, Console& console);
int runExtract(const CommandLine& line, Console& console);
int runBuild(const CommandLine& line, Console& console);
int runCheck(const CommandLine& line, Console& console);
int runAdd(const CommandLine& line, Console& console);
int runDelete(const CommandLine& line, Console& console);
int runRename(const CommandLine& line, Console& console);
int runDiff(const CommandLine& line, Console& console);
int runPatch(const CommandLine& line, Console& console);
// Linux only; elsewhere a usage error saying so.
int runMount(const CommandLine& line, Console& console);

// Applies changes to the archive the reader has open (or creates archivePath when reader is
// nullptr) as --dry-run and --keep-old-files ask, printing what a dry run would do and the
// summary line; the exit status.
int runChanges(const CommandLine& line, Console& console, const std::string& archivePath,
               const std::vector<archive::ArchiveChange>& changes, archive::ArchiveReader* reader,
               std::chrono::milliseconds wait = std::chrono::seconds(10));

// An option of whole seconds from 0 to 86400 (--wait, --commit-delay), or fallback when absent.
// UsageError for any other value.
std::chrono::milliseconds secondsOption(const CommandLine& line, const std::string& option,
                                        std::chrono::milliseconds fallback);

// The --type option as one of the type selector's choices ("*" when absent). UsageError for any
// other value.
std::string typeOption(const CommandLine& line);
// The --encoding option: a code page, or nullopt for "auto" (or when absent), which reads an
// archive's names in the code page they show. UsageError for any other value.
std::optional<archive::Encoding> encodingOption(const CommandLine& line);
// The code page new names are written in when no archive tells: the one --encoding gives, Big5
// for "auto".
const archive::CodePage& newArchiveCodePage(const CommandLine& line);

} // namespace cli
