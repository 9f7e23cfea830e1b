#include "session/commands/ArchiveChanges.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Updating.h"
#include "archive/format/CodePage950.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"
#include "res/EditTexts.h"
#include "res/Resource.h"
#include "session/Questions.h"
#include "session/Session.h"
#include "session/SessionWindow.h"
#include "session/Wording.h"

#include <algorithm>
#include <optional>

namespace session {

namespace {

// The folder part of an entry name with its last '\'; empty for the top level. Searched by
// character: the second byte of 許 is a '\' too.
std::string folderOf(std::string_view entryName, const archive::CodePage& cp)
{
    std::ptrdiff_t cut = archive::CodePage::npos;
    for (std::ptrdiff_t at = cp.find(entryName, '\\'); at != archive::CodePage::npos;
         at = cp.find(entryName, '\\', std::size_t(at) + 1))
        cut = at;
    return cut == archive::CodePage::npos ? std::string()
                                          : std::string(entryName.substr(0, std::size_t(cut) + 1));
}

// A host file's own name as an entry name's last level.
std::string entryLevel(const std::string& path, const archive::CodePage& cp)
{
    return archive::names::entryName(archive::paths::fileName(path), cp);
}

archive::ArchiveChange adding(std::string name, std::string hostPath)
{
    return {archive::ArchiveChange::Kind::add, std::move(name), std::move(hostPath), {}};
}

} // namespace

void ArchiveChanges::addFiles(int row)
{
    if (!m_session.archive().isOpen())
        return;
    const std::string folder = folderOf(m_session.list().name(row), m_session.codePage());
    const std::string title = wording::fill(
        wording::tr(res::edit::kAddFilesTitle),
        {folder.empty() ? std::string("\\") : wording::shownName(folder, m_session.codePage())});
    const std::optional<std::vector<std::string>> files =
        m_session.questions().chooseFiles(title, m_session.startFolder());
    if (!files || files->empty())
        return;
    m_session.startNextChoiceBeside(files->front());
    std::vector<archive::ArchiveChange> changes;
    for (const std::string& file : *files)
        changes.push_back(adding(folder + entryLevel(file, m_session.codePage()), file));
    m_session.applyChanges(changes);
}

void ArchiveChanges::replace(int row)
{
    if (!m_session.archive().isOpen() || !m_session.list().isRow(row))
        return;
    const std::string name(m_session.list().name(row));
    const std::optional<std::string> file = m_session.questions().chooseFile(
        wording::fill(wording::tr(res::edit::kReplaceTitle),
                      {wording::shownName(name, m_session.codePage())}),
        m_session.startFolder());
    if (!file)
        return;
    m_session.startNextChoiceBeside(*file);
    m_session.applyChanges({adding(name, *file)});
}

void ArchiveChanges::rename(int row)
{
    if (row < 0)
        row = m_session.window().currentRow();
    if (!m_session.archive().isOpen() || !m_session.list().isRow(row))
        return;
    const std::string name(m_session.list().name(row));
    // The reversible text, so a name that does not decode comes back as the same bytes.
    const std::string before = archive::names::toText(name, m_session.codePage());
    const std::optional<std::string> text = m_session.questions().askText(
        wording::tr(res::edit::kRenameCaption),
        wording::fill(wording::tr(res::edit::kRenameLabel),
                      {wording::shownName(name, m_session.codePage())}),
        before);
    if (!text || *text == before)
        return;
    if (text->empty()) {
        m_session.reportError(wording::tr(res::edit::kEmptyName));
        return;
    }
    const std::string newName = archive::names::fromText(*text, m_session.codePage());
    if (newName == name)
        return;
    m_session.applyChanges({{archive::ArchiveChange::Kind::rename, name, {}, newName}});
}

void ArchiveChanges::remove(int row)
{
    if (!m_session.archive().isOpen())
        return;
    std::vector<int> rows = m_session.window().selectedRows();
    if (row < 0 && rows.empty())
        row = m_session.window().currentRow();
    if (m_session.list().isRow(row) && std::ranges::find(rows, row) == rows.end())
        rows = {row};
    if (rows.empty())
        return;
    const std::string question =
        wording::fill(wording::tr(res::edit::kDeleteQuestion),
                      {std::to_string(rows.size()),
                       archive::paths::fileName(m_session.archive().reader().path())});
    if (!m_session.questions().askYesNo(wording::tr(res::kDisplayName), question))
        return;
    std::vector<archive::ArchiveChange> changes;
    for (const int index : rows)
        changes.push_back({archive::ArchiveChange::Kind::remove,
                           std::string(m_session.list().name(index)),
                           {},
                           {}});
    m_session.applyChanges(changes);
}

void ArchiveChanges::undo()
{
    OpenArchive& open = m_session.archive();
    if (!open.canUndo() || open.isChanging())
        return;
    const OpenArchive::ChangeGuard changing(open);
    const std::string path = open.earlier()->path();
    try {
        putBackEarlier(path);
    } catch (const archive::FileError& e) {
        if (e.kind() != archive::ErrorKind::changedMeanwhile)
            throw;
        // Another program's archive now: it is listed as it is, and there is nothing to undo.
        open.forgetUndo();
        m_session.reportError(
            wording::fill(wording::tr(res::edit::kUndoRefused), {archive::paths::fileName(path)}));
        m_session.relist(path, false, {});
    }
}

void ArchiveChanges::putBackEarlier(const std::string& path)
{
    OpenArchive& open = m_session.archive();
    const auto progress = m_session.window().startLongRun(wording::tr(res::edit::kUndoTitle));
    // Putting back is never stopped halfway: it happens whole or fails.
    progress->run([&](const archive::ProgressFn& report) {
        // Putting back reports bytes only; the window counts whole MiB.
        const auto inMiB = [](std::uint64_t bytes) {
            return static_cast<int>((bytes + (1u << 20) - 1) >> 20);
        };
        archive::restoreArchive(*open.earlier(), path, open.undoWritten(),
                                [&](const archive::Progress& step) {
                                    archive::Progress shown = step;
                                    shown.entriesDone = inMiB(step.bytesDone);
                                    shown.entriesTotal = inMiB(step.bytesTotal);
                                    return report(shown);
                                });
        return true;
    });
    // One level: what was undone cannot be undone again.
    m_session.relist(path, false, open.takeUndo());
    progress->finish(
        wording::fill(wording::tr(res::edit::kUndoDone), {archive::paths::fileName(path)}));
}

} // namespace session
