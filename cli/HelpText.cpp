#include "cli/HelpText.h"

#include <string>

namespace cli {

std::string_view programHelp()
{
    return R"(Usage: velmora-dat COMMAND [OPTION...] ARGUMENT...
Lists, extracts, builds, checks and changes Velmora data archives (files named like
GAME00.DAT).

Commands:
  list [--type EXT] [--long] [--json] ARCHIVE
                 print the entries, one a line, in the entry list's order
  extract [--type EXT] ARCHIVE DEST [NAME...]
                 write the named entries, or every listed one, into DEST
  build FOLDER ARCHIVE
                 pack every file below FOLDER into a new archive
  check ARCHIVE  validate an archive without writing anything
  add [-C DIR] [--as NAME] [-k] [-n] [--wait SECONDS] ARCHIVE PATH...
                 put files into an archive, replacing entries of the same names
  delete [-n] [--wait SECONDS] ARCHIVE NAME...
                 take entries out of an archive
  rename [-n] [--wait SECONDS] ARCHIVE OLD NEW
                 give an entry another name, which may put it in another folder
  diff [--json] [-q] [-p NAME] [--patch PATCH] OLD NEW
                 compare two archives, or an archive and a folder, entry by entry
  patch [--force] [-n] ARCHIVE PATCH
                 apply a patch written by diff --patch to the archive it was made from
  mount [-r] [-f] [--commit-delay SECONDS] [--recover] ARCHIVE FOLDER
                 show the entries as files below FOLDER, changes going back into the
                 archive (Linux only)

Options:
  -h, --help     show this help; after a command, that command's help
  --version      show the program's version

Every command takes --encoding CODE (big5, gbk, shift-jis, utf-8 or auto, the default): the
code page entry names are stored in. Under auto an archive's names choose it: Big5, unless
they hold GBK, Shift-JIS or UTF-8 text clearly; the stored bytes never change with it.
Entry names are shown in UTF-8 with '\' between folder levels.

Exit status:
  0              success; diff: the two are equal
  1              the work failed, or check found an error; diff: the two differ
  2              a usage error; diff: also a comparison that could not be made
  130            interrupted (Ctrl-C, SIGINT): extract, build and the changes stop at a safe
                 point and say what they leave (a second interrupt ends at once)
  143            stopped by SIGTERM, as for 130
)";
}

namespace {

// Option lines more than one command's help ends with.
constexpr std::string_view kWaitOption = R"(  --wait SECONDS
                 while another program changes ARCHIVE, wait up to SECONDS (default 10)
                 for it to end, then work from its result; past that, fail with status 1
)";
constexpr std::string_view kHelpOption = "  -h, --help     show this help\n";

struct CommandHelp {
    std::string_view command;
    std::string_view text; // up to the shared option lines
    bool hasWait;          // the command waits for another program's change (--wait)
};

