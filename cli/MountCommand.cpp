#include "archive/ArchiveError.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/UsageError.h"
#ifdef VELMORA_MOUNT
#include "mount/ArchiveMount.h"
#include "mount/FuseMount.h"
#endif

namespace cli {

#ifdef VELMORA_MOUNT

int runMount(const CommandLine& line, Console& console)
{
    mount::MountOptions options;
    options.isReadOnly = line.isSet("--read-only");
    options.recover = line.isSet("--recover");
    options.commitDelay = secondsOption(line, "--commit-delay", std::chrono::seconds(2));
    options.lockWait = secondsOption(line, "--wait", archive::kDefaultLockWait);
    options.encoding = encodingOption(line);
    const std::string& archivePath = line.arguments()[0];
    mount::MountEvents events;
    // From the commit timer's thread; nothing else writes to standard error meanwhile.
    const mount::ArchiveMount* mounted = nullptr;
    events.failed = [&](const archive::ArchiveError& error) {
        if (error.kind() != archive::ErrorKind::changedMeanwhile || !mounted)
            return console.error(error);
        console.error(archivePath, "was changed by another program while mounted, and is not "
                                   "written over; the folder's changes are kept in " +
                                       mounted->scratchPath() +
                                       ": unmount, then mount again with --recover to put them "
                                       "into the archive as it is then");
    };
    mount::ArchiveMount engine(archivePath, options, events);
    mounted = &engine;
    mount::FuseMount view(engine, line.arguments()[1]);
    view.mount();
    if (!line.isSet("--foreground")) {
        console.flush();
        view.detach();
    }
    if (view.serve(true))
        return kExitSuccess;
    console.error(archivePath, "changes of the mounted folder were not put in; they are kept in " +
                                   engine.scratchPath() +
                                   ": mount again with --recover to put them into the archive "
                                   "as it is then, or remove that folder to drop them");
    return kExitFailure;
}

#else

int runMount(const CommandLine& line, Console&)
{
    // The line's own mistakes first, as where the command is there.
    secondsOption(line, "--commit-delay", {});
    secondsOption(line, "--wait", {});
    encodingOption(line);
    throw UsageError("mount", "not available on this system: it needs FUSE, which only the "
                              "Linux build has");
}

#endif

} // namespace cli
