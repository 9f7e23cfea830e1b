#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Extraction.h"
#include "archive/commands/Listing.h"
#include "archive/format/ArchiveReader.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/LongRun.h"
#include "cli/NameMatching.h"

#include <algorithm>
#include <vector>

namespace cli {

namespace {

// Catalogue rows of the listed entries the texts ask for, ascending; false (after reporting
// each) when a text matches nothing or two names.
bool resolveNames(const archive::Catalogue& catalogue, const std::vector<std::uint32_t>& listed,
                  const std::vector<std::string>& texts, const std::string& archivePath,
                  const std::string& type, Console& console, std::vector<std::uint32_t>& rows)
{
    std::vector<NameMatch> matches;
    if (!matchNames(catalogue, listed, texts, archivePath, type, console, matches))
        return false;
    for (const NameMatch& match : matches)
        rows.insert(rows.end(), match.rows.begin(), match.rows.end());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return true;
}

} // namespace

int runExtract(const CommandLine& line, Console& console)
{
    const std::string type = typeOption(line);
    const std::vector<std::string>& arguments = line.arguments();
    const std::string& archivePath = arguments[0];
    const std::string& destination = arguments[1];
    const std::vector<std::string> texts(arguments.begin() + 2, arguments.end());

    archive::ArchiveReader reader;
    reader.Open(archivePath, encodingOption(line));
    const archive::Catalogue catalogue(reader);
    std::vector<std::uint32_t> rows = catalogue.filter(type);
    if (!texts.empty()) {
        std::vector<std::uint32_t> wanted;
        if (!resolveNames(catalogue, rows, texts, archivePath, type, console, wanted))
            return kExitFailure;
        rows = std::move(wanted);
    }
    const std::vector<std::uint32_t> positions = catalogue.positions(std::move(rows));

    archive::ExtractOptions options;
    options.keepExisting = line.isSet("--keep-old-files");
    options.onKept = [&](const archive::FileError& kept) { console.error(kept); };
    // One entry that cannot be written is said and passed; the others still come out.
    options.onEntryFailure = [&](const archive::ArchiveError& failure) {
        console.error(failure);
        return true;
    };

    options.stopsMidEntry = true;

    LongRun run(console, "extracting",
                "\nvelmora-dat: stopping; the entry under way is dropped (interrupt again to end "
                "at once)\n");
    const archive::ExtractResult result =
        archive::extractEntries(reader, positions, destination, run.progress(), options);
    const std::string written = std::to_string(result.entriesWritten) + " of " +
                                std::to_string(positions.size()) + " entries written";
    const std::string skipped =
        result.entriesSkipped > 0 ? ", " + std::to_string(result.entriesSkipped) + " skipped" : "";
    if (run.end(result.cancelled))
        return run.interrupted(archivePath, ": " + written + skipped + "; the files written stay");
    if (result.entriesSkipped > 0)
        console.error(archivePath, written + skipped);
    return console.flush() && result.entriesKept == 0 && result.entriesSkipped == 0 ? kExitSuccess
                                                                                    : kExitFailure;
}

} // namespace cli
