#pragma once

#include "archive/Progress.h"

#include <chrono>
#include <string>
#include <string_view>

namespace archive {
class ArchiveError;
}

namespace cli {

// The program's standard output (buffered), its error lines and the progress line. Errors read
// "velmora-dat: subject: reason"; the progress line is shown only when standard error is a
// terminal, so scripts and pipes see nothing of it.
class Console {
public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void print(std::string_view text);
    // Writes what is buffered; false (after reporting it) when standard output failed.
    bool flush();

    void error(std::string_view subject, std::string_view reason);
    void error(const archive::ArchiveError& error);

    // A progress callback for a long command ("extracting", "building"): draws the line at most
    // a few times a second on a terminal, and asks the command to stop once an interrupt came.
    archive::ProgressFn progress(std::string verb);
    // Ends the progress line, if one is shown; completed first draws it as all done.
    void endProgress(bool completed = false);

    // SIGINT and SIGTERM then ask the running command to stop at its next safe point; a second
    // signal ends the program at once, its temporary files removed first.
    // notice is said at the first signal (it must outlive the run).
    static void catchInterrupts(const char* notice = nullptr);
    static bool isInterrupted();
    // The exit code of a run a signal stopped: 128 and the signal's number, as a shell shows it.
    static int interruptedExitCode();

private:
    void drawProgress(const std::string& verb, const archive::Progress& progress);

    std::string m_strOut;
    bool m_bOutFailed = false;
    bool m_bTerminal = false;
    bool m_bProgressShown = false;
    std::string m_strProgressVerb;
    archive::Progress m_lastProgress;
    std::chrono::steady_clock::time_point m_lastDraw;
};

} // namespace cli
