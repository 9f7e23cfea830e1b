#include "archive/format/NameMapping.h"

#include "archive/ArchiveError.h"
#include "archive/files/FileSystem.h"
#include "archive/format/PortableNames.h"

#include <cstdio>

namespace archive::names {

namespace {

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool isDrivePart(std::string_view component)
{
    const auto c = static_cast<unsigned char>(component.empty() ? 0 : component[0]);
    return component.size() >= 2 && component[1] == ':' &&
           ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

// Decodable characters as UTF-8; every byte of any other character as U+F0000 + byte.
void appendEscaped(std::string& out, std::string_view name, const CodePage& cp)
{
    for (std::size_t i = 0; i < name.size();) {
        // Bytes 0x01-0x7F are never lead bytes and stand for themselves.
        std::size_t run = i;
        while (run < name.size() && static_cast<unsigned char>(name[run]) - 1u < 0x7Fu)
            ++run;
        if (run > i) {
            out.append(name.substr(i, run - i));
            i = run;
            continue;
        }
        const std::size_t n = cp.charLength(name, i);
        const auto c = cp.decodeChar(name, i);
        if (c && *c != 0) {
            utf8::append(out, *c);
        } else {
            for (std::size_t k = 0; k < n; ++k)
                utf8::append(out, kEscapeBase + static_cast<unsigned char>(name[i + k]));
        }
        i += n;
    }
}

enum class Slash {
    refuseBackslash, // a host path level: '\' cannot be stored, '/' never reaches here
    asBackslash,     // text where '/' stands for the separator
    kept,            // text taken byte for byte
};

// Reverses appendEscaped. Throws NameError for subject.
std::string unescape(std::string_view text, const std::string& subject, Slash slash,
                     const CodePage& cp)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const auto c = utf8::next(text, pos);
        if (!c)
            throw NameError(ErrorKind::nameNotStorable, subject, "is not valid UTF-8");
        if (*c >= kEscapeBase && *c <= kEscapeBase + 0xFF) {
            out.push_back(static_cast<char>(*c - kEscapeBase));
        } else if (*c == '/' && slash == Slash::asBackslash) {
            out.push_back('\\');
        } else if (*c == '\\' && slash == Slash::refuseBackslash) {
            throw NameError(ErrorKind::nameNotStorable, subject,
                            "contains '\\', which entry names use between folders");
        } else if (auto bytes = cp.encodeChar(*c)) {
            out += *bytes;
        } else {
            throw NameError(ErrorKind::nameNotStorable, subject,
                            "holds a character that " + std::string(cp.title()) + " cannot encode");
        }
    }
    return out;
}

std::string hexByte(unsigned char c)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", c);
    return text;
}

// A level the host cannot hold as one file name makes the entry impossible to extract here.
std::optional<std::string> overlongLevelReason(std::string_view hostPath)
{
    for (std::size_t start = 0; start <= hostPath.size();) {
        std::size_t slash = hostPath.find('/', start);
        if (slash == std::string_view::npos)
            slash = hostPath.size();
        if (slash - start > kMaxHostComponentBytes)
            return "cannot be extracted here: a level of its path is " +
                   std::to_string(slash - start) + " bytes in UTF-8, over the " +
                   std::to_string(kMaxHostComponentBytes) + " a file name may hold";
        start = slash + 1;
    }
    return std::nullopt;
}

// The ten codes glibc decodes to characters that encode back to other bytes count here too: the
// name escape keeps them, but no character stands for them.
std::optional<std::string> codePageReason(std::string_view name, const CodePage& cp)
{
    std::size_t bad = 0;
    std::size_t first = 0;
    for (std::size_t pos = 0; pos < name.size();) {
        const auto byte = static_cast<unsigned char>(name[pos]);
        if (byte >= 0x01 && byte < 0x80) {
            ++pos;
            continue;
        }
        if (!cp.decodeChar(name, pos) && bad++ == 0)
            first = pos;
        pos += cp.charLength(name, pos);
    }
    if (bad == 0)
        return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < cp.charLength(name, first); ++i)
        bytes += (i ? " " : "") + hexByte(static_cast<unsigned char>(name[first + i]));
    std::string reason = "name is not valid " + std::string(cp.title()) + ": " + bytes +
                         " at byte " + std::to_string(first) +
                         " is no character that converts to Unicode and back";
    if (bad > 1)
        reason += ", and " + std::to_string(bad - 1) + " more";
    return reason;
}

} // namespace

std::optional<std::string> unstorableReason(std::string_view entryName, std::string_view hostPath,
                                            const CodePage& cp)
{
    if (auto reason = overlongLevelReason(hostPath))
        return reason;
    if (auto reason = codePageReason(entryName, cp))
        return reason;
    if (filesystem::refusesNonPortableNames()) {
        if (auto reason = nonPortableReason(entryName, cp))
            return "cannot be extracted here: " + *reason;
    }
    return std::nullopt;
}

