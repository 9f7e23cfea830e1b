#include "content/ContentKind.h"

#include "archive/CodePage950.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace content {

namespace {

constexpr std::size_t kTextSniffBytes = 4096;
constexpr std::size_t kPrintablePercent = 95;

bool startsWith(std::span<const unsigned char> bytes, std::string_view magic, std::size_t at = 0)
{
    return bytes.size() >= at + magic.size() &&
           std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
}

bool isRiffOf(std::span<const unsigned char> bytes, std::string_view form)
{
    return startsWith(bytes, "RIFF") && startsWith(bytes, form, 8);
}

bool isNetpbm(std::span<const unsigned char> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '6' &&
           (bytes[2] == ' ' || bytes[2] == '\n' || bytes[2] == '\r' || bytes[2] == '\t');
}

bool isPicture(std::span<const unsigned char> bytes)
{
    // A BMP's file header alone is 14 bytes, and its info header starts with its own size.
    if (startsWith(bytes, "BM") && bytes.size() >= 18)
        return true;
    static constexpr std::string_view kSignatures[] = {std::string_view("\x89PNG\r\n\x1a\n", 8),
                                                       "GIF87a",
                                                       "GIF89a",
                                                       "\xFF\xD8\xFF",
                                                       std::string_view("II*\0", 4),
                                                       std::string_view("MM\0*", 4),
                                                       "qoif"};
    for (std::string_view magic : kSignatures)
        if (startsWith(bytes, magic))
            return true;
    return isRiffOf(bytes, "WEBP") || isNetpbm(bytes);
}

} // namespace

bool looksLikeText(std::span<const unsigned char> bytes)
{
    const std::string_view s(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (s.empty())
        return false;
    std::size_t chars = 0;
    std::size_t printable = 0;
    for (std::size_t pos = 0; pos < s.size();) {
        const auto c = static_cast<unsigned char>(s[pos]);
        if (c == 0)
            return false;
        const std::size_t length = archive::cp950::charLength(s, pos);
        ++chars;
        if (length == 2) {
            if (archive::cp950::decodeChar(s, pos))
                ++printable;
        } else if ((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            ++printable;
        }
        pos += length;
    }
    return printable * 100 >= chars * kPrintablePercent;
}

ContentKind sniffContent(std::span<const unsigned char> bytes)
{
    if (isRiffOf(bytes, "WAVE"))
        return ContentKind::sound;
    if (isPicture(bytes))
        return ContentKind::picture;
    std::size_t prefix = std::min(bytes.size(), kTextSniffBytes);
    // Do not cut a double-byte character in two at the end of the sample.
    if (prefix < bytes.size() && prefix > 0 && archive::cp950::isLeadByte(bytes[prefix - 1]))
        ++prefix;
    if (looksLikeText(bytes.first(prefix)))
        return ContentKind::text;
    return ContentKind::binary;
}

} // namespace content
