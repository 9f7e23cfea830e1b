#include "archive/Processes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace archive;

namespace {

pid_t goneProcess()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

// A child that has become /bin/sleep once its command line says so.
pid_t sleeper()
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 500; ++i) {
        std::string command;
        std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/cmdline"), command, '\0');
        if (command == "sleep")
            break;
        ::usleep(10000);
    }
    return pid;
}

TEST(Processes, ThisProgramIsAliveAndTheSameProgram)
{
    const pid_t other = sleeper();
    const pid_t twin = ::fork();
    if (twin == 0) {
        ::pause();
        ::_exit(0);
    }
    const struct {
        const char* what;
        long long id;
        bool same;
    } cases[] = {
        {"this process", processes::currentId(), true},
        {"a child that is still this program", twin, true},
        {"a process that ended", goneProcess(), false},
        {"another program", other, false},
        {"no process", 0, false},
        {"a process group", -1, false},
        {"beyond any id", 1ll << 40, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(processes::runsThisProgram(c.id), c.same) << c.what;
    for (const pid_t child : {other, twin}) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

} // namespace
