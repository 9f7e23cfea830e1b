#include "archive/commands/ArchiveCheck.h"

#include "archive/ArchiveError.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "archive/format/PortableNames.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace archive {

namespace {

// Every entry's name as the list orders it (CodePage::compareNoCase: single-byte letters folded)
// with '/' read as '\', as extraction reads it; empty for an entry unsafe to extract. Kept as
// offsets into one buffer: at a million entries a string per entry is most of the memory.
class FoldedNames {
public:
    FoldedNames(std::size_t count, const CodePage& cp)
        : m_codePage(cp), m_ends(count), m_safe(count)
    {
    }

    void reserve(std::size_t bytes) { m_str.reserve(bytes); }
    void add(std::size_t i, std::string_view name)
    {
        // Appended whole and folded in place: a push per byte was most of the pass.
        const std::size_t start = m_str.size();
        m_str += name;
        for (std::size_t k = 0; k < name.size();) {
            const std::size_t n = m_codePage.charLength(name, k);
            if (n == 1)
                m_str[start + k] = foldedChar(name[k]);
            k += n;
        }
        m_safe[i] = true;
        m_ends[i] = static_cast<std::uint32_t>(m_str.size());
    }
    void skip(std::size_t i) { m_ends[i] = static_cast<std::uint32_t>(m_str.size()); }

    std::size_t size() const { return m_ends.size(); }
    bool isSafe(std::size_t i) const { return m_safe[i]; }
    std::string_view folded(std::size_t i) const
    {
        const std::size_t start = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_str).substr(start, m_ends[i] - start);
    }

    static char foldedChar(char c)
    {
        if (c == '/')
            return '\\';
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }

private:
    const CodePage& m_codePage;
    std::string m_str;
    std::vector<std::uint32_t> m_ends;
    std::vector<bool> m_safe;
};

std::string subjectOf(const RecordView& record, const CodePage& cp)
{
    return names::entrySubject(record.name, record.recordPosition, cp);
}

std::string subjectOf(const ArchiveReader& archive, std::size_t i)
{
    return subjectOf(archive.at(i), archive.codePage());
}

// Problems are gathered per entry and put in entry order at the end, so an entry's lines stand
// together whatever pass found them.
class Collector {
public:
    void add(std::size_t order, CheckProblem::Severity severity, std::string subject,
             std::string reason)
    {
        m_items.push_back({order, {severity, std::move(subject), std::move(reason), {}}});
    }

    void addBadName(std::size_t entry, std::string subject, std::string reason)
    {
        m_items.push_back(
            {entry, {CheckProblem::Severity::Error, std::move(subject), std::move(reason), entry}});
    }

    void add(std::size_t order, const ArchiveError& error)
    {
        add(order, CheckProblem::Severity::Error, error.subject(), error.reason());
    }

    void moveInto(CheckReport& report)
    {
        std::stable_sort(m_items.begin(), m_items.end(),
                         [](const Item& a, const Item& b) { return a.order < b.order; });
        for (Item& item : m_items) {
            if (item.problem.severity == CheckProblem::Severity::Error)
                ++report.errors;
            else
                ++report.warnings;
            report.problems.push_back(std::move(item.problem));
        }
        m_items.clear();
    }

private:
    struct Item {
        std::size_t order;
        CheckProblem problem;
    };
    std::vector<Item> m_items;
};

