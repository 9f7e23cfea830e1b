#include "session/HostPaths.h"

#include <filesystem>
#include <system_error>

namespace session::hostpaths {

namespace {

// UTF-8 both ways: a plain std::string would be read in the system's code page on Windows.
std::filesystem::path fromUtf8(const std::string& path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string toUtf8(const std::filesystem::path& path)
{
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

} // namespace

std::string folderHolding(const std::string& path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(fromUtf8(path), error);
    if (error)
        absolute = fromUtf8(path);
    return toUtf8(absolute.lexically_normal().parent_path());
}

bool isFolder(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_directory(fromUtf8(path), error);
}

bool isFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(fromUtf8(path), error);
}

} // namespace session::hostpaths
