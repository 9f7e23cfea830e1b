#include "archive/posix/Ownership.h"

#include "archive/ArchiveError.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace archive::posix {

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";
// File capabilities grant privilege as the set-user-ID bit does.
constexpr char kCapabilities[] = "security.capability";

// The file system holds no such attribute, or this process may not set it: the attribute is
// left out, as an owner that cannot be kept is.
bool isRefusal(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM || error == EACCES;
}

// What read gives, asked again when it outgrew the size first reported. nullopt when the file
// system holds no attributes or the attribute has gone meanwhile.
template <typename Read>
std::optional<std::vector<char>> readGrowing(Read read, const std::string& path)
{
    for (;;) {
        const ssize_t size = read(nullptr, 0);
        if (size >= 0) {
            std::vector<char> bytes(static_cast<std::size_t>(size));
            const ssize_t got = read(bytes.data(), bytes.size());
            if (got >= 0) {
                bytes.resize(static_cast<std::size_t>(got));
                return bytes;
            }
        }
        if (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP)
            return std::nullopt;
        if (errno != ERANGE)
            throw FileError::fromErrno(ErrorKind::cannotWrite, path, errno);
    }
}

void copyAttributes(int from, int to, bool isOwnerKept, const std::string& path)
{
    const std::optional<std::vector<char>> names = readGrowing(
        [&](char* list, std::size_t size) { return ::flistxattr(from, list, size); }, path);
    bool hasAccessAcl = false;
    // The list is names, each ended by a NUL.
    for (std::size_t at = 0; names && at < names->size(); at += std::strlen(&(*names)[at]) + 1) {
        const char* name = &(*names)[at];
        hasAccessAcl = hasAccessAcl || std::strcmp(name, kAccessAcl) == 0;
        if (!isOwnerKept && std::strcmp(name, kCapabilities) == 0)
            continue;
        const std::optional<std::vector<char>> value = readGrowing(
            [&](char* bytes, std::size_t size) { return ::fgetxattr(from, name, bytes, size); },
            path);
        if (value && ::fsetxattr(to, name, value->data(), value->size(), 0) != 0 &&
            !isRefusal(errno))
            throw FileError::fromErrno(ErrorKind::cannotWrite, path, errno);
    }
    // One the new file took from its folder's default would let others in that were kept out.
    if (!hasAccessAcl)
        ::fremovexattr(to, kAccessAcl);
}

} // namespace

std::uint32_t copyOwnership(int from, int to, std::uint32_t mode, const std::string& path)
{
    struct stat source {};
    struct stat target {};
    if (::fstat(from, &source) != 0 || ::fstat(to, &target) != 0)
        throw FileError::fromErrno(ErrorKind::cannotWrite, path, errno);
    bool isOwnerKept = target.st_uid == source.st_uid;
    bool isGroupKept = target.st_gid == source.st_gid;
    // Any failure (no right, ids the file system cannot hold) leaves the file this process's.
    if ((!isOwnerKept || !isGroupKept) && ::fchown(to, source.st_uid, source.st_gid) == 0)
        isOwnerKept = isGroupKept = true;
    else if (!isGroupKept) // a member of the group may give it the group alone
        isGroupKept = ::fchown(to, static_cast<uid_t>(-1), source.st_gid) == 0;
    copyAttributes(from, to, isOwnerKept, path);
    if (!isOwnerKept)
        mode &= ~std::uint32_t{S_ISUID | S_ISGID};
    else if (!isGroupKept)
        mode &= ~std::uint32_t{S_ISGID};
    return mode;
}

} // namespace archive::posix
