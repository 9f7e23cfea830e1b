#include "archive/files/Processes.h"

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace archive;

namespace {

// POSIX: a forked twin and another program to compare with.
#ifndef _WIN32
TEST(Processes, ThisProgramIsAliveAndTheSameProgram)
{
    const testsupport::OtherProgram other;
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
        {"a process that ended", testsupport::endedProcessId(), false},
        {"another program", other.pid, false},
        {"no process", 0, false},
        {"a process group", -1, false},
        {"beyond any id", 1ll << 40, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(processes::runsThisProgram(c.id), c.same) << c.what;
    ::kill(twin, SIGKILL);
    ::waitpid(twin, nullptr, 0);
}
#endif

} // namespace
