#include "session/edits/PrivateScratchFolders.h"

#include "archive/commands/Extraction.h"
#include "archive/files/FileSystem.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"

#include <unordered_set>

namespace session {

int PrivateScratchFolders::sweepStale(const std::string& parent)
{
    return archive::PrivateFolder::sweepStale(parent, kNamePrefix);
}

std::string PrivateScratchFolders::makeFolder()
{
    if (!m_run.isMade())
        m_run = archive::PrivateFolder::makeForRun(archive::PrivateFolder::temporaryFolder(),
                                                   kNamePrefix);
    m_folders.push_back(m_run.makeChild());
    return m_folders.back();
}

std::string PrivateScratchFolders::extract(const archive::ArchiveReader& reader,
                                           std::span<const std::uint32_t> positions)
{
    const std::string folder = makeFolder();
    archive::extractEntries(reader, positions, folder);
    return folder;
}

std::vector<std::string>
PrivateScratchFolders::extractTopLevels(const archive::ArchiveReader& reader,
                                        std::span<const std::uint32_t> positions)
{
    const std::string folder = extract(reader, positions);
    std::vector<std::string> paths;
    std::unordered_set<std::string> seen;
    for (const std::uint32_t position : positions) {
        // Named as extraction named it, an empty name by its record.
        std::string path = archive::paths::join(
            folder, archive::names::hostComponents(reader.record(position).name, position,
                                                   reader.codePage())
                        .front());
        if (seen.insert(path).second)
            paths.push_back(std::move(path));
    }
    return paths;
}

std::string PrivateScratchFolders::extractFile(const archive::ArchiveReader& reader,
                                               std::uint32_t position)
{
    const std::uint32_t positions[] = {position};
    std::string path = extract(reader, positions);
    for (const std::string& component :
         archive::names::hostComponents(reader.record(position).name, position, reader.codePage()))
        path = archive::paths::join(path, component);
    return path;
}

bool PrivateScratchFolders::holds(const std::string& path) const
{
    if (!m_run.isMade())
        return false;
    const auto canonical = archive::filesystem::canonicalPath(path);
    const auto top = archive::filesystem::canonicalPath(m_run.path());
    return canonical && top &&
           (*canonical == *top ||
            (canonical->starts_with(*top) && canonical->size() > top->size() &&
             ((*canonical)[top->size()] == '/' || (*canonical)[top->size()] == '\\')));
}

void PrivateScratchFolders::removeAll()
{
    m_folders.clear();
    m_run.remove();
}

} // namespace session
