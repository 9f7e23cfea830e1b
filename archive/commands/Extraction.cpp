#include "archive/commands/Extraction.h"

#include "archive/ArchiveError.h"
#include "archive/files/CFile.h"
#include "archive/files/CFolder.h"
#include "archive/files/FileCopier.h"
#include "archive/files/FileSystem.h"
#include "archive/files/FolderCache.h"
#include "archive/files/OutputFile.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

namespace {

// Entries of one folder are usually listed together, so the last folders opened are the ones
// held; however deep a name goes, no more than this many descriptors are held for it.
constexpr std::size_t kHeldFolders = 16;

// The folder holding the entry's file, every level below the destination created on the way.
const CFolder& reach(FolderCache& folders, const std::vector<std::string>& components)
{
    std::uint32_t index = FolderCache::kTop;
    for (std::size_t i = 0; i + 1 < components.size(); ++i)
        index = folders.child(index, components[i]);
    return folders.open(index);
}

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
            m_pBytes = std::make_unique_for_overwrite<unsigned char[]>(kLargestRead);
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

// The files a run wrote, by identity, each with the record position of its entry. Open
// addressing in one array: a node per file, as a standard map makes, costs a cache miss on
// every file of a large run.
class WrittenFiles {
public:
    void remember(const filesystem::ObjectId& id, std::uint32_t position)
    {
        if ((m_nUsed + 1) * 2 > m_slots.size())
            grow();
        Slot& slot = m_slots[find(id)];
        if (!slot.isUsed)
            ++m_nUsed;
        slot = {id, position, true};
    }

    // The record position of the entry written as id, or nullptr.
    const std::uint32_t* entryOf(const filesystem::ObjectId& id) const
    {
        if (m_slots.empty())
            return nullptr;
        const Slot& slot = m_slots[find(id)];
        return slot.isUsed ? &slot.position : nullptr;
    }

private:
    struct Slot {
        filesystem::ObjectId id;
        std::uint32_t position = 0;
        bool isUsed = false;
    };

    // The slot holding id, or the free one where it would go.
    std::size_t find(const filesystem::ObjectId& id) const
    {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i =
            static_cast<std::size_t>(
                (id.inode ^ (id.device << 32 | id.device >> 32)) * 0x9E3779B97F4A7C15ull >> 20) &
            mask;
        while (m_slots[i].isUsed && !(m_slots[i].id == id))
            i = (i + 1) & mask;
        return i;
    }

    void grow()
    {
        std::vector<Slot> old(std::max<std::size_t>(1024, m_slots.size() * 2));
        old.swap(m_slots);
        for (const Slot& slot : old) {
            if (slot.isUsed)
                m_slots[find(slot.id)] = slot;
        }
    }

    std::vector<Slot> m_slots; // a power of two long, at most half used
    std::size_t m_nUsed = 0;
};

// One entry's bytes from the archive into its file, slice by slice. Every file written is
// remembered, so a name that reaches one of them under another spelling (on a file system that
// ignores case) is refused instead of replacing another entry's file. Identities are learnt only
// once a name is found taken, which a fresh destination never sees: then every file written
// since the last time is looked up once, by its path below the destination.
class EntryWriter {
public:
    // Below this an entry is copied through the read-ahead buffer, above it inside the system.
    static constexpr std::uint64_t kSmallEntryBytes = 64 * 1024;

