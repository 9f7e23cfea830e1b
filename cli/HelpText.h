#pragma once

#include <string_view>

namespace cli {

std::string_view programHelp();
// Empty for a name that is not a command.
std::string_view commandHelp(std::string_view command);

} // namespace cli
