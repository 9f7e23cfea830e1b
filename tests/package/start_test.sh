#!/usr/bin/env bash
# Runs scripts/start.sh with every outside program replaced by a stand-in that records its
# arguments: starting the tool builds in the build folder, runs the program from there and
# installs nothing.
set -uo pipefail
root="$(realpath "$1")"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
stubs="$scratch/bin"
log="$scratch/calls"
mkdir -p "$stubs" "$scratch/build/app"
for tool in cmake sudo apt-get update-mime-database install; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$log" >"$stubs/$tool"
done
# No package counts as installed, so the install call names everything starting the tool needs.
printf '#!/bin/sh\nexit 1\n' >"$stubs/dpkg-query"
printf '#!/bin/sh\necho "started $0 $*" >>"%s"\n' "$log" >"$scratch/build/app/velmora-extractor"
chmod +x "$stubs"/* "$scratch/build/app/velmora-extractor"
touch "$log"

PATH="$stubs:$PATH" VELMORA_BUILD_DIR="$scratch/build" HOME="$scratch/home" \
    "$root/scripts/start.sh" archive.dat >"$scratch/out" 2>&1
status=$?

failures=0
# PATTERN|WANTED (1: some call matches, 0: none does)
while IFS='|' read -r pattern wanted; do
    [ -z "$pattern" ] && continue
    if grep -qE -- "$pattern" "$log"; then found=1; else found=0; fi
    if [ "$found" != "$wanted" ]; then
        echo "FAIL: a call matching '$pattern' $([ "$wanted" = 1 ] && echo "is missing" || echo "was made")"
        failures=$((failures + 1))
    fi
done <<TABLE
^cmake -S $root -B $scratch/build |1
^cmake --build $scratch/build|1
^started $scratch/build/app/velmora-extractor archive.dat$|1
--install|0
INSTALL_PREFIX|0
^update-mime-database|0
apt-get .*install.* qt6-base-dev|1
apt-get .*install.* wine|0
apt-get .*install.*mingw|0
apt-get .*install.* clang|0
apt-get .*install.* lintian|0
apt-get .*install.*gtest|0
apt-get .*install.* valgrind|0
VELMORA_BUILD_TESTS=OFF|1
^install |0
TABLE

if [ "$status" -ne 0 ]; then
    echo "FAIL: start.sh exited with $status"
    cat "$scratch/out"
    failures=$((failures + 1))
fi
if [ "$failures" -gt 0 ]; then
    echo "calls made:"
    cat "$log"
    echo "$failures start case(s) failed"
    exit 1
fi
echo "start: all cases pass"
