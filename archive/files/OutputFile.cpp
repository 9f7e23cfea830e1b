#include "archive/files/OutputFile.h"

#include "archive/files/CFile.h"
#include "archive/files/CFolder.h"
#include "archive/files/Platform.h"
#include "archive/files/Processes.h"
#include "archive/files/SignalCleanup.h"
#include "archive/format/Paths.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string_view>

namespace archive {

namespace {

// Temporary names must stay within a component's 255 bytes however long the final name is.
constexpr std::size_t kTempNameStemBytes = 200;
constexpr std::size_t kTagDigits = 8;
constexpr int kTempNameAttempts = 100;

} // namespace

std::string OutputFile::tempNamePrefix(const std::string& name)
{
    std::string stem = name.substr(0, kTempNameStemBytes);
    // Cut between UTF-8 characters, or the name would not convert on Windows.
    while (!stem.empty() && stem.size() < name.size() &&
           (static_cast<unsigned char>(name[stem.size()]) & 0xC0) == 0x80)
        stem.pop_back();
    return "." + stem + ".part-";
}

long long OutputFile::tempNameWriter(std::string_view rest)
{
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 10 ||
        rest.size() != dash + 1 + kTagDigits)
        return 0;
    long long id = 0;
    for (const char c : rest.substr(0, dash)) {
        if (c < '0' || c > '9')
            return 0;
        id = id * 10 + (c - '0');
    }
    for (const char c : rest.substr(dash + 1)) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return 0;
    }
    return id;
}

std::string OutputFile::tempName(const std::string& name, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned seed = std::random_device{}();
    const unsigned tag = seed ^ (++counter * 2654435761u) ^ attempt;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%lld-%08x", processes::currentId(), tag);
    return tempNamePrefix(name) + suffix;
}

void OutputFile::removeLeftovers(const CFolder& folder, const std::string& name) noexcept
{
    try {
        const std::string prefix = tempNamePrefix(name);
        for (const FolderItem& item : folder.items()) {
            if (item.kind != FolderItem::Kind::file || !item.name.starts_with(prefix))
                continue;
            // A live writer's file is never touched, even in the moments it is not held open.
            const long long writer =
                tempNameWriter(std::string_view(item.name).substr(prefix.size()));
            if (writer != 0 && !processes::runsThisProgram(writer))
                platform::removeIfUnused(folder.m_nHandle, folder.pathOf(item.name), item.name);
        }
    } catch (...) {
        // A folder that cannot be listed keeps its leftovers; the change goes on.
    }
}

OutputFile::OutputFile(const CFolder& folder, const std::string& name, Existing existing,
                       const ExistingCheck* check)
    : m_strName(name), m_strPath(folder.pathOf(name)), m_existing(existing), m_pCheck(check)
{
    if (!folder.isOpen())
        throw FileError(ErrorKind::internal, m_strPath, "the folder is not open");
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(platform::levelBreakers()) != std::string::npos)
        throw FileError(ErrorKind::unsafeName, m_strPath, "is not a file name");
    platform::requireHostableName(m_strPath, name);
    m_pFolder = &folder;
    // A name in a folder made by this program is free unless naming says otherwise.
    m_bTargetSeen = !folder.wasCreated() && checkTarget(existing, check);
    if (platform::seamAllowsUnnamed()) {
        if (const platform::ErrorCode error = platform::createUnnamed(folderHandle(), m_nHandle))
            throw failure(error);
        m_bUnnamed = m_nHandle != kNoHandle;
        if (m_bUnnamed)
            return;
    }
    createNamed();
}

OutputFile::~OutputFile()
{
    Discard();
}

NativeHandle OutputFile::folderHandle() const noexcept
{
    return m_pFolder->m_nHandle;
}

FileError OutputFile::failure(std::uint32_t error) const
{
    return platform::failure(ErrorKind::cannotWrite, m_strPath, error);
}

void OutputFile::requireOpen() const
{
    if (m_bCommitted || m_nHandle == kNoHandle)
        throw FileError(ErrorKind::internal, m_strPath, "the file is not open");
}

