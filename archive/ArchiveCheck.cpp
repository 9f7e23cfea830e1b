#include "ArchiveCheck.h"

#include "ArchiveError.h"
#include "ArchiveFormat.h"
#include "CFile.h"
#include "CodePage950.h"
#include "NameMapping.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace archive {

namespace {

struct Entry {
    std::string name;
    std::uint32_t recordPosition = 0;
    bool hasRecord = false;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;
    std::optional<std::string> hostPath; // set when the name is safe to extract
};

// An empty name would leave a message without its subject.
std::string subjectOf(const Entry& entry)
{
    if (entry.name.empty())
        return "record at " + std::to_string(entry.recordPosition);
    return names::displayName(entry.name);
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
        if (entries[i].hasRecord && entries[i].dataSize > 0)
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
        const std::string subject = subjectOf(entry);
        if (entry.dataOffset < dataAreaStart) {
            problems.add(i, CheckProblem::Severity::Warning, subject,
                         "data at offset " + std::to_string(entry.dataOffset) +
                             " lies inside the directory (which ends at " +
                             std::to_string(dataAreaStart) + ")");
        }
        if (reaching && entry.dataOffset < end(*reaching)) {
            problems.add(i, CheckProblem::Severity::Warning, subject,
                         "data (offset " + std::to_string(entry.dataOffset) + ", " +
                             std::to_string(entry.dataSize) +
                             (entry.dataSize == 1 ? " byte" : " bytes") +
                             ") overlaps the data of " + subjectOf(entries[*reaching]));
        }
        if (!reaching || end(i) > end(*reaching))
            reaching = i;
    }
}

void checkCollisions(const std::vector<Entry>& entries, Collector& problems)
{
    // Two names that differ as bytes can still map to one host path ('/' and '\' are both
    // separators), and extracting both then writes one file twice.
    std::unordered_map<std::string_view, std::size_t> first;
    std::unordered_set<std::string_view> folders;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const std::string_view key = entry.hostPath ? *entry.hostPath : entry.name;
        const auto [it, inserted] = first.emplace(key, i);
        if (!inserted) {
            const Entry& earlier = entries[it->second];
            const std::string subject = subjectOf(entry);
            if (earlier.name == entry.name) {
                problems.add(i, CheckProblem::Severity::Warning, subject,
                             "duplicate name (also the record at " +
                                 std::to_string(earlier.recordPosition) +
                                 "); extracting both writes one file twice");
            } else {
                problems.add(i, CheckProblem::Severity::Warning, subject,
                             "extracts to the same file as " + subjectOf(earlier));
            }
        }
        if (entry.hostPath) {
            const std::string_view path = *entry.hostPath;
            for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
                 slash = path.find('/', slash + 1))
                folders.insert(path.substr(0, slash));
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        if (entry.hostPath && folders.count(*entry.hostPath)) {
            problems.add(i, CheckProblem::Severity::Warning, subjectOf(entry),
                         "extracts to a file where other entries need a folder of that name");
        }
    }
}

} // namespace

CheckReport checkArchive(const std::string& path)
{
    CheckReport report;
    Collector problems;

    CFile archive;
    archive.Open(path, CFile::modeRead);

    std::vector<unsigned char> directory;
    try {
        directory = readDirectory(archive);
    } catch (const FormatError& error) {
        problems.add(0, error);
        problems.moveInto(report);
        return report;
    }

    std::vector<Entry> entries;
    try {
        walkDirectory(directory, path, [&](std::string_view name, std::uint32_t position) {
            Entry entry;
            entry.name = name;
            entry.recordPosition = position;
            entries.push_back(std::move(entry));
        });
    } catch (const FormatError& error) {
        // The records before the bad one are still checked; the error stands after them.
        problems.add(entries.size(), error);
    }
    report.entries = static_cast<int>(entries.size());
    const std::uint64_t dataAreaStart = format::kFirstRecordPosition + directory.size();
    directory = {};

    for (std::size_t i = 0; i < entries.size(); ++i) {
        Entry& entry = entries[i];
        try {
            const DirectoryRecord record = readRecord(archive, entry.recordPosition);
            entry.hasRecord = true;
            entry.dataOffset = record.dataOffset;
            entry.dataSize = record.dataSize;
            checkEntryData(archive, record);
        } catch (const FormatError& error) {
            problems.add(i, CheckProblem::Severity::Error,
                         error.subject().empty() ? subjectOf(entry) : error.subject(),
                         error.reason());
        }
        try {
            entry.hostPath = names::hostRelativePath(entry.name);
        } catch (const NameError& error) {
            problems.add(i, CheckProblem::Severity::Error, subjectOf(entry),
                         "unsafe to extract: " + error.reason());
        }
        checkCodePage(entry, i, problems);
    }

    checkOverlaps(entries, dataAreaStart, problems);
    checkCollisions(entries, problems);
    problems.moveInto(report);
    return report;
}

} // namespace archive
