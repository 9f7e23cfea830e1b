#!/bin/sh
# Builds the window tests if needed and saves a picture of the dialog listing a small archive
# with Chinese names to docs/screenshot.png.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${VELMORA_BUILD_DIR:-$root/build}"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja
ninja -C "$build" -j2 ExtractorDlgTest
QT_QPA_PLATFORM=offscreen "$build/tests/ui/ExtractorDlgTest" --grab "$root/docs/screenshot.png"
echo "$root/docs/screenshot.png"
