#pragma once

#include "session/edits/ExternalEdits.h"

#include <string>
#include <vector>

namespace session {

class ScratchFolders;
class Session;

// What comes from outside the list: files and folders dropped on the window, and copies of
// entries opened in another program, whose saves are offered back to their archive.
class DropsAndCopies {
public:
    DropsAndCopies(Session& session, ScratchFolders& scratch, ExternalEdits& edits)
        : m_session(session), m_scratch(scratch), m_edits(edits)
    {
    }

    // Whether a drop of these files and folders does anything: with an archive open they are
    // added to it, except one game??.dat, which is loaded; otherwise one file is loaded and one
    // folder is packed. What the list itself dragged out is never taken.
    bool takesDrop(const std::vector<std::string>& paths) const;
    void drop(const std::vector<std::string>& paths);
    // Extracts the entry at row to a scratch folder and opens it in the desktop's program.
    void openInOtherProgram(int row);
    // A copy saved in another program, offered to the archive it came from, listed or not;
    // false while another command or change runs, to be offered again later.
    bool offerSavedCopy(const ExternalEdits::SavedCopy& copy);

private:
    // Dropped files and folders go into the open archive, after one question.
    void addDropped(const std::vector<std::string>& paths);
    void takeSavedCopy(const ExternalEdits::SavedCopy& copy);

    Session& m_session;
    ScratchFolders& m_scratch;
    ExternalEdits& m_edits;
};

} // namespace session
