#pragma once

#include "archive/files/FileSystem.h"
#include "archive/files/NativeHandle.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace archive {

class CFolder;
class FileCopier;

// One open file. Opening refuses a file this program already holds open through any CFile,
// whatever path spelling reaches it (device and inode are compared), so no command can truncate
// or read the archive another command is using.
class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeCreate = 0x1000, // with modeWrite: a new file, or an existing one truncated
        // With modeRead: a reading other readings opened so may share (the archive a dialog
        // lists and shows as a folder at once); any other open of the file is still refused.
        modeShareRead = 0x2000,
    };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    CFile(CFile&& other) noexcept;
    CFile& operator=(CFile&& other) noexcept;

    // Throws FileError naming the path and the reason.
    void Open(const std::string& path, unsigned flags);
    // Opens name inside folder without following a symbolic link in name itself.
    void Open(const CFolder& folder, const std::string& name, unsigned flags);

    bool isOpen() const noexcept { return m_nHandle != kNoHandle; }

    // Each of these throws FileError when the file is not open or the system call fails.
    void Seek(std::uint64_t offset); // from the beginning
    // Comes back short only at the end of the file.
    std::size_t Read(void* buffer, std::size_t count);
    // Reads at offset without moving the file position, so readers sharing the file never
    // disturb each other. Comes back short only at the end of the file.
    std::size_t ReadAt(void* buffer, std::size_t count, std::uint64_t offset) const;
    // Writes every byte or throws.
    void Write(const void* buffer, std::size_t count);
    std::uint64_t GetLength() const;
    // The length seen when the file was opened, without asking the system again.
    std::uint64_t lengthAtOpen() const noexcept { return m_nLengthAtOpen; }
    // Which object the open file is, whatever has become of the name it was opened by.
    filesystem::ObjectId identity() const noexcept { return {m_nDevice, m_nInode}; }
    // How many names the file has now, in every folder: an update replaces only one of them.
    std::uint64_t linkCount() const;
    // Tells the system the file will be read from start to end, so it reads ahead further.
    void expectSequentialReads() const noexcept;

    // Last component of the path given to Open.
    std::string GetFileName() const;
    // The path given to Open (for a folder-relative open: the folder's path, '/', the name).
    const std::string& GetFilePath() const noexcept { return m_strPath; }

    // Does nothing when not open; never throws.
    void Close() noexcept;

    // True when some CFile of this process holds the object with this device and inode open.
    static bool isHeldOpen(std::uint64_t device, std::uint64_t inode);
    // Runs replace while no CFile of this process holds the object open, then opens the one that
    // held it again through path, another name of the same object, keeping its position: for
    // systems that refuse to name over a file held open (POSIX names over one: replace just runs).
    static void whileReleased(std::uint64_t device, std::uint64_t inode, const std::string& path,
                              const std::function<void()>& replace);

private:
    friend class FileCopier;
    friend class OutputFile;

    // Reads until count bytes or the end of the file: at offset when given, else from the file
    // position.
    std::size_t readFully(void* buffer, std::size_t count,
                          std::optional<std::uint64_t> offset) const;

    // Takes over handle: refuses what is not a regular file or is already held, then truncates for
    // modeCreate. Closes it when it throws.
    void adopt(NativeHandle handle, const std::string& path, unsigned flags);
    void requireOpen() const;

    NativeHandle m_nHandle = kNoHandle;
    std::string m_strPath;
    std::uint64_t m_nDevice = 0;
    std::uint64_t m_nInode = 0;
    unsigned m_nFlags = 0;
    std::uint64_t m_nLengthAtOpen = 0;
};

} // namespace archive
