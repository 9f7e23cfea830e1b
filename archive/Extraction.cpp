#include "Extraction.h"

#include "ArchiveError.h"
#include "ArchiveFormat.h"
#include "ArchiveReader.h"
#include "CFile.h"
#include "CFolder.h"
#include "EntryList.h"
#include "NameMapping.h"
#include "SafeOutputFile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace archive {

namespace {

// The folders of the previous entry's name stay open: entries of one folder are usually listed
// together, so most entries need no level opened again.
class FolderChain {
public:
    explicit FolderChain(const std::string& destFolder) : m_strDest(destFolder) {}

    // The folder holding the last component, every level below the destination created on the
    // way and opened without following links.
    const CFolder& reach(const std::vector<std::string>& components)
    {
        if (!m_root)
            m_root = CFolder::open(m_strDest);
        const std::size_t depth = components.size() - 1;
        std::size_t same = 0;
        while (same < m_names.size() && same < depth && m_names[same] == components[same])
            ++same;
        m_names.resize(same);
        m_levels.resize(same);
        while (m_levels.size() < depth) {
            const CFolder& parent = m_levels.empty() ? *m_root : m_levels.back();
            CFolder level = parent.child(components[m_levels.size()], true);
            m_names.push_back(components[m_levels.size()]);
            m_levels.push_back(std::move(level));
        }
        return m_levels.empty() ? *m_root : m_levels.back();
    }

private:
    std::string m_strDest;
    std::optional<CFolder> m_root;
    std::vector<std::string> m_names;
    std::vector<CFolder> m_levels;
};

} // namespace

ExtractResult extractEntries(CFile& archive, const EntryList& list, const std::vector<int>& indexes,
                             const std::string& destFolder, const ProgressFn& progress)
{
    return extractEntries(ArchiveReader(archive), list, indexes, destFolder, progress);
}

ExtractResult extractEntries(const ArchiveReader& reader, const EntryList& list,
                             const std::vector<int>& indexes, const std::string& destFolder,
                             const ProgressFn& progress)
{
    CFile& archive = reader.file();
    std::vector<int> order(indexes);
    std::sort(order.begin(), order.end());

    ExtractResult result;
    Progress state;
    state.entriesTotal = static_cast<int>(order.size());
    FolderChain folders(destFolder);
    std::array<unsigned char, format::kCopyChunkBytes> buffer;

    for (std::size_t i = 0; i < order.size(); ++i) {
        const RecordView record = reader.record(list.GetItemData(order[i]));
        // Refused before anything is created for it.
        const std::vector<std::string> components =
            names::hostComponents(record.name, record.recordPosition);
        reader.checkData(record);

        const CFolder& folder = folders.reach(components);
        SafeOutputFile out(folder, components.back());

        bool isStopAsked = false;
        std::uint64_t left = record.dataSize;
        if (left > 0)
            archive.Seek(record.dataOffset);
        do {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            if (chunk > 0) {
                // The file may have shrunk since its length was checked.
                if (archive.Read(buffer.data(), chunk) != chunk) {
                    out.Discard();
                    throw FormatError(names::displayName(record.name),
                                      "the archive " + archive.GetFilePath() +
                                          " ends inside the entry's data");
                }
                out.Write(buffer.data(), chunk);
                left -= chunk;
                state.bytesDone += chunk;
            }
            if (left == 0) {
                out.Commit();
                ++result.entriesWritten;
                ++state.entriesDone;
            }
            // A cancel finishes the entry under way: a file half written would be thrown away.
            if (progress && !isStopAsked && !progress(state))
                isStopAsked = true;
        } while (left > 0);

        if (isStopAsked && i + 1 < order.size()) {
            result.cancelled = true;
            return result;
        }
    }
    return result;
}

} // namespace archive
