#include "win32ui/TempEntryFolders.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Extraction.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "archive/win32/Win32.h"

#include <cwchar>
#include <random>

namespace {

std::filesystem::path fromUtf8(const std::string& path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string toUtf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace

std::string TempEntryFolders::extractFile(const archive::ArchiveReader& reader,
                                          std::uint32_t position)
{
    std::error_code error;
    const std::filesystem::path parent = std::filesystem::temp_directory_path(error);
    std::random_device random;
    std::filesystem::path folder;
    for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
        const std::filesystem::path candidate =
            parent / ("velmora-open-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate, error))
            folder = candidate;
    }
    if (folder.empty())
        throw archive::win32::failure(archive::ErrorKind::cannotCreateFolder, toUtf8(parent),
                                      static_cast<DWORD>(error.value()));
    m_folders.push_back(folder);
    const std::uint32_t positions[] = {position};
    archive::extractEntries(reader, positions, toUtf8(folder));
    return toUtf8(folder / fromUtf8(archive::names::hostRelativePath(reader.record(position).name,
                                                                     reader.codePage()))
                               .make_preferred());
}

bool TempEntryFolders::holds(const std::string& path) const
{
    // Windows names are the same file in any case.
    const std::wstring asked = fromUtf8(path).lexically_normal().make_preferred().wstring();
    for (const std::filesystem::path& folder : m_folders) {
        const std::wstring own = folder.lexically_normal().wstring();
        if (asked.size() >= own.size() && _wcsnicmp(asked.c_str(), own.c_str(), own.size()) == 0 &&
            (asked.size() == own.size() || asked[own.size()] == L'\\'))
            return true;
    }
    return false;
}

void TempEntryFolders::removeAll()
{
    for (const std::filesystem::path& folder : m_folders) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    m_folders.clear();
}
