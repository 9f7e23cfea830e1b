#include "archive/QuickFind.h"

#include "archive/CodePage950.h"
#include "archive/EntryList.h"

#include <cstring>

namespace archive {

void QuickFind::prepare(const EntryList& list)
{
    if (m_nRevision != list.revision() || m_keys.size() != std::size_t(list.GetCount()))
        rebuild(list);
}

void QuickFind::rebuild(const EntryList& list)
{
    m_strBytes.clear();
    m_keys.clear();
    m_keys.reserve(static_cast<std::size_t>(list.GetCount()));
    list.forEach([&](int, const std::string& text, std::uint32_t, bool) {
        const std::ptrdiff_t slash = cp950::find(text, '\\');
        if (slash < 0) {
            m_keys.push_back({0, kNoKey});
        } else {
            const auto offset = static_cast<std::uint32_t>(m_strBytes.size());
            m_strBytes += cp950::makeUpper(std::string_view(text).substr(std::size_t(slash) + 1));
            m_keys.push_back({offset, static_cast<std::uint32_t>(m_strBytes.size() - offset)});
        }
        return true;
    });
    m_nRevision = list.revision();
}

int QuickFind::find(const EntryList& list, std::string_view findText)
{
    if (list.GetCount() == 0)
        return -1;
    if (findText.empty())
        return 0;
    prepare(list);
    const std::string needle = cp950::makeUpper(findText);
    const char* bytes = m_strBytes.data();
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        const Key key = m_keys[i];
        if (key.length != kNoKey && key.length >= needle.size() &&
            std::memcmp(bytes + key.offset, needle.data(), needle.size()) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int quickFind(const EntryList& list, std::string_view findText)
{
    return QuickFind().find(list, findText);
}

} // namespace archive
