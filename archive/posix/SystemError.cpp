#include "archive/files/SystemError.h"

#include <cstring>

namespace archive {

namespace {

// strerror_r comes in two forms; overloads pick whichever the C library declares.
[[maybe_unused]] const char* textOf(int result, const char* buffer)
{
    return result == 0 ? buffer : nullptr;
}

[[maybe_unused]] const char* textOf(const char* result, const char*)
{
    return result;
}

} // namespace

std::string systemErrorText(int errorNumber)
{
    char buffer[256] = {};
    const char* text = textOf(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
    return text && *text ? text : "unknown error";
}

} // namespace archive
