#include "archive/ArchiveError.h"
#include "archive/commands/Building.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Listing.h"
#include "archive/commands/Updating.h"
#include "archive/files/FileSystem.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/LongRun.h"
#include "cli/NameMatching.h"
#include "cli/TextFormat.h"
#include "cli/UsageError.h"

#include <chrono>
#include <functional>
#include <numeric>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace cli {

namespace {

using archive::ArchiveChange;
using Outcome = archive::UpdateResult::Outcome;

std::string shown(std::string_view entryName, const archive::CodePage& cp)
{
    return text::printable(archive::names::toText(entryName, cp));
}

// The line a dry run prints for one change.
std::string dryRunLine(const ArchiveChange& change, Outcome outcome, const archive::CodePage& cp)
{
    const auto shown = [&cp](std::string_view name) { return cli::shown(name, cp); };
    switch (outcome) {
    case Outcome::added:
        return "add " + shown(change.name) + "\n";
    case Outcome::replaced:
        return "replace " + shown(change.name) + "\n";
    case Outcome::kept:
        return {}; // reported as kept already
    case Outcome::deleted:
        return "delete " + shown(change.name) + "\n";
    case Outcome::renamed:
        return "rename " + shown(change.name) + " -> " + shown(change.newName) + "\n";
    case Outcome::unchanged:
        return {}; // said whether or not a dry run
    }
    return {};
}

std::string summary(const std::string& archivePath, const archive::UpdateResult& result,
                    bool isDryRun)
{
    std::string line = archivePath + ": " + std::to_string(result.added) + " added, " +
                       std::to_string(result.replaced) + " replaced, " +
                       std::to_string(result.deleted) + " deleted, " +
                       std::to_string(result.renamed) + " renamed";
    if (result.kept > 0)
        line += ", " + std::to_string(result.kept) + " kept";
    if (result.splitHardLinks)
        line += "; its other hard links keep the old archive";
    if (isDryRun)
        line += " (dry run: nothing written)";
    return line + "\n";
}

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// How long to wait while another program changes the archive.
Milliseconds waitOption(const CommandLine& line)
{
    return secondsOption(line, "--wait", archive::kDefaultLockWait);
}

} // namespace

Milliseconds secondsOption(const CommandLine& line, const std::string& option,
                           Milliseconds fallback)
{
    if (!line.isSet(option))
        return fallback;
    const std::string text = line.value(option);
    // A day at most, which no change takes.
    constexpr long kMaxSeconds = 86400;
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos ||
        std::stol(text) > kMaxSeconds)
        throw UsageError(option, "SECONDS is a whole number from 0 to 86400; see 'velmora-dat " +
                                     line.command() + " --help'");
    return std::chrono::seconds(std::stol(text));
}

// Applies changes to the archive (created when missing and creating is allowed), prints what a
// dry run would do and the summary line.
int runChanges(const CommandLine& line, Console& console, const std::string& archivePath,
               const std::vector<ArchiveChange>& changes, archive::ArchiveReader* reader,
               Milliseconds wait)
{
    archive::UpdateOptions options;
    options.dryRun = line.isSet("--dry-run");
    options.keepExisting = line.isSet("--keep-old-files");
    options.lockWait = wait;
    // Reported once the change is made: one worked out again after another program's is not
    // reported twice.
    std::vector<archive::FileError> kept;
    options.onKept = [&](const archive::FileError& entry) { kept.push_back(entry); };

    LongRun run(console, "updating",
                "\nvelmora-dat: stopping; the archive stays as it was (interrupt again to end at "
                "once)\n");
    const archive::ProgressFn progress = run.progress();
    const archive::CodePage& cp = reader ? reader->codePage() : newArchiveCodePage(line);
    const archive::UpdateResult result =
        reader ? archive::updateArchive(*reader, changes, progress, options)
               : archive::createArchive(archivePath, changes, progress, options, cp);
    // A signal too late to stop the change lets its lines be said; the status still tells it.
    run.end(result.cancelled);
    for (const archive::FileError& entry : kept)
        console.error(entry);
    if (result.cancelled)
        return run.interrupted(archivePath, "; the archive was not changed");
    for (std::size_t i = 0; i < changes.size() && i < result.outcomes.size(); ++i) {
        if (result.outcomes[i] == Outcome::unchanged)
            console.print("nothing to do: " + shown(changes[i].name, cp) +
                          " has that name already\n");
        else if (options.dryRun)
            console.print(dryRunLine(changes[i], result.outcomes[i], cp));
    }
    if (result.isRelaidOut)
        console.print(archivePath + ": not laid out as build lays it out; written again, its "
                                    "layout changes beyond these entries\n");
    console.print(summary(archivePath, result, options.dryRun));
    return console.flush() && result.kept == 0 ? kExitSuccess : kExitFailure;
}

