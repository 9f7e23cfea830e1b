#include "session/commands/CompareCommands.h"

#include "archive/commands/ArchiveComparison.h"
#include "archive/commands/ComparedTree.h"
#include "archive/format/CodePage.h"
#include "res/CompareTexts.h"
#include "session/ComparisonMarks.h"
#include "session/Questions.h"
#include "session/Session.h"
#include "session/SessionWindow.h"
#include "session/Wording.h"

#include <memory>
#include <optional>

namespace session {

void CompareCommands::compare()
{
    if (!m_session.archive().isOpen())
        return;
    const std::optional<std::string> other = m_session.questions().chooseArchiveOrFolder(
        wording::tr(res::compare::kChooseTitle), m_session.startFolder());
    if (!other)
        return;
    m_session.startNextChoiceBeside(*other);
    compareWith(*other);
}

void CompareCommands::compareWith(const std::string& otherPath)
{
    const archive::ArchiveReader& reader = m_session.archive().reader();
    // A folder's names are made in the listed archive's code page, so they meet its names.
    const std::optional<archive::Encoding> forced =
        archive::ComparedTree::isFolderPath(otherPath)
            ? std::optional(m_session.codePage().encoding())
            : std::nullopt;
    const bool isListed = m_session.archive().isSame(otherPath);
    const auto progress = m_session.window().startLongRun(
        wording::fill(wording::tr(res::compare::kProgress), {wording::nativePath(otherPath)}));
    std::shared_ptr<const ComparisonMarks> marks =
        progress->run([&](const archive::ProgressFn& report) {
            // The listed archive itself is read through its reader: a second one may be refused.
            const auto older = isListed
                                   ? std::make_unique<archive::ComparedTree>(reader)
                                   : std::make_unique<archive::ComparedTree>(otherPath, forced);
            const archive::ComparedTree listed(reader);
            const archive::ArchiveComparison comparison(*older, listed, false, report);
            return comparison.isCancelled()
                       ? nullptr
                       : std::make_shared<const ComparisonMarks>(comparison, *older);
        });
    if (!marks) {
        progress->finish(wording::tr(res::compare::kCancelled));
        return;
    }
    const std::string done =
        wording::fill(wording::tr(res::compare::kDone),
                      {wording::nativePath(otherPath), wording::comparisonCounts(*marks)});
    m_session.list().setMarks(std::move(marks), m_session.window().typeFilter());
    m_session.setStatusFromList();
    progress->finish(done);
}

void CompareCommands::showDifferingOnly(bool isOn)
{
    if (!m_session.list().marks())
        return;
    m_session.list().setDifferingOnly(isOn, m_session.window().typeFilter());
    m_session.setStatusFromList();
}

} // namespace session
