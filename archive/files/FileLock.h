#pragma once

#include "archive/files/FileSystem.h"
#include "archive/files/NativeHandle.h"

#include <chrono>
#include <string>

namespace archive {

// An exclusive lock on the file at a path, taken by every change of an archive for its whole
// run, so that two changes never both start from the same old archive. Only programs that ask
// for it wait: readers never do. It ends with the object, or with the process however that ends.
// Within one process, callers take turns themselves: a second lock on the same file waits too.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Locks the regular file path names (links followed), waiting up to wait while another
    // program holds it. A file replaced meanwhile is let go and the new one locked: once this
    // returns, path names the locked file. Throws FileError: cannotOpen when path names no file,
    // cannotWrite when another program still holds it after wait. Where the file system keeps no
    // locks, the file is only opened.
    void lock(const std::string& path, std::chrono::milliseconds wait);
    void unlock() noexcept;

    // The locked file, whatever its name has become since.
    const filesystem::ObjectId& identity() const noexcept { return m_id; }
    bool isLocked() const noexcept { return m_nHandle != kNoHandle; }

private:
    enum class Attempt { locked, busy, unsupported };

    // Opens path for locking and fills m_id; throws FileError cannotOpen.
    void open(const std::string& path);
    Attempt tryLock() noexcept;
    void close() noexcept;

    NativeHandle m_nHandle = kNoHandle;
    filesystem::ObjectId m_id;
};

} // namespace archive
