#pragma once

#include "archive/format/CodePage.h"

#include <optional>

namespace session {

class Session;

// Which of the changing commands the list's menu offers for the entry at row (-1 where no entry
// was hit); with no archive open it offers none of them.
struct MenuState {
    bool isShown = false;
    bool canAddFiles = false;
    bool canReplace = false;
    bool canRename = false;
    bool canDelete = false;
    bool canOpenInOtherProgram = false;
    bool canOpenAsFolder = false;
    bool canUndo = false;
    // The code page checked in the names' encoding menu, none for automatic.
    std::optional<archive::Encoding> encoding;
    // The filter to the differing rows, offered while marks are shown.
    bool canShowDifferingOnly = false;
    bool isDifferingOnly = false;

    static MenuState of(const Session& session, int row, int selectedCount);
};

} // namespace session