namespace {

using Change = std::function<int(archive::ArchiveReader* reader, Milliseconds wait)>;

// Runs change on the archive at archivePath (nullptr for a missing one, when mayCreate). When
// another program's change came first, so that the archive was replaced while this one waited,
// the archive is read again and the change worked out anew from it, as long as --wait allows.
int onArchive(const CommandLine& line, const std::string& archivePath, bool mayCreate,
              const Change& change)
{
    const Clock::time_point deadline = Clock::now() + waitOption(line);
    for (bool isRetry = false;; isRetry = true) {
        const Milliseconds left = std::max(
            Milliseconds(0), std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()));
        const std::optional<archive::filesystem::ObjectId> before =
            archive::filesystem::identity(archivePath);
        try {
            if (mayCreate && !before)
                return change(nullptr, left);
            archive::ArchiveReader reader;
            reader.Open(archivePath, encodingOption(line));
            return change(&reader, left);
        } catch (const archive::FileError& error) {
            const std::optional<archive::filesystem::ObjectId> now =
                archive::filesystem::identity(archivePath);
            // Missing for a moment counts too: where the system cannot rename over a file held
            // open, the old archive is moved aside before the new one takes its name.
            const bool isReplaced = (error.kind() == archive::ErrorKind::changedMeanwhile ||
                                     error.kind() == archive::ErrorKind::cannotWrite ||
                                     error.kind() == archive::ErrorKind::cannotOpen ||
                                     error.kind() == archive::ErrorKind::keptExisting) &&
                                    now && now != before;
            if (!isReplaced || (isRetry && Clock::now() >= deadline))
                throw;
        }
    }
}

// The entries a text given on the command line names, one per text; empty after reporting a
// text that matches none or two names.
// The names of exactly the texts' bytes, found in one walk over the records; nullopt when a text
// is not one name exactly as stored, which needs the whole matching.
std::optional<std::vector<std::string>> exactNames(const archive::ArchiveReader& reader,
                                                   const std::vector<std::string>& texts)
{
    std::vector<std::string> names;
    try {
        for (const std::string& text : texts)
            names.push_back(
                archive::names::fromTextExact(text::fromPrintable(text), reader.codePage()));
    } catch (const archive::NameError&) {
        return std::nullopt;
    }
    std::unordered_map<std::string_view, bool> isFound;
    for (const std::string& name : names)
        isFound.emplace(name, false);
    std::size_t nFound = 0;
    for (std::size_t i = 0; i < reader.size() && nFound < isFound.size(); ++i) {
        const auto it = isFound.find(reader.at(i).name);
        if (it != isFound.end() && !it->second) {
            it->second = true;
            ++nFound;
        }
    }
    if (nFound < isFound.size())
        return std::nullopt;
    return names;
}

