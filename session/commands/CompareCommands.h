#pragma once

#include <string>

namespace session {

class Session;

// Comparing the listed archive with another archive or a folder, marking its rows, and showing
// only the rows that differ. The marks stay until the list is made anew (a load, any change to
// the archive, undo): they are dropped then, never recomputed behind the user's back.
class CompareCommands {
public:
    explicit CompareCommands(Session& session) : m_session(session) {}

    // Asks for the other side and marks the rows against it.
    void compare();
    // Marks the rows against the archive or folder at otherPath, as a long run.
    void compareWith(const std::string& otherPath);
    // Shows only the rows that differ, under the type chosen, or every row again.
    void showDifferingOnly(bool isOn);

private:
    Session& m_session;
};

} // namespace session
