#include "archive/commands/QuickFind.h"

#include "archive/format/CodePage.h"

#include <cstring>

namespace archive {

QuickFind::QuickFind(std::span<const std::string_view> names, const CodePage& codePage)
    : m_codePage(codePage)
{
    // One copy of every name bounds the keys, so the buffer never moves while it fills; pages
    // reserved and never written cost no memory.
    std::size_t nameBytes = 0;
    for (const std::string_view name : names)
        nameBytes += name.size();
    m_strBytes.reserve(nameBytes);
    m_keys.reserve(names.size());
    const CodePage& cp = codePage;
    for (const std::string_view name : names) {
        std::size_t pos = 0;
        while (pos < name.size() && !(name[pos] == '\\' && cp.charLength(name, pos) == 1))
            pos += cp.charLength(name, pos);
        if (pos == name.size()) {
            m_keys.push_back({0, kNoKey});
            continue;
        }
        // Upper-cased in place, walked by the characters of the name itself: the key ends where
        // the name does, so a character's length is the same in either.
        const std::size_t start = pos + 1;
        const auto offset = static_cast<std::uint32_t>(m_strBytes.size());
        m_strBytes.append(name.substr(start));
        char* key = m_strBytes.data() + offset;
        for (pos = start; pos < name.size();) {
            const std::size_t length = cp.charLength(name, pos);
            char& c = key[pos - start];
            if (length == 1 && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - ('a' - 'A'));
            pos += length;
        }
        m_keys.push_back({offset, static_cast<std::uint32_t>(name.size() - start)});
    }
}

int QuickFind::find(std::span<const std::uint32_t> rows, std::string_view findText) const
{
    if (rows.empty())
        return -1;
    if (findText.empty())
        return 0;
    const std::string needle = m_codePage.makeUpper(findText);
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
