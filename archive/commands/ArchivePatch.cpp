#include "archive/commands/ArchivePatch.h"

#include "archive/commands/ArchiveComparison.h"
#include "archive/commands/ComparedTree.h"
#include "archive/files/CFolder.h"
#include "archive/files/OutputFile.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage950.h"
#include "archive/format/EntryData.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace archive {

namespace {

constexpr std::string_view kFirstLine = "velmora-patch 1";
// A script this long would be millions of operations: more than any archive holds.
constexpr std::uint32_t kMaxScriptBytes = 256u * 1024 * 1024;
constexpr std::size_t kChunkBytes = 256 * 1024;

// The name as reversible text that holds no tab or line end.
std::string scriptName(std::string_view name)
{
    std::string out;
    for (const char c : names::toText(name)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            cp950::appendUtf8(out, names::kEscapeBase + byte);
        else
            out += c;
    }
    return out;
}

std::string hex16(std::uint64_t value)
{
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = "0123456789abcdef"[value & 15];
    return text;
}

template <typename Number> std::optional<Number> number(std::string_view text, int base)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::vector<std::string_view> split(std::string_view line, char separator)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end - start));
        if (end == std::string_view::npos)
            return fields;
        start = end + 1;
    }
}

// What the patch archive holds: the script, or an entry of the newer tree.
struct PatchItem {
    std::string_view name;
    std::uint32_t size = 0;
    const ComparedTree::Entry* entry = nullptr; // nullptr: the script
};

std::string script(const ComparedTree& older, const ComparedTree& newer,
                   const ArchiveComparison& comparison, std::vector<PatchItem>& items)
{
    std::string text = std::string(kFirstLine) + "\nfrom " + hex16(older.digest()) + " " +
                       std::to_string(older.entries().size()) + "\nto " + hex16(newer.digest()) +
                       " " + std::to_string(newer.entries().size()) + "\n";
    for (const EntryDifference& difference : comparison.differences()) {
        switch (difference.kind) {
        case EntryDifference::Kind::deleted:
            text += "delete\t" + scriptName(difference.older->name) + "\n";
            break;
        case EntryDifference::Kind::renamed:
            text += "rename\t" + scriptName(difference.older->name) + "\t" +
                    scriptName(difference.newer->name) + "\n";
            break;
        case EntryDifference::Kind::added:
        case EntryDifference::Kind::changed:
            text += "add\t" + scriptName(difference.newer->name) + "\n";
            if (difference.newer->name == ArchivePatch::kScriptName)
                throw NameError(ErrorKind::inTheWay, std::string(ArchivePatch::kScriptName),
                                "is the name of a patch's own instructions; a patch cannot "
                                "carry an entry of that name");
            items.push_back({difference.newer->name, difference.newer->size, difference.newer});
            break;
        }
    }
    return text;
}

void writeItems(OutputFile& out, const ComparedTree& newer, const std::vector<PatchItem>& items,
                const std::string& text)
{
    std::vector<unsigned char> buffer(kChunkBytes);
    for (const PatchItem& item : items) {
        if (!item.entry) {
            out.Write(text.data(), text.size());
            continue;
        }
        ComparedTree::Bytes bytes(newer, *item.entry);
        while (const std::size_t count = bytes.read(buffer))
            out.Write(buffer.data(), count);
    }
}

} // namespace

void ArchivePatch::write(const ComparedTree& older, const ComparedTree& newer,
                         const ArchiveComparison& comparison, const std::string& path)
{
    std::vector<PatchItem> items;
    const std::string text = script(older, newer, comparison, items);
    items.push_back({kScriptName, static_cast<std::uint32_t>(text.size()), nullptr});
    std::stable_sort(items.begin(), items.end(), [](const PatchItem& a, const PatchItem& b) {
        return ComparedTree::isListedBefore(a.name, b.name);
    });
    std::vector<EntrySpec> specs;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && items[i].name == items[i - 1].name)
            throw NameError(ErrorKind::ambiguousName, names::displayName(items[i].name),
                            "is the name of two entries of " + newer.path() +
                                "; a patch cannot carry both");
        specs.push_back({items[i].name, items[i].size});
    }
    const std::vector<unsigned char> directory = encodeDirectory(specs);
    const auto [folderPath, name] = paths::split(path);
    if (name.empty() || name == "." || name == "..")
        throw FileError(ErrorKind::unsafeName, path, "is not a file name");
    const CFolder folder = CFolder::open(folderPath);
    OutputFile out(folder, name);
    out.setDurable(true);
    out.Write(directory.data(), directory.size());
    writeItems(out, newer, items, text);
    out.Commit();
}

