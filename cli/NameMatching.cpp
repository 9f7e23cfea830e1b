#include "cli/NameMatching.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Listing.h"
#include "archive/format/NameMapping.h"
#include "cli/Console.h"
#include "cli/TextFormat.h"

#include <algorithm>
#include <unordered_map>

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

using KeyIndex = std::unordered_map<std::string, std::vector<std::size_t>>; // loose key -> texts

// Each text as the name it stands for, indexed by its loose key; false after reporting a text that
// is no name (its exact name stays empty).
bool readWanted(const std::vector<std::string>& texts, const archive::CodePage& cp,
                Console& console, std::vector<Wanted>& wanted, KeyIndex& byKey)
{
    bool isComplete = true;
    wanted.assign(texts.size(), {});
    for (std::size_t i = 0; i < texts.size(); ++i) {
        try {
            wanted[i].exact = archive::names::fromTextExact(text::fromPrintable(texts[i]), cp);
            byKey[slashesAsSeparators(wanted[i].exact)].push_back(i);
        } catch (const archive::NameError& error) {
            console.error(texts[i], error.reason());
            isComplete = false;
        }
    }
    return isComplete;
}

// Duplicates of a name all match, in list order, as the dialog extracts them.
void collectRows(const archive::Catalogue& catalogue, const std::vector<std::uint32_t>& listed,
                 const KeyIndex& byKey, std::vector<Wanted>& wanted)
{
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
            } else if (archive::names::matchesReadingSlashAsSeparator(w.exact, name,
                                                                      catalogue.codePage())) {
                w.looseRows.push_back(row);
                if (std::find(w.looseNames.begin(), w.looseNames.end(), name) == w.looseNames.end())
                    w.looseNames.push_back(name);
            }
        }
    }
}

// Why a text that is a name matched no one entry.
std::string missReason(const Wanted& w, const archive::CodePage& cp, const std::string& archivePath,
                       const std::string& type)
{
    if (w.looseNames.size() > 1) {
        std::string reason = "is ambiguous: it matches both " +
                             archive::names::toText(w.looseNames[0], cp) + " and " +
                             archive::names::toText(w.looseNames[1], cp);
        if (w.looseNames.size() > 2)
            reason += " (and " + std::to_string(w.looseNames.size() - 2) + " more)";
        return reason + " in " + archivePath;
    }
    std::string reason = "no entry of that name in " + archivePath;
    if (type != archive::kTypeFilters[0])
        reason += " among the " + type + " entries";
    return reason;
}

} // namespace

bool matchNames(const archive::Catalogue& catalogue, const std::vector<std::uint32_t>& listed,
                const std::vector<std::string>& texts, const std::string& archivePath,
                const std::string& type, Console& console, std::vector<NameMatch>& matches)
{
    std::vector<Wanted> wanted;
    KeyIndex byKey;
    bool isComplete = readWanted(texts, catalogue.codePage(), console, wanted, byKey);
    collectRows(catalogue, listed, byKey, wanted);

    matches.assign(texts.size(), {});
    for (std::size_t i = 0; i < texts.size(); ++i) {
        Wanted& w = wanted[i];
        if (w.exact.empty())
            continue;
        if (!w.exactRows.empty()) {
            matches[i] = {catalogue.name(w.exactRows.front()), std::move(w.exactRows)};
        } else if (w.looseNames.size() == 1) {
            matches[i] = {w.looseNames.front(), std::move(w.looseRows)};
        } else {
            console.error(texts[i], missReason(w, catalogue.codePage(), archivePath, type));
            isComplete = false;
        }
    }
    return isComplete;
}

} // namespace cli