    EntryWriter(const ArchiveReader& reader, FolderCache& folders, const ProgressFn& progress,
                const ExtractOptions& options)
        : m_reader(reader), m_archive(reader.file()), m_folders(folders), m_progress(progress),
          m_options(options), m_check([this](const filesystem::ObjectId& id) { checkExisting(id); })
    {
        // Entries are read in the order of their data far more often than not.
        m_archive.expectSequentialReads();
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
                    throw FormatError(ErrorKind::damagedEntry,
                                      names::displayName(record.name, m_reader.codePage()),
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
        m_unidentified.push_back(m_pRecord->recordPosition);
        ++result.entriesWritten;
        ++state.entriesDone;
    }

    // The file at the entry's name is id: refused when this run wrote it for an entry of
    // another name. An entry of the same name replaces it, as a later duplicate does.
    void checkExisting(const filesystem::ObjectId& id)
    {
        // In the order written: a file replaced by a later entry of its name is that one's.
        for (const std::uint32_t position : m_unidentified) {
            const std::string path =
                names::hostRelativePath(m_reader.record(position).name, m_reader.codePage());
            // A name too deep for one path stays unknown: it is then only not recognised.
            if (const auto written = m_folders.open(FolderCache::kTop).fileIdentity(path))
                m_written.remember(*written, position);
        }
        m_unidentified.clear();
        const std::uint32_t* const earlierPosition = m_written.entryOf(id);
        if (!earlierPosition)
            return;
        const RecordView earlier = m_reader.record(*earlierPosition);
        if (names::hostComponents(earlier.name, earlier.recordPosition, m_reader.codePage()) ==
            *m_pComponents)
            return;
        throw FileError(ErrorKind::sameFileAsEarlierEntry, m_pOut->path(),
                        "is the file written for the entry " +
                            names::displayName(earlier.name, m_reader.codePage()) + "; the entry " +
                            names::displayName(m_pRecord->name, m_reader.codePage()) +
                            " would replace it (the file system does not tell the names apart)");
    }

    const ArchiveReader& m_reader;
    const CFile& m_archive;
    FolderCache& m_folders;
    const ProgressFn& m_progress;
    const ExtractOptions& m_options;
    const OutputFile::ExistingCheck m_check;
    FileCopier m_copier;
    ReadAhead m_readAhead;
    WrittenFiles m_written;
    std::vector<std::uint32_t> m_unidentified; // record positions of the files written since
    const std::vector<std::string>* m_pComponents = nullptr;
    const RecordView* m_pRecord = nullptr;
    const OutputFile* m_pOut = nullptr;
    bool m_bDropped = false;
};

// The entry's data must lie within the archive and within what a 32-bit offset reaches. Named
// by the entry, since the run may go on past it.
void checkData(const ArchiveReader& reader, const RecordView& record)
{
    const std::uint64_t end = std::uint64_t(record.dataOffset) + record.dataSize;
    if (record.dataSize == 0 || (end <= reader.fileLength() && end <= format::kMaxFieldValue))
        return;
    const std::string claim =
        "claims bytes " + std::to_string(record.dataOffset) + " to " + std::to_string(end);
    const std::string subject =
        names::entrySubject(record.name, record.recordPosition, reader.codePage());
    if (end > reader.fileLength())
        throw FormatError(ErrorKind::damagedEntry, subject,
                          claim + " but the archive " + reader.path() + " holds only " +
                              std::to_string(reader.fileLength()));
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
    FolderCache folders(destFolder, FolderCache::Use::write, kHeldFolders);
    EntryWriter writer(reader, folders, progress, options);

    for (std::size_t i = 0; i < positions.size(); ++i) {
        // A record that cannot be decoded, or a name that would leave the destination, is no
        // entry to go past: it ends the run.
        const RecordView record = reader.record(positions[i]);
        // Refused before anything is created for it.
        const std::vector<std::string> components =
            names::hostComponents(record.name, record.recordPosition, reader.codePage());
        bool isGoing = true;
        try {
            checkData(reader, record);
            try {
                const CFolder& folder = reach(folders, components);
                isGoing = writer.write(folder, components, record, result, state);
            } catch (const FileError& e) {
                if (e.kind() != ErrorKind::nameRefusedByFileSystem)
                    throw;
                // The path alone may not show the entry: a folder level, escaped bytes.
                throw FileError(e.kind(), e.subject(),
                                e.reason() + ", for the entry " +
                                    names::displayName(record.name, reader.codePage()),
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
