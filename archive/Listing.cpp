#include "Listing.h"

#include "ArchiveFormat.h"
#include "CFile.h"
#include "CodePage950.h"
#include "EntryList.h"

#include <utility>
#include <vector>

namespace archive {

bool matchesType(std::string_view name, std::string_view type)
{
    if (type.empty() || type == "*")
        return true;
    return cp950::right(cp950::makeUpper(name), 3) == type;
}

int listArchive(CFile& archive, EntryList& list, std::string_view type)
{
    list.ResetContent();
    try {
        archive.Seek(0);
        const std::vector<unsigned char> directory = readDirectory(archive);
        std::vector<std::pair<std::string, std::uint32_t>> items;
        walkDirectory(directory, archive.GetFilePath(),
                      [&](std::string_view name, std::uint32_t recordPosition) {
                          if (matchesType(name, type))
                              items.emplace_back(name, recordPosition);
                      });
        list.AddItems(std::move(items));
    } catch (...) {
        list.ResetContent();
        throw;
    }
    return list.GetCount();
}

std::string statusLine(std::string_view fileName, int count)
{
    return std::string(fileName) + ",共" + std::to_string(count) + "個檔案";
}

} // namespace archive