void checkOverlaps(const ArchiveReader& archive, Collector& problems)
{
    struct Span {
        std::uint32_t offset;
        std::uint32_t size;
        std::uint32_t index;
        std::uint64_t end() const { return std::uint64_t(offset) + size; }
    };
    std::vector<Span> spans;
    spans.reserve(archive.size());
    for (std::size_t i = 0; i < archive.size(); ++i) {
        const RecordView record = archive.at(i);
        if (record.dataSize > 0)
            spans.push_back({record.dataOffset, record.dataSize, static_cast<std::uint32_t>(i)});
    }
    // Equal offsets stay in entry order, so the earlier entry is the one overlapped. The data of
    // an archive build or an update wrote is in entry order already.
    const auto isBefore = [](const Span& a, const Span& b) {
        return a.offset != b.offset ? a.offset < b.offset : a.index < b.index;
    };
    if (!std::is_sorted(spans.begin(), spans.end(), isBefore))
        std::sort(spans.begin(), spans.end(), isBefore);

    const std::uint64_t dataAreaStart = archive.dataAreaStart();
    std::optional<Span> reaching; // the entry whose data reaches furthest so far
    for (const Span& span : spans) {
        if (span.offset < dataAreaStart) {
            problems.add(span.index, CheckProblem::Severity::Warning,
                         subjectOf(archive, span.index),
                         "data at offset " + std::to_string(span.offset) +
                             " lies inside the directory (which ends at " +
                             std::to_string(dataAreaStart) + ")");
        }
        if (reaching && span.offset < reaching->end()) {
            problems.add(span.index, CheckProblem::Severity::Warning,
                         subjectOf(archive, span.index),
                         "data (offset " + std::to_string(span.offset) + ", " +
                             std::to_string(span.size) + (span.size == 1 ? " byte" : " bytes") +
                             ") overlaps the data of " + subjectOf(archive, reaching->index));
        }
        if (!reaching || span.end() > reaching->end())
            reaching = span;
    }
}

// Two names as extraction sees them, character by character: -1, 0 or 1. Bytes alike can still
// be different characters ("\xB3/" is a lone byte and a separator, "\xB3\\" is one character),
// so names whose folded bytes are equal are told apart here.
int compareChars(std::string_view a, std::string_view b, bool isFolded, const CodePage& cp)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const std::size_t na = cp.charLength(a, i);
        const std::size_t nb = cp.charLength(b, j);
        if (na != nb)
            return na < nb ? -1 : 1;
        for (std::size_t k = 0; k < na; ++k) {
            auto ca = static_cast<unsigned char>(na == 1 && a[i] == '/' ? '\\' : a[i + k]);
            auto cb = static_cast<unsigned char>(nb == 1 && b[j] == '/' ? '\\' : b[j + k]);
            if (isFolded && na == 1) {
                ca = static_cast<unsigned char>(FoldedNames::foldedChar(char(ca)));
                cb = static_cast<unsigned char>(FoldedNames::foldedChar(char(cb)));
            }
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        i += na;
        j += nb;
    }
    if (i == a.size() && j == b.size())
        return 0;
    return i == a.size() ? -1 : 1;
}

// The list's order of folded names, ties in entry order.
bool isBefore(const ArchiveReader& archive, const FoldedNames& names, std::uint32_t a,
              std::uint32_t b)
{
    if (const int order = names.folded(a).compare(names.folded(b)); order != 0)
        return order < 0;
    if (const int order =
            compareChars(archive.at(a).name, archive.at(b).name, true, archive.codePage());
        order != 0)
        return order < 0;
    return a < b;
}

// The safe entries in the list's order. An archive that build or an update wrote is in it
// already, which one pass finds; any other is sorted once, on keys holding the first 16 folded
// bytes so that nearly every comparison is of two integers. The keys are kept: they tell most
// neighbours apart without a cache miss into the names.
class ListOrder {
public:
    ListOrder(const ArchiveReader& archive, const FoldedNames& names);

    std::size_t size() const { return m_keys.empty() ? m_entries.size() : m_keys.size(); }
    std::uint32_t operator[](std::size_t k) const
    {
        return m_keys.empty() ? m_entries[k] : m_keys[k].index;
    }
    // True when the folded names at positions a and b surely differ in their first 16 bytes.
    bool differsEarly(std::size_t a, std::size_t b) const
    {
        return !m_keys.empty() &&
               (m_keys[a].high != m_keys[b].high || m_keys[a].low != m_keys[b].low);
    }
    // True when the folded name at position `from` surely does not begin with the one at `at`.
    bool beginsElsewhere(std::size_t at, std::size_t from) const
    {
        return differsEarly(at, from) && m_keys[at].length >= 16;
    }

private:
    struct Key {
        std::uint64_t high;
        std::uint64_t low;
        std::uint32_t index;
        std::uint32_t length; // of the folded name, in what would be padding
    };
    std::vector<std::uint32_t> m_entries; // when the archive was in order
    std::vector<Key> m_keys;              // when it was sorted
};

