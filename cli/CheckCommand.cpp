#include "archive/commands/ArchiveCheck.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/TextFormat.h"

namespace cli {

namespace {

std::string counted(int n, const char* singular, const char* plural)
{
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

} // namespace

int runCheck(const CommandLine& line, Console& console)
{
    const std::string& path = line.arguments()[0];
    const archive::CheckReport report = archive::checkArchive(path, encodingOption(line));
    for (const archive::CheckProblem& problem : report.problems) {
        const bool isWarning = problem.severity == archive::CheckProblem::Severity::Warning;
        console.error(problem.subject, (isWarning ? "warning: " : "") + problem.reason);
    }
    console.print(text::printable(path) + ": " + counted(report.entries, "entry", "entries") +
                  ", " + counted(report.errors, "error", "errors") + ", " +
                  counted(report.warnings, "warning", "warnings") + "\n");
    if (!console.flush())
        return kExitFailure;
    return report.errors > 0 ? kExitFailure : kExitSuccess;
}

} // namespace cli
