#include "archive/ArchiveCheck.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/FolderLevels.h"
#include "archive/NameMapping.h"
#include "archive/PortableNames.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace archive {

namespace {

// What the later passes need of every entry, kept as offsets rather than strings: at a million
// entries a string or a view per entry is most of the checker's memory.
class Paths {
public:
    explicit Paths(std::size_t count) : m_ends(count), m_safe(count) {}

    void reserve(std::size_t bytes) { m_str.reserve(bytes); }
    void add(std::size_t i, std::string_view hostPath)
    {
        m_str += hostPath;
        m_safe[i] = true;
        m_ends[i] = m_str.size();
    }
    void skip(std::size_t i) { m_ends[i] = m_str.size(); }

    bool isSafe(std::size_t i) const { return m_safe[i]; }
    std::string_view path(std::size_t i) const
    {
        const std::size_t start = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_str).substr(start, m_ends[i] - start);
    }

private:
    std::string m_str;
    std::vector<std::size_t> m_ends;
    std::vector<bool> m_safe;
};

std::string subjectOf(const RecordView& record)
{
    return names::entrySubject(record.name, record.recordPosition);
}

std::string subjectOf(const ArchiveReader& archive, std::size_t i)
{
    return subjectOf(archive.at(i));
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
    for (std::size_t i = 0; i < archive.size(); ++i) {
        const RecordView record = archive.at(i);
        if (record.dataSize > 0)
            spans.push_back({record.dataOffset, record.dataSize, static_cast<std::uint32_t>(i)});
    }
    // Equal offsets stay in entry order, so the earlier entry is the one overlapped.
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.offset != b.offset ? a.offset < b.offset : a.index < b.index;
    });

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

// A file below a folder: the folder's id in FolderLevels and the file's name.
struct LevelKey {
    std::uint32_t parent;
    std::string_view name;
    bool operator==(const LevelKey&) const = default;
};

void checkCollisions(const ArchiveReader& archive, const Paths& paths, Collector& problems)
{
    // Two names that differ as bytes can still map to one host path ('/' and '\' are both
    // separators), and extracting both then writes one file twice. The files, far more than the
    // folders, are sorted rather than kept in a hash map, which needs no node per entry.
    FolderLevels folders;
    std::unordered_map<std::string_view, std::size_t> unsafe; // raw name -> first entry
    struct FileKey {
        std::uint32_t parent;
        std::uint32_t nameStart; // in the entry's path
    };
    std::vector<FileKey> fileKeys(archive.size());
    // Sorted by folder and the name's hash, so nearly every comparison is of integers; names
    // are compared only where hashes are equal, which keeps equal names together.
    struct Sorted {
        std::uint32_t parent;
        std::uint32_t index;
        std::uint32_t hash; // of the name; its low half is plenty within one folder
    };
    std::vector<Sorted> safe;

    const auto report = [&](std::size_t i, std::size_t earlierIndex) {
        const RecordView entry = archive.at(i);
        const RecordView earlier = archive.at(earlierIndex);
        if (earlier.name == entry.name) {
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry),
                         "duplicate name (also the record at " +
                             std::to_string(earlier.recordPosition) +
                             "); extracting both writes one file twice");
        } else {
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry),
                         "extracts to the same file as " + subjectOf(earlier));
        }
    };
    const auto fileKey = [&](std::size_t i) {
        return LevelKey{fileKeys[i].parent, paths.path(i).substr(fileKeys[i].nameStart)};
    };

    for (std::size_t i = 0; i < archive.size(); ++i) {
        if (!paths.isSafe(i)) {
            const auto [it, inserted] = unsafe.emplace(archive.at(i).name, i);
            if (!inserted)
                report(i, it->second);
            continue;
        }
        const std::string_view path = paths.path(i);
        std::uint32_t parent = FolderLevels::kTop;
        std::size_t start = 0;
        for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
             slash = path.find('/', start)) {
            parent = folders.add(parent, path.substr(start, slash - start));
            start = slash + 1;
        }
        fileKeys[i] = {parent, static_cast<std::uint32_t>(start)};
        safe.push_back(
            {parent, static_cast<std::uint32_t>(i),
             static_cast<std::uint32_t>(std::hash<std::string_view>()(path.substr(start)))});
    }

    std::sort(safe.begin(), safe.end(), [&](const Sorted& a, const Sorted& b) {
        if (a.parent != b.parent)
            return a.parent < b.parent;
        if (a.hash != b.hash)
            return a.hash < b.hash;
        const int order = fileKey(a.index).name.compare(fileKey(b.index).name);
        return order != 0 ? order < 0 : a.index < b.index;
    });
    // Each run of one key: every later entry clashes with the first.
    for (std::size_t run = 0; run < safe.size();) {
        std::size_t next = run + 1;
        while (next < safe.size() && safe[next].hash == safe[run].hash &&
               fileKey(safe[next].index) == fileKey(safe[run].index)) {
            report(safe[next].index, safe[run].index);
            ++next;
        }
        run = next;
    }

    for (std::size_t i = 0; i < archive.size(); ++i) {
        if (paths.isSafe(i) && folders.find(fileKey(i).parent, fileKey(i).name)) {
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(archive, i),
                         "extracts to a file where other entries need a folder of that name");
        }
    }
}