constexpr CommandHelp kCommandHelp[] = {
    {"list", R"(Usage: velmora-dat list [--type EXT] [--long] [--json] ARCHIVE
Prints the entries of ARCHIVE, one a line, sorted as the entry list sorts them (alphabetically,
ASCII letters without regard to case). Names are UTF-8 with '\' between folder levels; a byte
that is no character of the names' code page, or a control character, shows as U+F0000 + byte,
so every name stays on its line and can be given back to extract as printed.

Options:
  --type EXT     only entries whose name ends in EXT: BMP, DAT, EGA, SCR or WAV (any case;
                 the last three letters are compared, no dot is needed)
  --long         before each name, its size in bytes and its data offset, tab-separated,
                 after a first line naming the code page: # names: CODE (detected)
                 or, under --encoding, # names: CODE (chosen)
  --json         one JSON array of objects with name, name_hex (the stored bytes),
                 encoding and encoding_detected (the code page the name was read in and
                 whether the names chose it), size, offset and record (the position of
                 its directory record)
  --encoding CODE
                 read entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) reads them in the code page the archive's names show
)",
     false},
    {"extract", R"(Usage: velmora-dat extract [--type EXT] ARCHIVE DEST [NAME...]
Writes the named entries of ARCHIVE, or every listed entry when no NAME is given, below the
folder DEST (created when missing), recreating the folders their names hold. NAME is written as
list prints it; '/' may stand for '\'. A NAME that matches no entry is reported before anything
is written. An entry whose name would leave DEST stops the command with a message; files
written before it stay. An entry whose data lies past the end of the archive, whose name the
file system cannot hold, or whose name reaches a file written for an earlier entry (where case
is ignored) is reported and skipped; the others are written, a last line counts what was
written and skipped, and the exit status is 1. An interrupt (Ctrl-C) or SIGTERM drops the
entry under way and ends with status 130 (143 for SIGTERM).

Options:
  --type EXT     only entries whose name ends in EXT: BMP, DAT, EGA, SCR or WAV
  -k, --keep-old-files
                 keep every file that already exists in DEST and report it (the exit
                 status is then 1)
  --encoding CODE
                 read entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) reads them in the code page the archive's names show
)",
     false},
    {"build", R"(Usage: velmora-dat build FOLDER ARCHIVE
Packs every regular file below FOLDER, hidden files included, into the archive ARCHIVE. The
archive is written under a temporary name and put in place only when complete, so a failed or
interrupted build (status 130, 143 for SIGTERM) leaves an earlier file at ARCHIVE as it was.
An archive inside FOLDER is refused. A symbolic link is packed, with the bytes of the file it
leads to, only when that is a regular file inside FOLDER; any other link is skipped with a
notice naming it. A file whose name check would call an error (not in the code page, a level
over 255 bytes, on Windows a name Windows cannot hold) is refused before anything is written.

Options:
  --encoding CODE
                 write entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) writes Big5. A name CODE cannot hold is refused
)",
     false},
    {"check", R"(Usage: velmora-dat check ARCHIVE
Validates ARCHIVE without writing anything: the directory's structure, every entry's data
inside the file, and names valid in their code page and safe to extract are errors; overlapping
data, names that extract to the same file, names equal but for letter case (one file where case
is ignored) and names Windows or FAT cannot hold are warnings (errors on Windows, which cannot
extract them). build, add and rename give no entry a name that is an error here, and delete
and rename of such an entry are how an archive is mended. Prints one line per problem on
standard error and a summary line with the counts on standard output; the exit status is 1
when an error was found.

Options:
  --encoding CODE
                 read entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) reads them in the code page the archive's names show
)",
     false},
    {"add",
     R"(Usage: velmora-dat add [-C DIR] [--as NAME] [-k] [-n] [--wait SECONDS] ARCHIVE PATH...
Puts files into ARCHIVE: each PATH, a file or a folder with every file below it (as build
walks it, links that lead elsewhere skipped with a notice), becomes the entry named by its
path relative to DIR, '\' between levels. An entry of the same name is replaced; a name check
would call an error is refused. A missing ARCHIVE is created. The archive is written again
beside the old one, laid out as build lays out a folder (trailing bytes, padding and reserved
fields of the old one are not kept), and put in place only when complete: after a failure or
an interrupt (status 130, 143 for SIGTERM) the old archive is as it was. A link to ARCHIVE is
followed (a link to nothing creates the file it names, when that folder exists), and the
archive keeps its permissions where the file system keeps any, and its owner, group and
extended attributes where this user may set them (set-ID bits only with the owner). Two
changes of one archive never run at once: the later one waits (--wait) and then applies itself
to the earlier one's result. A summary line counts the entries added, replaced, deleted and
renamed, and says when other hard links to ARCHIVE keep the old archive.

Options:
  -C, --directory DIR
                 read each relative PATH from DIR and name it by its path there, as tar -C
                 does (default: the current folder); an absolute PATH must lie below DIR
  --as NAME      the entry's name for a single file PATH ('/' may stand for '\')
  -k, --keep-old-files
                 keep every entry that already has the name and report it (the exit
                 status is then 1)
  -n, --dry-run  print each entry that would be added or replaced, and a line when the
                 archive's layout would change beyond them; write nothing
  --encoding CODE
                 read entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) reads them in the code page the archive's names show. New names
                 are written in it (Big5 for a new archive under auto); a name it cannot
                 hold is refused
)",
     true},
    {"delete", R"(Usage: velmora-dat delete [-n] [--wait SECONDS] ARCHIVE NAME...
Takes the named entries out of ARCHIVE. NAME is written as list prints it; '/' may stand for
'\'. A NAME that matches no entry, or that two entries share, is reported and nothing is
changed. The archive is written again and put in place only when complete, laid out as add
lays it out.

Options:
  -n, --dry-run  print each entry that would be deleted, and a line when the archive's
                 layout would change beyond them; write nothing
  --encoding CODE
                 read entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) reads them in the code page the archive's names show
)",
     true},
    {"rename", R"(Usage: velmora-dat rename [-n] [--wait SECONDS] ARCHIVE OLD NEW
Gives the entry OLD the name NEW; a NEW with other folder levels ('\' or '/' between them)
moves the entry to another folder. OLD is matched as extract matches names. A NEW that is
already another entry's name, or that check would call an error, is refused; a NEW that is
OLD's own name is nothing to do. The archive is written again and put in place only when
complete, laid out as add lays it out.

Options:
  -n, --dry-run  print the change, and a line when the archive's layout would change
                 beyond it; write nothing
  --encoding CODE
                 read entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) reads them in the code page the archive's names show; the new
                 name is written in it
)",
     true},
    {"diff", R"(Usage: velmora-dat diff [--json] [-q] [-p NAME] [--patch PATCH] OLD NEW
Compares OLD and NEW, each an archive or a folder (a folder is walked as build walks it, so
its files are named as they would be packed). Prints one line per entry that differs, in the
entry list's order (a tab after the letter), and a summary line:
  A NAME             added: only in NEW
  D NAME             deleted: only in OLD
  M NAME             changed: in both, of another size or other bytes
  R OLD -> NEW       renamed: gone from one name, the same bytes come under another
                     (found by content; empty entries are never taken as renamed)
Names are paired by their exact bytes, so names equal but for case are two names. Bytes are
read only where sizes agree, both sides a chunk at a time. The exit status is 0 when OLD and
NEW are equal, 1 when they differ, 2 on trouble (a file that cannot be read, a damaged
archive, a usage error).

Options:
  --json         one JSON object: old, new, differences (an array of objects with status,
                 and for each side present old_/new_ name, name_hex, size and hash, a 64-bit
                 XXH64 of the bytes in hex), and the counts added, deleted, changed, renamed
                 and unchanged
  -q, --quiet    print nothing; only the exit status tells
  -p, --text NAME
                 show the entry NAME (as list prints it; '/' may stand for '\') as a unified
                 diff of its lines, decoded from code page 950 (Big5) and printed in UTF-8; a
                 CR before a line end is not shown. Texts over 8 MiB, and differing
                 stretches of more than about 16,000 lines on each side, are refused
  --patch PATCH  also write the differences into the archive PATCH, for patch to apply: the
                 added and changed entries' bytes, and the entry VELMORA.PATCH, a text of
                 one line each, fields separated by tabs:
                   velmora-patch 1
                   from DIGEST COUNT   the content digest and entry count of OLD
                   to DIGEST COUNT     the same of NEW
                   delete NAME
                   rename OLD NEW
                   add NAME            the patch's entry NAME goes in, replacing one there
                 (writing it reads every entry of OLD and NEW, for their digests)
  --encoding CODE
                 read entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) reads them in the code page the archive's names show, and
                 makes a folder's names in the code page of the archive beside it
)",
     false},
    {"patch", R"(Usage: velmora-dat patch [--force] [-n] ARCHIVE PATCH
Applies PATCH, written by 'diff OLD NEW --patch PATCH', to ARCHIVE: its deletions, renames and
added or changed entries, in one update that writes the archive again and puts it in place
only when complete, as add does. ARCHIVE must hold what OLD held (its content digest is
compared, reading every entry): another archive is refused and left as it was, and an archive
that already holds what NEW held is refused as already patched. The result is the archive
build makes of NEW's files.

Options:
  --force        apply the patch to an archive that is not its OLD; a change that cannot be
                 made there (a missing name) stops it, with nothing written
  -n, --dry-run  print each change that would be made, and write nothing
  --encoding CODE
                 read entry names in CODE: big5, gbk, shift-jis or utf-8; auto (the
                 default) reads them in the code page the archive's names show
)",
     false},
};

} // namespace

