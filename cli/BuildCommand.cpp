#include "archive/commands/Building.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/LongRun.h"

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

    LongRun run(console, "building",
                "\nvelmora-dat: stopping; no archive will be written (interrupt again to end at "
                "once)\n");
    const archive::BuildResult result =
        archive::buildArchive(folder, archivePath, run.progress(), newArchiveCodePage(line));
    // A signal too late to stop the build lets its notices be said; the status still tells it.
    run.end(result.cancelled);
    if (result.cancelled)
        return run.interrupted(archivePath, "; no archive was written");
    for (const std::string& link : result.skippedLinks)
        console.error(link, kLinkSkipped);
    return console.flush() ? kExitSuccess : kExitFailure;
}

} // namespace cli
