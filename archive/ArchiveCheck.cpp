#include "archive/ArchiveCheck.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/CodePage950.h"
#include "archive/NameMapping.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace archive {

namespace {

struct Entry {
    std::string_view name; // inside the reader's directory
    std::uint32_t recordPosition = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;
    // Where the host path lies in the checker's one buffer of paths; set when the name is safe.
    static constexpr std::size_t kNoPath = std::size_t(-1);
    std::size_t pathOffset = kNoPath;
    std::size_t pathLength = 0;
    bool hasHostPath() const { return pathOffset != kNoPath; }
};

std::string subjectOf(const Entry& entry)
{
    return names::entrySubject(entry.name, entry.recordPosition);
}

std::string hexByte(unsigned char c)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", c);
    return text;
}

// Problems are gathered per entry and put in entry order at the end, so an entry's lines stand
// together whatever pass found them.
class Collector {
public:
    void add(std::size_t order, CheckProblem::Severity severity, std::string subject,
             std::string reason)
    {
        m_items.push_back({order, {severity, std::move(subject), std::move(reason)}});
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

// The ten codes glibc decodes to characters that encode back to other bytes count here too: the
// name escape keeps them, but no character stands for them.
void checkCodePage(const Entry& entry, std::size_t order, Collector& problems)
{
    const std::string_view name = entry.name;
    std::size_t bad = 0;
    std::size_t first = 0;
    for (std::size_t pos = 0; pos < name.size();) {
        const auto byte = static_cast<unsigned char>(name[pos]);
        if (byte >= 0x01 && byte < 0x80) {
            ++pos;
            continue;
        }
        if (!cp950::decodeChar(name, pos) && bad++ == 0)
            first = pos;
        pos += cp950::charLength(name, pos);
    }
    if (bad == 0)
        return;

    std::string bytes;
    for (std::size_t i = 0; i < cp950::charLength(name, first); ++i)
        bytes += (i ? " " : "") + hexByte(static_cast<unsigned char>(name[first + i]));
    std::string reason = "name is not valid code page 950: " + bytes + " at byte " +
                         std::to_string(first) +
                         " is no character that converts to Unicode and back";
    if (bad > 1)
        reason += ", and " + std::to_string(bad - 1) + " more";
    problems.add(order, CheckProblem::Severity::Error, subjectOf(entry), reason);
}

void checkOverlaps(const std::vector<Entry>& entries, std::uint64_t dataAreaStart,
                   Collector& problems)
{
    std::vector<std::size_t> order;
    order.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].dataSize > 0)
            order.push_back(i);
    }
    auto end = [&](std::size_t i) {
        return std::uint64_t(entries[i].dataOffset) + entries[i].dataSize;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return entries[a].dataOffset < entries[b].dataOffset;
    });

    std::optional<std::size_t> reaching; // the entry whose data reaches furthest so far
    for (std::size_t i : order) {
        const Entry& entry = entries[i];
        if (entry.dataOffset < dataAreaStart) {
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry),
                         "data at offset " + std::to_string(entry.dataOffset) +
                             " lies inside the directory (which ends at " +
                             std::to_string(dataAreaStart) + ")");
        }
        if (reaching && entry.dataOffset < end(*reaching)) {
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry),
                         "data (offset " + std::to_string(entry.dataOffset) + ", " +
                             std::to_string(entry.dataSize) +
                             (entry.dataSize == 1 ? " byte" : " bytes") +
                             ") overlaps the data of " + subjectOf(entries[*reaching]));
        }
        if (!reaching || end(i) > end(*reaching))
            reaching = i;
    }
}

// A folder level or a file below a folder: the folder's id (0: the destination) and the level's
// name, so a path is hashed one level at a time and never as a whole prefix again.
struct LevelKey {
    std::uint32_t parent;
    std::string_view name;
    bool operator==(const LevelKey&) const = default;
};

struct LevelKeyHash {
    std::size_t operator()(const LevelKey& key) const noexcept
    {
        return std::hash<std::string_view>()(key.name) * 31 + key.parent;
    }
};

