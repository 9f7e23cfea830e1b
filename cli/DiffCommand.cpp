#include "archive/ArchiveError.h"
#include "archive/commands/ArchiveComparison.h"
#include "archive/commands/ArchivePatch.h"
#include "archive/commands/ComparedTree.h"
#include "archive/commands/LineDiff.h"
#include "archive/files/FileSystem.h"
#include "archive/format/NameMapping.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/TextFormat.h"
#include "cli/UsageError.h"

#include <memory>
#include <optional>

namespace cli {

namespace {

using archive::ArchiveComparison;
using archive::ComparedTree;
using archive::EntryDifference;
using Kind = EntryDifference::Kind;

// Larger texts are refused rather than held twice in memory.
constexpr std::uint32_t kMaxTextBytes = 8u * 1024 * 1024;

std::string shown(std::string_view entryName, const ComparedTree& tree)
{
    return text::printable(archive::names::toText(entryName, tree.codePage()));
}

std::string hashText(std::uint64_t value)
{
    std::string bytes(8, '\0');
    for (int i = 7; i >= 0; --i, value >>= 8)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
    return text::hex(bytes);
}

std::string statusLine(const EntryDifference& difference, const ComparedTree& older,
                       const ComparedTree& newer)
{
    switch (difference.kind) {
    case Kind::added:
        return "A\t" + shown(difference.newer->name, newer) + "\n";
    case Kind::deleted:
        return "D\t" + shown(difference.older->name, older) + "\n";
    case Kind::changed:
        return "M\t" + shown(difference.older->name, older) + "\n";
    case Kind::renamed:
        return "R\t" + shown(difference.older->name, older) + " -> " +
               shown(difference.newer->name, newer) + "\n";
    }
    return {};
}

// One side's fields of a JSON record: prefix is "old" or "new".
void appendSide(std::string& row, const char* prefix, const ComparedTree& tree,
                const ComparedTree::Entry* entry, const std::optional<std::uint64_t>& hash)
{
    if (!entry)
        return;
    const std::string key = std::string(", \"") + prefix;
    row +=
        key + "_name\": " + text::jsonString(archive::names::toText(entry->name, tree.codePage()));
    row += key + "_name_hex\": \"" + text::hex(entry->name) + "\"";
    row += key + "_size\": " + std::to_string(entry->size);
    if (hash)
        row += key + "_hash\": \"" + hashText(*hash) + "\"";
}

const char* kindWord(Kind kind)
{
    switch (kind) {
    case Kind::added:
        return "added";
    case Kind::deleted:
        return "deleted";
    case Kind::changed:
        return "changed";
    case Kind::renamed:
        return "renamed";
    }
    return "";
}

struct Counts {
    std::size_t byKind[4] = {};
    std::string text(std::size_t unchanged) const
    {
        return std::to_string(byKind[0]) + " added, " + std::to_string(byKind[1]) + " deleted, " +
               std::to_string(byKind[2]) + " changed, " + std::to_string(byKind[3]) + " renamed, " +
               std::to_string(unchanged) + " unchanged";
    }
};

void printJson(const ComparedTree& older, const ComparedTree& newer,
               const ArchiveComparison& comparison, Console& console)
{
    Counts counts;
    console.print("{\"old\": " + text::jsonString(older.path()) +
                  ", \"new\": " + text::jsonString(newer.path()) + ", \"differences\": [");
    const auto& differences = comparison.differences();
    for (std::size_t i = 0; i < differences.size(); ++i) {
        const EntryDifference& difference = differences[i];
        ++counts.byKind[static_cast<int>(difference.kind)];
        std::string row = i == 0 ? "\n  {\"status\": \"" : ",\n  {\"status\": \"";
        row += kindWord(difference.kind);
        row += "\"";
        appendSide(row, "old", older, difference.older, difference.olderHash);
        appendSide(row, "new", newer, difference.newer, difference.newerHash);
        console.print(row + "}");
    }
    console.print(std::string(differences.empty() ? "]" : "\n]") +
                  ", \"added\": " + std::to_string(counts.byKind[0]) +
                  ", \"deleted\": " + std::to_string(counts.byKind[1]) +
                  ", \"changed\": " + std::to_string(counts.byKind[2]) +
                  ", \"renamed\": " + std::to_string(counts.byKind[3]) +
                  ", \"unchanged\": " + std::to_string(comparison.unchanged()) + "}\n");
}

void printStatus(const ComparedTree& older, const ComparedTree& newer,
                 const ArchiveComparison& comparison, Console& console)
{
    Counts counts;
    for (const EntryDifference& difference : comparison.differences()) {
        ++counts.byKind[static_cast<int>(difference.kind)];
        console.print(statusLine(difference, older, newer));
    }
    console.print(older.path() + " -> " + newer.path() + ": " +
                  counts.text(comparison.unchanged()) + "\n");
}

// The entry text names on a side: its exact bytes, else '/' read as '\'.
const ComparedTree::Entry* findEntry(const ComparedTree& tree, const std::string& text)
{
    for (const bool isExact : {true, false}) {
        std::string name;
        try {
            name = isExact
                       ? archive::names::fromTextExact(text::fromPrintable(text), tree.codePage())
                       : archive::names::fromText(text::fromPrintable(text), tree.codePage());
        } catch (const archive::NameError&) {
            continue;
        }
        for (const ComparedTree::Entry& entry : tree.entries()) {
            if (entry.name == name)
                return &entry;
        }
    }
    return nullptr;
}

std::string entryBytes(const ComparedTree& tree, const ComparedTree::Entry* entry)
{
    if (!entry)
        return {};
    if (entry->size > kMaxTextBytes)
        throw archive::FormatError(archive::ErrorKind::tooLarge, shown(entry->name, tree),
                                   "is larger than the 8 MiB a text is compared up to");
    std::string bytes(entry->size, '\0');
    ComparedTree::Bytes reading(tree, *entry);
    reading.read({reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()});
    return bytes;
}

// Each line decoded as code page 950 and made printable, tabs kept; a CR before the line end
// is left out, so text written with either line end reads the same.
std::vector<std::string> textLines(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        std::string_view line = bytes.substr(start, next - start);
        if (!line.empty() && line.back() == '\n')
            line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::string shownLine;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            shownLine += text::printable(archive::names::toText(line.substr(from, tab - from)));
            if (tab == std::string_view::npos)
                break;
            shownLine += '\t';
            from = tab + 1;
        }
        lines.push_back(std::move(shownLine));
        start = next;
    }
    return lines;
}

