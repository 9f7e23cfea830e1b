#include "ArchiveError.h"
#include "CFile.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Console.h"
#include "EntryList.h"
#include "Extraction.h"
#include "Listing.h"
#include "NameMapping.h"
#include "TextFormat.h"

#include <unordered_map>
#include <vector>

namespace cli {

namespace {

// Indexes of the listed entries the names ask for, ascending; every name that matches nothing
// (or cannot be an entry name at all) is reported, and then the result is empty.
bool resolveNames(const archive::EntryList& list, const std::vector<std::string>& texts,
                  const std::string& archivePath, const std::string& type, Console& console,
                  std::vector<int>& indexes)
{
    bool isComplete = true;
    std::unordered_map<std::string, bool> wanted; // entry name -> found
    std::vector<const std::string*> names(texts.size(), nullptr);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        try {
            const auto it =
                wanted.emplace(archive::names::fromText(text::fromPrintable(texts[i])), false)
                    .first;
            names[i] = &it->first;
        } catch (const archive::NameError& error) {
            console.error(texts[i], error.reason());
            isComplete = false;
        }
    }

    // Duplicates of a name all match, in list order, as the dialog extracts them.
    list.forEach([&](int index, const std::string& name, std::uint32_t, bool) {
        const auto it = wanted.find(name);
        if (it != wanted.end()) {
            it->second = true;
            indexes.push_back(index);
        }
        return true;
    });

    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (names[i] && !wanted[*names[i]]) {
            std::string reason = "no entry of that name in " + archivePath;
            if (type != archive::kTypeFilters[0])
                reason += " among the " + type + " entries";
            console.error(texts[i], reason);
            isComplete = false;
        }
    }
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

    archive::CFile file;
    file.Open(archivePath, archive::CFile::modeRead);
    archive::EntryList list;
    const int count = archive::listArchive(file, list, type);

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
        file, list, indexes, destination, console.progress("extracting"), options);
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
