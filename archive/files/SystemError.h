#pragma once

#include <string>

namespace archive {

// The system's own words for one of its error numbers.
std::string systemErrorText(int errorNumber);

} // namespace archive
