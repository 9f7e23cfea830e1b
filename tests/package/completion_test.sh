#!/usr/bin/env bash
# Asks the velmora-dat completion for the words it offers after a few command lines, the way
# bash does on Tab, in a folder holding archives in several cases, other files and a folder.
set -uo pipefail
completion="$(realpath "$1")"
framework="${BASH_COMPLETION_FRAMEWORK:-/usr/share/bash-completion/bash_completion}"
if [ ! -r "$framework" ]; then
    echo "bash-completion is not installed; skipped"
    exit 77
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
touch GAME00.DAT game01.dat Mixed.Dat notes.txt dat
mkdir sub
touch sub/inside.bmp

# shellcheck disable=SC1090
source "$framework"
# shellcheck disable=SC1090
source "$completion"

# Splits LINE as readline does (blanks, and "=" as a word of its own), runs the completion
# function and prints the offered words sorted on one line.
complete_line()
{
    local line="$1" spaced words=()
    spaced="${line//=/ = }"
    read -ra words <<<"$spaced"
    [[ $line == *' ' ]] && words+=("")
    COMP_LINE="$line"
    COMP_POINT=${#line}
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    COMPREPLY=()
    _velmora_dat velmora-dat "${words[COMP_CWORD]}" "${words[COMP_CWORD - 1]}" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd' '
}

failures=0
while IFS='|' read -r line expected; do
    [ -z "$line" ] && continue
    actual="$(complete_line "$line")"
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: '$line' offers '$actual', expected '$expected'"
        failures=$((failures + 1))
    fi
done <<'TABLE'
velmora-dat |add build check delete diff extract list mount patch rename
velmora-dat mount -|--commit-delay --encoding --foreground --help --read-only --recover --wait -f -h -r
velmora-dat mount --commit-delay |
velmora-dat mount --commit-delay 0 -r G|GAME00.DAT
velmora-dat mount GAME00.DAT |sub
velmora-dat ex|extract
velmora-dat de|delete
velmora-dat d|delete diff
velmora-dat diff -p x G|GAME00.DAT
velmora-dat diff --patch |GAME00.DAT Mixed.Dat game01.dat sub
velmora-dat diff GAME00.DAT game01.dat |
velmora-dat patch --|--dry-run --encoding --force --help
velmora-dat -|--help --version -h
velmora-dat --help |add build check delete diff extract list mount patch rename
velmora-dat list -|--encoding --help --json --long --type -h
velmora-dat extract --|--encoding --help --keep-old-files --type
velmora-dat extract -k --t|--type
velmora-dat extract -|--encoding --help --keep-old-files --type -h -k
velmora-dat extract -k GAME00.DAT |sub
velmora-dat build -|--encoding --help -h
velmora-dat build --encoding |auto big5 gbk shift-jis utf-8
velmora-dat list --encoding g|gbk
velmora-dat list --encoding gbk |GAME00.DAT Mixed.Dat game01.dat sub
velmora-dat check --l|
velmora-dat list --type |BMP DAT EGA SCR WAV
velmora-dat extract --type s|scr
velmora-dat list --type=W|WAV
velmora-dat list |GAME00.DAT Mixed.Dat game01.dat sub
velmora-dat check g|game01.dat
velmora-dat list --long M|Mixed.Dat
velmora-dat list GAME00.DAT |
velmora-dat extract GAME00.DAT |sub
velmora-dat extract --type BMP GAME00.DAT |sub
velmora-dat extract --type=BMP GAME00.DAT |sub
velmora-dat extract -- G|GAME00.DAT
velmora-dat extract -- --|
velmora-dat build |sub
velmora-dat build sub |GAME00.DAT Mixed.Dat game01.dat sub
velmora-dat add -|--as --directory --dry-run --encoding --help --keep-old-files --wait -C -h -k -n
velmora-dat delete --|--dry-run --encoding --help --wait
velmora-dat delete --wait |
velmora-dat rename --wait 5 G|GAME00.DAT
velmora-dat add GAME00.DAT |GAME00.DAT Mixed.Dat dat game01.dat notes.txt sub
velmora-dat add -C |sub
velmora-dat add -C sub G|GAME00.DAT
velmora-dat add -C sub GAME00.DAT i|inside.bmp
velmora-dat add --directory=sub GAME00.DAT |inside.bmp
velmora-dat add --as x.bmp GAME00.DAT n|notes.txt
velmora-dat add --as |
velmora-dat delete |GAME00.DAT Mixed.Dat game01.dat sub
velmora-dat rename -n G|GAME00.DAT
velmora-dat rename GAME00.DAT |
velmora-dat frobnicate |
TABLE

if [ "$failures" -gt 0 ]; then
    echo "$failures completion case(s) failed"
    exit 1
fi
echo "completion: all cases pass"
