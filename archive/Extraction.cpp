#include "archive/Extraction.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/CFile.h"
#include "archive/CFolder.h"
#include "archive/FileCopier.h"
#include "archive/FileSystem.h"
#include "archive/NameMapping.h"
#include "archive/OutputFile.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace archive {

namespace {

// The folders of the previous entry's name stay open, up to kHeldLevels of them (the deepest):
// entries of one folder are usually listed together, so most entries need no level opened
// again, and however deep a name goes, no more than kHeldLevels + 1 descriptors are held. A
// level that was let go is reached again from the nearest one still held, never through a link.
// The path of the deepest level is kept once, grown and cut with the levels; only the folder
// handed out gets a copy, so a name of many levels costs memory and time in its length.
class FolderChain {
public:
    static constexpr std::size_t kHeldLevels = 16;

    explicit FolderChain(const std::string& destFolder) : m_strPath(destFolder)
    {
        m_ends.push_back(m_strPath.size());
    }

    // The folder holding the last component, every level below the destination created on the
    // way and opened without following links.
    const CFolder& reach(const std::vector<std::string>& components)
    {
        if (!m_root)
            m_root = CFolder::openOrCreate(m_strPath.substr(0, m_ends[0]));
        const std::size_t depth = components.size() - 1;
        std::size_t same = 0;
        while (same < m_names.size() && same < depth && m_names[same] == components[same])
            ++same;
        m_names.resize(same);
        m_levels.resize(same);
        m_ends.resize(same + 1);
        m_strPath.resize(m_ends.back());
        std::size_t held = same;
        while (held > 0 && !m_levels[held - 1].isOpen())
            --held;
        for (std::size_t i = held; i < same; ++i)
            openLevel(i);
        while (m_levels.size() < depth) {
            const std::string& name = components[m_levels.size()];
            m_names.push_back(name);
            if (!m_strPath.empty() && m_strPath.back() != '/')
                m_strPath.push_back('/');
            m_strPath += name;
            m_ends.push_back(m_strPath.size());
            m_levels.emplace_back();
            openLevel(m_levels.size() - 1);
        }
        if (m_levels.empty())
            return *m_root;
        m_levels.back().setPath(m_strPath);
        return m_levels.back();
    }

private:
    void openLevel(std::size_t index)
    {
        const CFolder& parent = index == 0 ? *m_root : m_levels[index - 1];
        m_levels[index] = parent.child(m_names[index], true,
                                       std::string_view(m_strPath).substr(0, m_ends[index + 1]));
        if (index >= kHeldLevels)
            m_levels[index - kHeldLevels] = CFolder();
    }

    std::string m_strPath;           // the destination and the levels in m_names, '/' between
    std::vector<std::size_t> m_ends; // where the path of each level ends; [0] the destination's
    std::optional<CFolder> m_root;
    std::vector<std::string> m_names;
    std::vector<CFolder> m_levels;
};

// Neighbouring small entries lie next to each other in the archive, so one large read serves
// many of them. A read that goes on from where the last one ended grows the next; a jump starts
// small again, so entries taken far apart do not each pay for a large read.
class ReadAhead {
public:
    static constexpr std::size_t kLargestRead = 1024 * 1024;
    static constexpr std::size_t kSmallestRead = 64 * 1024;

