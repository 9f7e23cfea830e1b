#!/bin/sh
# Builds the window tests if needed and saves a picture of the dialog listing a small archive
# with Chinese names to docs/screenshot.png, the same dialog in English to docs/screenshot-en.png,
# and one of a picture entry in the preview window
# beside the dialog to docs/preview.png.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${VELMORA_BUILD_DIR:-$root/build}"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja
ninja -C "$build" -j2 ExtractorDlgTest PreviewWindowTest
QT_QPA_PLATFORM=offscreen "$build/tests/ui/ExtractorDlgTest" --grab "$root/docs/screenshot.png"
QT_QPA_PLATFORM=offscreen "$build/tests/ui/ExtractorDlgTest" --grab-english "$root/docs/screenshot-en.png"
QT_QPA_PLATFORM=offscreen "$build/tests/ui/PreviewWindowTest" --grab-preview "$root/docs/preview.png"
echo "$root/docs/screenshot.png" "$root/docs/screenshot-en.png" "$root/docs/preview.png"
