#!/usr/bin/env bash
# Writes velmora-dat's manual page with the packaging script and reads it back through man:
# every option of every command shows once, as a tag followed by its own description.
set -uo pipefail
script="$(realpath "$1")"
program="$(realpath "$2")"
if ! command -v help2man >/dev/null || ! command -v man >/dev/null; then
    echo "help2man or man is not installed; skipped"
    exit 77
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
"$script" "$program" "$scratch/velmora-dat.1.gz" || exit 1
text="$(MANWIDTH=100 LC_ALL=C.UTF-8 man -l "$scratch/velmora-dat.1.gz" 2>/dev/null | col -bx)"

failures=0
# OPTION OR EXIT STATUS|COMMAND HELP IT COMES FROM|TIMES THE PAGE SHOWS IT AS AN OPTION LINE
while IFS='|' read -r option command expected; do
    [ -z "$option" ] && continue
    actual="$(printf '%s\n' "$text" | grep -cE "^ +${option}( |$)")"
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: '$option' ($command) shows $actual time(s), expected $expected"
        failures=$((failures + 1))
    fi
    if ! "$program" $command --help | grep -qE "^  ${option}( |$)"; then
        echo "FAIL: '$option' is not in '$command --help'"
        failures=$((failures + 1))
    fi
done <<'TABLE'
-k, --keep-old-files|extract|2
-k, --keep-old-files|add|2
-n, --dry-run|add|4
-n, --dry-run|delete|4
-n, --dry-run|patch|4
--force|patch|1
-q, --quiet|diff|1
--patch PATCH|diff|1
-n, --dry-run|rename|4
--wait SECONDS|add|4
--wait SECONDS|delete|4
--wait SECONDS|rename|4
--wait SECONDS|mount|4
-r, --read-only|mount|1
-f, --foreground|mount|1
--commit-delay SECONDS|mount|1
--recover|mount|1
-C, --directory DIR|add|1
--as NAME|add|1
--type EXT|list|2
--long|list|1
--json|list|2
--encoding CODE|list|10
--encoding CODE|build|10
--version||1
0||1
1||1
2||1
130||1
143||1
TABLE

# A description that starts with its own tag is a tag printed twice.
repeated="$(printf '%s\n' "$text" | awk '
    { line = $0; sub(/^ +/, "", line) }
    tag != "" && index(line, tag) == 1 { print tag }
    { tag = (line ~ /^-/) ? line : "" }')"
if [ -n "$repeated" ]; then
    echo "FAIL: tags repeated in their descriptions: $repeated"
    failures=$((failures + 1))
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures manual page case(s) failed"
    exit 1
fi
echo "manual page: all cases pass"
