#include "archive/files/SystemError.h"

#include <cstring>

namespace archive {

std::string systemErrorText(int errorNumber)
{
    char buffer[256] = {};
    return strerror_s(buffer, sizeof buffer, errorNumber) == 0 && buffer[0] ? buffer
                                                                            : "unknown error";
}

} // namespace archive
