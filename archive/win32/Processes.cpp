#include "archive/files/Processes.h"

#include "archive/win32/Win32.h"

#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <string>

namespace archive::processes {

namespace {

// The file name of the program process runs, or empty when that cannot be read.
std::wstring programOf(HANDLE process)
{
    wchar_t path[MAX_PATH * 4];
    DWORD size = sizeof path / sizeof path[0];
    if (!::QueryFullProcessImageNameW(process, 0, path, &size))
        return {};
    const std::wstring full(path, size);
    return full.substr(full.find_last_of(L"\\/") + 1);
}

} // namespace

long long currentId()
{
    return ::GetCurrentProcessId();
}

bool runsThisProgram(long long id)
{
    if (id <= 0 || id > UINT_MAX)
        return false;
    const HANDLE process =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (!process)
        return false;
    DWORD status = 0;
    const bool isAlive = ::GetExitCodeProcess(process, &status) && status == STILL_ACTIVE;
    const std::wstring program = isAlive ? programOf(process) : std::wstring();
    ::CloseHandle(process);
    return !program.empty() && program == programOf(::GetCurrentProcess());
}

// The arguments the system passed to main are in the ANSI code page, which holds no Big5 name on
// most systems: they are read again as UTF-16.
std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wideArgs = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wideArgs || count != argc) {
        if (wideArgs)
            ::LocalFree(wideArgs);
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(win32::utf8(wideArgs[i]));
    ::LocalFree(wideArgs);
    return arguments;
}

void useBinaryStandardStreams()
{
    ::_setmode(_fileno(stdout), _O_BINARY);
    ::_setmode(_fileno(stderr), _O_BINARY);
}

} // namespace archive::processes
