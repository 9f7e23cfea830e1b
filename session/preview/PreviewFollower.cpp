#include "session/preview/PreviewFollower.h"

namespace session {

void PreviewFollower::relistUnder(const std::function<int()>& list)
{
    if (!m_window.isOpen()) {
        list();
        return;
    }
    m_window.release();
    int row = -1;
    m_bRelisting = true;
    try {
        row = list();
    } catch (...) {
        m_bRelisting = false;
        m_window.close();
        throw;
    }
    m_bRelisting = false;
    if (row < 0)
        m_window.close();
    else
        m_window.showRow(row);
}

void PreviewFollower::rowsResetting()
{
    if (!m_bRelisting && m_window.isOpen())
        m_window.close();
}

void PreviewFollower::currentMoved(int row)
{
    // A relisting shows its entry once, at its end.
    if (m_window.isOpen() && row >= 0 && !m_bRelisting)
        m_window.showRow(row);
}

} // namespace session
