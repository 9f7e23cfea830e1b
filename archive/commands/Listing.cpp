#include "archive/commands/Listing.h"

namespace archive {

std::uint32_t packedType(std::string_view type)
{
    if (type.size() > 3)
        return 0;
    std::uint32_t packed = std::uint32_t(type.size()) << 24;
    for (std::size_t i = 0; i < type.size(); ++i)
        packed |= std::uint32_t(static_cast<unsigned char>(type[i])) << (16 - 8 * i);
    return packed;
}

std::uint32_t typeTail(std::string_view name, const CodePage& cp)
{
    // The upper-cased tail made in place: a copy of each name would be most of a filter's time.
    // Character boundaries are found from the start, so a trail byte is never taken for a letter.
    const std::size_t count = name.size() < 3 ? name.size() : 3;
    const std::size_t from = name.size() - count;
    char tail[3] = {};
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = cp.charLength(name, i);
        for (std::size_t k = i < from ? from : i; k < i + length; ++k) {
            char c = name[k];
            if (length == 1 && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - ('a' - 'A'));
            tail[k - from] = c;
        }
        i += length;
    }
    return packedType(std::string_view(tail, count));
}

bool matchesType(std::string_view name, std::string_view type, const CodePage& cp)
{
    if (type.empty() || type == "*")
        return true;
    return type.size() <= 3 && typeTail(name, cp) == packedType(type);
}

} // namespace archive
