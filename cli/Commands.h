#pragma once

#include <string>

namespace cli {

class CommandLine;
class Console;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1; // the work failed, or check found an error
constexpr int kExitUsage = 2;

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

// The --type option as one of the type selector's choices ("*" when absent). UsageError for any
// other value.
std::string typeOption(const CommandLine& line);

} // namespace cli
