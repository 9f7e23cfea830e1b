#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/Catalogue.h"
#include "archive/Extraction.h"
#include "archive/Listing.h"
#include "archive/NameMapping.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/TextFormat.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace cli {

namespace {

// The key under which a name and the names it may stand for meet: every '/' read as '\'.
std::string slashesAsSeparators(std::string_view name)
{
    std::string key(name);
    for (char& c : key) {
        if (c == '/')
            c = '\\';
    }
    return key;
}

// What one name given on the command line matched.
struct Wanted {
    std::string exact;                        // the text's bytes, '/' kept
    std::vector<std::uint32_t> exactRows;     // entries with exactly those bytes
    std::vector<std::uint32_t> looseRows;     // entries matching with some '/' read as '\'
    std::vector<std::string_view> looseNames; // their distinct names, in list order
};

// Catalogue rows of the listed entries the names ask for, ascending. A name matches the entries
// with exactly its bytes; failing those, the entries it spells with its '/' read as '\', which must
// all be one name. Every name that matches nothing, matches two names, or cannot be an entry
// name at all is reported, and then the result is empty.
bool resolveNames(const archive::Catalogue& catalogue, const std::vector<std::uint32_t>& listed,
                  const std::vector<std::string>& texts, const std::string& archivePath,
                  const std::string& type, Console& console, std::vector<std::uint32_t>& rows)
{
    bool isComplete = true;
    std::vector<Wanted> wanted(texts.size());
    std::unordered_map<std::string, std::vector<std::size_t>> byKey; // loose key -> names
    for (std::size_t i = 0; i < texts.size(); ++i) {
        try {
            wanted[i].exact = archive::names::fromTextExact(text::fromPrintable(texts[i]));
            byKey[slashesAsSeparators(wanted[i].exact)].push_back(i);
        } catch (const archive::NameError& error) {
            console.error(texts[i], error.reason());
            isComplete = false;
        }
    }

    // Duplicates of a name all match, in list order, as the dialog extracts them.
    for (const std::uint32_t row : listed) {
        const std::string_view name = catalogue.name(row);
        const bool hasSlash = name.find('/') != std::string::npos;
        const auto it = byKey.find(hasSlash ? slashesAsSeparators(name) : std::string(name));
        if (it == byKey.end())
            continue;
        for (const std::size_t i : it->second) {
            Wanted& w = wanted[i];
            if (w.exact == name) {
                w.exactRows.push_back(row);
            } else if (archive::names::matchesReadingSlashAsSeparator(w.exact, name)) {
                w.looseRows.push_back(row);
                if (std::find(w.looseNames.begin(), w.looseNames.end(), name) == w.looseNames.end())
                    w.looseNames.push_back(name);
            }
        }
    }

    for (std::size_t i = 0; i < texts.size(); ++i) {
        const Wanted& w = wanted[i];
        if (w.exact.empty())
            continue;
        if (!w.exactRows.empty()) {
            rows.insert(rows.end(), w.exactRows.begin(), w.exactRows.end());
        } else if (w.looseNames.size() == 1) {
            rows.insert(rows.end(), w.looseRows.begin(), w.looseRows.end());
        } else if (w.looseNames.size() > 1) {
            std::string reason = "is ambiguous: it matches both " +
                                 archive::names::toText(w.looseNames[0]) + " and " +
                                 archive::names::toText(w.looseNames[1]);
            if (w.looseNames.size() > 2)
                reason += " (and " + std::to_string(w.looseNames.size() - 2) + " more)";
            console.error(texts[i], reason + " in " + archivePath);
            isComplete = false;
        } else {
            std::string reason = "no entry of that name in " + archivePath;
            if (type != archive::kTypeFilters[0])
                reason += " among the " + type + " entries";
            console.error(texts[i], reason);
            isComplete = false;
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return isComplete;
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
    reader.Open(archivePath);
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

    Console::catchInterrupts("\nvelmora-dat: stopping; the entry under way is dropped "
                             "(interrupt again to end at once)\n");
    const archive::ExtractResult result = archive::extractEntries(
        reader, positions, destination, console.progress("extracting"), options);
    // A signal after the last entry still stops the command with its exit code.
    const bool isInterrupted = result.cancelled || Console::isInterrupted();
    console.endProgress(!isInterrupted);
    const std::string written = std::to_string(result.entriesWritten) + " of " +
                                std::to_string(positions.size()) + " entries written";
    const std::string skipped =
        result.entriesSkipped > 0 ? ", " + std::to_string(result.entriesSkipped) + " skipped" : "";
    if (isInterrupted) {
        console.error(archivePath,
                      "interrupted: " + written + skipped + "; the files written stay");
        console.flush();
        return Console::interruptedExitCode();
    }
    if (result.entriesSkipped > 0)
        console.error(archivePath, written + skipped);
    return console.flush() && result.entriesKept == 0 && result.entriesSkipped == 0 ? kExitSuccess
                                                                                    : kExitFailure;
}

} // namespace cli
