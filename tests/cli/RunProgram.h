#pragma once

// Runs a built program (velmora-dat unless named) with arguments and collects its exit status
// and both streams.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/support/TestSupport.h"

namespace clitest {

struct RunResult {
    int exitCode = -1; // 128 + signal when the program was killed
    std::string out;
    std::string err;
};

// Variables to set in the program's environment; nullopt removes one.
using Environment = std::map<std::string, std::optional<std::string>>;

#ifdef _WIN32

// One argument as the C library's start-up code splits the command line again.
inline std::wstring quoted(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text.push_back(c);
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}

// An inheritable file that goes when its last handle closes.
inline HANDLE scratchFile(SECURITY_ATTRIBUTES& inherit)
{
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"vel", 0, name))
        throw std::runtime_error("no scratch file");
    const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    &inherit, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("no scratch file");
    return file;
}

inline std::string readAllFrom(HANDLE file)
{
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    std::string text;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0)
        text.append(buffer, n);
    CloseHandle(file);
    return text;
}

inline std::wstring wideText(const std::string& utf8)
{
    return testsupport::hostPath(utf8).wstring();
}

// Windows has no pseudo-terminal to hand over: errOnTerminal is for POSIX only.
inline RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                            bool errOnTerminal = false, const Environment& environment = {})
{
    if (errOnTerminal)
        throw std::runtime_error("no terminal to run a program on here");
    std::wstring line = quoted(wideText(program));
    for (const std::string& arg : args)
        line += L" " + quoted(wideText(arg));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE out = scratchFile(inherit);
    const HANDLE err = scratchFile(inherit);
    const HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr);
    // The child takes this process's environment, changed for the run and restored after.
    std::map<std::wstring, std::optional<std::wstring>> saved;
    for (const auto& [name, value] : environment) {
        const std::wstring wideName = wideText(name);
        wchar_t old[32767];
        const DWORD length = GetEnvironmentVariableW(wideName.c_str(), old, 32767);
        saved[wideName] = length ? std::optional<std::wstring>(old) : std::nullopt;
        SetEnvironmentVariableW(wideName.c_str(), value ? wideText(*value).c_str() : nullptr);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // Under a busy Wine, starting a process fails now and then for no reason of the program's:
    // tried again a few times before the run counts as not started.
    BOOL started = FALSE;
    DWORD startError = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0)
            Sleep(200);
        started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &process);
        if (!started)
            startError = GetLastError();
    }
    for (const auto& [name, value] : saved)
        SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    CloseHandle(in);
    RunResult result;
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        result.exitCode = 127;
    }
    result.out = readAllFrom(out);
    result.err = readAllFrom(err);
    if (!started)
        result.err += "not started: error " + std::to_string(startError) + "\n";
    return result;
}

inline RunResult runDat(const std::vector<std::string>& args, bool errOnTerminal = false)
{
    return runProgram(VELMORA_DAT_PATH, args, errOnTerminal);
}

#else

inline std::string readAllFd(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return text;
}

inline int scratchFile()
{
    char pattern[] = "/tmp/velmora-cli-out-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    unlink(pattern);
    return fd;
}

inline int waitExit(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// A program started and not yet waited for: its id and where its streams go.
struct Started {
    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    int master = -1; // the terminal's other side, with errOnTerminal
};

// With errOnTerminal, standard error is a pseudo-terminal, as when a user runs the program.
inline Started startProgram(const std::string& program, const std::vector<std::string>& args,
                            bool errOnTerminal = false, const Environment& environment = {})
{
    std::vector<std::string> argvStrings = {program};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    Started started;
    started.outFd = scratchFile();
    if (errOnTerminal) {
        started.master = posix_openpt(O_RDWR | O_NOCTTY);
        if (started.master < 0 || grantpt(started.master) != 0 || unlockpt(started.master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        // Held open here too, so the output stays readable after the program ends.
        started.errFd = open(ptsname(started.master), O_RDWR | O_NOCTTY);
    } else {
        started.errFd = scratchFile();
    }

    std::fflush(nullptr);
    started.pid = fork();
    if (started.pid == 0) {
        const int nullFd = open("/dev/null", O_RDONLY);
        dup2(nullFd, STDIN_FILENO);
        dup2(started.outFd, STDOUT_FILENO);
        dup2(started.errFd, STDERR_FILENO);
        for (const auto& [name, value] : environment) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return started;
}

// Waits for the program to end and collects its exit status and streams.
inline RunResult finishProgram(Started& started)
{
    RunResult result;
    result.exitCode = waitExit(started.pid);
    lseek(started.outFd, 0, SEEK_SET);
    result.out = readAllFd(started.outFd);
    close(started.outFd);
    if (started.master >= 0) {
        fcntl(started.master, F_SETFL, O_NONBLOCK);
        result.err = readAllFd(started.master);
        close(started.master);
    } else {
        lseek(started.errFd, 0, SEEK_SET);
        result.err = readAllFd(started.errFd);
    }
    close(started.errFd);
    started = {};
    return result;
}

inline RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                            bool errOnTerminal = false, const Environment& environment = {})
{
    Started started = startProgram(program, args, errOnTerminal, environment);
    return finishProgram(started);
}

inline RunResult runDat(const std::vector<std::string>& args, bool errOnTerminal = false)
{
    return runProgram(VELMORA_DAT_PATH, args, errOnTerminal);
}

inline Started startDat(const std::vector<std::string>& args)
{
    return startProgram(VELMORA_DAT_PATH, args);
}

// As runDat, under a file-size limit (ulimit -f) in bytes and with SIGXFSZ as a shell leaves
// it, so the program itself must keep the signal from killing it.
inline RunResult runDatWithFileSizeLimit(const std::vector<std::string>& args, rlim_t bytes)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{bytes, saved.rlim_max};
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
        throw std::runtime_error("cannot set a file size limit");
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_DFL);
    RunResult result;
    try {
        result = runDat(args);
    } catch (...) {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        throw;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    return result;
}

#endif

inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Every file below root, as relative path -> content.
inline std::map<std::string, std::string> treeOf(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const auto& item :
         std::filesystem::recursive_directory_iterator(testsupport::hostPath(root))) {
        if (item.is_regular_file())
            files[testsupport::utf8Path(
                std::filesystem::relative(item.path(), testsupport::hostPath(root)))] =
                testsupport::readFile(testsupport::utf8Path(item.path()));
    }
    return files;
}

} // namespace clitest
