#!/usr/bin/env bash
# Renders the dialog with a small archive listed into docs/screenshot.png (offscreen, no display
# needed). Builds what it needs first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMORA_BUILD_DIR:-$root/build}"
[ -x "$build/tests/ui/ui_screenshot" ] || "$root/scripts/setup.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/背景" "$work/tree/音效" "$work/tree/地圖"
for f in 背景/標題.bmp 背景/許願塔.bmp 背景/功夫.bmp 音效/開門.wav 音效/戰鬥.wav 地圖/城鎮.scr \
         地圖/洞窟.ega readme.txt GAME.DAT 角色/主角.bmp 角色/師父.bmp; do
    mkdir -p "$(dirname "$work/tree/$f")"
    head -c $((RANDOM % 5000)) /dev/urandom >"$work/tree/$f"
done
"$build/cli/velmora-dat" build "$work/tree" "$work/GAME00.DAT"
QT_QPA_PLATFORM=offscreen "$build/tests/ui/ui_screenshot" "$work/GAME00.DAT" "$root/docs/screenshot.png"
echo "wrote docs/screenshot.png"
