#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// The shortest edit between two lists of lines (a longest common subsequence), as a unified
// diff. Lines the two share at the start and end cost nothing; the part between is solved in a
// table of one bit per pair of lines, so its size is bounded: FormatError (tooLarge) past
// kMaxPairs pairs.
class LineDiff {
public:
    // 2^28 bits: 32 MiB, about 16,000 differing lines on each side.
    static constexpr std::size_t kMaxPairs = std::size_t(1) << 28;

    LineDiff(const std::vector<std::string_view>& older,
             const std::vector<std::string_view>& newer);

    bool isEqual() const noexcept;
    // Hunks of "@@ -a,b +c,d @@" and lines marked ' ', '-' or '+', each ended by '\n', with
    // context lines of context around each change. Lines are taken as given: the caller makes
    // them printable.
    std::string unified(std::size_t context = 3) const;

private:
    enum class Op : char { same = ' ', remove = '-', insert = '+' };
    void solveMiddle(std::size_t begin, std::size_t olderEnd, std::size_t newerEnd);

    const std::vector<std::string_view>& m_older;
    const std::vector<std::string_view>& m_newer;
    std::vector<Op> m_ops;
};

} // namespace archive
