#pragma once

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

    static MenuState of(const Session& session, int row, int selectedCount);
};

} // namespace session
