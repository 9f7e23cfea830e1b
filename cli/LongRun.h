#pragma once

#include "archive/commands/Progress.h"

#include <string>
#include <string_view>

namespace cli {

class Console;

// The one rule of a long command (extract, build and every change of an archive): from its start
// a first SIGINT or SIGTERM asks it to stop at its next safe point, and a second one ends the
// program at once, its temporary files removed first; the progress line is drawn on a terminal.
// Once a first signal came, the program ends with 128 + its number (130, 143) whatever the
// command returns (exitStatus), so a shell and a script see an interrupt as one.
class LongRun {
public:
    // notice is said at the first signal: what the command does then, and that a second signal
    // ends it at once. A literal, as the signal handler may read it after the run.
    LongRun(Console& console, std::string verb, const char* notice);
    LongRun(const LongRun&) = delete;
    LongRun& operator=(const LongRun&) = delete;

    // The progress callback: draws the line and asks the command to stop once a signal came.
    archive::ProgressFn progress();
    // Ends the progress line (drawn complete unless stopped); true when a signal came, whether
    // it stopped the work (cancelled, as the command's result says) or came too late to.
    bool end(bool cancelled);
    // Says what the interrupted run leaves ("interrupted" and outcome) and gives its status.
    int interrupted(std::string_view subject, std::string_view outcome);

    // The program's exit status for status: 128 + the signal once one asked to stop. On POSIX
    // the program then ends by that signal, as a shell running a script needs to stop too.
    static int exitStatus(int status);

private:
    Console& m_console;
    std::string m_strVerb;
};

} // namespace cli
