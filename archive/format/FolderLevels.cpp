#include "archive/format/FolderLevels.h"

#include <functional>

namespace archive {

std::size_t FolderLevels::KeyHash::operator()(const Key& key) const noexcept
{
    return std::hash<std::string_view>()(key.name) * 31 + key.parent;
}

std::uint32_t FolderLevels::add(std::uint32_t parent, std::string_view name)
{
    return m_ids.emplace(Key{parent, name}, static_cast<std::uint32_t>(m_ids.size() + 1))
        .first->second;
}

std::optional<std::uint32_t> FolderLevels::find(std::uint32_t parent, std::string_view name) const
{
    const auto found = m_ids.find(Key{parent, name});
    if (found == m_ids.end())
        return std::nullopt;
    return found->second;
}

} // namespace archive
