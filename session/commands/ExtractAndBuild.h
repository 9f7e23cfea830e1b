#pragma once

#include <string>

namespace session {

class Session;

// Extracting the selected entries into a folder, and packing a folder into a new archive.
class ExtractAndBuild {
public:
    explicit ExtractAndBuild(Session& session) : m_session(session) {}

    // Asks for a folder and extracts the selected entries into it, asking about each failure.
    void extract();
    // Asks for a folder and builds from it.
    void build();
    // Build once the folder is known: asks where the archive goes, builds it and offers to open
    // it.
    void buildFrom(const std::string& folder);

private:
    Session& m_session;
};

} // namespace session