std::string commandHelp(std::string_view command)
{
    for (const CommandHelp& help : kCommandHelp) {
        if (help.command == command)
            return std::string(help.text) + std::string(help.hasWait ? kWaitOption : "") +
                   std::string(kHelpOption);
    }
    if (command == "mount") {
        return R"(Usage: velmora-dat mount [-r] [-f] [--commit-delay SECONDS] [--recover] ARCHIVE FOLDER
Shows the entries of ARCHIVE as files below FOLDER, their name levels as folders, named as
extract names them; any program may read and change them there. Reading reads the archive in
place. Changed and new files wait in the hidden folder .ARCHIVE.velmora-mount beside the archive
and go into the archive in one update, as add puts files in, once the folder has been quiet for
the delay and when the mount ends; reads meanwhile see the old or the new bytes, never a mix.
A name the archive's code page cannot hold is refused with EILSEQ, one too long with ENAMETOOLONG, one
that differs only by case from a file or folder beside it with EEXIST. An empty folder lasts
until the mount ends: the archive keeps no folders. Unmount with 'fusermount3 -u FOLDER' (or
Ctrl-C with --foreground). An archive another program changes while mounted is not written
over: the changes stay in the hidden folder, and the next mount says so; --recover puts them
in. Linux only: elsewhere the command ends with status 2. Exit status: 0 when everything went
in, 1 when changes were left in the hidden folder or the mount failed.

Options:
  -r, --read-only
                 refuse every change
  -f, --foreground
                 stay in the foreground until unmounted (Ctrl-C unmounts); otherwise the
                 command returns once the folder is mounted
  --commit-delay SECONDS
                 quiet time before a commit (default 2); 0 commits only when unmounted
  --recover      put in first what an earlier mount that was killed left pending
  --encoding CODE
                 read and write entry names in CODE: big5, gbk, shift-jis or utf-8; auto
                 (the default) uses the code page the archive's names show
  --wait SECONDS
                 how long a commit waits for another program's change (default 10)
  -h, --help     show this help
)";
    }
    return {};
}

} // namespace cli