void checkCollisions(const std::vector<Entry>& entries, std::string_view paths, Collector& problems)
{
    // Two names that differ as bytes can still map to one host path ('/' and '\' are both
    // separators), and extracting both then writes one file twice. Every level is hashed once,
    // so the cost is linear in the bytes of the names however deep they go.
    std::unordered_map<LevelKey, std::uint32_t, LevelKeyHash> folders; // -> folder id
    std::unordered_map<LevelKey, std::size_t, LevelKeyHash> files;     // -> first entry
    std::unordered_map<std::string_view, std::size_t> unsafe;          // raw name -> first entry
    std::vector<LevelKey> fileKeys(entries.size());
    files.reserve(entries.size());

    const auto report = [&](std::size_t i, std::size_t earlierIndex) {
        const Entry& entry = entries[i];
        const Entry& earlier = entries[earlierIndex];
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

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        if (!entry.hasHostPath()) {
            const auto [it, inserted] = unsafe.emplace(entry.name, i);
            if (!inserted)
                report(i, it->second);
            continue;
        }
        const std::string_view path = paths.substr(entry.pathOffset, entry.pathLength);
        std::uint32_t parent = 0;
        std::size_t start = 0;
        for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
             slash = path.find('/', start)) {
            const LevelKey key{parent, path.substr(start, slash - start)};
            parent =
                folders.emplace(key, static_cast<std::uint32_t>(folders.size() + 1)).first->second;
            start = slash + 1;
        }
        fileKeys[i] = {parent, path.substr(start)};
        const auto [it, inserted] = files.emplace(fileKeys[i], i);
        if (!inserted)
            report(i, it->second);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].hasHostPath() && folders.count(fileKeys[i])) {
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entries[i]),
                         "extracts to a file where other entries need a folder of that name");
        }
    }
}

// A level the host cannot hold as one file name makes the entry impossible to extract here.
void checkLevelLengths(const Entry& entry, std::size_t order, std::string_view path,
                       Collector& problems)
{
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos)
            slash = path.size();
        if (slash - start > names::kMaxHostComponentBytes) {
            problems.add(order, CheckProblem::Severity::Error, subjectOf(entry),
                         "cannot be extracted here: a level of its path is " +
                             std::to_string(slash - start) + " bytes in UTF-8, over the " +
                             std::to_string(names::kMaxHostComponentBytes) +
                             " a file name may hold");
            return;
        }
        start = slash + 1;
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

CheckReport checkArchive(const ArchiveReader& archive)
{
    CheckReport report;
    Collector problems;
    std::vector<Entry> entries(archive.size());
    std::string paths;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const RecordView record = archive.at(i);
        Entry& entry = entries[i];
        entry.name = record.name;
        entry.recordPosition = record.recordPosition;
        entry.dataOffset = record.dataOffset;
        entry.dataSize = record.dataSize;
        try {
            archive.checkData(record);
        } catch (const FormatError& error) {
            problems.add(i, error);
        }
        if (record.dataSize == 0 && record.dataOffset > archive.fileLength())
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry),
                         "is empty but its offset " + std::to_string(record.dataOffset) +
                             " lies past the end of the file (" +
                             std::to_string(archive.fileLength()) + " bytes)");
        try {
            const std::string hostPath = names::hostRelativePath(entry.name);
            entry.pathOffset = paths.size();
            entry.pathLength = hostPath.size();
            paths += hostPath;
            checkLevelLengths(entry, i, hostPath, problems);
        } catch (const NameError& error) {
            problems.add(i, CheckProblem::Severity::Error, subjectOf(entry),
                         "unsafe to extract: " + error.reason());
        }
        checkCodePage(entry, i, problems);
    }
    // The records before a bad one are checked; its error stands after them.
    if (archive.damage())
        problems.add(entries.size(), *archive.damage());
    report.entries = static_cast<int>(entries.size());

    checkOverlaps(entries, archive.dataAreaStart(), problems);
    checkCollisions(entries, paths, problems);
    problems.moveInto(report);
    return report;
}

} // namespace archive