std::vector<std::string> matchedNames(const archive::ArchiveReader& reader,
                                      const std::vector<std::string>& texts,
                                      const std::string& archivePath, Console& console)
{
    // A million-entry catalogue, sorted, is most of the cost of changing one entry.
    if (std::optional<std::vector<std::string>> names = exactNames(reader, texts))
        return std::move(*names);
    const archive::Catalogue catalogue(reader);
    std::vector<std::uint32_t> rows(catalogue.size());
    std::iota(rows.begin(), rows.end(), 0u);
    std::vector<NameMatch> matches;
    if (!matchNames(catalogue, rows, texts, archivePath, std::string(archive::kTypeFilters[0]),
                    console, matches))
        return {};
    std::vector<std::string> names;
    for (const NameMatch& match : matches)
        names.emplace_back(match.name);
    return names;
}

// A path as the system resolves it, without following a link in its last component (the file
// added is what the link leads to, but its name is the link's).
std::optional<std::string> resolved(const std::string& path, bool isFolder)
{
    if (isFolder)
        return archive::filesystem::canonicalPath(path);
    const auto [folder, name] = archive::paths::split(path);
    const std::optional<std::string> parent = archive::filesystem::canonicalPath(folder);
    if (!parent)
        return std::nullopt;
    return archive::paths::join(*parent, name);
}

bool isFolder(const std::string& path)
{
    try {
        archive::filesystem::requireFolder(path);
        return true;
    } catch (const archive::FileError& error) {
        if (error.kind() != archive::ErrorKind::notAFolder)
            throw;
        return false;
    }
}

// Adds the files PATH stands for to entries, named by their paths relative to root; false after
// reporting a path outside root. A link left out is named as build names it.
bool addPath(const std::string& path, const std::string& root, const std::string& rootShown,
             const archive::CodePage& cp, std::vector<archive::BuildEntry>& entries,
             Console& console)
{
    const bool isAFolder = isFolder(path);
    const std::optional<std::string> where = resolved(path, isAFolder);
    if (!where)
        throw archive::FileError(archive::ErrorKind::cannotOpen, path, "cannot be resolved");
    if (!archive::paths::isSameOrBelow(*where, root) || (!isAFolder && *where == root)) {
        console.error(path, "does not lie below " + rootShown + "; give -C DIR or --as NAME");
        return false;
    }
    if (isAFolder) {
        std::vector<std::string> skippedLinks;
        archive::AddFolderEntries(entries, *where, root, skippedLinks, cp);
        for (const std::string& link : skippedLinks)
            console.error(link, kLinkSkipped);
        return true;
    }
    const std::string relative = where->substr(archive::paths::withSeparator(root).size());
    entries.push_back({archive::names::entryName(relative, cp), path, 0});
    return true;
}

// The changes an add makes, one per name, the last path given winning; the archive never goes
// into itself. False after reporting a path that cannot be added.
bool addChanges(const CommandLine& line, const std::vector<std::string>& paths,
                const std::function<std::string(const std::string&)>& readFrom,
                const std::optional<archive::filesystem::ObjectId>& archiveId,
                const archive::CodePage& cp, Console& console, std::vector<ArchiveChange>& changes)
{
    const std::string folder = line.value("--directory", ".");
    std::vector<archive::BuildEntry> entries;
    bool isComplete = true;
    if (line.isSet("--as")) {
        entries.push_back({archive::names::fromText(text::fromPrintable(line.value("--as")), cp),
                           readFrom(paths[0]), 0});
    } else {
        archive::filesystem::requireFolder(folder);
        const std::optional<std::string> root = archive::filesystem::canonicalPath(folder);
        if (!root)
            throw archive::FileError(archive::ErrorKind::cannotOpen, folder, "cannot be resolved");
        const std::string rootShown =
            line.isSet("--directory") ? folder : std::string("the current folder");
        for (const std::string& path : paths)
            isComplete =
                addPath(readFrom(path), *root, rootShown, cp, entries, console) && isComplete;
    }

    std::unordered_map<std::string, std::size_t> byName;
    for (archive::BuildEntry& entry : entries) {
        if (archiveId && archive::filesystem::identity(entry.hostPath) == archiveId) {
            console.error(entry.hostPath, "is the archive itself; it cannot be added to itself");
            isComplete = false;
            continue;
        }
        const auto [it, isNew] = byName.emplace(entry.name, changes.size());
        if (isNew)
            changes.push_back(
                {ArchiveChange::Kind::add, std::move(entry.name), std::move(entry.hostPath), {}});
        else
            changes[it->second].hostPath = std::move(entry.hostPath);
    }
    return isComplete;
}

} // namespace