ArchivePatch::ArchivePatch(const ArchiveReader& patch) : m_patch(patch)
{
    patch.requireWholeDirectory();
    for (std::size_t i = 0; i < patch.size(); ++i) {
        const RecordView record = patch.at(i);
        const auto [it, isNew] = m_entryRecords.emplace(record.name, record.recordPosition);
        if (!isNew)
            it->second = kTwice;
    }
    const auto script = m_entryRecords.find(kScriptName);
    if (script == m_entryRecords.end())
        throw damaged("is not a patch: it holds no entry " + std::string(kScriptName));
    if (script->second == kTwice)
        throw damaged("holds two entries " + std::string(kScriptName));
    const std::optional<RecordView> found = patch.record(script->second);
    if (found->dataSize > kMaxScriptBytes)
        throw damaged("its " + std::string(kScriptName) + " is too large to be a patch's");
    std::string text(found->dataSize, '\0');
    readEntryBytes(patch, *found, 0, {reinterpret_cast<unsigned char*>(text.data()), text.size()});
    parse(text);
}

FormatError ArchivePatch::damaged(const std::string& reason) const
{
    return FormatError(ErrorKind::damagedEntry, m_patch.path(), reason);
}

void ArchivePatch::parse(std::string_view text)
{
    std::vector<std::string_view> lines = split(text, '\n');
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    if (lines.empty() || lines[0] != kFirstLine)
        throw damaged("its " + std::string(kScriptName) + " does not begin with '" +
                      std::string(kFirstLine) + "'");
    std::vector<ArchiveChange> deletions;
    std::vector<ArchiveChange> renames;
    std::vector<ArchiveChange> additions;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        try {
            parseLine(lines[i].substr(0, 5) == "from " || lines[i].substr(0, 3) == "to "
                          ? split(lines[i], ' ')
                          : split(lines[i], '\t'));
        } catch (const NameError& error) {
            throw damaged("line " + std::to_string(i + 1) + " of its " + std::string(kScriptName) +
                          ": " + error.reason());
        }
    }
    if (!m_bHasFrom || !m_bHasTo)
        throw damaged("its " + std::string(kScriptName) + " lacks its 'from' or 'to' line");
    for (ArchiveChange& change : m_changes) {
        auto& group = change.kind == ArchiveChange::Kind::remove   ? deletions
                      : change.kind == ArchiveChange::Kind::rename ? renames
                                                                   : additions;
        group.push_back(std::move(change));
    }
    m_changes = std::move(deletions);
    m_changes.insert(m_changes.end(), renames.begin(), renames.end());
    m_changes.insert(m_changes.end(), additions.begin(), additions.end());
}

void ArchivePatch::parseLine(const std::vector<std::string_view>& fields)
{
    const std::string_view word = fields[0];
    if ((word == "from" || word == "to") && fields.size() == 3) {
        const auto digest = number<std::uint64_t>(fields[1], 16);
        const auto entries = number<std::size_t>(fields[2], 10);
        if (!digest || !entries || fields[1].size() != 16)
            throw NameError(ErrorKind::unspecified, {}, "a digest or count that is no number");
        (word == "from" ? m_nFromDigest : m_nToDigest) = *digest;
        (word == "from" ? m_nFromEntries : m_nToEntries) = *entries;
        (word == "from" ? m_bHasFrom : m_bHasTo) = true;
    } else if (word == "delete" && fields.size() == 2) {
        m_changes.push_back({ArchiveChange::Kind::remove, names::fromTextExact(fields[1]), {}, {}});
    } else if (word == "rename" && fields.size() == 3) {
        m_changes.push_back({ArchiveChange::Kind::rename,
                             names::fromTextExact(fields[1]),
                             {},
                             names::fromTextExact(fields[2])});
    } else if (word == "add" && fields.size() == 2) {
        ArchiveChange change{ArchiveChange::Kind::add, names::fromTextExact(fields[1]), {}, {}};
        const auto found = m_entryRecords.find(change.name);
        if (found == m_entryRecords.end() || found->first == kScriptName)
            throw NameError(ErrorKind::unspecified, {}, "names an entry the patch does not hold");
        if (found->second == kTwice)
            throw NameError(ErrorKind::unspecified, {}, "names an entry the patch holds twice");
        change.sourceArchive = &m_patch;
        change.sourceRecord = found->second;
        m_changes.push_back(std::move(change));
    } else {
        throw NameError(ErrorKind::unspecified, {}, "not an instruction a patch holds");
    }
}

ArchivePatch::Fit ArchivePatch::fit(const ComparedTree& target) const
{
    const std::size_t entries = target.entries().size();
    if (entries != m_nToEntries && entries != m_nFromEntries)
        return Fit::other;
    const std::uint64_t digest = target.digest();
    if (entries == m_nToEntries && digest == m_nToDigest)
        return Fit::alreadyApplied;
    if (entries == m_nFromEntries && digest == m_nFromDigest)
        return Fit::from;
    return Fit::other;
}

} // namespace archive
