#include "cli/HelpText.h"

namespace cli {

std::string_view programHelp()
{
    return R"(Usage: velmora-dat COMMAND [OPTION...] ARGUMENT...
Lists, extracts, builds and checks Velmora data archives (files named like GAME00.DAT).

Commands:
  list [--type EXT] [--long] [--json] ARCHIVE
                 print the entries, one a line, in the entry list's order
  extract [--type EXT] ARCHIVE DEST [NAME...]
                 write the named entries, or every listed one, into DEST
  build FOLDER ARCHIVE
                 pack every file below FOLDER into a new archive
  check ARCHIVE  validate an archive without writing anything

Options:
  -h, --help     show this help; after a command, that command's help
  --version      show the program's version

Entry names are shown in UTF-8 with '\' between folder levels. Exit status: 0 on success,
1 when the work failed or check found an error, 2 on a usage error.
)";
}

std::string_view commandHelp(std::string_view command)
{
    if (command == "list") {
        return R"(Usage: velmora-dat list [--type EXT] [--long] [--json] ARCHIVE
Prints the entries of ARCHIVE, one a line, sorted as the entry list sorts them (alphabetically,
ASCII letters without regard to case). Names are UTF-8 with '\' between folder levels; a byte
that is no code page 950 character, or a control character, shows as U+F0000 + byte, so every
name stays on its line and can be given back to extract as printed.

Options:
  --type EXT     only entries whose name ends in EXT: BMP, DAT, EGA, SCR or WAV (any case;
                 the last three letters are compared, no dot is needed)
  --long         before each name, its size in bytes and its data offset, tab-separated
  --json         one JSON array of objects with name, name_hex (the stored bytes), size,
                 offset and record (the position of its directory record)
  -h, --help     show this help
)";
    }
    if (command == "extract") {
        return R"(Usage: velmora-dat extract [--type EXT] ARCHIVE DEST [NAME...]
Writes the named entries of ARCHIVE, or every listed entry when no NAME is given, below the
folder DEST (created when missing), recreating the folders their names hold. NAME is written as
list prints it; '/' may stand for '\'. A NAME that matches no entry is reported before anything
is written. An entry whose name would leave DEST, or whose data lies past the end of the
archive, stops the command with a message; files written before it stay. An interrupt
(Ctrl-C) or SIGTERM drops the entry under way and ends with status 130 (143 for SIGTERM).

Options:
  --type EXT     only entries whose name ends in EXT: BMP, DAT, EGA, SCR or WAV
  -k, --keep-old-files
                 keep every file that already exists in DEST and report it; the exit
                 status is then 1
  -h, --help     show this help
)";
    }
    if (command == "build") {
        return R"(Usage: velmora-dat build FOLDER ARCHIVE
Packs every regular file below FOLDER, hidden files included, into the archive ARCHIVE. The
archive is written under a temporary name and put in place only when complete, so a failed or
interrupted build leaves an earlier file at ARCHIVE as it was. An archive inside FOLDER is
refused. A symbolic link is packed, with the bytes of the file it leads to, only when that is a
regular file inside FOLDER; any other link is skipped with a notice naming it.

Options:
  -h, --help     show this help
)";
    }
    if (command == "check") {
        return R"(Usage: velmora-dat check ARCHIVE
Validates ARCHIVE without writing anything: the directory's structure, every entry's data
inside the file, and names valid in code page 950 and safe to extract are errors; overlapping
data and names that extract to the same file are warnings. Prints one line per problem on
standard error and a summary line with the counts on standard output; the exit status is 1
when an error was found.

Options:
  -h, --help     show this help
)";
    }
    return {};
}

} // namespace cli
