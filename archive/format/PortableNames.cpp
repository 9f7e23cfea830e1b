#include "archive/format/PortableNames.h"

#include <array>
#include <cstdio>

namespace archive {

namespace {

constexpr std::string_view kRefusedCharacters = "<>:\"|?*";
// A quoted level in a reason stays short; a level can be thousands of bytes long.
constexpr std::size_t kMaxQuotedBytes = 40;

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsUpper(std::string_view text, std::string_view upperCase)
{
    if (text.size() != upperCase.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (upper(text[i]) != upperCase[i])
            return false;
    return true;
}

// Windows reads "con.txt", "CON .log" and "Com1.a.b" all as the device: what counts is the part
// before the first dot without its trailing spaces.
std::optional<std::string_view> deviceName(std::string_view level)
{
    std::string_view stem = level.substr(0, level.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    // The console's input and output buffers are devices too, though no older list names them.
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (equalsUpper(stem, device))
            return device;
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
        (equalsUpper(stem.substr(0, 3), "COM") || equalsUpper(stem.substr(0, 3), "LPT")))
        return stem;
    return std::nullopt;
}

std::string quoted(std::string_view level, const CodePage& cp)
{
    std::size_t cut = 0;
    while (cut < level.size() && cut + cp.charLength(level, cut) <= kMaxQuotedBytes)
        cut += cp.charLength(level, cut);
    std::string text = "\"" + cp.toUtf8Lossy(level.substr(0, cut));
    if (cut < level.size())
        text += "...";
    return text + "\"";
}

// The level's place for a reason: the last level is the name itself, others are folders.
std::string where(std::string_view level, bool isLast, const CodePage& cp)
{
    return isLast ? "its name" : "the folder " + quoted(level, cp);
}

std::optional<std::string> levelReason(std::string_view level, bool isLast, const CodePage& cp)
{
    for (std::size_t pos = 0; pos < level.size(); pos += cp.charLength(level, pos)) {
        if (cp.charLength(level, pos) != 1)
            continue;
        const auto c = static_cast<unsigned char>(level[pos]);
        if (c < 0x20) {
            std::array<char, 8> hex{};
            std::snprintf(hex.data(), hex.size(), "0x%02X", c);
            return "holds the control byte " + std::string(hex.data()) +
                   ", which Windows and FAT do not allow in a file name";
        }
        if (kRefusedCharacters.find(static_cast<char>(c)) != std::string_view::npos)
            return "holds '" + std::string(1, static_cast<char>(c)) +
                   "', which Windows and FAT do not allow in a file name";
    }
    if (level == "." || level == ".." || level.empty())
        return std::nullopt;
    // Neither '.' nor ' ' is ever a trail byte, so a last byte of either is a character.
    if (level.back() == '.' || level.back() == ' ')
        return where(level, isLast, cp) + " ends with " +
               (level.back() == '.' ? "a dot" : "a space") +
               ", which Windows and FAT drop from a file name";
    if (const auto device = deviceName(level))
        return where(level, isLast, cp) + " is the device " + std::string(*device) +
               " on Windows, whatever its extension";
    return std::nullopt;
}

} // namespace

std::optional<std::string> nonPortableReason(std::string_view entryName, const CodePage& cp)
{
    std::size_t start = 0;
    for (std::size_t pos = 0; pos <= entryName.size();) {
        const bool atEnd = pos == entryName.size();
        if (atEnd || (isSeparator(entryName[pos]) && cp.charLength(entryName, pos) == 1)) {
            if (auto reason = levelReason(entryName.substr(start, pos - start), atEnd, cp))
                return reason;
            if (atEnd)
                break;
            start = ++pos;
        } else {
            pos += cp.charLength(entryName, pos);
        }
    }
    return std::nullopt;
}

} // namespace archive
