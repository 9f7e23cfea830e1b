#include "ArchiveReader.h"
#include "CodePage950.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Console.h"
#include "EntryList.h"
#include "Listing.h"
#include "NameMapping.h"
#include "TextFormat.h"
#include "UsageError.h"

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

    if (isJson) {
        console.print("[");
        list.forEach([&](int index, const std::string& name, std::uint32_t, bool) {
            const Row& row = rows[static_cast<std::size_t>(index)];
            console.print(index == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ");
            console.print(text::jsonString(archive::names::toText(name)));
            console.print(", \"name_hex\": \"" + text::hex(name) + "\", \"size\": " +
                          std::to_string(row.size) + ", \"offset\": " + std::to_string(row.offset) +
                          ", \"record\": " + std::to_string(row.record) + "}");
            return true;
        });
        console.print(rows.empty() ? "]\n" : "\n]\n");
    } else {
        list.forEach([&](int index, const std::string& name, std::uint32_t, bool) {
            const Row& row = rows[static_cast<std::size_t>(index)];
            console.print(std::to_string(row.size) + "\t" + std::to_string(row.offset) + "\t" +
                          text::printable(archive::names::toText(name)) + "\n");
            return true;
        });
    }
    return console.flush() ? kExitSuccess : kExitFailure;
}

} // namespace cli
