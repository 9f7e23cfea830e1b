#pragma once

// Switches that make this machine behave as another file system would, so tests reach the paths
// the programs take elsewhere. Only tests include this; the programs never switch anything.
namespace archive::seams {

// false makes every later output a named temporary file, as on a file system without unnamed
// files.
void allowUnnamedFiles(bool isAllowed) noexcept;
// false makes keep mode name its files as on a file system with neither a rename that refuses to
// replace nor hard links.
void allowNoReplaceNaming(bool isAllowed) noexcept;
// Non-zero makes creating any file or folder whose name FAT refuses fail with this error number,
// as on such a file system (EINVAL for the kernel's, EPERM through FUSE); 0 ends it. POSIX only:
// Windows refuses those names itself.
void refuseNamesAsFat(int errorNumber) noexcept;
// Non-zero makes setting permissions fail with this error number, as on a file system that
// keeps none (FAT through FUSE says ENOSYS); 0 ends it. POSIX only.
void refusePermissions(int errorNumber) noexcept;

} // namespace archive::seams
