#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

class ArchiveReader;
class CodePage;
class QuickFind;
struct RecordView;

// The entries of an open archive in list order (CodePage::compareNoCase in the reader's code
// page, equal names in file order), sorted once, or not at all when the archive is in that order. A
// row holds the position of its record in the reader; names are views into the reader's directory,
// so the catalogue holds no string per entry and must not outlive the reader it was made from.
// Nothing changes after construction: a type filter is a pass over the rows, never a new sort.
class Catalogue {
public:
    // Throws the reader's damage(), if any: a list with records missing would mislead.
    explicit Catalogue(const ArchiveReader& reader);
    ~Catalogue();
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    const ArchiveReader& reader() const noexcept { return m_reader; }
    // The reader's code page, which every name of the catalogue is read in.
    const CodePage& codePage() const noexcept;
    std::size_t size() const noexcept { return m_positions.size(); }

    // row < size(); in list order.
    std::string_view name(std::size_t row) const;
    std::uint32_t position(std::size_t row) const { return m_positions[row]; }
    RecordView record(std::size_t row) const;

    // The record positions of rows, in list order whatever order rows come in: the order in
    // which extraction writes them, so of two entries of one name the later row is left.
    std::vector<std::uint32_t> positions(std::vector<std::uint32_t> rows) const;

    // The rows whose names pass matchesType(name, type), ascending.
    std::vector<std::uint32_t> filter(std::string_view type) const;

    // The quick find keys, built on the first call (call it early to keep the first keystroke
    // from waiting); safe to call from several threads.
    const QuickFind& quickFind() const;

private:
    // Puts the rows, read in file order, in list order.
    void sortRows();

    const ArchiveReader& m_reader;
    std::vector<std::uint32_t> m_positions; // record position of each row
    std::vector<std::string_view> m_names;
    // typeTail of each name, made while the names are read in file order: a filter in list
    // order would otherwise jump through the whole directory.
    std::vector<std::uint32_t> m_tails;
    mutable std::once_flag m_quickFindBuilt;
    mutable std::unique_ptr<QuickFind> m_quickFind;
};

} // namespace archive
