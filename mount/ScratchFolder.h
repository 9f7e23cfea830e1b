#pragma once

#include "archive/files/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mount {

// The private folder beside an archive where a mount keeps what it has not put into the archive
// yet: numbered files holding changed and new files' bytes, and a journal of the view's changes
// since the last commit, so that a mount that was killed leaves everything needed to do them
// again. Journal records are appended whole with one write; a record cut short by a kill is
// ignored. The folder is ".NAME.velmora-mount" beside the archive NAME: on the archive's file
// system, where a commit can read the files without a copy across devices.
class ScratchFolder {
public:
    struct Record {
        char op = 0; // 'B' base, 'F' file bytes, 'D' delete, 'M' folder, 'X' folder gone,
                     // 'R' rename, 'C' commit under way
        std::vector<std::string> fields;
    };

    explicit ScratchFolder(const std::string& archivePath);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const noexcept { return m_strPath; }
    // The journal's records, up to the first one cut short; none when there is no journal.
    std::vector<Record> records() const;
    // Starts an empty journal on base (the archive as committed) and removes every scratch file.
    void reset(const archive::filesystem::FileStamp& base);
    void append(const Record& record);
    // Removes the folder and everything in it (no pending changes are left).
    void removeAll();

    // A new empty scratch file; its number.
    std::uint32_t newFile();
    std::string filePath(std::uint32_t number) const;
    // Descriptors of a scratch file; -errno on failure.
    int open(std::uint32_t number, bool isWritable) const;
    static void close(int descriptor) noexcept;
    static long long readAt(int descriptor, void* buffer, std::size_t count, std::uint64_t offset);
    static long long writeAt(int descriptor, const void* buffer, std::size_t count,
                             std::uint64_t offset);
    static int resize(int descriptor, std::uint64_t size);
    // A file's size and modification time (seconds, nanoseconds); false when it cannot be examined.
    static bool examine(const std::string& path, std::uint64_t& size, std::int64_t& seconds,
                        std::int64_t& nanoseconds);

    static std::string stampText(const archive::filesystem::FileStamp& stamp);

private:
    void ensureFolder();

    std::string m_strPath;
    int m_nJournal = -1;
    std::uint32_t m_nNextFile = 1;
};

} // namespace mount
