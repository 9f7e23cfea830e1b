#!/usr/bin/env bash
# Checks the desktop entry, the MIME type and the AppStream metadata together: each is accepted
# by the desktop's own tool (when installed), and they name the same type and program, so a
# double-click on GAME00.DAT in a file manager reaches the dialog.
# Usage: desktop_files_test.sh DESKTOP_ENTRY MIME_XML METAINFO_XML
set -uo pipefail
desktop="$1" mime="$2" metainfo="$3"
type=application/x-velmora-archive
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for f in "$desktop" "$mime" "$metainfo"; do
    [ -r "$f" ] || { echo "FAIL: $f is missing"; exit 1; }
done

grep -qx 'Exec=velmora-extractor %f' "$desktop" || fail "$desktop: Exec does not pass the file"
grep -qx "MimeType=$type;" "$desktop" || fail "$desktop: MimeType is not $type"
grep -q "<mediatype>$type</mediatype>" "$metainfo" || fail "$metainfo: does not provide $type"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
    fail "$metainfo: launchable is not $(basename "$desktop")"
grep -q '<image>https\?://[^<]*/screenshot.png</image>' "$metainfo" ||
    fail "$metainfo: no screenshot"
for lang in '' ' xml:lang="zh_TW"'; do
    grep -q "<summary$lang>" "$metainfo" || fail "$metainfo: no summary$lang"
    grep -q "<p$lang>" "$metainfo" || fail "$metainfo: no description$lang"
done

if command -v desktop-file-validate >/dev/null; then
    out="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
else
    echo "desktop-file-validate not installed; that check skipped"
fi

if command -v update-mime-database >/dev/null; then
    share="$(mktemp -d)"
    db="$share/mime"
    mkdir -p "$db/packages"
    cp "$mime" "$db/packages/"
    out="$(XDG_DATA_HOME="$share" XDG_DATA_DIRS="$share" update-mime-database "$db" 2>&1)" ||
        fail "update-mime-database: $out"
    [ -z "$out" ] || fail "update-mime-database: $out"
    # No ":cs" flag: the glob matches GAME00.DAT as well as game00.dat.
    if ! grep -qx "[0-9]*:$type:game??.dat" "$db/globs2" ||
        grep -q ":$type:.*:cs" "$db/globs2"; then
        fail "update-mime-database: no case-insensitive game??.dat glob for $type"
    fi
    rm -rf "$share"
else
    echo "update-mime-database not installed; that check skipped"
fi

if command -v appstreamcli >/dev/null; then
    out="$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1)" ||
        fail "appstreamcli validate: $out"
else
    echo "appstreamcli not installed; that check skipped"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "desktop files: all checks pass"
