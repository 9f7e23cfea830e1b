#pragma once

#include <string>
#include <string_view>

namespace cli {

std::string_view programHelp();
// Empty for a name that is not a command.
std::string commandHelp(std::string_view command);

} // namespace cli
