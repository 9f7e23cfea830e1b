#pragma once

// Runs a command as the benchmarks measure it: its wall and processor time and its peak memory,
// taken by a fresh copy of the benchmark ("--measure"), which holds none of the caller's data.
// A child's peak memory counts what it shares with its parent until exec, so the measuring copy
// must be small. POSIX.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace benchrun {

struct Run {
    double seconds = 0;
    double cpuSeconds = 0; // user + system: the figure to trust on a loaded machine
    double peakMegabytes = 0;
    bool ok = false;
};

// Starts argv[0] with args, its standard output to outFd (or thrown away when -1) and its error
// thrown away; the child's id, or -1.
inline pid_t spawn(const std::vector<std::string>& args, int outFd)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs args here, its output thrown away, and measures it.
inline Run runDirectly(const std::vector<std::string>& args)
{
    Run run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawn(args, -1);
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.peakMegabytes = usage.ru_maxrss / 1024.0;
        run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return run;
}

// Runs args through a fresh copy of this program, which measures it.
inline Run runMeasured(const std::vector<std::string>& args)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::vector<std::string> copy = {"/proc/self/exe", "--measure"};
    copy.insert(copy.end(), args.begin(), args.end());
    const pid_t pid = spawn(copy, fds[1]);
    close(fds[1]);
    char text[256] = {};
    std::size_t got = 0;
    ssize_t n = 0;
    while (got + 1 < sizeof text && (n = read(fds[0], text + got, sizeof text - 1 - got)) > 0)
        got += static_cast<std::size_t>(n);
    close(fds[0]);
    Run run;
    if (pid <= 0)
        return run;
    int status = 0;
    waitpid(pid, &status, 0);
    int ok = 0;
    if (std::sscanf(text, "%lf %lf %lf %d", &run.seconds, &run.cpuSeconds, &run.peakMegabytes,
                    &ok) == 4)
        run.ok = ok != 0;
    return run;
}

// The measuring copy's work when this program was started as one ("--measure ARGS..."): the
// exit status to end with; nullopt for a normal start.
inline std::optional<int> measureIfAsked(int argc, char** argv)
{
    if (argc < 3 || std::strcmp(argv[1], "--measure") != 0)
        return std::nullopt;
    const Run run = runDirectly(std::vector<std::string>(argv + 2, argv + argc));
    std::printf("%f %f %f %d\n", run.seconds, run.cpuSeconds, run.peakMegabytes, run.ok);
    return 0;
}

} // namespace benchrun
