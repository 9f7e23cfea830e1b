#include "archive/commands/Catalogue.h"
#include "archive/commands/Listing.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/TextFormat.h"
#include "cli/UsageError.h"

#include <charconv>
#include <vector>

namespace cli {

std::string typeOption(const CommandLine& line)
{
    if (!line.isSet("--type"))
        return std::string(archive::kTypeFilters[0]);
    const std::string value = line.value("--type");
    // Selector texts are ASCII, so upper-casing the typed value as Big5 is exact.
    const std::string upper = archive::CodePage::big5().makeUpper(value);
    for (const std::string_view type : archive::kTypeFilters) {
        if (type == upper)
            return upper;
    }
    std::string choices;
    for (std::size_t i = 1; i < archive::kTypeFilters.size(); ++i)
        choices += (i > 1 ? ", " : "") + std::string(archive::kTypeFilters[i]);
    throw UsageError("--type", "'" + value + "' is not one of " + choices);
}

std::optional<archive::Encoding> encodingOption(const CommandLine& line)
{
    const std::string value = line.value("--encoding", "auto");
    if (value == "auto")
        return std::nullopt;
    if (const std::optional<archive::Encoding> encoding = archive::CodePage::parse(value))
        return encoding;
    throw UsageError("--encoding",
                     "'" + value + "' is not one of big5, gbk, shift-jis, utf-8, auto");
}

const archive::CodePage& newArchiveCodePage(const CommandLine& line)
{
    return archive::CodePage::of(encodingOption(line).value_or(archive::Encoding::big5));
}

namespace {

// Bytes 0x20-0x7E are what neither the name escape nor the terminal guard changes, and most names
// hold nothing else: at a million rows their two copies were a third of a plain listing.
bool isPlain(std::string_view name)
{
    for (const char c : name) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

void appendListed(std::string& out, std::string_view name, const archive::CodePage& cp)
{
    if (isPlain(name))
        out += name;
    else
        out += text::printable(archive::names::toText(name, cp));
}

// "gbk (detected)" or "gbk (chosen)": what the names were read as.
std::string encodingShown(const archive::ArchiveReader& reader)
{
    return std::string(reader.codePage().name()) +
           (reader.isCodePageDetected() ? " (detected)" : " (chosen)");
}

void appendNumber(std::string& out, std::uint32_t value)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// Each listed row's name, one a line. One line buffer for every row, here and below: a million
// rows would otherwise be a million allocations.
void printNames(const archive::Catalogue& catalogue, const std::vector<std::uint32_t>& listed,
                Console& console)
{
    std::string text;
    for (const std::uint32_t row : listed) {
        text.clear();
        appendListed(text, catalogue.name(row), catalogue.codePage());
        text += '\n';
        console.print(text);
    }
}

// --long: what the names were read as, then size, data offset and name, tab-separated.
void printLong(const archive::ArchiveReader& reader, const archive::Catalogue& catalogue,
               const std::vector<std::uint32_t>& listed, Console& console)
{
    console.print("# names: " + encodingShown(reader) + "\n");
    std::string row;
    for (const std::uint32_t listedRow : listed) {
        const archive::RecordView fields = catalogue.record(listedRow);
        row.clear();
        appendNumber(row, fields.dataSize);
        row += '\t';
        appendNumber(row, fields.dataOffset);
        row += '\t';
        appendListed(row, fields.name, catalogue.codePage());
        row += '\n';
        console.print(row);
    }
}

// --json: one array of objects.
void printJson(const archive::ArchiveReader& reader, const archive::Catalogue& catalogue,
               const std::vector<std::uint32_t>& listed, Console& console)
{
    const archive::CodePage& cp = reader.codePage();
    // Every row says it, so that a script reading one entry needs no other line.
    const std::string encodingField =
        ", \"encoding\": \"" + std::string(cp.name()) +
        "\", \"encoding_detected\": " + (reader.isCodePageDetected() ? "true" : "false");
    std::string row;
    console.print("[");
    for (std::size_t index = 0; index < listed.size(); ++index) {
        const archive::RecordView fields = catalogue.record(listed[index]);
        const std::string_view name = fields.name;
        row.assign(index == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ");
        row += text::jsonString(archive::names::toText(name, cp));
        row += ", \"name_hex\": \"";
        row += text::hex(name);
        row += '"';
        row += encodingField;
        row += ", \"size\": ";
        appendNumber(row, fields.dataSize);
        row += ", \"offset\": ";
        appendNumber(row, fields.dataOffset);
        row += ", \"record\": ";
        appendNumber(row, fields.recordPosition);
        row += "}";
        console.print(row);
    }
    console.print(listed.empty() ? "]\n" : "\n]\n");
}

} // namespace

int runList(const CommandLine& line, Console& console)
{
    const std::string type = typeOption(line);
    const std::string& path = line.arguments()[0];

    archive::ArchiveReader reader;
    reader.Open(path, encodingOption(line));
    const archive::Catalogue catalogue(reader);
    const std::vector<std::uint32_t> listed = catalogue.filter(type);
    if (line.isSet("--json"))
        printJson(reader, catalogue, listed, console);
    else if (line.isSet("--long"))
        printLong(reader, catalogue, listed, console);
    else
        printNames(catalogue, listed, console);
    return console.flush() ? kExitSuccess : kExitFailure;
}

} // namespace cli
