#pragma once

#include <deque>
#include <functional>

namespace session {

// Every command a button, key, menu or drop starts runs here, once the event that started it
// has returned: its questions and progress handle events, which may close the menu or end the
// drag it came from. One runs at a time; what arrives meanwhile waits its turn. A command's
// failure goes to the reporter, and the queue goes on.
class CommandQueue {
public:
    using PostFn = std::function<void(std::function<void()>)>;
    using GuardFn = std::function<void(const std::function<void()>&)>;

    // post runs its function after the current event; guard runs a command, reporting what it
    // throws.
    CommandQueue(PostFn post, GuardFn guard);

    void later(std::function<void()> command);
    // For a command code starts outside any event, and for what follows typing.
    void now(const std::function<void()>& command);
    bool isRunning() const { return m_bRunning; }

private:
    void runNext();

    PostFn m_post;
    GuardFn m_guard;
    bool m_bRunning = false;
    std::deque<std::function<void()>> m_pending;
};

} // namespace session
