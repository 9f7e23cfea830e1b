#include "archive/Listing.h"

#include "archive/ArchiveReader.h"
#include "archive/CodePage950.h"
#include "archive/EntryList.h"

#include <utility>
#include <vector>

namespace archive {

bool matchesType(std::string_view name, std::string_view type)
{
    if (type.empty() || type == "*")
        return true;
    return cp950::right(cp950::makeUpper(name), 3) == type;
}

int listArchive(const ArchiveReader& archive, EntryList& list, std::string_view type)
{
    list.ResetContent();
    archive.requireWholeDirectory();
    std::vector<std::pair<std::string, std::uint32_t>> items;
    items.reserve(archive.size());
    for (std::size_t i = 0; i < archive.size(); ++i) {
        const RecordView record = archive.at(i);
        if (matchesType(record.name, type))
            items.emplace_back(record.name, record.recordPosition);
    }
    list.AddItems(std::move(items));
    return list.GetCount();
}

int listArchive(CFile& archive, EntryList& list, std::string_view type)
{
    list.ResetContent();
    return listArchive(ArchiveReader(archive), list, type);
}

std::string statusLine(std::string_view fileName, int count)
{
    return std::string(fileName) + ",共" + std::to_string(count) + "個檔案";
}

} // namespace archive
