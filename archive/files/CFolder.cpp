#include "archive/files/CFolder.h"

#include "archive/ArchiveError.h"
#include "archive/files/Platform.h"
#include "archive/format/Paths.h"

#include <utility>

namespace archive {

CFolder::CFolder(NativeHandle handle, std::string path)
    : m_nHandle(handle), m_strPath(std::move(path))
{
}

CFolder::~CFolder()
{
    if (m_nHandle != kNoHandle)
        platform::close(m_nHandle);
}

CFolder::CFolder(CFolder&& other) noexcept
    : m_nHandle(std::exchange(other.m_nHandle, kNoHandle)), m_strPath(std::move(other.m_strPath)),
      m_bCreated(other.m_bCreated)
{
}

CFolder& CFolder::operator=(CFolder&& other) noexcept
{
    if (this != &other) {
        if (m_nHandle != kNoHandle)
            platform::close(m_nHandle);
        m_nHandle = std::exchange(other.m_nHandle, kNoHandle);
        // Assigning an empty path would keep the old one's buffer.
        std::string old = std::exchange(m_strPath, std::move(other.m_strPath));
        m_bCreated = other.m_bCreated;
    }
    return *this;
}

CFolder CFolder::open(const std::string& path)
{
    return CFolder(platform::openFolder(path), path);
}

CFolder CFolder::openOrCreate(const std::string& path)
{
    if (!path.empty() && !platform::isDanglingLink(path)) {
        if (const platform::ErrorCode error = platform::makeFolders(path))
            throw platform::failure(ErrorKind::cannotCreateFolder, path, error);
    }
    return open(path);
}

CFolder CFolder::child(const std::string& name, bool create) const
{
    std::string path = pathOf(name);
    CFolder level = child(name, create, std::string_view(path));
    level.m_strPath = std::move(path);
    return level;
}

CFolder CFolder::child(const std::string& name, bool create, std::string_view pathView) const
{
    std::string path(pathView);
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, path, "the folder is not open");
    // One level only: a separator, a drive or stream part, or a dot name would reach somewhere
    // other than below this folder.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(platform::levelBreakers()) != std::string::npos)
        throw FileError(ErrorKind::unsafeName, path, "is not a single folder name");
    bool isCreated = false;
    const NativeHandle handle = platform::openChildFolder(m_nHandle, name, path, create, isCreated);
    CFolder level(handle, platform::opensByPath() ? std::move(path) : std::string());
    level.m_bCreated = isCreated;
    return level;
}

std::optional<filesystem::ObjectId> CFolder::fileIdentity(const std::string& relativePath) const
{
    if (m_nHandle == kNoHandle)
        return std::nullopt;
    return platform::fileIdentityAt(m_nHandle, m_strPath, relativePath);
}

std::vector<FolderItem> CFolder::items() const
{
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the folder is not open");
    return platform::folderItems(m_nHandle, m_strPath);
}

std::optional<filesystem::ObjectId> CFolder::identity() const
{
    platform::FileStatus status;
    if (m_nHandle == kNoHandle || platform::fileStatus(m_nHandle, status) != 0)
        return std::nullopt;
    return status.id;
}

std::optional<LinkedFile> CFolder::linkedFile(const std::string& name) const
{
    if (m_nHandle == kNoHandle)
        return std::nullopt;
    return platform::linkedFileAt(m_nHandle, m_strPath, name);
}

std::size_t CFolder::readFile(const std::string& name, void* buffer, std::size_t capacity) const
{
    const std::string path = pathOf(name);
    if (m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, path, "the folder is not open");
    const NativeHandle file = platform::openFile(m_nHandle, path, name, platform::Access::read);
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < capacity) {
        std::size_t n = 0;
        if (const platform::ErrorCode error =
                platform::readSome(file, p + done, capacity - done, std::nullopt, n)) {
            platform::close(file);
            throw platform::failure(ErrorKind::cannotRead, path, error);
        }
        const bool isShort = n < capacity - done;
        done += n;
        // A regular file reads short only at its end: asking again would cost a call per file.
        if (n == 0 || isShort)
            break;
    }
    platform::close(file);
    return done;
}

std::string CFolder::pathOf(const std::string& name) const
{
    return paths::join(m_strPath, name);
}

} // namespace archive
