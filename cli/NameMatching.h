#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archive {
class Catalogue;
}

namespace cli {

class Console;

// The entries one name given on the command line stands for.
struct NameMatch {
    std::string_view name;           // their name as stored (they all share it)
    std::vector<std::uint32_t> rows; // catalogue rows, in list order
};

// Matches each text against the listed catalogue rows (ascending): a text matches the entries
// with exactly its bytes; failing those, the entries it spells with its '/' read as '\', which
// must all be one name. Every text that matches nothing, matches two names, or cannot be an
// entry name at all is reported (type, when not "*", says which entries were looked at), and
// false comes back; matches then holds an empty match for each of those.
bool matchNames(const archive::Catalogue& catalogue, const std::vector<std::uint32_t>& listed,
                const std::vector<std::string>& texts, const std::string& archivePath,
                const std::string& type, Console& console, std::vector<NameMatch>& matches);

} // namespace cli
