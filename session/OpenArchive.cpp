#include "session/OpenArchive.h"

#include <utility>

namespace session {

OpenArchive::OpenArchive() : m_pReader(std::make_unique<archive::ArchiveReader>()) {}

OpenArchive::~OpenArchive() = default;

void OpenArchive::open(const std::string& path, std::optional<archive::Encoding> forced)
{
    // Shared with the folder view of the same archive (MountedArchive), which reads it too.
    m_pReader->Open(path, forced, true);
    m_bOpen = true;
}

void OpenArchive::close()
{
    if (m_bOpen)
        m_pReader->Close();
    m_bOpen = false;
}

bool OpenArchive::isSame(const std::string& path) const
{
    return m_bOpen && (path == m_pReader->path() ||
                       archive::filesystem::identity(path) == m_pReader->file().identity());
}

void OpenArchive::keepForUndo()
{
    m_bOpen = false;
    m_pEarlier = std::exchange(m_pReader, std::make_unique<archive::ArchiveReader>());
}

void OpenArchive::setUndo(std::vector<std::string> names,
                          const archive::filesystem::FileStamp& written)
{
    m_undoNames = std::move(names);
    m_undoWritten = written;
}

std::vector<std::string> OpenArchive::takeUndo()
{
    m_pEarlier.reset();
    return std::exchange(m_undoNames, {});
}

void OpenArchive::forgetUndo()
{
    m_pEarlier.reset();
    m_undoNames.clear();
}

} // namespace session
