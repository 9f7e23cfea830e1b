#include "session/commands/ExtractAndBuild.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Building.h"
#include "archive/commands/Extraction.h"
#include "res/CompareTexts.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "session/HostPaths.h"
#include "session/Questions.h"
#include "session/Session.h"
#include "session/SessionWindow.h"
#include "session/Wording.h"

#include <optional>
#include <span>

namespace session {

void ExtractAndBuild::extract()
{
    if (!m_session.archive().isOpen())
        return;
    std::vector<std::uint32_t> selected =
        m_session.list().positionsOf(m_session.window().selectedRows());
    if (const ComparisonMarks* marks = m_session.list().marks();
        marks &&
        m_session.questions().askYesNo(wording::tr(res::kDisplayName),
                                       wording::tr(res::compare::kExtractDifferingQuestion)))
        std::erase_if(selected,
                      [marks](std::uint32_t position) { return !marks->isDiffering(position); });
    const std::optional<std::string> folder = m_session.questions().chooseFolder(
        wording::tr(res::kExtractTitle), m_session.startFolder());
    if (!folder)
        return;
    m_session.setStartFolder(*folder);
    const auto progress = m_session.window().startLongRun(
        wording::fill(wording::tr(res::kExtractProgress), {wording::nativePath(*folder)}));
    const archive::ArchiveReader& reader = m_session.archive().reader();
    // The worker's: entries are done in order, so the one under way is selected[entriesDone].
    std::size_t entriesDone = 0;
    archive::ExtractOptions options;
    bool isSkippingAll = false;
    options.onEntryFailure = [&](const archive::ArchiveError& failure) {
        if (isSkippingAll)
            return true;
        const std::string text = wording::failureQuestion(
            reader, failure, std::span(selected).first(entriesDone), selected.at(entriesDone));
        const Questions::FailureAnswer answer = progress->askFromWorker([&] {
            return m_session.questions().askAfterFailure(wording::tr(res::kDisplayName), text);
        });
        isSkippingAll = answer == Questions::FailureAnswer::SkipAll;
        return answer != Questions::FailureAnswer::Stop;
    };
    const archive::ExtractResult result = progress->run([&](const archive::ProgressFn& report) {
        return archive::extractEntries(
            reader, selected, *folder,
            [&](const archive::Progress& p) {
                entriesDone = static_cast<std::size_t>(p.entriesDone);
                return report(p);
            },
            options);
    });
    if (!result.cancelled && !result.stopped)
        m_session.window().selectOnly({});
    bool isShort = true;
    const std::string finished = wording::extractionResult(result, *folder, isShort);
    // A run that skipped or stopped says so even when it was too short for the window.
    if (!progress->finish(finished) && !isShort)
        m_session.tell(finished);
}

void ExtractAndBuild::build()
{
    const std::optional<std::string> folder =
        m_session.questions().chooseFolder(wording::tr(res::kBuildTitle), m_session.startFolder());
    if (!folder)
        return;
    m_session.setStartFolder(*folder);
    buildFrom(*folder);
}

void ExtractAndBuild::buildFrom(const std::string& folder)
{
    // Beside the source folder: an archive inside it would be refused.
    const std::optional<std::string> path =
        m_session.questions().saveArchivePath(hostpaths::folderHolding(folder));
    if (!path)
        return;
    m_session.startNextChoiceBeside(*path);
    if (archive::isArchiveInsideFolder(*path, folder)) {
        m_session.tell(wording::tr(res::kBuildInsideFolder));
        return;
    }
    m_session.archive().forgetUndo();
    m_session.closeArchive();
    m_session.window().resetTypeFilter();
    // The list is empty and nothing is open, whatever the build does.
    m_session.clearStatus();
    // The progress window is gone before the question: a short run never had one, and the
    // answer must not wait behind it.
    std::optional<archive::BuildResult> built;
    {
        const auto progress = m_session.window().startLongRun(
            wording::fill(wording::tr(res::kBuildProgress), {wording::nativePath(folder)}));
        built = progress->run([&](const archive::ProgressFn& report) {
            return archive::buildArchive(folder, *path, report);
        });
        if (built->cancelled) {
            progress->finish(
                wording::fill(wording::tr(res::kBuildCancelled),
                              {std::to_string(built->entries), wording::nativePath(*path)}));
            return;
        }
    }
    if (m_session.questions().askYesNo(wording::tr(res::kDisplayName),
                                       wording::buildQuestion(*built, *path)))
        m_session.load(*path);
}

} // namespace session
