#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace archive {

// The folder levels of many paths, each known by its parent's id and its own name: a path is
// walked one level at a time and no prefix is hashed or compared whole, so the cost is linear in
// the bytes of the paths however deep they go. The names are views the caller keeps alive.
class FolderLevels {
public:
    // The id of the destination itself, the parent of every first level.
    static constexpr std::uint32_t kTop = 0;

    // The id of the level name inside parent, added when new.
    std::uint32_t add(std::uint32_t parent, std::string_view name);
    // That id, or nullopt when no path added holds the level.
    std::optional<std::uint32_t> find(std::uint32_t parent, std::string_view name) const;

private:
    struct Key {
        std::uint32_t parent;
        std::string_view name;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };
    std::unordered_map<Key, std::uint32_t, KeyHash> m_ids;
};

} // namespace archive
