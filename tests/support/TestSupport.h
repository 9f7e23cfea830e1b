#pragma once

// Fixtures shared by the tests: a scratch folder removed afterwards, whole-file helpers, and an
// archive image assembled byte by byte so malformed cases can be written exactly.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>
#ifdef _WIN32
#include <random>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The system's name for its A and W pair would rename CFileFind's method.
#undef FindNextFile
#endif

namespace testsupport {

// Host paths are UTF-8 strings with '/' in the engine; std::filesystem would read a narrow string
// in the ANSI code page on Windows.
inline std::filesystem::path hostPath(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Path(const std::filesystem::path& path)
{
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

// A symbolic link at link to target (a folder link when target is a folder); false where the
// system makes none: Wine, or Windows without the privilege or developer mode.
inline bool makeLink(const std::string& target, const std::string& link)
{
#ifdef _WIN32
    const std::filesystem::path linkPath = hostPath(link);
    std::filesystem::path targetPath = hostPath(target);
    targetPath.make_preferred();
    std::error_code ignored;
    const DWORD flags =
        (std::filesystem::is_directory(targetPath, ignored) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (!CreateSymbolicLinkW(linkPath.c_str(), targetPath.c_str(), flags))
        return false;
    const DWORD attributes = GetFileAttributesW(linkPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    std::error_code error;
    if (std::filesystem::is_directory(target, error))
        std::filesystem::create_directory_symlink(target, link, error);
    else
        std::filesystem::create_symlink(target, link, error);
    if (error)
        throw std::runtime_error("cannot link " + link + ": " + error.message());
    return true;
#endif
}

// In a test body: the test is skipped where no link can be made.
#define VELMORA_MAKE_LINK(target, link)                                                            \
    if (!testsupport::makeLink(target, link))                                                      \
    GTEST_SKIP() << "this system makes no symbolic links"

class TempDir {
public:
    TempDir()
    {
#ifdef _WIN32
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            std::filesystem::path candidate = std::filesystem::temp_directory_path() /
                                              ("velmora-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate))
                m_path = candidate;
        }
        if (m_path.empty())
            throw std::runtime_error("no scratch folder");
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX");
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
#endif
    }
    ~TempDir()
    {
        std::error_code ignored;
        // Permission tests may leave read-only folders behind.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const
    {
        return m_path;
    }
    std::string str() const
    {
        return utf8Path(m_path);
    }
    std::string operator/(std::string_view rel) const
    {
        return utf8Path(m_path / hostPath(rel));
    }

private:
    std::filesystem::path m_path;
};

inline void writeFile(const std::string& path, std::string_view bytes)
{
    std::filesystem::create_directories(hostPath(path).parent_path());
    std::ofstream out(hostPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(hostPath(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void putLE32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A 24-bit BMP of width by height pixels, all of one colour, built without a decoder's help.
inline std::string bmp24(std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t stride = (width * 3 + 3) / 4 * 4;
    std::string out = "BM";
    for (const std::uint32_t field : {54 + stride * height, 0u, 54u, 40u, width, height})
        putLE32(out, field);
    putLE32(out, 1 | 24 << 16); // planes, bits per pixel
    out.append(24, '\0');       // no compression, sizes and palette left to the reader
    for (std::uint32_t row = 0; row < height; ++row)
        out += std::string(width * 3, '\x40') + std::string(stride - width * 3, '\0');
    return out;
}

// An archive image: records with free field values, then raw data appended at the end.
struct ArchiveImage {
    struct Record {
        std::string name;
        std::uint32_t dataOffset = 0;
        std::uint32_t dataSize = 0;
        std::int64_t recordLength = -1; // -1: name length + 17
        bool nul = true;
    };
    std::vector<Record> records;
    std::string data;

    // Adds an entry whose data is appended to the data area; offsets are fixed in bytes().
    void add(std::string name, std::string_view content)
    {
        records.push_back({std::move(name), static_cast<std::uint32_t>(data.size()),
                           static_cast<std::uint32_t>(content.size())});
        data.append(content);
    }

    std::uint32_t directorySize() const
    {
        std::uint32_t size = 0;
        for (const Record& r : records)
            size += r.recordLength >= 0 ? static_cast<std::uint32_t>(r.recordLength)
                                        : static_cast<std::uint32_t>(r.name.size() + 17);
        return size;
    }

    // The records' dataOffset values are relative to the data area unless absolute is set.
    std::string bytes(bool absolute = false) const
    {
        const std::uint32_t dirSize = directorySize();
        std::string out;
        putLE32(out, dirSize);
        for (const Record& r : records) {
            const std::size_t start = out.size();
            const auto len = r.recordLength >= 0 ? static_cast<std::uint32_t>(r.recordLength)
                                                 : static_cast<std::uint32_t>(r.name.size() + 17);
            putLE32(out, len);
            putLE32(out, 0);
            putLE32(out, absolute ? r.dataOffset : r.dataOffset + 4 + dirSize);
            putLE32(out, r.dataSize);
            out += r.name;
            if (r.nul)
                out.push_back('\0');
            while (out.size() < start + len)
                out.push_back('\0');
            out.resize(start + len);
        }
        return out + data;
    }
};

} // namespace testsupport
