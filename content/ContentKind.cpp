#include "content/ContentKind.h"

#include "archive/format/CodePage950.h"

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

std::string_view netpbmFormat(std::span<const unsigned char> bytes)
{
    if (bytes.size() < 3 || bytes[0] != 'P' ||
        !(bytes[2] == ' ' || bytes[2] == '\n' || bytes[2] == '\r' || bytes[2] == '\t'))
        return {};
    switch (bytes[1]) {
    case '1':
    case '4':
        return "pbm";
    case '2':
    case '5':
        return "pgm";
    case '3':
    case '6':
        return "ppm";
    }
    return {};
}

// PCX has no signature, only a header of few possible values.
bool isPcx(std::span<const unsigned char> bytes)
{
    constexpr std::size_t kHeaderBytes = 128;
    if (bytes.size() <= kHeaderBytes || bytes[0] != 0x0A || bytes[2] != 1 || bytes[64] != 0)
        return false;
    const unsigned char version = bytes[1];
    const unsigned char bits = bytes[3];
    return (version == 0 || version == 2 || version == 3 || version == 4 || version == 5) &&
           (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

// Only a TGA of the later revision says what it is, in its footer.
bool isTga(std::span<const unsigned char> bytes)
{
    constexpr std::string_view kFooter("TRUEVISION-XFILE.\0", 18);
    return bytes.size() >= 18 + 26 && std::memcmp(bytes.data() + bytes.size() - kFooter.size(),
                                                  kFooter.data(), kFooter.size()) == 0;
}

} // namespace

std::string_view pictureFormat(std::span<const unsigned char> bytes)
{
    // A BMP's file header alone is 14 bytes, and its info header starts with its own size.
    if (startsWith(bytes, "BM") && bytes.size() >= 18)
        return "bmp";
    static constexpr struct {
        std::string_view magic;
        std::string_view format;
    } kSignatures[] = {
        {std::string_view("\x89PNG\r\n\x1a\n", 8), "png"},
        {"GIF87a", "gif"},
        {"GIF89a", "gif"},
        {"\xFF\xD8\xFF", "jpeg"},
        {std::string_view("II*\0", 4), "tiff"},
        {std::string_view("MM\0*", 4), "tiff"},
        {"qoif", "qoi"},
    };
    for (const auto& signature : kSignatures)
        if (startsWith(bytes, signature.magic))
            return signature.format;
    if (isRiffOf(bytes, "WEBP"))
        return "webp";
    if (const std::string_view netpbm = netpbmFormat(bytes); !netpbm.empty())
        return netpbm;
    if (isPcx(bytes))
        return "pcx";
    if (isTga(bytes))
        return "tga";
    return {};
}

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
    if (!pictureFormat(bytes).empty())
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