void requireStorable(std::string_view entryName, const CodePage& cp)
{
    const std::string path = hostRelativePath(entryName, cp);
    if (auto reason = unstorableReason(entryName, path, cp))
        throw NameError(ErrorKind::nameNotStorable, displayName(entryName, cp), *reason);
    if (cp.find(entryName, '/') != CodePage::npos)
        throw NameError(ErrorKind::nameNotStorable, displayName(entryName, cp),
                        "holds '/', which is no separator in an entry name but would be one "
                        "once extracted");
}

namespace {

// Calls visit(level) for each level of entryName, in order, refusing (NameError) a name that
// would leave the destination or holds an empty, "." or ".." level, as soon as the walk meets it.
template <typename Visit>
void forEachHostLevel(std::string_view entryName, const CodePage& cp, Visit visit)
{
    const auto refuse = [&](const char* reason) {
        throw NameError(ErrorKind::unsafeName, displayName(entryName, cp), reason);
    };
    if (entryName.empty())
        refuse("has an empty name");
    std::size_t start = 0;
    for (std::size_t i = 0; i <= entryName.size();) {
        if (i < entryName.size() &&
            !(isSeparator(entryName[i]) && cp.charLength(entryName, i) == 1)) {
            i += cp.charLength(entryName, i);
            continue;
        }
        const std::string_view part = entryName.substr(start, i - start);
        if (start == 0 && part.empty())
            refuse("starts with a separator and would leave the destination folder");
        if (start == 0 && isDrivePart(part))
            refuse("names a drive and would leave the destination folder");
        if (part.empty())
            refuse("has an empty folder level");
        if (part == "..")
            refuse("steps to a parent folder (..) and would leave the destination folder");
        if (part == ".")
            refuse("has a '.' folder level");
        visit(part);
        start = ++i;
    }
}

} // namespace

std::vector<std::string> hostComponents(std::string_view entryName, const CodePage& cp)
{
    std::vector<std::string> components;
    forEachHostLevel(entryName, cp, [&](std::string_view part) {
        appendEscaped(components.emplace_back(), part, cp);
    });
    return components;
}

std::vector<std::string> hostComponents(std::string_view entryName, std::uint32_t recordPosition,
                                        const CodePage& cp)
{
    if (entryName.empty())
        throw NameError(ErrorKind::unsafeName, entrySubject(entryName, recordPosition, cp),
                        "has an empty name");
    return hostComponents(entryName, cp);
}

std::string hostRelativePath(std::string_view entryName, const CodePage& cp)
{
    std::string path;
    hostRelativePath(entryName, cp, path);
    return path;
}

void hostRelativePath(std::string_view entryName, const CodePage& cp, std::string& path)
{
    path.clear();
    forEachHostLevel(entryName, cp, [&](std::string_view part) {
        if (!path.empty())
            path.push_back('/');
        appendEscaped(path, part, cp);
    });
}

std::string entryName(std::string_view hostRelativePath, const CodePage& cp)
{
    const std::string subject(hostRelativePath);
    std::string name;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = hostRelativePath.find('/', start);
        const std::string_view component = hostRelativePath.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (!name.empty() || start > 0)
            name.push_back('\\');
        name += unescape(component, subject, Slash::refuseBackslash, cp);
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    // Only names that map back exactly are taken, so extracting gives this very path again.
    bool same = false;
    try {
        same = names::hostRelativePath(name, cp) == hostRelativePath;
    } catch (const NameError&) {
    }
    if (!same)
        throw NameError(ErrorKind::nameNotStorable, subject,
                        "cannot become an entry name that maps back to the same path");
    return name;
}

std::string displayName(std::string_view entryName, const CodePage& cp)
{
    return cp.toUtf8Lossy(entryName);
}

std::string entrySubject(std::string_view entryName, std::uint32_t recordPosition,
                         const CodePage& cp)
{
    if (entryName.empty())
        return "record at " + std::to_string(recordPosition);
    return displayName(entryName, cp);
}

std::string toText(std::string_view entryName, const CodePage& cp)
{
    std::string text;
    appendEscaped(text, entryName, cp);
    return text;
}

std::string fromText(std::string_view text, const CodePage& cp)
{
    std::string name = unescape(text, std::string(text), Slash::asBackslash, cp);
    if (name.empty())
        throw NameError(ErrorKind::nameNotStorable, std::string(text), "is not an entry name");
    return name;
}

std::string fromTextExact(std::string_view text, const CodePage& cp)
{
    std::string name = unescape(text, std::string(text), Slash::kept, cp);
    if (name.empty())
        throw NameError(ErrorKind::nameNotStorable, std::string(text), "is not an entry name");
    return name;
}

bool matchesReadingSlashAsSeparator(std::string_view text, std::string_view entryName,
                                    const CodePage& cp)
{
    if (text.size() != entryName.size())
        return false;
    for (std::size_t i = 0; i < entryName.size();) {
        const std::size_t n = cp.charLength(entryName, i);
        const bool same = entryName.compare(i, n, text, i, n) == 0;
        if (!same && !(n == 1 && text[i] == '/' && entryName[i] == '\\'))
            return false;
        i += n;
    }
    return true;
}

} // namespace archive::names
