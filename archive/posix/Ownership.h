#pragma once

#include <cstdint>
#include <string>

// What makes a file someone's beyond its bytes: owner, group, extended attributes.
namespace archive::posix {

// Gives the open file to the owner and group and extended attributes (POSIX ACLs among them)
// of the open file from, as far as this process may and the file system holds them, and
// returns the permission bits mode leaves once the set-user-ID and set-group-ID bits are gone
// that would go to someone other than from's owner or group. Throws FileError naming path for
// a failure other than a refusal.
std::uint32_t copyOwnership(int from, int to, std::uint32_t mode, const std::string& path);

} // namespace archive::posix
