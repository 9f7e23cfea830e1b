#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh, lintian included), unpacks it into a scratch
# root with dpkg -x and checks that everything a user needs is in it and works from there.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
here="$root/tests/package"

deb="$("$root/scripts/package.sh" | tail -n 1)" || { echo "FAIL: scripts/package.sh failed"; exit 1; }
[ -f "$deb" ] || { echo "FAIL: no package at '$deb'"; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch" || { echo "FAIL: dpkg -x $deb"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

version="$(sed -n 's/^project(velmora-extractor VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ "$(dpkg-deb -f "$deb" Package)" = velmora-extractor ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends="$(dpkg-deb -f "$deb" Depends)"
for dependency in fonts-arphic-uming qt6-translations-l10n libqt6widgets6 libc6 fuse3 libfuse3-3; do
    [[ ", $depends," == *", $dependency"[\ ,]* ]] || fail "Depends lacks $dependency: $depends"
done

usr="$scratch/usr"
metainfo="$usr/share/metainfo/org.velmora.extractor.metainfo.xml"
for file in bin/velmora-extractor bin/velmora-dat \
    share/applications/velmora-extractor.desktop \
    share/icons/hicolor/scalable/apps/velmora-extractor.svg \
    share/mime/packages/velmora-extractor.xml \
    share/metainfo/org.velmora.extractor.metainfo.xml \
    share/man/man1/velmora-dat.1.gz share/man/man1/velmora-extractor.1.gz \
    share/bash-completion/completions/velmora-dat \
    share/doc/velmora-extractor/copyright share/doc/velmora-extractor/changelog.gz; do
    [ -s "$usr/$file" ] || fail "/usr/$file is not in the package"
done
# Nothing outside /usr, and no build-time leftovers such as a generated MIME cache.
extra="$(cd "$scratch" && find . -mindepth 1 -maxdepth 1 ! -name usr)"
[ -z "$extra" ] || fail "files outside /usr: $extra"
[ ! -e "$usr/share/mime/mime.cache" ] || fail "the package carries a MIME cache"

for program in velmora-dat velmora-extractor; do
    [ -x "$usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
    missing="$(ldd "$usr/bin/$program" 2>&1 | grep 'not found')" && fail "$program: $missing"
done
out="$("$usr/bin/velmora-dat" --version 2>&1)" || fail "velmora-dat --version failed: $out"
[ "$out" = "velmora-dat $version" ] || fail "velmora-dat --version printed '$out'"

# The generated page carries every command's own help; both pages render without complaint.
for page in velmora-dat velmora-extractor; do
    warnings="$(man --warnings -l "$usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "$page.1: $warnings"
done
text="$(MANWIDTH=80 man -l "$usr/share/man/man1/velmora-dat.1.gz" 2>/dev/null)"
for help in "velmora-dat list [--type EXT] [--long] [--json] ARCHIVE" \
    "velmora-dat extract [--type EXT] ARCHIVE DEST [NAME...]" \
    "velmora-dat build FOLDER ARCHIVE" "velmora-dat check ARCHIVE" "--version"; do
    [[ $text == *"$help"* ]] || fail "velmora-dat.1 lacks '$help'"
done
zcat "$usr/share/man/man1/velmora-extractor.1.gz" | grep -q '^\.I ARCHIVE' ||
    fail "velmora-extractor.1 does not describe ARCHIVE"

bash "$here/completion_test.sh" "$usr/share/bash-completion/completions/velmora-dat"
status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 77 ] || fail "the installed completion"

bash "$here/desktop_files_test.sh" "$usr/share/applications/velmora-extractor.desktop" \
    "$usr/share/mime/packages/velmora-extractor.xml" "$metainfo" || fail "the installed desktop files"

if [ "$failures" -gt 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "package: $(basename "$deb") holds every file and runs"