    // The count bytes at offset, or nullptr when the archive ends before them.
    const unsigned char* at(const CFile& file, std::uint64_t offset, std::size_t count)
    {
        const std::uint64_t end = m_nStart + m_nLength;
        if (offset >= m_nStart && offset + count <= end)
            return m_pBytes.get() + (offset - m_nStart);
        const bool isOnward = m_nLength > 0 && offset >= m_nStart && offset <= end + kSmallestRead;
        m_nNextRead = isOnward ? std::min(m_nNextRead * 2, kLargestRead) : kSmallestRead;
        if (!m_pBytes)
            m_pBytes = std::make_unique<unsigned char[]>(kLargestRead);
        m_nStart = offset;
        m_nLength = 0;
        m_nLength = file.ReadAt(m_pBytes.get(), std::max(m_nNextRead, count), offset);
        return m_nLength >= count ? m_pBytes.get() : nullptr;
    }

private:
    std::unique_ptr<unsigned char[]> m_pBytes;
    std::uint64_t m_nStart = 0;
    std::size_t m_nLength = 0;
    std::size_t m_nNextRead = kSmallestRead;
};

struct ObjectIdHash {
    std::size_t operator()(const filesystem::ObjectId& id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

// One entry's bytes from the archive into its file, slice by slice. Every file written is
// remembered by its identity, so a name that reaches one of them under another spelling (on a
// file system that ignores case) is refused instead of replacing another entry's file.
class EntryWriter {
public:
    // Below this an entry is copied through the read-ahead buffer, above it inside the system.
    static constexpr std::uint64_t kSmallEntryBytes = 64 * 1024;

    EntryWriter(const ArchiveReader& reader, const ProgressFn& progress,
                const ExtractOptions& options, std::size_t count)
        : m_reader(reader), m_archive(reader.file()), m_progress(progress), m_options(options),
          m_check([this](const filesystem::ObjectId& id) { checkExisting(id); })
    {
        // Entries are read in the order of their data far more often than not.
        m_archive.expectSequentialReads();
        m_written.reserve(count);
    }

    // Writes the entry; false when progress asked to stop. Counts into result and state.
    bool write(const CFolder& folder, const std::vector<std::string>& components,
               const RecordView& record, ExtractResult& result, Progress& state)
    {
        m_pComponents = &components;
        m_pRecord = &record;
        try {
            return copy(folder, components.back(), record, result, state);
        } catch (const FileError& e) {
            if (e.kind() != ErrorKind::keptExisting || !m_options.keepExisting)
                throw;
            if (m_options.onKept)
                m_options.onKept(e);
            ++result.entriesKept;
            ++state.entriesDone;
            return !m_progress || m_progress(state);
        }
    }

    // True once an entry was dropped unfinished by a stop.
    bool isDropped() const noexcept { return m_bDropped; }

private:
    bool copy(const CFolder& folder, const std::string& name, const RecordView& record,
              ExtractResult& result, Progress& state)
    {
        OutputFile out(folder, name,
                       m_options.keepExisting ? OutputFile::Existing::keep
                                              : OutputFile::Existing::replace,
                       &m_check);
        m_pOut = &out;
        bool isGoing = true;
        std::uint64_t offset = record.dataOffset;
        std::uint64_t left = record.dataSize;
        do {
            const std::uint64_t slice = std::min(left, FileCopier::kSliceBytes);
            if (slice > 0) {
                // The file may have shrunk since its length was checked.
                if (!copySlice(out, offset, slice))
                    throw FormatError(ErrorKind::damagedEntry, names::displayName(record.name),
                                      "the archive " + m_archive.GetFilePath() +
                                          " ends inside the entry's data");
                offset += slice;
                left -= slice;
                state.bytesDone += slice;
            }
            if (m_options.stopsMidEntry) {
                if (m_progress && !m_progress(state)) {
                    m_bDropped = true;
                    return false; // out goes unnamed with what it holds
                }
                if (left == 0)
                    commit(out, result, state);
                continue;
            }
            if (left == 0)
                commit(out, result, state);
            // A cancel finishes the entry under way: a file half written would be thrown away.
            if (m_progress && isGoing && !m_progress(state))
                isGoing = false;
        } while (left > 0);
        return isGoing;
    }

    // False when the archive ends before the slice does.
    bool copySlice(OutputFile& out, std::uint64_t offset, std::uint64_t size)
    {
        if (m_pRecord->dataSize >= kSmallEntryBytes)
            return m_copier.copy(m_archive, offset, out, size) == size;
        const unsigned char* bytes =
            m_readAhead.at(m_archive, offset, static_cast<std::size_t>(size));
        if (!bytes)
            return false;
        out.Write(bytes, static_cast<std::size_t>(size));
        return true;
    }

    void commit(OutputFile& out, ExtractResult& result, Progress& state)
    {
        out.Commit();
        m_written.insert_or_assign(out.identity(), m_pRecord->recordPosition);
        ++result.entriesWritten;
        ++state.entriesDone;
    }

    // The file at the entry's name is id: refused when this run wrote it for an entry of
    // another name. An entry of the same name replaces it, as a later duplicate does.
    void checkExisting(const filesystem::ObjectId& id) const
    {
        const auto found = m_written.find(id);
        if (found == m_written.end())
            return;
        const RecordView earlier = m_reader.record(found->second);
        if (names::hostComponents(earlier.name, earlier.recordPosition) == *m_pComponents)
            return;
        throw FileError(ErrorKind::sameFileAsEarlierEntry, m_pOut->path(),
                        "is the file written for the entry " + names::displayName(earlier.name) +
                            "; the entry " + names::displayName(m_pRecord->name) +
                            " would replace it (the file system does not tell the names apart)");
    }

    const ArchiveReader& m_reader;
    const CFile& m_archive;
    const ProgressFn& m_progress;
    const ExtractOptions& m_options;
    const OutputFile::ExistingCheck m_check;
    FileCopier m_copier;
    ReadAhead m_readAhead;
    // Each file this run wrote, with the record position of its entry.
    std::unordered_map<filesystem::ObjectId, std::uint32_t, ObjectIdHash> m_written;
    const std::vector<std::string>* m_pComponents = nullptr;
    const RecordView* m_pRecord = nullptr;
    const OutputFile* m_pOut = nullptr;
    bool m_bDropped = false;
};

// The entry's data must lie within the archive and within what a 32-bit offset reaches. Named
// by the entry, since the run may go on past it.
void checkData(const ArchiveReader& reader, const RecordView& record)
{
    if (record.dataSize == 0)
        return;
    const std::uint64_t end = std::uint64_t(record.dataOffset) + record.dataSize;
    const std::string claim =
        "claims bytes " + std::to_string(record.dataOffset) + " to " + std::to_string(end);
    const std::string subject = names::entrySubject(record.name, record.recordPosition);
    if (end > reader.fileLength())
        throw FormatError(ErrorKind::damagedEntry, subject,
                          claim + " but the archive " + reader.path() + " holds only " +
                              std::to_string(reader.fileLength()));
    if (end > format::kMaxFieldValue)
        throw FormatError(ErrorKind::damagedEntry, subject,
                          claim + ", past the 4 GiB an archive can address");
}

// The failures the run can go past: they concern one entry and leave the others as they were.
bool isConfinedToEntry(ErrorKind kind)
{
    return kind == ErrorKind::damagedEntry || kind == ErrorKind::nameRefusedByFileSystem ||
           kind == ErrorKind::sameFileAsEarlierEntry;
}

} // namespace

ExtractResult extractEntries(const ArchiveReader& reader, std::span<const std::uint32_t> positions,
                             const std::string& destFolder, const ProgressFn& progress,
                             const ExtractOptions& options)
{
    ExtractResult result;
    Progress state;
    state.entriesTotal = static_cast<int>(positions.size());
    FolderChain folders(destFolder);
    EntryWriter writer(reader, progress, options, positions.size());

    for (std::size_t i = 0; i < positions.size(); ++i) {
        // A record that cannot be decoded, or a name that would leave the destination, is no
        // entry to go past: it ends the run.
        const RecordView record = reader.record(positions[i]);
        // Refused before anything is created for it.
        const std::vector<std::string> components =
            names::hostComponents(record.name, record.recordPosition);
        bool isGoing = true;
        try {
            checkData(reader, record);
            try {
                const CFolder& folder = folders.reach(components);
                isGoing = writer.write(folder, components, record, result, state);
            } catch (const FileError& e) {
                if (e.kind() != ErrorKind::nameRefusedByFileSystem)
                    throw;
                // The path alone may not show the entry: a folder level, escaped bytes.
                throw FileError(e.kind(), e.subject(),
                                e.reason() + ", for the entry " + names::displayName(record.name),
                                e.systemError());
            }
        } catch (const ArchiveError& e) {
            if (!options.onEntryFailure || !isConfinedToEntry(e.kind()))
                throw;
            if (!options.onEntryFailure(e)) {
                result.stopped = true;
                return result;
            }
            ++result.entriesSkipped;
            ++state.entriesDone;
            isGoing = !progress || progress(state);
        }
        if (!isGoing && (i + 1 < positions.size() || writer.isDropped())) {
            result.cancelled = true;
            return result;
        }
    }
    return result;
}

} // namespace archive
