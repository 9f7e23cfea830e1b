#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryList.h"
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
    std::string exact;                   // the text's bytes, '/' kept
    std::vector<int> exactIndexes;       // entries with exactly those bytes
    std::vector<int> looseIndexes;       // entries matching with some '/' read as '\'
    std::vector<std::string> looseNames; // their distinct names, in list order
};

// Indexes of the listed entries the names ask for, ascending. A name matches the entries with
// exactly its bytes; failing those, the entries it spells with its '/' read as '\', which must
// all be one name. Every name that matches nothing, matches two names, or cannot be an entry
// name at all is reported, and then the result is empty.
bool resolveNames(const archive::EntryList& list, const std::vector<std::string>& texts,
                  const std::string& archivePath, const std::string& type, Console& console,
                  std::vector<int>& indexes)
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
    list.forEach([&](int index, const std::string& name, std::uint32_t, bool) {
        const bool hasSlash = name.find('/') != std::string::npos;
        const auto it = byKey.find(hasSlash ? slashesAsSeparators(name) : name);
        if (it == byKey.end())
            return true;
        for (const std::size_t i : it->second) {
            Wanted& w = wanted[i];
            if (w.exact == name) {
                w.exactIndexes.push_back(index);
            } else if (archive::names::matchesReadingSlashAsSeparator(w.exact, name)) {
                w.looseIndexes.push_back(index);
                if (std::find(w.looseNames.begin(), w.looseNames.end(), name) == w.looseNames.end())
                    w.looseNames.push_back(name);
            }
        }
        return true;
    });

    for (std::size_t i = 0; i < texts.size(); ++i) {
        const Wanted& w = wanted[i];
        if (w.exact.empty())
            continue;
        if (!w.exactIndexes.empty()) {
            indexes.insert(indexes.end(), w.exactIndexes.begin(), w.exactIndexes.end());
        } else if (w.looseNames.size() == 1) {
            indexes.insert(indexes.end(), w.looseIndexes.begin(), w.looseIndexes.end());
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
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
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
    archive::EntryList list;
    const int count = archive::listArchive(reader, list, type);

    std::vector<int> indexes;
    if (texts.empty()) {
        indexes.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            indexes.push_back(i);
    } else if (!resolveNames(list, texts, archivePath, type, console, indexes)) {
        return kExitFailure;
    }

    archive::ExtractOptions options;
    options.keepExisting = line.isSet("--keep-old-files");
    options.onKept = [&](const archive::FileError& kept) { console.error(kept); };

    Console::catchInterrupts();
    const archive::ExtractResult result = archive::extractEntries(
        reader, list, indexes, destination, console.progress("extracting"), options);
    console.endProgress(!result.cancelled);
    if (result.cancelled) {
        console.error(archivePath, "interrupted after " + std::to_string(result.entriesWritten) +
                                       " of " + std::to_string(indexes.size()) +
                                       " entries; the files written stay");
        return kExitFailure;
    }
    return console.flush() && result.entriesKept == 0 ? kExitSuccess : kExitFailure;
}

} // namespace cli
