#pragma once

#include "archive/format/CodePage.h"

#include <array>
#include <optional>

namespace session {

class Session;

// The list menu's choice of the code page the names are read in. Only the names shown, found
// and made from typed text change: the stored bytes stay as they are.
class NameEncoding {
public:
    // The menu's items in order: automatic, then each code page.
    struct Choice {
        std::optional<archive::Encoding> encoding;
        const char* text; // UTF-8, from res/
    };
    static const std::array<Choice, 5>& choices();

    explicit NameEncoding(Session& session) : m_session(session) {}

    // Reads the names in encoding from now on (none: as detected) and lists the archive again
    // at once, the same entries selected and current where they are still listed.
    void choose(std::optional<archive::Encoding> encoding);

private:
    Session& m_session;
};

} // namespace session
