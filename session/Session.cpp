#include "session/Session.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "res/EditTexts.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "session/HostPaths.h"
#include "session/Questions.h"
#include "session/SessionWindow.h"
#include "session/Wording.h"

#include <new>

namespace session {

Session::Session(SessionWindow& window, Questions& questions)
    : m_window(window), m_questions(questions),
      m_commands([this](std::function<void()> run) { m_window.post(std::move(run)); },
                 [this](const std::function<void()>& command) { reportFailures(command); })
{
}

Session::~Session() = default;

void Session::startNextChoiceBeside(const std::string& file)
{
    m_strStartFolder = hostpaths::folderHolding(file);
}

void Session::load(const std::string& path)
{
    if (path != m_strLastArchive)
        m_chosenEncoding.reset();
    m_strLastArchive = path;
    startNextChoiceBeside(path);
    // The file may have changed meanwhile: an undo would put back bytes the user never saw
    // listed. Copies in other programs stay tied to the archive they came from.
    m_archive.forgetUndo();
    closeArchive();
    listArchive(path, false);
}

void Session::listArchive(const std::string& path, bool keepType)
{
    try {
        m_archive.open(path, m_chosenEncoding);
        if (!keepType)
            m_window.resetTypeFilter();
        auto catalogue = std::make_shared<const archive::Catalogue>(m_archive.reader());
        // Built now, so the first keystroke after listing does not wait for the keys.
        catalogue->quickFind();
        m_list.setCatalogue(std::move(catalogue), m_window.typeFilter());
        setStatusFromList();
    } catch (...) {
        // Nothing of the previous archive may stay on screen: its record positions would now
        // be read from no file, or from another.
        closeArchive();
        clearStatus();
        throw;
    }
}

void Session::closeArchive()
{
    if (m_beforeClose)
        m_beforeClose();
    // The list's names are views into the reader's directory: they go first.
    m_list.setCatalogue(nullptr);
    m_archive.close();
}

void Session::setStatusFromList()
{
    const archive::ArchiveReader& reader = m_archive.reader();
    const bool isDetected = reader.isCodePageDetected();
    m_window.setStatus(
        m_list.marks()
            ? wording::statusLine(reader.path(), m_list.count(), reader.codePage(), isDetected,
                                  *m_list.marks())
            : wording::statusLine(reader.path(), m_list.count(), reader.codePage(), isDetected));
}

void Session::clearStatus()
{
    m_window.setStatus({});
}

bool Session::applyChanges(const std::vector<archive::ArchiveChange>& changes)
{
    if (!m_archive.isOpen() || changes.empty())
        return false;
    const OpenArchive::ChangeGuard changing(m_archive);
    const std::string path = m_archive.reader().path();
    const auto progress = m_window.startLongRun(wording::tr(res::edit::kUpdateTitle));
    const archive::UpdateResult result = progress->run([&](const archive::ProgressFn& report) {
        return archive::updateArchive(m_archive.reader(), changes, report);
    });
    if (result.cancelled) {
        progress->finish(wording::updateResult(path, result));
        return false;
    }
    // After an undo, the entries the change named are the ones to look at again.
    std::vector<std::string> undoNames;
    for (const archive::ArchiveChange& change : changes)
        undoNames.push_back(change.name);
    // Undo puts back only over the file written here, so it needs to know which that is.
    relist(path, result.written.has_value(), result.changedNames);
    if (result.written)
        m_archive.setUndo(std::move(undoNames), *result.written);
    else
        m_archive.setUndoNames(std::move(undoNames));
    progress->finish(wording::updateResult(path, result));
    return true;
}

bool Session::updateOtherArchive(const archive::ArchiveReader& reader,
                                 const std::vector<archive::ArchiveChange>& changes)
{
    const auto progress = m_window.startLongRun(wording::tr(res::edit::kUpdateTitle));
    const archive::UpdateResult result = progress->run([&](const archive::ProgressFn& report) {
        return archive::updateArchive(reader, changes, report);
    });
    progress->finish(wording::updateResult(reader.path(), result));
    return !result.cancelled;
}

void Session::relist(const std::string& path, bool keepForUndo,
                     const std::vector<std::string>& names)
{
    m_window.relistUnder([&] {
        // The list's names are views into the reader's directory: they go first.
        m_list.setCatalogue(nullptr);
        if (keepForUndo)
            m_archive.keepForUndo();
        else
            m_archive.close();
        listArchive(path, true);
        return selectEntries(names);
    });
}

int Session::selectEntries(const std::vector<std::string>& names)
{
    const std::vector<std::pair<int, int>> ranges =
        m_list.rangesOf(std::vector<std::string_view>(names.begin(), names.end()));
    m_window.selectOnly(ranges);
    if (ranges.empty())
        return -1;
    m_window.setCurrentRow(ranges.front().first);
    m_window.showRow(ranges.front().first);
    return ranges.front().first;
}

void Session::reportError(const std::string& text)
{
    m_questions.showMessage(wording::tr(res::kDisplayName), text, Questions::MessageIcon::Error);
}

void Session::tell(const std::string& text)
{
    m_questions.showMessage(wording::tr(res::kDisplayName), text, Questions::MessageIcon::None);
}

void Session::reportFailures(const std::function<void()>& command)
{
    try {
        command();
    } catch (const archive::ArchiveError& e) {
        reportError(wording::errorMessage(e));
    } catch (const std::bad_alloc&) {
        reportError(wording::tr(res::kOutOfMemory));
    } catch (const std::exception& e) {
        reportError(wording::unexpectedError(e.what()));
    }
}

} // namespace session
