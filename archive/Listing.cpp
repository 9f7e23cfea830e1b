#include "archive/Listing.h"

#include "archive/CodePage950.h"

namespace archive {

bool matchesType(std::string_view name, std::string_view type)
{
    if (type.empty() || type == "*")
        return true;
    return cp950::right(cp950::makeUpper(name), 3) == type;
}

} // namespace archive
