#pragma once

// fork, users and resource limits: the tests that use this are POSIX-only.
#ifndef _WIN32

// Runs a piece of a test in a forked child with real operating-system limits: a low file size
// limit (writes then fail with EFBIG, SIGXFSZ ignored) or an unprivileged user (CI runs as root,
// where permission checks prove nothing). The child reports back an exit code and a text.

#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

struct ChildLimits {
    long long fileSizeLimit = -1;     // bytes; -1 leaves it alone
    bool unprivileged = false;        // as uid/gid 65534 when started as root
    long long addressSpaceLimit = -1; // bytes of address space (RLIMIT_AS); -1 leaves it alone
    long long cpuSeconds = -1;        // seconds of processor time (RLIMIT_CPU); -1 leaves it
};

struct ChildResult {
    int exitCode = -1; // -1 when the child did not exit normally
    std::string text;  // what the body returned
};

// body returns the text to report; its exit code is 0, or 1 when it throws (the text is then
// the exception's what()). Folders the child must write to need to be writable by 65534 when
// unprivileged is set.
inline ChildResult runInChild(const ChildLimits& limits, const std::function<std::string()>& body)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int code = 0;
        std::string text;
        if (limits.unprivileged && geteuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                setresuid(65534, 65534, 65534) != 0)
                _exit(3);
        }
        if (limits.fileSizeLimit >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(limits.fileSizeLimit),
                         static_cast<rlim_t>(limits.fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(4);
        }
        if (limits.addressSpaceLimit >= 0) {
            rlimit limit{static_cast<rlim_t>(limits.addressSpaceLimit),
                         static_cast<rlim_t>(limits.addressSpaceLimit)};
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                _exit(5);
        }
        if (limits.cpuSeconds >= 0) {
            rlimit limit{static_cast<rlim_t>(limits.cpuSeconds),
                         static_cast<rlim_t>(limits.cpuSeconds)};
            if (setrlimit(RLIMIT_CPU, &limit) != 0)
                _exit(6);
        }
        try {
            text = body();
        } catch (const std::exception& e) {
            code = 1;
            text = e.what();
        } catch (...) {
            code = 2;
        }
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = write(fds[1], p, left);
            if (n <= 0)
                break;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        close(fds[1]);
        _exit(code);
    }
    close(fds[1]);
    ChildResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        result.text.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

// True when a child can drop to an unprivileged user, so permission cases mean something.
inline bool canTestPermissions()
{
    return geteuid() != 0 || runInChild({-1, true}, [] {
                                 return std::string(geteuid() != 0 ? "y" : "n");
                             }).text == "y";
}

// The id of a process that has just ended.
inline pid_t endedProcessId()
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

// A child running another program (sleep) until this object ends it.
struct OtherProgram {
    pid_t pid = fork();

    OtherProgram()
    {
        if (pid == 0) {
            execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Until the exec has happened the child is still this program.
        for (int i = 0; i < 500; ++i) {
            std::string command;
            std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/cmdline"), command, '\0');
            if (command == "sleep")
                break;
            usleep(10000);
        }
    }
    ~OtherProgram()
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;
};

} // namespace testsupport

#endif // _WIN32
