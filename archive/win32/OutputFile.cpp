#include "archive/OutputFile.h"

#include "archive/CFile.h"
#include "archive/CFolder.h"
#include "archive/Paths.h"
#include "archive/SignalCleanup.h"
#include "archive/win32/Win32.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

namespace archive {

using win32::handle;

namespace {

constexpr int kTempNameAttempts = 100;

// Suffixes of the replaced file's names beside its temporary file's.
constexpr char kAsideSuffix[] = ".old";
constexpr char kLinkSuffix[] = ".link";

// Windows has no unnamed files: every output takes the named temporary path.
std::atomic<bool> g_bNoReplaceNamingAllowed{true};

// The volume and file index of the file at path itself, a link not followed.
bool identityOf(const std::string& path, win32::ObjectInfo& info)
{
    const HANDLE object = win32::openObject(path, FILE_READ_ATTRIBUTES, win32::kShareAll,
                                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (object == INVALID_HANDLE_VALUE)
        return false;
    const bool isKnown = win32::infoOf(object, info);
    ::CloseHandle(object);
    return isKnown;
}

// The final name must not be a folder (naming would fail late, after all the writing), a file
// this program has open (above all the archive being read), nor a read-only file. Returns
// whether something has the name.
bool checkTarget(const std::string& path, OutputFile::Existing existing,
                 const OutputFile::ExistingCheck* check)
{
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(win32::wide(path).c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return false;
        throw win32::failure(ErrorKind::cannotOpen, path, error);
    }
    ::FindClose(find);
    const bool isLink = win32::isLink(data.dwFileAttributes, data.dwReserved0);
    if (!isLink && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(ErrorKind::inTheWay, path, "is a folder");
    win32::ObjectInfo info;
    const bool isKnown = !isLink && identityOf(path, info);
    if (check && isKnown)
        (*check)({info.volume, info.index});
    if (existing == OutputFile::Existing::keep)
        throw FileError(ErrorKind::keptExisting, path, "already exists; kept as it was");
    if (!isLink) {
        if (existing != OutputFile::Existing::replaceOpen && isKnown &&
            CFile::isHeldOpen(info.volume, info.index))
            throw FileError(ErrorKind::alreadyOpen, path,
                            "is open in this program and cannot be replaced");
        // Naming over the file would bypass its own protection.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            throw win32::failure(ErrorKind::cannotWrite, path, ERROR_ACCESS_DENIED);
    }
    return true;
}

// The held file moved aside, the new one moved in. Between the two the name is missing: a kill
// there leaves the pair, which recoverReplaced mends. A failure of the second puts the held file
// back.
void moveAsideAndIn(const std::wstring& temp, const std::wstring& final, const std::wstring& aside,
                    const std::string& path, DWORD durable)
{
    if (!::MoveFileExW(final.c_str(), aside.c_str(), durable))
        throw win32::creationFailure(ErrorKind::cannotWrite, path, ::GetLastError());
    if (!::MoveFileExW(temp.c_str(), final.c_str(), durable)) {
        const DWORD error = ::GetLastError();
        ::MoveFileExW(aside.c_str(), final.c_str(), durable);
        throw win32::creationFailure(ErrorKind::cannotWrite, path, error);
    }
    // Open elsewhere, it goes when its last handle closes.
    ::DeleteFileW(aside.c_str());
}

// Some systems (Wine among them) refuse to name over a file that is open, even one opened to
// allow it. The held file gets a second name, so that its own is never missing, and this
// program lets go of it while the new file takes the name, then holds it again by the second
// name, which goes with the last handle. Without hard links, or with the file open in another
// program, it is moved aside instead.
void replaceHeldFile(const std::wstring& temp, const std::wstring& final,
                     const std::string& tempPath, const std::string& path, DWORD durable)
{
    const std::wstring link = win32::wide(tempPath + kLinkSuffix);
    win32::ObjectInfo info;
    if (identityOf(path, info) && ::CreateHardLinkW(link.c_str(), final.c_str(), nullptr)) {
        DWORD error = 0;
        CFile::whileReleased(info.volume, info.index, tempPath + kLinkSuffix, [&] {
            if (!::MoveFileExW(temp.c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING | durable))
                error = ::GetLastError();
        });
        ::DeleteFileW(link.c_str());
        if (error == 0)
            return;
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            throw win32::creationFailure(ErrorKind::cannotWrite, path, error);
    }
    moveAsideAndIn(temp, final, win32::wide(tempPath + kAsideSuffix), path, durable);
}

} // namespace

OutputFile::OutputFile(const CFolder& folder, const std::string& name, Existing existing,
                       const ExistingCheck* check)
    : m_strName(name), m_strPath(folder.pathOf(name)), m_existing(existing), m_pCheck(check)
{
    if (!folder.isOpen())
        throw FileError(ErrorKind::internal, m_strPath, "the folder is not open");
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\:") != std::string::npos)
        throw FileError(ErrorKind::unsafeName, m_strPath, "is not a file name");
    win32::requireHostableName(m_strPath, name);
    m_pFolder = &folder;
    // A name in a folder made by this program is free unless naming says otherwise.
    m_bTargetSeen = !folder.wasCreated() && checkTarget(m_strPath, existing, check);
    createNamed();
}

NativeHandle OutputFile::folderHandle() const noexcept
{
    return m_pFolder->m_nHandle;
}

void OutputFile::createNamed()
{
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::string temp = tempName(m_strName, static_cast<unsigned>(attempt));
        // Registered before it exists: an interrupt between the two would otherwise leave it.
        m_nSlot = SignalCleanup::add(*m_pFolder, temp.c_str());
        m_nHandle = win32::handleOf(::CreateFileW(win32::wide(m_pFolder->pathOf(temp)).c_str(),
                                                  GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_nHandle != kNoHandle) {
            m_strTempName = std::move(temp);
            return;
        }
        const DWORD error = ::GetLastError();
        SignalCleanup::remove(m_nSlot);
        m_nSlot = -1;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            throw win32::creationFailure(ErrorKind::cannotWrite, m_strPath, error);
    }
    throw FileError(ErrorKind::cannotWrite, m_strPath, "no free temporary name in its folder");
}

void OutputFile::allowUnnamed(bool) noexcept {}

void OutputFile::allowNoReplaceNaming(bool isAllowed) noexcept
{
    g_bNoReplaceNamingAllowed.store(isAllowed);
}

namespace {

// A name moveAsideAndIn gives a replaced file beside name: its temporary name and the aside
// suffix, nothing else.
bool isAsideName(const std::string& found, const std::string& prefix)
{
    const std::size_t suffix = sizeof kAsideSuffix - 1;
    return found.size() > prefix.size() + suffix && found.starts_with(prefix) &&
           found.ends_with(kAsideSuffix) &&
           OutputFile::tempNameWriter(std::string_view(found).substr(
               prefix.size(), found.size() - prefix.size() - suffix)) != 0;
}

} // namespace

bool OutputFile::recoverReplaced(const std::string& path)
{
    const std::wstring final = win32::wide(path);
    if (::GetFileAttributesW(final.c_str()) != INVALID_FILE_ATTRIBUTES ||
        ::GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    const auto [folder, name] = paths::split(path);
    const std::string stem = tempNamePrefix(name);
    WIN32_FIND_DATAW data{};
    const HANDLE find =
        ::FindFirstFileExW(win32::wide(paths::join(folder, stem + "*" + kAsideSuffix)).c_str(),
                           FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    // More than one is left only by runs stopped one after another: the newest is the latest.
    std::string newest;
    FILETIME newestTime{};
    do {
        const std::string found = win32::utf8(data.cFileName);
        if (isAsideName(found, stem) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            (newest.empty() || ::CompareFileTime(&data.ftLastWriteTime, &newestTime) > 0)) {
            newest = found;
            newestTime = data.ftLastWriteTime;
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    // Without the replace flag: a file that came to the name meanwhile is kept.
    return !newest.empty() && ::MoveFileExW(win32::wide(paths::join(folder, newest)).c_str(),
                                            final.c_str(), MOVEFILE_WRITE_THROUGH);
}

// Windows refuses those names itself, before the system is asked.
void OutputFile::refuseNamesAsFat(int) noexcept {}

OutputFile::~OutputFile()
{
    Discard();
}

// The number is a Windows error here.
FileError OutputFile::failure(int errorNumber) const
{
    return win32::failure(ErrorKind::cannotWrite, m_strPath, static_cast<DWORD>(errorNumber));
}

void OutputFile::Write(const void* buffer, std::size_t count)
{
    if (m_bCommitted || m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the file is not open");
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
        DWORD n = 0;
        if (!::WriteFile(handle(m_nHandle), p, ask, &n, nullptr))
            throw failure(static_cast<int>(::GetLastError()));
        if (n == 0)
            throw FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, EIO);
        p += n;
        count -= n;
        wrote(n);
    }
}

// Only the read-only bit has a meaning here: a file nobody may write.
void OutputFile::setPermissions(std::uint32_t mode)
{
    if (m_bCommitted || m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the file is not open");
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(handle(m_nHandle), FileBasicInfo, &info, sizeof info))
        throw failure(static_cast<int>(::GetLastError()));
    const DWORD old = info.FileAttributes;
    DWORD attributes =
        (mode & 0222) ? (old & ~DWORD{FILE_ATTRIBUTE_READONLY}) : (old | FILE_ATTRIBUTE_READONLY);
    if (attributes == old)
        return;
    if (attributes == 0)
        attributes = FILE_ATTRIBUTE_NORMAL;
    info = FILE_BASIC_INFO{};
    info.FileAttributes = attributes;
    if (!::SetFileInformationByHandle(handle(m_nHandle), FileBasicInfo, &info, sizeof info))
        throw failure(static_cast<int>(::GetLastError()));
}

// A new file takes its folder's inherited security as the archive did, and setPermissions gave
// it the read-only bit: there is no owner or mode beyond those to carry over.
void OutputFile::copyAttributesOf(const CFile&, std::uint32_t mode)
{
    setPermissions(mode);
}

// Windows writes back on its own; there is no start of write-back to ask for.
void OutputFile::wrote(std::uint64_t count) noexcept
{
    m_nWritten += count;
}

void OutputFile::closeFile()
{
    ::CloseHandle(handle(m_nHandle));
    m_nHandle = kNoHandle;
}

void OutputFile::Commit()
{
    if (m_bCommitted || m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the file is not open");
    try {
        if (m_bDurable && !::FlushFileBuffers(handle(m_nHandle)))
            throw failure(static_cast<int>(::GetLastError()));
        closeFile();
        // The archive may have been opened under this name since the file was made.
        checkTarget(m_strPath, m_existing == Existing::replaceOpen ? m_existing : Existing::replace,
                    m_pCheck);
        renameIntoPlace();
    } catch (...) {
        Discard();
        throw;
    }
    m_bCommitted = true;
    m_pFolder = nullptr;
}

void OutputFile::nameUnnamed() {}

void OutputFile::renameIntoPlace()
{
    const std::wstring temp = win32::wide(m_pFolder->pathOf(m_strTempName));
    const std::wstring final = win32::wide(m_strPath);
    // Write-through: the rename is on the disk when the call returns, as the folder's flush
    // ensures on POSIX.
    const DWORD durable = m_bDurable ? MOVEFILE_WRITE_THROUGH : 0;
    if (m_existing == Existing::keep) {
        // Without the replace flag the move refuses a name that came meanwhile.
        if (!g_bNoReplaceNamingAllowed.load(std::memory_order_relaxed)) {
            nameOverPlaceholder();
        } else if (!::MoveFileExW(temp.c_str(), final.c_str(), durable)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
                throw FileError(ErrorKind::keptExisting, m_strPath,
                                "already exists; kept as it was");
            throw win32::creationFailure(ErrorKind::cannotWrite, m_strPath, error);
        }
    } else if (!::MoveFileExW(temp.c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING | durable)) {
        const DWORD error = ::GetLastError();
        if (m_existing != Existing::replaceOpen ||
            (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
            throw win32::creationFailure(ErrorKind::cannotWrite, m_strPath, error);
        replaceHeldFile(temp, final, m_pFolder->pathOf(m_strTempName), m_strPath, durable);
    }
    SignalCleanup::remove(m_nSlot);
    m_nSlot = -1;
    m_strTempName.clear();
}

void OutputFile::nameOverPlaceholder()
{
    const std::wstring temp = win32::wide(m_pFolder->pathOf(m_strTempName));
    const std::wstring final = win32::wide(m_strPath);
    const HANDLE placeholder = ::CreateFileW(final.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (placeholder == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            throw FileError(ErrorKind::keptExisting, m_strPath, "already exists; kept as it was");
        throw win32::creationFailure(ErrorKind::cannotWrite, m_strPath, error);
    }
    ::CloseHandle(placeholder);
    // Between the two calls only an empty file has the name, which no reader takes for an
    // archive.
    if (!::MoveFileExW(temp.c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(final.c_str());
        throw failure(static_cast<int>(error));
    }
}

// A writer holds its file without letting it be deleted, so only an abandoned one goes.
void OutputFile::removeIfUnused(const CFolder& folder, const std::string& name) noexcept
{
    ::DeleteFileW(win32::wide(folder.pathOf(name)).c_str());
}

void OutputFile::Discard() noexcept
{
    if (m_nHandle != kNoHandle) {
        ::CloseHandle(handle(m_nHandle));
        m_nHandle = kNoHandle;
    }
    if (!m_bCommitted && !m_strTempName.empty() && m_pFolder)
        ::DeleteFileW(win32::wide(m_pFolder->pathOf(m_strTempName)).c_str());
    m_strTempName.clear();
    SignalCleanup::remove(m_nSlot);
    m_nSlot = -1;
    m_pFolder = nullptr;
}

} // namespace archive
