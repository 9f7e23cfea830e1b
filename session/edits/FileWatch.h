#pragma once

#include <functional>
#include <memory>
#include <string>

namespace session {

// The front end's watch over files and folders: a watched path that changes (written, renamed
// over, removed, or for a folder a name inside it changing) is passed to the listener on the
// session's thread. A file renamed over may stop being watched; add it again.
class FileWatch {
public:
    virtual ~FileWatch() = default;
    virtual void setListener(std::function<void(const std::string& path)> onChange) = 0;
    virtual void add(const std::string& path) = 0;
    virtual void remove(const std::string& path) = 0;
    virtual bool watches(const std::string& path) const = 0;
};

// A single-shot timer on the session's thread; start() while it runs starts it again. It may be
// destroyed from its own timeout.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

class Timers {
public:
    virtual ~Timers() = default;
    virtual std::unique_ptr<Timer> makeTimer(int ms, std::function<void()> onTimeout) = 0;
};

} // namespace session
