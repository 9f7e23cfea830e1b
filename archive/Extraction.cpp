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
#include <string_view>
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

    static void commit(OutputFile& out, ExtractResult& result, Progress& state)
    {
        out.Commit();
        ++result.entriesWritten;
        ++state.entriesDone;
    }

public:
    // True once an entry was dropped unfinished by a stop.
    bool isDropped() const noexcept { return m_bDropped; }

private:
    const CFile& m_archive;
    const ProgressFn& m_progress;
    const ExtractOptions& m_options;
    FileCopier m_copier;
    bool m_bDropped = false;
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
        if (!isGoing && (i + 1 < positions.size() || writer.isDropped())) {
            result.cancelled = true;
            return result;
        }
    }
    return result;
}

} // namespace archive
