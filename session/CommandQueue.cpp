#include "session/CommandQueue.h"

#include <utility>

namespace session {

CommandQueue::CommandQueue(PostFn post, GuardFn guard)
    : m_post(std::move(post)), m_guard(std::move(guard))
{
}

void CommandQueue::later(std::function<void()> command)
{
    m_pending.push_back(std::move(command));
    m_post([this] { runNext(); });
}

void CommandQueue::runNext()
{
    // A running command's windows and progress handle events: the next waits for it to end.
    if (m_bRunning || m_pending.empty())
        return;
    const std::function<void()> command = std::move(m_pending.front());
    m_pending.pop_front();
    now(command);
}

void CommandQueue::now(const std::function<void()>& command)
{
    const bool wasRunning = std::exchange(m_bRunning, true);
    try {
        m_guard(command);
    } catch (...) {
        m_bRunning = wasRunning;
        throw;
    }
    m_bRunning = wasRunning;
    if (!m_bRunning && !m_pending.empty())
        m_post([this] { runNext(); });
}

} // namespace session
