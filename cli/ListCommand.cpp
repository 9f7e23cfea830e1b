#include "archive/ArchiveReader.h"
#include "archive/CodePage950.h"
#include "archive/EntryList.h"
#include "archive/Listing.h"
#include "archive/NameMapping.h"
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
    // Selector texts are ASCII, so upper-casing the typed value as code page 950 is exact.
    const std::string upper = archive::cp950::makeUpper(value);
    for (const std::string_view type : archive::kTypeFilters) {
        if (type == upper)
            return upper;
    }
    std::string choices;
    for (std::size_t i = 1; i < archive::kTypeFilters.size(); ++i)
        choices += (i > 1 ? ", " : "") + std::string(archive::kTypeFilters[i]);
    throw UsageError("--type", "'" + value + "' is not one of " + choices);
}

int runList(const CommandLine& line, Console& console)
{
    const std::string type = typeOption(line);
    const std::string& path = line.arguments()[0];

    archive::ArchiveReader reader;
    reader.Open(path);
    archive::EntryList list;
    archive::listArchive(reader, list, type);

    const bool isJson = line.isSet("--json");
    if (!isJson && !line.isSet("--long")) {
        list.forEach([&](int, const std::string& name, std::uint32_t, bool) {
            console.print(text::printable(archive::names::toText(name)));
            console.print("\n");
            return true;
        });
        return console.flush() ? kExitSuccess : kExitFailure;
    }

    // Every record is read before anything is printed, so a bad one leaves no half document.
    struct Row {
        std::uint32_t size;
        std::uint32_t offset;
        std::uint32_t record;
    };
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(list.GetCount()));
    list.forEach([&](int, const std::string&, std::uint32_t position, bool) {
        const archive::RecordView record = reader.record(position);
        rows.push_back({record.dataSize, record.dataOffset, position});
        return true;
    });

    // One line buffer for every row: a million rows would otherwise be a million allocations.
    std::string row;
    const auto number = [&row](std::uint32_t value) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        row.append(digits, end);
    };
    if (isJson) {
        console.print("[");
        list.forEach([&](int index, const std::string& name, std::uint32_t, bool) {
            const Row& fields = rows[static_cast<std::size_t>(index)];
            row.assign(index == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ");
            row += text::jsonString(archive::names::toText(name));
            row += ", \"name_hex\": \"";
            row += text::hex(name);
            row += "\", \"size\": ";
            number(fields.size);
            row += ", \"offset\": ";
            number(fields.offset);
            row += ", \"record\": ";
            number(fields.record);
            row += "}";
            console.print(row);
            return true;
        });
        console.print(rows.empty() ? "]\n" : "\n]\n");
    } else {
        list.forEach([&](int index, const std::string& name, std::uint32_t, bool) {
            const Row& fields = rows[static_cast<std::size_t>(index)];
            row.clear();
            number(fields.size);
            row += '\t';
            number(fields.offset);
            row += '\t';
            row += text::printable(archive::names::toText(name));
            row += '\n';
            console.print(row);
            return true;
        });
    }
    return console.flush() ? kExitSuccess : kExitFailure;
}

} // namespace cli
