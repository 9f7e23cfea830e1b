#include "win32ui/PolledFileWatch.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>

namespace {

// A single-shot timer of this thread, found again by its id when it fires.
class ThreadTimer : public session::Timer {
public:
    ThreadTimer(int ms, std::function<void()> onTimeout)
        : m_nMs(ms), m_onTimeout(std::move(onTimeout))
    {
    }
    ~ThreadTimer() override { stop(); }
    void start() override
    {
        stop();
        m_id = SetTimer(nullptr, 0, static_cast<UINT>(m_nMs), fire);
        running()[m_id] = this;
    }
    void stop() override
    {
        if (!m_id)
            return;
        KillTimer(nullptr, m_id);
        running().erase(m_id);
        m_id = 0;
    }

private:
    static std::map<UINT_PTR, ThreadTimer*>& running()
    {
        static std::map<UINT_PTR, ThreadTimer*> timers;
        return timers;
    }
    static void CALLBACK fire(HWND, UINT, UINT_PTR id, DWORD)
    {
        const auto found = running().find(id);
        if (found == running().end()) {
            KillTimer(nullptr, id);
            return;
        }
        ThreadTimer* timer = found->second;
        timer->stop();
        // The timer may be destroyed by its own timeout: the call runs on a copy.
        const std::function<void()> onTimeout = timer->m_onTimeout;
        onTimeout();
    }

    int m_nMs;
    std::function<void()> m_onTimeout;
    UINT_PTR m_id = 0;
};

std::filesystem::path fromUtf8(const std::string& path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

} // namespace

PolledFileWatch::PolledFileWatch()
    : m_poll(std::make_unique<ThreadTimer>(kPollMs, [this] { poll(); }))
{
}

PolledFileWatch::~PolledFileWatch() = default;

void PolledFileWatch::setListener(std::function<void(const std::string& path)> onChange)
{
    m_onChange = std::move(onChange);
}

void PolledFileWatch::add(const std::string& path)
{
    m_watched[path] = lookAt(path);
    m_poll->start();
}

void PolledFileWatch::remove(const std::string& path)
{
    m_watched.erase(path);
}

std::unique_ptr<session::Timer> PolledFileWatch::makeTimer(int ms, std::function<void()> onTimeout)
{
    return std::make_unique<ThreadTimer>(ms, std::move(onTimeout));
}

PolledFileWatch::Look PolledFileWatch::lookAt(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path host = fromUtf8(path);
    Look look;
    look.exists = std::filesystem::exists(host, error);
    if (!look.exists)
        return look;
    look.time = std::filesystem::last_write_time(host, error);
    if (std::filesystem::is_regular_file(host, error))
        look.length = std::filesystem::file_size(host, error);
    return look;
}

void PolledFileWatch::poll()
{
    std::vector<std::string> changed;
    for (auto& [path, last] : m_watched) {
        const Look now = lookAt(path);
        if (now != last) {
            last = now;
            changed.push_back(path);
        }
    }
    if (!m_watched.empty())
        m_poll->start();
    // The listener may add and remove paths.
    for (const std::string& path : changed)
        if (m_onChange && m_watched.contains(path))
            m_onChange(path);
}
