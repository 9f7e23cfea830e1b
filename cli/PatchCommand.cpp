#include "archive/commands/ArchivePatch.h"
#include "archive/commands/ComparedTree.h"
#include "archive/format/ArchiveReader.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"

namespace cli {

int runPatch(const CommandLine& line, Console& console)
{
    const std::string& archivePath = line.arguments()[0];
    const std::string& patchPath = line.arguments()[1];
    archive::ArchiveReader reader;
    reader.Open(archivePath, encodingOption(line));
    archive::ArchiveReader patchReader;
    patchReader.Open(patchPath, encodingOption(line));
    const archive::ArchivePatch patch(patchReader);
    switch (patch.fit(archive::ComparedTree(reader))) {
    case archive::ArchivePatch::Fit::from:
        break;
    case archive::ArchivePatch::Fit::alreadyApplied:
        console.error(archivePath, "the patch " + patchPath + " is already applied");
        return kExitFailure;
    case archive::ArchivePatch::Fit::other:
        if (line.isSet("--force"))
            break;
        console.error(archivePath, "is not the archive " + patchPath +
                                       " was made from; nothing was changed (--force applies "
                                       "it anyway)");
        return kExitFailure;
    }
    return runChanges(line, console, archivePath, patch.changes(), &reader);
}

} // namespace cli
