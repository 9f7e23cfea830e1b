#include "session/ComparisonMarks.h"

#include "archive/commands/ArchiveComparison.h"
#include "archive/format/NameMapping.h"
#include "res/CompareTexts.h"

namespace session {

ComparisonMarks::ComparisonMarks(const archive::ArchiveComparison& comparison,
                                 const archive::ComparedTree& older)
    : m_strOtherPath(older.path())
{
    using Kind = archive::EntryDifference::Kind;
    m_counts.unchanged = comparison.unchanged();
    for (const archive::EntryDifference& difference : comparison.differences()) {
        switch (difference.kind) {
        case Kind::deleted:
            ++m_counts.deleted;
            continue;
        case Kind::added:
            ++m_counts.added;
            m_marks[difference.newer->ref] = Mark::added;
            continue;
        case Kind::changed:
            ++m_counts.changed;
            m_marks[difference.newer->ref] = Mark::changed;
            continue;
        case Kind::renamed:
            ++m_counts.renamed;
            m_marks[difference.newer->ref] = Mark::renamed;
            m_renamedFrom[difference.newer->ref] =
                archive::names::displayName(difference.older->name, older.codePage());
            continue;
        }
    }
}

const ComparisonMarks::Look& ComparisonMarks::lookOf(Mark mark)
{
    // In the order of Mark.
    static constexpr Look kLooks[] = {
        {res::compare::kUnchangedColor, res::compare::kMarkUnchanged},
        {res::compare::kAddedColor, res::compare::kMarkAdded},
        {res::compare::kChangedColor, res::compare::kMarkChanged},
        {res::compare::kRenamedColor, res::compare::kMarkRenamed},
    };
    return kLooks[static_cast<std::size_t>(mark)];
}

ComparisonMarks::Mark ComparisonMarks::markOf(std::uint32_t position) const
{
    const auto found = m_marks.find(position);
    return found == m_marks.end() ? Mark::unchanged : found->second;
}

std::string ComparisonMarks::renamedFrom(std::uint32_t position) const
{
    const auto found = m_renamedFrom.find(position);
    return found == m_renamedFrom.end() ? std::string() : found->second;
}

} // namespace session