bool OutputFile::checkTarget(Existing existing, const ExistingCheck* check) const
{
    const platform::Target target = platform::targetAt(folderHandle(), m_strPath, m_strName);
    if (!target.exists)
        return false;
    if (target.isFolder)
        throw FileError(ErrorKind::inTheWay, m_strPath, "is a folder");
    if (check && target.isRegular)
        (*check)(target.id);
    if (existing == Existing::keep)
        throw FileError(ErrorKind::keptExisting, m_strPath, "already exists; kept as it was");
    if (target.isRegular && existing != Existing::replaceOpen &&
        CFile::isHeldOpen(target.id.device, target.id.inode))
        throw FileError(ErrorKind::alreadyOpen, m_strPath,
                        "is open in this program and cannot be replaced");
    // Naming over the file would bypass its own permission.
    if (target.writeRefusal != 0)
        throw platform::failure(ErrorKind::cannotWrite, m_strPath, target.writeRefusal);
    return true;
}

void OutputFile::createNamed()
{
    takeTempName([this](const std::string& temp) {
        return platform::createExclusive(folderHandle(), m_pFolder->pathOf(temp), temp, m_nHandle);
    });
}

void OutputFile::takeTempName(const std::function<std::uint32_t(const std::string&)>& make)
{
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::string temp = tempName(m_strName, static_cast<unsigned>(attempt));
        // Registered before it exists: a signal between the two would otherwise leave it.
        m_nSlot = SignalCleanup::add(*m_pFolder, temp.c_str());
        const platform::ErrorCode error = make(temp);
        if (error == 0) {
            m_strTempName = std::move(temp);
            return;
        }
        SignalCleanup::remove(m_nSlot);
        m_nSlot = -1;
        if (!platform::isExistsError(error))
            throw platform::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
    }
    throw FileError(ErrorKind::cannotWrite, m_strPath, "no free temporary name in its folder");
}

bool OutputFile::recoverReplaced(const std::string& path)
{
    return platform::recoverReplaced(path, tempNamePrefix(paths::fileName(path)));
}

void OutputFile::Write(const void* buffer, std::size_t count)
{
    requireOpen();
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        std::size_t n = 0;
        if (const platform::ErrorCode error = platform::writeSome(m_nHandle, p, count, n))
            throw failure(error);
        if (n == 0)
            throw FileError::fromErrno(ErrorKind::cannotWrite, m_strPath, EIO);
        p += n;
        count -= n;
        wrote(n);
    }
}

void OutputFile::setPermissions(std::uint32_t mode)
{
    requireOpen();
    if (const platform::ErrorCode error = platform::setPermissions(m_nHandle, mode))
        throw failure(error);
}

void OutputFile::copyAttributesOf(const CFile& file, std::uint32_t mode)
{
    requireOpen();
    setPermissions(platform::carryOwnership(file.m_nHandle, m_nHandle, mode, m_strPath));
}

void OutputFile::wrote(std::uint64_t count) noexcept
{
    // Large enough that the disk sees long runs, small enough that it never idles meanwhile.
    constexpr std::uint64_t kWriteBackBytes = 8 * 1024 * 1024;
    m_nWritten += count;
    if (!m_bDurable || m_nWritten - m_nWriteBackFrom < kWriteBackBytes)
        return;
    // Only a start, with no wait: a failure shows at Commit's flush, which is never skipped.
    platform::startWriteBack(m_nHandle, m_nWriteBackFrom, m_nWritten - m_nWriteBackFrom);
    m_nWriteBackFrom = m_nWritten;
}

void OutputFile::closeFile()
{
    const platform::ErrorCode error = platform::closeReporting(m_nHandle);
    m_nHandle = kNoHandle;
    if (error != 0)
        throw failure(error);
}