ListOrder::ListOrder(const ArchiveReader& archive, const FoldedNames& names)
{
    m_entries.reserve(names.size());
    bool isSorted = true;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names.isSafe(i))
            continue;
        const auto index = static_cast<std::uint32_t>(i);
        isSorted =
            isSorted && (m_entries.empty() || isBefore(archive, names, m_entries.back(), index));
        m_entries.push_back(index);
    }
    if (isSorted)
        return;
    m_keys.reserve(m_entries.size());
    for (const std::uint32_t index : m_entries) {
        const std::string_view folded = names.folded(index);
        std::uint64_t prefix[2] = {0, 0};
        for (std::size_t k = 0; k < 16 && k < folded.size(); ++k)
            prefix[k / 8] |= std::uint64_t(static_cast<unsigned char>(folded[k]))
                             << (56 - 8 * (k % 8));
        m_keys.push_back({prefix[0], prefix[1], index, static_cast<std::uint32_t>(folded.size())});
    }
    m_entries = {};
    std::sort(m_keys.begin(), m_keys.end(), [&](const Key& a, const Key& b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        return isBefore(archive, names, a.index, b.index);
    });
}

// Whether some entry below position `from` of the order extracts below `name` as a folder.
// The names that begin with its folded bytes follow it, those with '\' next before any with a
// greater byte; each entry is passed over only by the names it begins with, so the scans stay
// linear in the bytes of the names.
bool isFolderName(const ArchiveReader& archive, const FoldedNames& names, const ListOrder& order,
                  std::size_t at, std::size_t from, std::uint32_t entry)
{
    if (from < order.size() && order.beginsElsewhere(at, from))
        return false;
    const std::string_view prefix = names.folded(entry);
    for (std::size_t k = from; k < order.size(); ++k) {
        const std::string_view folded = names.folded(order[k]);
        if (!folded.starts_with(prefix))
            return false;
        if (folded.size() == prefix.size() || folded[prefix.size()] < '\\')
            continue;
        if (folded[prefix.size()] > '\\')
            return false;
        const std::string_view other = archive.at(order[k]).name;
        std::size_t end = 0;
        while (end < prefix.size())
            end += archive.codePage().charLength(other, end);
        if (end == prefix.size() && archive.codePage().charLength(other, end) == 1 &&
            compareChars(archive.at(entry).name, other.substr(0, end), false, archive.codePage()) ==
                0)
            return true;
    }
    return false;
}

void reportSameFile(const ArchiveReader& archive, std::size_t i, std::size_t earlierIndex,
                    Collector& problems)
{
    const RecordView entry = archive.at(i);
    const RecordView earlier = archive.at(earlierIndex);
    if (earlier.name == entry.name) {
        problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry, archive.codePage()),
                     "duplicate name (also the record at " +
                         std::to_string(earlier.recordPosition) +
                         "); extracting both writes one file twice");
    } else {
        problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry, archive.codePage()),
                     "extracts to the same file as " + subjectOf(earlier, archive.codePage()));
    }
}

// One run of names equal but for letter case, in entry order. Entries of one exact name (as
// extraction reads it) are one group: every later one extracts over the first, and the first of
// each group but the earliest is one file with that group where case is ignored (Windows, FAT).
void checkCaseRun(const ArchiveReader& archive, const FoldedNames& names, const ListOrder& order,
                  std::size_t run, std::size_t end, Collector& problems)
{
    std::vector<std::uint32_t> members;
    for (std::size_t k = run; k < end; ++k)
        members.push_back(order[k]);
    std::stable_sort(members.begin(), members.end(), [&](std::uint32_t a, std::uint32_t b) {
        return compareChars(archive.at(a).name, archive.at(b).name, false, archive.codePage()) < 0;
    });
    const std::uint32_t earliest = order[run];
    std::uint32_t first = members.front();
    bool isFolder = false;
    for (std::size_t k = 0; k < members.size(); ++k) {
        const std::uint32_t i = members[k];
        const bool startsGroup = k == 0 || compareChars(archive.at(first).name, archive.at(i).name,
                                                        false, archive.codePage()) != 0;
        if (startsGroup) {
            first = i;
            isFolder = isFolderName(archive, names, order, run, end, i);
        } else {
            reportSameFile(archive, i, first, problems);
        }
        if (isFolder)
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(archive, i),
                         "extracts to a file where other entries need a folder of that name");
        if (startsGroup && i != earliest)
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(archive, i),
                         "differs only in letter case from " + subjectOf(archive, earliest) +
                             "; where case is ignored (Windows, FAT) one overwrites the other");
    }
}

