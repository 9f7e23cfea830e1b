#include "archive/files/FileLock.h"

#include "archive/ArchiveError.h"
#include "archive/win32/Win32.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <utility>

namespace archive {

using win32::handle;

namespace {

// A mutex is held per thread and again by the thread that holds it: the locks this process
// holds are kept here too, so a second lock on the same file waits as another program's would.
std::mutex g_heldMutex;
std::map<std::pair<std::uint64_t, std::uint64_t>, const FileLock*> g_held;

std::pair<std::uint64_t, std::uint64_t> keyOf(const filesystem::ObjectId& id)
{
    return {id.device, id.inode};
}

} // namespace

// Wine refuses to name a new file over one that any handle holds open, even one that allows it:
// a handle kept on the archive for its lock would make every replacement fall back to moving the
// archive aside. So the lock is a named mutex of the file's identity, which holds no file open and
// is let go with the thread or process however that ends.
void FileLock::open(const std::string& path)
{
    const HANDLE file = win32::openObject(path, 0, win32::kShareAll, OPEN_EXISTING, 0);
    if (file == INVALID_HANDLE_VALUE)
        throw win32::failure(ErrorKind::cannotOpen, path, ::GetLastError());
    win32::ObjectInfo info;
    const bool isKnown = win32::infoOf(file, info);
    ::CloseHandle(file);
    if (!isKnown || (info.attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(ErrorKind::notAFile, path, "is not a regular file");
    wchar_t name[80];
    std::swprintf(name, sizeof name / sizeof name[0], L"Local\\velmora-archive-%016llx-%016llx",
                  static_cast<unsigned long long>(info.volume),
                  static_cast<unsigned long long>(info.index));
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
    if (mutex == nullptr)
        throw win32::failure(ErrorKind::cannotOpen, path, ::GetLastError());
    m_nHandle = win32::handleOf(mutex);
    m_id = {info.volume, info.index};
}

FileLock::Attempt FileLock::tryLock() noexcept
{
    const std::lock_guard<std::mutex> guard(g_heldMutex);
    if (g_held.count(keyOf(m_id)) != 0)
        return Attempt::busy;
    switch (::WaitForSingleObject(handle(m_nHandle), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // its holder ended without letting go
        g_held[keyOf(m_id)] = this;
        return Attempt::locked;
    case WAIT_TIMEOUT:
        return Attempt::busy;
    default:
        return Attempt::unsupported;
    }
}

void FileLock::close() noexcept
{
    if (m_nHandle == kNoHandle)
        return;
    {
        const std::lock_guard<std::mutex> guard(g_heldMutex);
        const auto held = g_held.find(keyOf(m_id));
        if (held != g_held.end() && held->second == this) {
            g_held.erase(held);
            ::ReleaseMutex(handle(m_nHandle));
        }
    }
    ::CloseHandle(handle(m_nHandle));
    m_nHandle = kNoHandle;
}

} // namespace archive
