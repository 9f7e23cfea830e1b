#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Joining and splitting of host paths, as strings only: nothing here asks the file system.
namespace archive::paths {

inline constexpr char kSeparator = '/';
// What separates a path's levels when reading one: on Windows also '\', as paths typed at its
// prompt or chosen in its windows are written. Paths made here use kSeparator.
#ifdef _WIN32
inline constexpr std::string_view kSeparators = "/\\";
#else
inline constexpr std::string_view kSeparators = "/";
#endif

bool endsWithSeparator(std::string_view path) noexcept;
// name inside folder with exactly one separator between them; an empty folder is the current
// one, so name comes back alone.
std::string join(std::string_view folder, std::string_view name);
// The path with one separator at its end, for prefix comparisons.
std::string withSeparator(std::string_view path);
// Everything after the last separator (the whole path when it has none).
std::string fileName(std::string_view path);
// Folder and last component: "x.dat" lies in ".", "/x.dat" in "/".
std::pair<std::string, std::string> split(std::string_view path);
// The folder holding the last component of an absolute path; "/" for "/x" and for "/".
std::string parent(std::string_view path);
// The names between separators, empty ones (doubled or trailing separators) left out.
std::vector<std::string> components(std::string_view path);
// Component by component: "/data/game2" is not below "/data/game".
bool isSameOrBelow(std::string_view path, std::string_view folder) noexcept;

} // namespace archive::paths