// Duplicates, names that extract to one file, a file where a folder is needed and names equal
// but for letter case, in one pass over the list's order: all of them are neighbours there.
void checkNameClashes(const ArchiveReader& archive, const FoldedNames& names, Collector& problems)
{
    // Names unsafe to extract have no path; only the same bytes make them one.
    std::unordered_map<std::string_view, std::size_t> unsafe;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names.isSafe(i))
            continue;
        const auto [it, inserted] = unsafe.emplace(archive.at(i).name, i);
        if (!inserted)
            reportSameFile(archive, i, it->second, problems);
    }

    const ListOrder order(archive, names);
    const auto isSameRun = [&](std::size_t a, std::size_t b) {
        return !order.differsEarly(a, b) && names.folded(order[a]) == names.folded(order[b]) &&
               compareChars(archive.at(order[a]).name, archive.at(order[b]).name, true,
                            archive.codePage()) == 0;
    };
    for (std::size_t run = 0; run < order.size();) {
        std::size_t end = run + 1;
        while (end < order.size() && isSameRun(run, end))
            ++end;
        if (end - run == 1) {
            const std::uint32_t i = order[run];
            if (isFolderName(archive, names, order, run, end, i))
                problems.add(i, CheckProblem::Severity::Warning, subjectOf(archive, i),
                             "extracts to a file where other entries need a folder of that name");
        } else {
            checkCaseRun(archive, names, order, run, end, problems);
        }
        run = end;
    }
}

} // namespace

CheckReport checkArchive(const std::string& path, std::optional<Encoding> forced)
{
    ArchiveReader archive;
    try {
        archive.Open(path, forced);
    } catch (const FormatError& error) {
        CheckReport report;
        Collector problems;
        problems.add(0, error);
        problems.moveInto(report);
        return report;
    }
    return checkArchive(archive);
}

CheckReport checkArchive(const ArchiveReader& archive, bool errorsOnly)
{
    CheckReport report;
    Collector problems;
    // Only the warning passes read the folded names.
    FoldedNames names(errorsOnly ? 0 : archive.size(), archive.codePage());
    std::string hostPath;
    // The directory's size bounds the names: reserved pages never written cost no memory.
    if (!errorsOnly)
        names.reserve(archive.dataAreaStart());
    for (std::size_t i = 0; i < archive.size(); ++i) {
        const RecordView entry = archive.at(i);
        try {
            archive.checkData(entry);
        } catch (const FormatError& error) {
            problems.add(i, error);
        }
        if (!errorsOnly && entry.dataSize == 0 && entry.dataOffset > archive.fileLength())
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry, archive.codePage()),
                         "is empty but its offset " + std::to_string(entry.dataOffset) +
                             " lies past the end of the file (" +
                             std::to_string(archive.fileLength()) + " bytes)");
        try {
            names::hostRelativePath(entry.name, archive.codePage(), hostPath);
            if (!errorsOnly)
                names.add(i, entry.name);
            if (auto reason = names::unstorableReason(entry.name, hostPath, archive.codePage()))
                problems.addBadName(i, subjectOf(entry, archive.codePage()), std::move(*reason));
            else if (auto warning = errorsOnly ? std::nullopt
                                               : nonPortableReason(entry.name, archive.codePage()))
                problems.add(i, CheckProblem::Severity::Warning,
                             subjectOf(entry, archive.codePage()), *warning);
        } catch (const NameError& error) {
            if (!errorsOnly)
                names.skip(i);
            problems.addBadName(i, subjectOf(entry, archive.codePage()),
                                "unsafe to extract: " + error.reason());
        }
    }
    // The records before a bad one are checked; its error stands after them.
    if (archive.damage())
        problems.add(archive.size(), *archive.damage());
    report.entries = static_cast<int>(archive.size());
    if (errorsOnly) {
        problems.moveInto(report);
        return report;
    }

    checkOverlaps(archive, problems);
    checkNameClashes(archive, names, problems);
    problems.moveInto(report);
    return report;
}

} // namespace archive
