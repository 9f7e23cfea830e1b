#include "archive/files/PrivateFolder.h"

#include "archive/files/Platform.h"
#include "archive/files/Processes.h"
#include "archive/files/SignalCleanup.h"
#include "archive/format/Paths.h"

#include <random>
#include <utility>

namespace archive {

namespace {

std::string randomPart()
{
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string part(8, ' ');
    for (char& c : part)
        c = kLetters[pick(source)];
    return part;
}

// The process id a run folder of prefix is named for, or 0 when name is none.
long long runOf(const std::string& name, const std::string& prefix)
{
    if (!name.starts_with(prefix))
        return 0;
    long long id = 0;
    std::size_t at = prefix.size();
    for (; at < name.size() && at - prefix.size() < 10 && name[at] >= '0' && name[at] <= '9'; ++at)
        id = id * 10 + (name[at] - '0');
    return at + 1 < name.size() && name[at] == '-' ? id : 0;
}

} // namespace

PrivateFolder::~PrivateFolder()
{
    remove();
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept
{
    take(other);
}

PrivateFolder& PrivateFolder::operator=(PrivateFolder&& other) noexcept
{
    if (this != &other) {
        remove();
        take(other);
    }
    return *this;
}

void PrivateFolder::take(PrivateFolder& other) noexcept
{
    m_parent = std::move(other.m_parent);
    m_nParent = std::exchange(other.m_nParent, kNoHandle);
    m_strName = std::exchange(other.m_strName, {});
    m_strPath = std::exchange(other.m_strPath, {});
    m_nSignalSlot = std::exchange(other.m_nSignalSlot, -1);
}

std::string PrivateFolder::temporaryFolder()
{
    return platform::temporaryFolder();
}

namespace {

// mkdtemp's way: random names until one is free. The new folder's name.
std::string makeNamed(NativeHandle parent, const std::string& path, const std::string& prefix)
{
    for (int attempt = 0;; ++attempt) {
        const std::string name = prefix + randomPart();
        const platform::ErrorCode error = platform::makePrivateFolder(parent, path, name);
        if (error == 0)
            return name;
        if (!platform::isExistsError(error) || attempt == 100)
            throw platform::failure(ErrorKind::cannotCreateFolder, paths::join(path, name), error);
    }
}

} // namespace

PrivateFolder PrivateFolder::make(const std::string& parent, const std::string& prefix)
{
    PrivateFolder folder;
    folder.m_parent = CFolder::open(parent);
    folder.m_nParent = platform::openFolder(parent);
    folder.m_strName = makeNamed(folder.m_nParent, parent, prefix);
    folder.m_strPath = folder.m_parent.pathOf(folder.m_strName);
    return folder;
}

std::string PrivateFolder::makeChild() const
{
    // Held only meanwhile: a run may make hundreds, and each would hold a descriptor.
    const NativeHandle handle = platform::openFolder(m_strPath);
    try {
        const std::string name = makeNamed(handle, m_strPath, "");
        platform::close(handle);
        return paths::join(m_strPath, name);
    } catch (...) {
        platform::close(handle);
        throw;
    }
}

PrivateFolder PrivateFolder::makeForRun(const std::string& parent, const std::string& prefix)
{
    PrivateFolder folder = make(parent, prefix + std::to_string(processes::currentId()) + "-");
    folder.m_nSignalSlot = SignalCleanup::addTree(folder.m_parent, folder.m_strName.c_str());
    return folder;
}

void PrivateFolder::remove() noexcept
{
    if (m_strName.empty()) {
        if (m_nParent != kNoHandle)
            platform::close(m_nParent); // a make that failed
        m_nParent = kNoHandle;
        return;
    }
    SignalCleanup::remove(m_nSignalSlot);
    m_nSignalSlot = -1;
    platform::CleanupTarget target;
    if (platform::cleanupTarget(m_nParent, m_parent.path(), m_strName.c_str(), target))
        platform::removeNow(target, true);
    m_strName.clear();
    m_strPath.clear();
    m_parent = CFolder();
    platform::close(m_nParent);
    m_nParent = kNoHandle;
}

int PrivateFolder::sweepStale(const std::string& parent, const std::string& prefix)
{
    int removed = 0;
    try {
        const CFolder folder = CFolder::open(parent);
        const std::vector<FolderItem> items = folder.items();
        const NativeHandle handle = platform::openFolder(parent);
        for (const FolderItem& item : items) {
            const long long run = runOf(item.name, prefix);
            const std::string path = folder.pathOf(item.name);
            if (item.kind != FolderItem::Kind::folder || run <= 0 ||
                processes::runsThisProgram(run) || !filesystem::isOwnFolder(path))
                continue;
            platform::CleanupTarget target;
            if (platform::cleanupTarget(handle, parent, item.name.c_str(), target))
                platform::removeNow(target, true);
            removed += filesystem::identity(path) ? 0 : 1;
        }
        platform::close(handle);
    } catch (const FileError&) {
        // An unreadable temporary folder holds nothing to sweep that this run could remove.
    }
    return removed;
}

} // namespace archive
