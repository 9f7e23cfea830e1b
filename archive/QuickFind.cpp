#include "archive/QuickFind.h"

#include "archive/Catalogue.h"
#include "archive/CodePage950.h"

#include <cstring>

namespace archive {

QuickFind::QuickFind(const Catalogue& catalogue)
{
    m_keys.reserve(catalogue.size());
    for (std::size_t row = 0; row < catalogue.size(); ++row) {
        const std::string_view name = catalogue.name(row);
        const std::ptrdiff_t slash = cp950::find(name, '\\');
        if (slash < 0) {
            m_keys.push_back({0, kNoKey});
        } else {
            const auto offset = static_cast<std::uint32_t>(m_strBytes.size());
            m_strBytes += cp950::makeUpper(name.substr(std::size_t(slash) + 1));
            m_keys.push_back({offset, static_cast<std::uint32_t>(m_strBytes.size() - offset)});
        }
    }
}

int QuickFind::find(std::span<const std::uint32_t> rows, std::string_view findText) const
{
    if (rows.empty())
        return -1;
    if (findText.empty())
        return 0;
    const std::string needle = cp950::makeUpper(findText);
    const char* bytes = m_strBytes.data();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Key key = m_keys[rows[i]];
        if (key.length != kNoKey && key.length >= needle.size() &&
            std::memcmp(bytes + key.offset, needle.data(), needle.size()) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace archive
