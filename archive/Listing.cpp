#include "archive/Listing.h"

#include "archive/CodePage950.h"

namespace archive {

bool matchesType(std::string_view name, std::string_view type)
{
    if (type.empty() || type == "*")
        return true;
    const std::size_t count = name.size() < 3 ? name.size() : 3;
    if (type.size() != count)
        return false;
    // The upper-cased tail compared in place: a filter runs over every entry of the archive, and
    // a copy of each name would be most of its time. Character boundaries are found from the
    // start, so a trail byte is never taken for a letter.
    const std::size_t from = name.size() - count;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = cp950::charLength(name, i);
        for (std::size_t k = i; k < i + length; ++k) {
            if (k < from)
                continue;
            char c = name[k];
            if (length == 1 && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - ('a' - 'A'));
            if (c != type[k - from])
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace archive
