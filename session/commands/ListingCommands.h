#pragma once

#include <string>

namespace session {

class Session;

// Open, filter, find and select: the commands that only change what is listed.
class ListingCommands {
public:
    explicit ListingCommands(Session& session) : m_session(session) {}

    // Asks for an archive and lists it.
    void chooseAndLoad();
    // Lists the archive loaded last again; nothing before any load.
    void reload();
    // Lists the entries of the type the window shows now.
    void filter();
    // Makes the first entry findText (UTF-8) matches current and scrolls it to the top, tinting
    // the find box when nothing matches.
    void find(const std::string& findText);
    void selectAll();
    void deselectAll();

private:
    Session& m_session;
};

} // namespace session