int runAdd(const CommandLine& line, Console& console)
{
    const std::vector<std::string>& arguments = line.arguments();
    const std::string& archivePath = arguments[0];
    const std::vector<std::string> paths(arguments.begin() + 1, arguments.end());
    const std::optional<archive::filesystem::ObjectId> archiveId =
        archive::filesystem::identity(archivePath);
    const std::string folder = line.value("--directory", ".");
    // As in tar, -C DIR is where the PATHs are read from and named from.
    const auto readFrom = [&](const std::string& path) {
        return line.isSet("--directory") && !archive::filesystem::isAbsolute(path)
                   ? archive::paths::join(folder, path)
                   : path;
    };
    if (line.isSet("--as")) {
        if (paths.size() != 1 || isFolder(readFrom(paths[0])))
            throw UsageError("--as", "names one file: give a single PATH that is a file; see "
                                     "'velmora-dat add --help'");
        if (line.value("--as").empty())
            throw UsageError("--as", "NAME is empty; see 'velmora-dat add --help'");
    }
    // The names are made once the archive is open: they are written in its code page.
    return onArchive(
        line, archivePath, true, [&](archive::ArchiveReader* reader, Milliseconds wait) {
            const archive::CodePage& cp = reader ? reader->codePage() : newArchiveCodePage(line);
            std::vector<ArchiveChange> changes;
            if (!addChanges(line, paths, readFrom, archiveId, cp, console, changes))
                return kExitFailure;
            return runChanges(line, console, archivePath, changes, reader, wait);
        });
}

int runDelete(const CommandLine& line, Console& console)
{
    const std::vector<std::string>& arguments = line.arguments();
    const std::string& archivePath = arguments[0];
    return onArchive(
        line, archivePath, false, [&](archive::ArchiveReader* reader, Milliseconds wait) {
            const std::vector<std::string> names = matchedNames(
                *reader, std::vector<std::string>(arguments.begin() + 1, arguments.end()),
                archivePath, console);
            if (names.empty())
                return kExitFailure;
            std::vector<ArchiveChange> changes;
            std::unordered_map<std::string, bool> seen;
            for (const std::string& name : names) {
                // Two spellings of one entry delete it once.
                if (seen.emplace(name, true).second)
                    changes.push_back({ArchiveChange::Kind::remove, name, {}, {}});
            }
            return runChanges(line, console, archivePath, changes, reader, wait);
        });
}

int runRename(const CommandLine& line, Console& console)
{
    const std::vector<std::string>& arguments = line.arguments();
    const std::string& archivePath = arguments[0];
    return onArchive(
        line, archivePath, false, [&](archive::ArchiveReader* reader, Milliseconds wait) {
            const std::vector<std::string> names =
                matchedNames(*reader, {arguments[1]}, archivePath, console);
            if (names.empty())
                return kExitFailure;
            // A new name cannot hold '/', so every '/' in it is a separator.
            std::string newName;
            try {
                newName =
                    archive::names::fromText(text::fromPrintable(arguments[2]), reader->codePage());
            } catch (const archive::NameError& error) {
                console.error(arguments[2], error.reason());
                return kExitFailure;
            }
            return runChanges(line, console, archivePath,
                              {{ArchiveChange::Kind::rename, names[0], {}, std::move(newName)}},
                              reader, wait);
        });
}

} // namespace cli
