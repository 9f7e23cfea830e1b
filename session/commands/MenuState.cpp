#include "session/commands/MenuState.h"

#include "session/Session.h"

namespace session {

MenuState MenuState::of(const Session& session, int row, int selectedCount)
{
    if (!session.archive().isOpen())
        return {};
    const bool isEntry = session.list().isRow(row);
    return {.isShown = true,
            .canAddFiles = true,
            .canReplace = isEntry,
            .canRename = isEntry,
            .canDelete = isEntry || selectedCount > 0,
            .canOpenInOtherProgram = isEntry,
            .canOpenAsFolder = true,
            .canUndo = session.archive().canUndo(),
            .encoding = session.chosenEncoding(),
            .canShowDifferingOnly = session.list().marks() != nullptr,
            .isDifferingOnly = session.list().isDifferingOnly()};
}

} // namespace session
