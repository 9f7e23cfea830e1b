#pragma once

#include "archive/commands/Building.h"
#include "archive/files/CFile.h"
#include "archive/format/ArchiveReader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// One side of a comparison: the entries of an archive, or the files of a folder named as build
// would name them, in entry-list order with names equal but for case in byte order (as an
// archive this program writes holds them). Entries of one exact name keep their file order.
class ComparedTree {
public:
    struct Entry {
        std::string_view name; // into the reader's directory or the folder's list
        std::uint32_t size = 0;
        std::uint32_t ref = 0; // record position, or index into the folder's files
    };

    // A folder when path is one, else an archive opened here; errors as the reader and
    // AddFolderEntries throw them. An archive with a damaged directory is refused. An archive's
    // names are read in the code page forced or the one they show; a folder's names are made in
    // the code page forced, Big5 without one.
    explicit ComparedTree(const std::string& path, std::optional<Encoding> forced = std::nullopt);
    // An archive already open, which must outlive this.
    explicit ComparedTree(const ArchiveReader& reader);
    ComparedTree(const ComparedTree&) = delete;
    ComparedTree& operator=(const ComparedTree&) = delete;

    // Whether path is a folder (FileError when it cannot be looked at).
    static bool isFolderPath(const std::string& path);

    const std::string& path() const noexcept { return m_strPath; }
    // The code page of the entries' names.
    const CodePage& codePage() const noexcept;
    bool isFolder() const noexcept { return m_pReader == nullptr; }
    // The archive read, or nullptr for a folder.
    const ArchiveReader* reader() const noexcept { return m_pReader; }
    const std::vector<Entry>& entries() const noexcept { return m_entries; }
    // Where a folder's entry is read from; empty for an archive's.
    std::string hostPath(const Entry& entry) const;

    // An entry's bytes read front to back, the host file held open between reads.
    class Bytes {
    public:
        Bytes(const ComparedTree& tree, const Entry& entry);
        // Up to buffer.size() bytes, fewer only at the entry's end. FormatError (damagedEntry)
        // when an archive's entry runs past its file; FileError (changedWhileBuilding) when a
        // folder's file is not the size it was listed with.
        std::size_t read(std::span<unsigned char> buffer);

    private:
        const ComparedTree& m_tree;
        const Entry& m_entry;
        CFile m_file;
        std::uint64_t m_nOffset = 0;
    };

    // ContentHash of the entry's bytes.
    std::uint64_t hash(const Entry& entry) const;
    // ContentHash over every entry's name, size and bytes hash in list order: equal for an
    // archive and the folder it was built from or extracted to.
    std::uint64_t digest() const;

    // The list order of names: case folded as the entry list folds it, then the bytes.
    static bool isListedBefore(std::string_view a, std::string_view b);

private:
    void listArchive();
    void sortEntries();
    // A small entry's bytes from a window of the archive read ahead: the entries of a listing
    // lie back to back in an archive, and a read per entry would cost more than its bytes.
    std::size_t readWindowed(const RecordView& record, std::uint64_t offset,
                             std::span<unsigned char> buffer) const;
    static constexpr std::uint32_t kWindowedBytes = 16 * 1024;
    static constexpr std::size_t kWindowBytes = 1024 * 1024;

    std::string m_strPath;
    const CodePage* m_pFolderCodePage = &CodePage::big5();
    std::unique_ptr<ArchiveReader> m_pOwnReader;
    const ArchiveReader* m_pReader = nullptr;
    std::vector<BuildEntry> m_files;
    std::vector<Entry> m_entries;
    mutable std::vector<unsigned char> m_window;
    mutable std::uint64_t m_nWindowStart = 0;
    mutable std::size_t m_nWindowFill = 0;
};

} // namespace archive
