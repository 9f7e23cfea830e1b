#include "cli/TextFormat.h"

#include "archive/format/CodePage950.h"

#include <cstdio>
#include <iterator>

namespace cli::text {

namespace {

constexpr char32_t kEscapeBase = 0xF0000;

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// U+F0000 + b is always four bytes: F3 B0 80|b>>6 80|b&3F.
void appendEscape(std::string& out, unsigned char c)
{
    const char32_t cp = kEscapeBase + c;
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
}

// U+0080-U+009F in UTF-8: C2 80 to C2 9F.
bool isC1At(std::string_view utf8, std::size_t i)
{
    return i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i]) == 0xC2 &&
           static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
           static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
}

} // namespace

std::string printable(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t next = i;
        if (c >= 0x20 && c < 0x7F) {
            // A run at once: names are mostly such bytes.
            std::size_t end = i + 1;
            while (end < utf8.size() && utf8[end] >= 0x20 && utf8[end] < 0x7F)
                ++end;
            out.append(utf8.substr(i, end - i));
            i = end;
        } else if (isControl(c)) {
            appendEscape(out, c);
            ++i;
        } else if (isC1At(utf8, i)) {
            // glibc decodes the single byte 0x80 as U+0080; its escape names the same byte.
            appendEscape(out, static_cast<unsigned char>(utf8[i + 1]));
            i += 2;
        } else if (!archive::cp950::nextUtf8(utf8, next)) {
            // A host path need not be UTF-8: the stray byte is named as the name escape names
            // an undecodable one, and a terminal sees no byte it would obey.
            appendEscape(out, c);
            ++i;
        } else {
            out.append(utf8.substr(i, next - i));
            i = next;
        }
    }
    return out;
}

std::string fromPrintable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i + 4 <= text.size() && text.substr(i, 2) == "\xF3\xB0") {
            const auto b2 = static_cast<unsigned char>(text[i + 2]);
            const auto b3 = static_cast<unsigned char>(text[i + 3]);
            if ((b2 & 0xC0) == 0x80 && (b3 & 0xC0) == 0x80) {
                const unsigned c = ((b2 & 0x3Fu) << 6) | (b3 & 0x3Fu);
                if (c <= 0xFF && isControl(static_cast<unsigned char>(c))) {
                    out.push_back(static_cast<char>(c));
                    i += 3;
                    continue;
                }
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string jsonString(std::string_view utf8)
{
    std::string out = "\"";
    out.reserve(utf8.size() + 2);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char ch = utf8[i];
        const auto c = static_cast<unsigned char>(ch);
        if (isC1At(utf8, i)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(utf8[++i]));
            out += escape;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (isControl(c)) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out.push_back(ch);
            }
        }
    }
    out.push_back('"');
    return out;
}

std::string hex(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 0xF]);
    }
    return out;
}

std::string byteCount(std::uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

} // namespace cli::text
