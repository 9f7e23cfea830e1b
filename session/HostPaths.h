#pragma once

#include <string>

// Host paths as the session meets them (UTF-8, '/' between levels as the front ends hand them
// over): what only asking the file system answers.
namespace session::hostpaths {

// The absolute folder holding path's last level.
std::string folderHolding(const std::string& path);
bool isFolder(const std::string& path);
bool isFile(const std::string& path);

} // namespace session::hostpaths
