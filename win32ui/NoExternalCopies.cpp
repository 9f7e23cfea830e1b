#include "win32ui/NoExternalCopies.h"

#include "archive/ArchiveError.h"

std::string NoExternalCopies::extractFile(const archive::ArchiveReader&, std::uint32_t)
{
    throw archive::ArchiveError(archive::ErrorKind::internal, {},
                                "copies for other programs are not made on this system");
}
