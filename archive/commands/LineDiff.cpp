#include "archive/commands/LineDiff.h"

#include "archive/ArchiveError.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace archive {

LineDiff::LineDiff(const std::vector<std::string_view>& older,
                   const std::vector<std::string_view>& newer)
    : m_older(older), m_newer(newer)
{
    std::size_t begin = 0;
    while (begin < older.size() && begin < newer.size() && older[begin] == newer[begin])
        ++begin;
    std::size_t olderEnd = older.size();
    std::size_t newerEnd = newer.size();
    while (olderEnd > begin && newerEnd > begin && older[olderEnd - 1] == newer[newerEnd - 1]) {
        --olderEnd;
        --newerEnd;
    }
    m_ops.assign(begin, Op::same);
    solveMiddle(begin, olderEnd, newerEnd);
    m_ops.insert(m_ops.end(), older.size() - olderEnd, Op::same);
}

void LineDiff::solveMiddle(std::size_t begin, std::size_t olderEnd, std::size_t newerEnd)
{
    const std::size_t n = olderEnd - begin;
    const std::size_t m = newerEnd - begin;
    if (n != 0 && m > kMaxPairs / n)
        throw FormatError(ErrorKind::tooLarge, "diff",
                          std::to_string(n) + " and " + std::to_string(m) +
                              " differing lines are more than can be compared line by line");
    // Lines as numbers, so the table compares integers.
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<std::uint32_t> a(n);
    std::vector<std::uint32_t> b(m);
    for (std::size_t i = 0; i < n; ++i)
        a[i] = ids.emplace(m_older[begin + i], ids.size()).first->second;
    for (std::size_t j = 0; j < m; ++j)
        b[j] = ids.emplace(m_newer[begin + j], ids.size()).first->second;
    // length[j]: common subsequence of a[i..] and b[j..], one row at a time from the end; a bit
    // per pair says whether dropping a[i] keeps the longest (else b[j] goes in).
    std::vector<std::uint32_t> below(m + 1, 0);
    std::vector<std::uint32_t> row(m + 1, 0);
    std::vector<std::uint64_t> dropOlder((n * m + 63) / 64, 0);
    for (std::size_t i = n; i-- > 0;) {
        row[m] = 0;
        for (std::size_t j = m; j-- > 0;) {
            if (a[i] == b[j]) {
                row[j] = below[j + 1] + 1;
            } else if (below[j] >= row[j + 1]) {
                row[j] = below[j];
                const std::size_t bit = i * m + j;
                dropOlder[bit / 64] |= std::uint64_t(1) << (bit % 64);
            } else {
                row[j] = row[j + 1];
            }
        }
        std::swap(row, below);
    }
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            m_ops.push_back(Op::same);
            ++i;
            ++j;
        } else if (j == m || (i < n && (dropOlder[(i * m + j) / 64] >> ((i * m + j) % 64)) & 1)) {
            m_ops.push_back(Op::remove);
            ++i;
        } else {
            m_ops.push_back(Op::insert);
            ++j;
        }
    }
}

bool LineDiff::isEqual() const noexcept
{
    return std::all_of(m_ops.begin(), m_ops.end(), [](Op op) { return op == Op::same; });
}

std::string LineDiff::unified(std::size_t context) const
{
    std::string out;
    std::size_t k = 0;
    // Line numbers before op k on each side.
    std::vector<std::size_t> olderAt(m_ops.size() + 1, 0);
    std::vector<std::size_t> newerAt(m_ops.size() + 1, 0);
    for (std::size_t x = 0; x < m_ops.size(); ++x) {
        olderAt[x + 1] = olderAt[x] + (m_ops[x] != Op::insert);
        newerAt[x + 1] = newerAt[x] + (m_ops[x] != Op::remove);
    }
    while (k < m_ops.size()) {
        while (k < m_ops.size() && m_ops[k] == Op::same)
            ++k;
        if (k == m_ops.size())
            break;
        const std::size_t start = k > context ? k - context : 0;
        // The hunk runs on while the next change is within two contexts of the last.
        std::size_t end = k;
        for (std::size_t x = k; x < m_ops.size(); ++x) {
            if (m_ops[x] != Op::same)
                end = x + 1;
            else if (x >= end + 2 * context)
                break;
        }
        end = std::min(m_ops.size(), end + context);
        const auto range = [](std::size_t from, std::size_t count) {
            return std::to_string(count == 0 ? from : from + 1) + "," + std::to_string(count);
        };
        out += "@@ -" + range(olderAt[start], olderAt[end] - olderAt[start]) + " +" +
               range(newerAt[start], newerAt[end] - newerAt[start]) + " @@\n";
        for (std::size_t x = start; x < end; ++x) {
            out += static_cast<char>(m_ops[x]);
            out += m_ops[x] == Op::insert ? m_newer[newerAt[x]] : m_older[olderAt[x]];
            out += '\n';
        }
        k = end;
    }
    return out;
}

} // namespace archive
