#include "archive/format/Paths.h"

namespace archive::paths {

bool endsWithSeparator(std::string_view path) noexcept
{
    return !path.empty() && kSeparators.find(path.back()) != std::string_view::npos;
}

std::string join(std::string_view folder, std::string_view name)
{
    std::string result;
    result.reserve(folder.size() + 1 + name.size());
    result.append(folder);
    // The root "/" already ends in its separator.
    if (!folder.empty() && !endsWithSeparator(folder))
        result += kSeparator;
    result.append(name);
    return result;
}

std::string withSeparator(std::string_view path)
{
    std::string result(path);
    if (!endsWithSeparator(path))
        result += kSeparator;
    return result;
}

std::string fileName(std::string_view path)
{
    const std::size_t slash = path.find_last_of(kSeparators);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::pair<std::string, std::string> split(std::string_view path)
{
    const std::size_t slash = path.find_last_of(kSeparators);
    if (slash == std::string_view::npos)
        return {".", std::string(path)};
    return {slash == 0 ? std::string(1, kSeparator) : std::string(path.substr(0, slash)),
            std::string(path.substr(slash + 1))};
}

std::string parent(std::string_view path)
{
    const std::size_t slash = path.find_last_of(kSeparators);
    return slash == 0 || slash == std::string_view::npos ? std::string(1, kSeparator)
                                                         : std::string(path.substr(0, slash));
}

std::vector<std::string> components(std::string_view path)
{
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find_first_of(kSeparators, start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool isSameOrBelow(std::string_view path, std::string_view folder) noexcept
{
    if (folder == "/")
        return true;
    return path.substr(0, folder.size()) == folder &&
           (path.size() == folder.size() || endsWithSeparator(path.substr(0, folder.size() + 1)));
}

} // namespace archive::paths
