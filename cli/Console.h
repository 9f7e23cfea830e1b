#pragma once

#include "archive/commands/Progress.h"

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

    // Draws the progress line of a long command ("extracting", "building") on a terminal, at
    // most a few times a second; LongRun calls it.
    void showProgress(const std::string& verb, const archive::Progress& progress);
    // Ends the progress line, if one is shown; completed first draws it as all done.
    void endProgress(bool completed = false);

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
