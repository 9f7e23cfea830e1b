#include "archive/files/Processes.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <string>
#include <unistd.h>

namespace archive::processes {

namespace {

// The file name of the program process pid runs, or empty when that cannot be read (gone, or
// another user's).
std::string programOf(const std::string& pid)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(("/proc/" + pid + "/exe").c_str(), target, sizeof target - 1);
    if (n <= 0)
        return {};
    std::string path(target, static_cast<std::size_t>(n));
    const std::string deleted = " (deleted)";
    if (path.ends_with(deleted))
        path.erase(path.size() - deleted.size());
    return path.substr(path.rfind('/') + 1);
}

} // namespace

long long currentId()
{
    return ::getpid();
}

bool runsThisProgram(long long id)
{
    // Anything else would name a process group or wrap around.
    if (id <= 0 || id > INT_MAX)
        return false;
    if (::kill(static_cast<pid_t>(id), 0) != 0 && errno != EPERM)
        return false;
    const std::string program = programOf(std::to_string(id));
    return !program.empty() && program == programOf("self");
}

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void useBinaryStandardStreams() {}

} // namespace archive::processes