// Two names whose host paths differ only in ASCII letter case (the folding of
// cp950::compareNoCase; in UTF-8 every ASCII byte is a character of its own) are one file where
// case is ignored. Sorted by the folded path, then the exact path, then entry order: a run of one
// folded path holds groups of one exact path, which the duplicate warning already covers, and
// every group but the earliest is warned once, naming the earliest.
void checkCaseCollisions(const ArchiveReader& archive, const Paths& paths, Collector& problems)
{
    const auto fold = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a')
                                    : static_cast<unsigned char>(c);
    };
    const auto compareFolded = [&](std::string_view a, std::string_view b) {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t k = 0; k < n; ++k)
            if (fold(a[k]) != fold(b[k]))
                return fold(a[k]) < fold(b[k]) ? -1 : 1;
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    };

    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < archive.size(); ++i)
        if (paths.isSafe(i))
            order.push_back(static_cast<std::uint32_t>(i));
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (const int folded = compareFolded(paths.path(a), paths.path(b)); folded != 0)
            return folded < 0;
        if (const int exact = paths.path(a).compare(paths.path(b)); exact != 0)
            return exact < 0;
        return a < b;
    });

    for (std::size_t run = 0; run < order.size();) {
        std::size_t end = run + 1;
        while (end < order.size() &&
               compareFolded(paths.path(order[run]), paths.path(order[end])) == 0)
            ++end;
        // The first entry of each group, the earliest of them the one the others are named after.
        std::uint32_t earliest = order[run];
        for (std::size_t k = run + 1; k < end; ++k)
            if (paths.path(order[k]) != paths.path(order[k - 1]))
                earliest = std::min(earliest, order[k]);
        for (std::size_t k = run; k < end; ++k) {
            const bool startsGroup = k == run || paths.path(order[k]) != paths.path(order[k - 1]);
            if (startsGroup && order[k] != earliest)
                problems.add(order[k], CheckProblem::Severity::Warning,
                             subjectOf(archive, order[k]),
                             "differs only in letter case from " + subjectOf(archive, earliest) +
                                 "; where case is ignored (Windows, FAT) one overwrites the other");
        }
        run = end;
    }
}

} // namespace

CheckReport checkArchive(const std::string& path)
{
    ArchiveReader archive;
    try {
        archive.Open(path);
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
    Paths paths(archive.size());
    // The directory's size bounds the names, and most names map to as many bytes of host path:
    // reserved pages never written cost no memory.
    if (!errorsOnly)
        paths.reserve(archive.dataAreaStart());
    for (std::size_t i = 0; i < archive.size(); ++i) {
        const RecordView entry = archive.at(i);
        try {
            archive.checkData(entry);
        } catch (const FormatError& error) {
            problems.add(i, error);
        }
        if (!errorsOnly && entry.dataSize == 0 && entry.dataOffset > archive.fileLength())
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry),
                         "is empty but its offset " + std::to_string(entry.dataOffset) +
                             " lies past the end of the file (" +
                             std::to_string(archive.fileLength()) + " bytes)");
        try {
            const std::string hostPath = names::hostRelativePath(entry.name);
            if (!errorsOnly)
                paths.add(i, hostPath);
            if (auto reason = names::unstorableReason(entry.name, hostPath))
                problems.addBadName(i, subjectOf(entry), std::move(*reason));
            else if (auto warning = errorsOnly ? std::nullopt : nonPortableReason(entry.name))
                problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry), *warning);
        } catch (const NameError& error) {
            paths.skip(i);
            problems.addBadName(i, subjectOf(entry), "unsafe to extract: " + error.reason());
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
    checkCollisions(archive, paths, problems);
    checkCaseCollisions(archive, paths, problems);
    problems.moveInto(report);
    return report;
}

} // namespace archive
