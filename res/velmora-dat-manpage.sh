#!/bin/sh
# Writes velmora-dat's manual page from the program's own help texts, so the page cannot drift
# from the program: help2man reads --help and --version, and each command's help follows in a
# section of its own. Usage: velmora-dat-manpage.sh PROGRAM OUTPUT.1.gz
set -eu
program="$1"
output="$2"
page="${output%.gz}"
include="$page.h2m"

# One command's help as roff: prose is filled, option lines become tagged paragraphs.
to_roff()
{
    awk '
        { gsub(/\\/, "\\e"); sub(/^[.\047]/, "\\\\&&") }
        NR == 1 { sub(/^Usage: /, ""); gsub(/-/, "\\-"); print ".PP\n.B " $0 "\n.PP"; next }
        /^$/ { print ".PP"; next }
        /^[^ ].*:$/ { print ".PP\n" $0; next }
        /^  [^ ]/ {
            sub(/^  /, "")
            tag = $0; sub(/   *.*/, "", tag)
            # A tag too long for the column has its description on the lines below.
            text = $0
            if (!sub(/^[^ ]*( [^ ]+)* *  /, "", text))
                text = ""
            gsub(/-/, "\\-", tag)
            print ".TP\n" tag
            if (text != "")
                print text
            next
        }
        { sub(/^ +/, ""); print }
    '
}

{
    echo "[COMMANDS IN DETAIL]"
    for command in list extract build check add delete rename diff patch mount; do
        echo ".SS $command"
        help="$("$program" "$command" --help)"
        [ -n "$help" ] || { echo "$program $command --help printed nothing" >&2; exit 1; }
        printf '%s\n' "$help" | to_roff
    done
} >"$include"

help2man --no-info --section=1 --source=Velmora \
    --name="list, extract, build, check and change Velmora game data archives" \
    --include="$include" --output="$page.tmp" "$program"

# help2man tags only lines starting with a dash; the command list gets the same layout.
awk '
    pending != "" && /^\.IP$/ { print ".TP\n" pending; pending = ""; held = 0; next }
    pending != "" { print ".IP\n" pending; pending = "" }
    held && !/^\./ { pending = $0; held = 0; next }
    held { print ".IP"; held = 0 }
    /^\.IP$/ { held = 1; next }
    { print }
    END { if (held) print ".IP"; if (pending != "") print ".IP\n" pending }
' "$page.tmp" >"$page"
rm -f "$page.tmp"
gzip -9nf "$page"
