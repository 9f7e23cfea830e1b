#pragma once

#include <string>

namespace session {

class Session;

// The commands that change the open archive, for the entry at list row (-1: none, or for
// rename and delete the current entry). The changed archive is listed again with what changed
// selected, and undo puts back the archive as it was before the last change.
class ArchiveChanges {
public:
    explicit ArchiveChanges(Session& session) : m_session(session) {}

    // Chosen files go into the folder of the entry at row (the top level for none).
    void addFiles(int row);
    void replace(int row);
    void rename(int row);
    // The selected entries, or the one at row when it is not among them.
    void remove(int row);
    void undo();

private:
    // Undo's work once asked for; throws FileError changedMeanwhile, having written nothing,
    // when another program changed the file since.
    void putBackEarlier(const std::string& path);

    Session& m_session;
};

} // namespace session
