#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace archive {
class ArchiveComparison;
class ComparedTree;
} // namespace archive

namespace session {

// How each entry of the listed archive stands against another archive or folder, by record
// position. The other side is the older one, so the marks answer "what did I change": added is
// what only the listed archive has, and entries only on the other side are counted as deleted.
// An entry holding the bytes of one gone from the other side under another name is renamed.
class ComparisonMarks {
public:
    enum class Mark : unsigned char { unchanged, added, changed, renamed };
    struct Counts {
        std::size_t added = 0;
        std::size_t changed = 0;
        std::size_t renamed = 0;
        std::size_t unchanged = 0;
        std::size_t deleted = 0;
    };

    // How a front end shows a mark: its colour (0xRRGGBB) and its tooltip line (UTF-8, from
    // res/; a renamed entry's takes the other name for %1).
    struct Look {
        unsigned color;
        const char* text;
    };
    static const Look& lookOf(Mark mark);

    // comparison of older (the other side) with the listed archive.
    ComparisonMarks(const archive::ArchiveComparison& comparison,
                    const archive::ComparedTree& older);

    // The other side's path, as the user chose it.
    const std::string& otherPath() const { return m_strOtherPath; }
    const Counts& counts() const { return m_counts; }
    Mark markOf(std::uint32_t position) const;
    bool isDiffering(std::uint32_t position) const { return markOf(position) != Mark::unchanged; }
    // A renamed entry's name on the other side, as text; empty for any other.
    std::string renamedFrom(std::uint32_t position) const;

private:
    std::string m_strOtherPath;
    Counts m_counts;
    // Only the differing entries: a comparison usually finds few among many.
    std::unordered_map<std::uint32_t, Mark> m_marks;
    std::unordered_map<std::uint32_t, std::string> m_renamedFrom;
};

} // namespace session