int printTextDiff(const ComparedTree& older, const ComparedTree& newer, const std::string& name,
                  Console& console, bool isQuiet)
{
    const ComparedTree::Entry* olderEntry = findEntry(older, name);
    const ComparedTree::Entry* newerEntry = findEntry(newer, name);
    if (!olderEntry && !newerEntry) {
        console.error(name, "no entry of that name in " + older.path() + " or " + newer.path());
        return kExitUsage;
    }
    const std::string olderBytes = entryBytes(older, olderEntry);
    const std::string newerBytes = entryBytes(newer, newerEntry);
    if (olderBytes == newerBytes && (olderEntry != nullptr) == (newerEntry != nullptr))
        return kExitSuccess;
    const std::vector<std::string> olderLines = textLines(olderBytes);
    const std::vector<std::string> newerLines = textLines(newerBytes);
    const std::vector<std::string_view> a(olderLines.begin(), olderLines.end());
    const std::vector<std::string_view> b(newerLines.begin(), newerLines.end());
    const archive::LineDiff diff(a, b);
    if (isQuiet)
        return kExitFailure;
    const auto label = [](const ComparedTree& tree, const ComparedTree::Entry* entry) {
        return entry ? tree.path() + "/" + shown(entry->name, tree) : std::string("/dev/null");
    };
    console.print("--- " + label(older, olderEntry) + "\n+++ " + label(newer, newerEntry) + "\n");
    console.print(diff.isEqual() ? "\\ the texts differ only in their line ends\n"
                                 : diff.unified());
    return kExitFailure;
}

int compare(const CommandLine& line, Console& console)
{
    const std::string& olderPath = line.arguments()[0];
    const std::string& newerPath = line.arguments()[1];
    const std::optional<archive::Encoding> forced = encodingOption(line);
    // Without --encoding a folder's names are made in the code page of the archive beside it,
    // so an archive is read before the folder it is compared with.
    const auto besides = [&](const ComparedTree& other) {
        return forced || other.isFolder() ? forced : std::optional(other.codePage().encoding());
    };
    std::unique_ptr<ComparedTree> olderTree;
    std::unique_ptr<ComparedTree> newer;
    if (ComparedTree::isFolderPath(olderPath)) {
        newer = std::make_unique<ComparedTree>(newerPath, forced);
        olderTree = std::make_unique<ComparedTree>(olderPath, besides(*newer));
    } else {
        olderTree = std::make_unique<ComparedTree>(olderPath, forced);
        // One archive named twice is read through one reader: a file is opened once in a run.
        const auto olderId = archive::filesystem::identity(olderPath);
        if (olderId && archive::filesystem::identity(newerPath) == olderId)
            newer = std::make_unique<ComparedTree>(*olderTree->reader());
        else
            newer = std::make_unique<ComparedTree>(
                newerPath, ComparedTree::isFolderPath(newerPath) ? besides(*olderTree) : forced);
    }
    const ComparedTree& older = *olderTree;
    const bool isQuiet = line.isSet("--quiet");
    if (line.isSet("--text"))
        return printTextDiff(older, *newer, line.value("--text"), console, isQuiet);

    const bool isJson = line.isSet("--json");
    const ArchiveComparison comparison(older, *newer, isJson);
    if (line.isSet("--patch"))
        archive::ArchivePatch::write(older, *newer, comparison, line.value("--patch"));
    if (isJson && !isQuiet)
        printJson(older, *newer, comparison, console);
    else if (!isQuiet)
        printStatus(older, *newer, comparison, console);
    return comparison.isEqual() ? kExitSuccess : kExitFailure;
}

} // namespace

int runDiff(const CommandLine& line, Console& console)
{
    if (line.isSet("--text") && (line.isSet("--json") || line.isSet("--patch")))
        throw UsageError("--text", "shows one entry's lines; it takes neither --json nor --patch");
    int status = kExitUsage;
    try {
        status = compare(line, console);
    } catch (const archive::ArchiveError& error) {
        console.error(error);
        status = kExitTrouble;
    }
    if (!console.flush())
        return kExitTrouble;
    return status;
}

} // namespace cli
