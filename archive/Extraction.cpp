#include "archive/Extraction.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/CFile.h"
#include "archive/CFolder.h"
#include "archive/FileCopier.h"
#include "archive/NameMapping.h"
#include "archive/OutputFile.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace archive {

namespace {

// The folders of the previous entry's name stay open, up to kHeldLevels of them (the deepest):
// entries of one folder are usually listed together, so most entries need no level opened
// again, and however deep a name goes, no more than kHeldLevels + 1 descriptors are held. A
// level that was let go is reached again from the nearest one still held, never through a link.
class FolderChain {
public:
    static constexpr std::size_t kHeldLevels = 16;

    explicit FolderChain(const std::string& destFolder) : m_strDest(destFolder) {}

    // The folder holding the last component, every level below the destination created on the
    // way and opened without following links.
    const CFolder& reach(const std::vector<std::string>& components)
    {
        if (!m_root)
            m_root = CFolder::openOrCreate(m_strDest);
        const std::size_t depth = components.size() - 1;
        std::size_t same = 0;
        while (same < m_names.size() && same < depth && m_names[same] == components[same])
            ++same;
        m_names.resize(same);
        m_levels.resize(same);
        std::size_t held = same;
        while (held > 0 && !m_levels[held - 1].isOpen())
            --held;
        for (std::size_t i = held; i < same; ++i)
            openLevel(i, m_names[i]);
        while (m_levels.size() < depth) {
            m_names.push_back(components[m_levels.size()]);
            m_levels.emplace_back();
            openLevel(m_levels.size() - 1, m_names.back());
        }
        return m_levels.empty() ? *m_root : m_levels.back();
    }

private:
    void openLevel(std::size_t index, const std::string& name)
    {
        const CFolder& parent = index == 0 ? *m_root : m_levels[index - 1];
        m_levels[index] = parent.child(name, true);
        if (index >= kHeldLevels)
            m_levels[index - kHeldLevels] = CFolder();
    }

    std::string m_strDest;
    std::optional<CFolder> m_root;
    std::vector<std::string> m_names;
    std::vector<CFolder> m_levels;
};

// One entry's bytes from the archive into its file, slice by slice.
class EntryWriter {
public:
    EntryWriter(const CFile& archive, const ProgressFn& progress, const ExtractOptions& options)
        : m_archive(archive), m_progress(progress), m_options(options)
    {
        // Entries are read in the order of their data far more often than not.
        archive.expectSequentialReads();
    }

    // Writes the entry; false when progress asked to stop. Counts into result and state.
    bool write(const CFolder& folder, const std::string& name, const RecordView& record,
               ExtractResult& result, Progress& state)
    {
        try {
            return copy(folder, name, record, result, state);
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

private:
    bool copy(const CFolder& folder, const std::string& name, const RecordView& record,
              ExtractResult& result, Progress& state)
    {
        OutputFile out(folder, name,
                       m_options.keepExisting ? OutputFile::Existing::keep
                                              : OutputFile::Existing::replace);
        bool isGoing = true;
        std::uint64_t offset = record.dataOffset;
        std::uint64_t left = record.dataSize;
        do {
            const std::uint64_t slice = std::min(left, FileCopier::kSliceBytes);
            if (slice > 0) {
                // The file may have shrunk since its length was checked.
                if (m_copier.copy(m_archive, offset, out, slice) != slice)
                    throw FormatError(ErrorKind::damagedEntry, names::displayName(record.name),
                                      "the archive " + m_archive.GetFilePath() +
                                          " ends inside the entry's data");
                offset += slice;
                left -= slice;
                state.bytesDone += slice;
            }
            if (left == 0) {
                out.Commit();
                ++result.entriesWritten;
                ++state.entriesDone;
            }
            // A cancel finishes the entry under way: a file half written would be thrown away.
            if (m_progress && isGoing && !m_progress(state))
                isGoing = false;
        } while (left > 0);
        return isGoing;
    }

    const CFile& m_archive;
    const ProgressFn& m_progress;
    const ExtractOptions& m_options;
    FileCopier m_copier;
};

} // namespace

ExtractResult extractEntries(const ArchiveReader& reader, std::span<const std::uint32_t> positions,
                             const std::string& destFolder, const ProgressFn& progress,
                             const ExtractOptions& options)
{
    CFile& archive = reader.file();
    ExtractResult result;
    Progress state;
    state.entriesTotal = static_cast<int>(positions.size());
    FolderChain folders(destFolder);
    EntryWriter writer(archive, progress, options);

    for (std::size_t i = 0; i < positions.size(); ++i) {
        const RecordView record = reader.record(positions[i]);
        // Refused before anything is created for it.
        const std::vector<std::string> components =
            names::hostComponents(record.name, record.recordPosition);
        reader.checkData(record);

        const CFolder& folder = folders.reach(components);
        const bool isGoing = writer.write(folder, components.back(), record, result, state);
        if (!isGoing && i + 1 < positions.size()) {
            result.cancelled = true;
            return result;
        }
    }
    return result;
}

} // namespace archive
