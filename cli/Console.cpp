#include "cli/Console.h"

#include "archive/ArchiveError.h"
#include "cli/TextFormat.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace cli {

namespace {

constexpr std::size_t kOutBufferBytes = 1 << 16;
constexpr auto kDrawInterval = std::chrono::milliseconds(100);

// Writes all of text to fd; errno is kept on failure.
bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

Console::Console() : m_bTerminal(::isatty(STDERR_FILENO) == 1) {}

Console::~Console()
{
    flush();
}

void Console::print(std::string_view text)
{
    m_strOut += text;
    if (m_strOut.size() >= kOutBufferBytes)
        flush();
}

bool Console::flush()
{
    if (m_bOutFailed)
        return false;
    if (!m_strOut.empty() && !writeAll(STDOUT_FILENO, m_strOut)) {
        m_bOutFailed = true;
        const int errorNumber = errno;
        m_strOut.clear();
        error("standard output", std::strerror(errorNumber));
        return false;
    }
    m_strOut.clear();
    return true;
}

void Console::error(std::string_view subject, std::string_view reason)
{
    endProgress();
    // Keep the order of lines when both streams reach one terminal.
    if (!m_bOutFailed && !m_strOut.empty())
        flush();
    std::string line = "velmora-dat: ";
    if (!subject.empty())
        line += text::printable(subject) + ": ";
    line += text::printable(reason) + "\n";
    writeAll(STDERR_FILENO, line);
}

void Console::error(const archive::ArchiveError& error)
{
    this->error(error.subject(), error.reason());
}

void Console::showProgress(const std::string& verb, const archive::Progress& progress)
{
    if (m_bTerminal)
        drawProgress(verb, progress);
}

void Console::drawProgress(const std::string& verb, const archive::Progress& progress)
{
    const auto now = std::chrono::steady_clock::now();
    const bool done =
        progress.entriesDone >= progress.entriesTotal && progress.bytesDone >= progress.bytesTotal;
    if (!done && m_bProgressShown && now - m_lastDraw < kDrawInterval)
        return;
    m_lastDraw = now;
    m_bProgressShown = true;
    m_strProgressVerb = verb;
    m_lastProgress = progress;
    // "\r" and erase-to-end redraw one line in place.
    const std::string line = "\r" + verb + ": " + std::to_string(progress.entriesDone) + " of " +
                             std::to_string(progress.entriesTotal) + " entries, " +
                             text::byteCount(progress.bytesDone) + " of " +
                             text::byteCount(progress.bytesTotal) + "\x1b[K";
    writeAll(STDERR_FILENO, line);
}

void Console::endProgress(bool completed)
{
    if (!m_bProgressShown)
        return;
    if (completed) {
        archive::Progress done = m_lastProgress;
        done.entriesDone = done.entriesTotal;
        done.bytesDone = done.bytesTotal;
        drawProgress(m_strProgressVerb, done);
    }
    m_bProgressShown = false;
    writeAll(STDERR_FILENO, "\n");
}

} // namespace cli
