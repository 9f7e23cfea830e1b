#pragma once

#include "session/edits/FileWatch.h"

#include <cstdint>
#include <filesystem>
#include <map>

// The watch over copies opened in other programs, and the session's timers, on this thread's
// timers: a watched path is looked at every kPollMs, and one whose length, time or existence
// differs from the last look is reported (a folder's time moves when a name in it changes).
class PolledFileWatch : public session::FileWatch, public session::Timers {
public:
    static constexpr int kPollMs = 200;

    PolledFileWatch();
    ~PolledFileWatch() override;

    void setListener(std::function<void(const std::string& path)> onChange) override;
    void add(const std::string& path) override;
    void remove(const std::string& path) override;
    bool watches(const std::string& path) const override { return m_watched.contains(path); }
    std::unique_ptr<session::Timer> makeTimer(int ms, std::function<void()> onTimeout) override;

private:
    struct Look {
        bool exists = false;
        std::uintmax_t length = 0;
        std::filesystem::file_time_type time;
        bool operator==(const Look&) const = default;
    };
    static Look lookAt(const std::string& path);
    void poll();

    std::function<void(const std::string&)> m_onChange;
    std::map<std::string, Look> m_watched;
    std::unique_ptr<session::Timer> m_poll;
};
