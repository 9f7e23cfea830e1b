#include "session/commands/DropsAndCopies.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Building.h"
#include "archive/commands/Catalogue.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"
#include "res/EditTexts.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "session/HostPaths.h"
#include "session/Questions.h"
#include "session/Session.h"
#include "session/SessionWindow.h"
#include "session/Wording.h"
#include "session/commands/ExtractAndBuild.h"
#include "session/edits/ScratchFolders.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace session {

namespace {

bool isArchiveName(const std::string& path)
{
    std::string name = archive::paths::fileName(path);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.size() < 10 || !name.starts_with("game") || !name.ends_with(".dat"))
        return false;
    // Two characters between, however many bytes they take in UTF-8.
    const std::string_view between = std::string_view(name).substr(4, name.size() - 8);
    return std::ranges::count_if(
               between, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }) == 2;
}

} // namespace

bool DropsAndCopies::takesDrop(const std::vector<std::string>& paths) const
{
    if (paths.empty() || (!m_session.archive().isOpen() && paths.size() != 1))
        return false;
    // A file manager may hand the copies back as a drag of its own.
    return std::ranges::none_of(paths,
                                [this](const std::string& path) { return m_scratch.holds(path); });
}

void DropsAndCopies::drop(const std::vector<std::string>& paths)
{
    // One file or folder is handled as before archives could be changed: an archive to open,
    // or anything while none is open.
    const bool opensOrBuilds =
        paths.size() == 1 && (!m_session.archive().isOpen() ||
                              (hostpaths::isFile(paths.front()) && isArchiveName(paths.front())));
    if (!opensOrBuilds)
        addDropped(paths);
    else if (hostpaths::isFolder(paths.front()))
        ExtractAndBuild(m_session).buildFrom(paths.front());
    else
        m_session.load(paths.front());
}

void DropsAndCopies::addDropped(const std::vector<std::string>& paths)
{
    const archive::CodePage& cp = m_session.codePage();
    std::vector<archive::BuildEntry> entries;
    for (const std::string& path : paths) {
        // The dropped item's parent is the root: a folder keeps its own name as the first level.
        if (hostpaths::isFolder(path))
            archive::AddFolderEntries(entries, path, archive::paths::parent(path), cp);
        else
            entries.push_back(
                {archive::names::entryName(archive::paths::fileName(path), cp), path, 0});
    }
    if (entries.empty())
        return;
    const archive::Catalogue& catalogue = *m_session.list().catalogue();
    std::unordered_set<std::string_view> existing;
    existing.reserve(catalogue.size());
    for (std::size_t row = 0; row < catalogue.size(); ++row)
        existing.insert(catalogue.name(row));
    std::unordered_set<std::string_view> named;
    int added = 0;
    int replaced = 0;
    std::vector<archive::ArchiveChange> changes;
    for (const archive::BuildEntry& entry : entries) {
        changes.push_back({archive::ArchiveChange::Kind::add, entry.name, entry.hostPath, {}});
        if (named.insert(entry.name).second)
            ++(existing.contains(entry.name) ? replaced : added);
    }
    const std::string question =
        wording::fill(wording::tr(res::edit::kDropQuestion),
                      {archive::paths::fileName(m_session.archive().reader().path()),
                       std::to_string(added), std::to_string(replaced)});
    if (m_session.questions().askYesNo(wording::tr(res::kDisplayName), question))
        m_session.applyChanges(changes);
}

void DropsAndCopies::openInOtherProgram(int row)
{
    if (!m_session.archive().isOpen() || !m_session.list().isRow(row))
        return;
    const archive::ArchiveReader& reader = m_session.archive().reader();
    const std::uint32_t position = m_session.list().position(row);
    const std::string path = m_scratch.extractFile(reader, position);
    m_edits.watch(path, reader, position);
    // Runs after this command object is gone: it holds only what outlives it.
    m_session.window().openInOtherProgram(path, [&session = m_session, &edits = m_edits, path,
                                                 name = std::string(m_session.list().name(row))] {
        edits.forget(path);
        session.reportError(wording::fill(wording::tr(res::edit::kCannotOpenWith),
                                          {wording::shownName(name, session.codePage())}));
    });
}

bool DropsAndCopies::offerSavedCopy(const ExternalEdits::SavedCopy& copy)
{
    if (m_session.archive().isChanging() || m_session.commands().isRunning())
        return false;
    const OpenArchive::ChangeGuard changing(m_session.archive());
    m_session.commands().now([&] { takeSavedCopy(copy); });
    return true;
}

void DropsAndCopies::takeSavedCopy(const ExternalEdits::SavedCopy& copy)
{
    // Another archive may be listed now: the copy still belongs to its own.
    const bool isListed = m_session.archive().isSame(copy.archivePath);
    archive::ArchiveReader other;
    if (!isListed)
        other.Open(copy.archivePath);
    const archive::ArchiveReader& from = isListed ? m_session.archive().reader() : other;
    // Renamed or deleted since it was opened: adding the copy would bring the old name back.
    bool isThere = false;
    for (std::size_t i = 0; i < from.size() && !isThere; ++i)
        isThere = from.at(i).name == copy.entryName;
    const std::string shown = wording::shownName(copy.entryName, from.codePage());
    if (!isThere) {
        m_session.reportError(wording::fill(
            wording::tr(res::errorKindText(archive::ErrorKind::noSuchEntry)), {shown}));
        return;
    }
    const std::string question =
        isListed ? wording::fill(wording::tr(res::edit::kEditedQuestion), {shown})
                 : wording::fill(wording::tr(res::edit::kEditedOtherQuestion),
                                 {shown, wording::nativePath(copy.archivePath)});
    if (!m_session.questions().askYesNo(wording::tr(res::kDisplayName), question))
        return;
    const std::vector<archive::ArchiveChange> change = {
        {archive::ArchiveChange::Kind::add, copy.entryName, copy.path, {}}};
    if (isListed) {
        if (m_session.applyChanges(change))
            m_edits.tookIn(copy.path, m_session.archive().reader());
    } else if (m_session.updateOtherArchive(other, change)) {
        archive::ArchiveReader after;
        after.Open(copy.archivePath);
        m_edits.tookIn(copy.path, after);
    }
}

} // namespace session