void OutputFile::Commit()
{
    requireOpen();
    try {
        if (m_bDurable) {
            if (const platform::ErrorCode error = platform::syncFile(m_nHandle))
                throw failure(error);
        }
        if (m_bUnnamed) {
            nameUnnamed();
        } else {
            closeFile();
            // The archive may have been opened under this name since the file was made.
            checkTarget(m_existing == Existing::replaceOpen ? m_existing : Existing::replace,
                        m_pCheck);
            renameIntoPlace();
        }
    } catch (...) {
        Discard();
        throw;
    }
    m_bCommitted = true;
    if (m_nHandle != kNoHandle) {
        platform::close(m_nHandle);
        m_nHandle = kNoHandle;
    }
    const NativeHandle folder = folderHandle();
    m_pFolder = nullptr;
    if (m_bDurable) {
        if (const platform::ErrorCode error = platform::syncFolder(folder))
            throw failure(error);
    }
}

void OutputFile::nameUnnamed()
{
    // Nothing had the name when the file was made: it is named in one step, without ever
    // replacing something that came meanwhile.
    if (!m_bTargetSeen) {
        const platform::ErrorCode error =
            platform::nameUnnamed(m_nHandle, folderHandle(), m_strName);
        if (error == 0)
            return;
        if (!platform::isExistsError(error))
            throw platform::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
    }
    checkTarget(m_existing, m_pCheck);
    takeTempName([this](const std::string& temp) {
        return platform::nameUnnamed(m_nHandle, folderHandle(), temp);
    });
    renameIntoPlace();
}

void OutputFile::renameIntoPlace()
{
    const std::string tempPath = m_pFolder->pathOf(m_strTempName);
    const bool isKeeping = m_existing == Existing::keep;
    const platform::ErrorCode error =
        isKeeping && !platform::seamAllowsNoReplaceNaming()
            ? 0
            : platform::renameIn(folderHandle(), tempPath, m_strTempName, m_strPath, m_strName,
                                 !isKeeping, m_bDurable);
    if (isKeeping && (!platform::seamAllowsNoReplaceNaming() || platform::isUnsupported(error))) {
        // Some file systems (FAT through FUSE) can refuse to replace neither way.
        nameOverPlaceholder();
    } else if (isKeeping && platform::isExistsError(error)) {
        // Whatever came to the name meanwhile is kept too.
        throw FileError(ErrorKind::keptExisting, m_strPath, "already exists; kept as it was");
    } else if (m_existing == Existing::replaceOpen && platform::isHeldRefusal(error)) {
        platform::replaceHeldFile(tempPath, m_strPath, m_bDurable);
    } else if (error != 0) {
        throw platform::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
    }
    SignalCleanup::remove(m_nSlot);
    m_nSlot = -1;
    m_strTempName.clear();
}

void OutputFile::nameOverPlaceholder()
{
    NativeHandle placeholder = kNoHandle;
    platform::ErrorCode error =
        platform::createExclusive(folderHandle(), m_strPath, m_strName, placeholder);
    if (platform::isExistsError(error))
        throw FileError(ErrorKind::keptExisting, m_strPath, "already exists; kept as it was");
    if (error != 0)
        throw platform::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
    platform::close(placeholder);
    // Between the two calls only an empty file has the name, which no reader takes for an
    // archive; a signal then removes it.
    const int slot = SignalCleanup::add(*m_pFolder, m_strName.c_str());
    error = platform::renameIn(folderHandle(), m_pFolder->pathOf(m_strTempName), m_strTempName,
                               m_strPath, m_strName, true, false);
    if (error != 0)
        platform::removeName(folderHandle(), m_strPath, m_strName);
    SignalCleanup::remove(slot);
    if (error != 0)
        throw platform::creationFailure(ErrorKind::cannotWrite, m_strPath, m_strName, error);
}

void OutputFile::Discard() noexcept
{
    if (m_nHandle != kNoHandle) {
        platform::close(m_nHandle);
        m_nHandle = kNoHandle;
    }
    if (!m_bCommitted && !m_strTempName.empty() && m_pFolder)
        platform::removeName(folderHandle(), m_pFolder->pathOf(m_strTempName), m_strTempName);
    m_strTempName.clear();
    SignalCleanup::remove(m_nSlot);
    m_nSlot = -1;
    m_pFolder = nullptr;
}

} // namespace archive
