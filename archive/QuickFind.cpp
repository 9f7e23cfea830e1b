#include "QuickFind.h"

#include "CodePage950.h"
#include "EntryList.h"

#include <string>

namespace archive {

namespace {

unsigned char upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

// Whether the match key of text (after its first '\') upper-cased begins with upperNeedle,
// without building the key's copy.
bool keyStartsWith(std::string_view text, std::string_view upperNeedle)
{
    std::size_t i = 0;
    while (i < text.size() && !(text[i] == '\\' && cp950::charLength(text, i) == 1))
        i += cp950::charLength(text, i);
    if (i == text.size())
        return false;
    const std::string_view key = text.substr(i + 1);
    if (key.size() < upperNeedle.size())
        return false;
    for (std::size_t k = 0; k < upperNeedle.size();) {
        const std::size_t n = cp950::charLength(key, k);
        if (n == 1) {
            if (upper(static_cast<unsigned char>(key[k])) !=
                static_cast<unsigned char>(upperNeedle[k]))
                return false;
        } else if (key.compare(k, n, upperNeedle.substr(k, n)) != 0) {
            return false; // a trail byte is compared as it is, never folded
        }
        k += n;
    }
    return true;
}

} // namespace

int quickFind(const EntryList& list, std::string_view findText)
{
    if (list.GetCount() == 0)
        return -1;
    if (findText.empty())
        return 0;
    const std::string upperNeedle = cp950::makeUpper(findText);
    int found = -1;
    list.forEach([&](int index, const std::string& text, std::uint32_t, bool) {
        if (keyStartsWith(text, upperNeedle)) {
            found = index;
            return false;
        }
        return true;
    });
    return found;
}

} // namespace archive
