#include "archive/Building.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"

namespace cli {

int runBuild(const CommandLine& line, Console& console)
{
    const std::string& folder = line.arguments()[0];
    const std::string& archivePath = line.arguments()[1];

    // The archive would be enumerated into itself.
    if (archive::isArchiveInsideFolder(archivePath, folder)) {
        console.error(archivePath,
                      "cannot build an archive inside the folder being packed (" + folder + ")");
        return kExitFailure;
    }

    Console::catchInterrupts();
    const archive::BuildResult result = archive::buildArchive(
        folder, archivePath, console.progress("building"), newArchiveCodePage(line));
    console.endProgress(!result.cancelled);
    if (result.cancelled) {
        console.error(archivePath, "interrupted; no archive was written");
        return kExitFailure;
    }
    for (const std::string& link : result.skippedLinks)
        console.error(link, kLinkSkipped);
    return console.flush() ? kExitSuccess : kExitFailure;
}

} // namespace cli
