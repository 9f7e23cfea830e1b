#include "session/commands/ListingCommands.h"

#include "archive/format/CodePage950.h"
#include "session/Questions.h"
#include "session/Session.h"
#include "session/SessionWindow.h"

#include <optional>

namespace session {

void ListingCommands::chooseAndLoad()
{
    const std::optional<std::string> path =
        m_session.questions().openArchivePath(m_session.startFolder());
    if (path)
        m_session.load(*path);
}

void ListingCommands::reload()
{
    if (!m_session.lastArchive().empty())
        m_session.load(m_session.lastArchive());
}

void ListingCommands::filter()
{
    if (!m_session.archive().isOpen())
        return;
    try {
        m_session.list().setFilter(m_session.window().typeFilter());
    } catch (...) {
        m_session.clearStatus();
        throw;
    }
    m_session.setStatusFromList();
}

void ListingCommands::find(const std::string& findText)
{
    // A typed character that the names' code page cannot hold matches no entry name.
    const std::optional<std::string> text = m_session.codePage().fromUtf8(findText);
    const int row = text ? m_session.list().find(*text) : -1;
    m_session.window().showFindMiss(!findText.empty() && row < 0);
    if (row < 0)
        return;
    m_session.window().scrollToTop(row);
    // Current, not selected: the match shows by its frame and the selection stays the user's.
    m_session.window().setCurrentRow(row);
}

void ListingCommands::selectAll()
{
    if (m_session.list().count() > 0)
        m_session.window().selectOnly({{0, m_session.list().count() - 1}});
}

void ListingCommands::deselectAll()
{
    m_session.window().selectOnly({});
}

} // namespace session
