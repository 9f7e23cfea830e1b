#include "archive/files/FileLock.h"

#include "archive/ArchiveError.h"

#include <algorithm>
#include <thread>

namespace archive {

FileLock::~FileLock()
{
    unlock();
}

void FileLock::unlock() noexcept
{
    close();
    m_id = {};
}

void FileLock::lock(const std::string& path, std::chrono::milliseconds wait)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + wait;
    // Short at first, so a change that is almost done is not waited out at length.
    std::chrono::milliseconds pause(10);
    // Replacements in a row that are believed; past them the names are taken to disagree.
    constexpr int kMaxReopens = 100;
    unlock();
    for (int reopened = 0;;) {
        open(path);
        const Attempt attempt = tryLock();
        if (attempt != Attempt::busy) {
            // The first holder may have put a new file in place before letting go of the old one.
            if (filesystem::identity(path) == m_id)
                return;
            close();
            if (++reopened > kMaxReopens)
                throw FileError(ErrorKind::cannotWrite, path,
                                "is replaced again and again by other programs; try again later");
            continue;
        }
        close();
        if (Clock::now() >= deadline)
            throw FileError(ErrorKind::cannotWrite, path,
                            "another program is changing it; try again once it is done");
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - Clock::now()));
        pause = std::min(pause * 2, std::chrono::milliseconds(200));
    }
}

} // namespace archive
