#!/usr/bin/env bash
# Saves a picture of the Windows dialog under Wine, listing the same small archive with Chinese
# names as docs/screenshot.png, to docs/windows-dialog.png. Needs the cross build with the
# dialog (scripts/test-windows.sh); VELMORA_EXTRACTOR_EXE names another build of it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMORA_WINDOWS_BUILD_DIR:-$root/build-windows}"
exe="${VELMORA_EXTRACTOR_EXE:-$(sed -n 's/^velmora-extractor //p' "$build/windows-programs.txt")}"
[ -f "$exe" ] || { echo "screenshot-windows: velmora-extractor.exe is not built in $build" >&2; exit 1; }
source "$root/scripts/wine-gui.sh"
gui_start "$build/gui"
work="$GUI_DIR/screenshot"
rm -rf "$work" && mkdir -p "$work/src/地圖" "$work/src/音效" "$work/src/圖像"
trap 'gui_stop; rm -rf "$work"' EXIT
for name in 地圖/城鎮.DAT 音效/開門_01.WAV 圖像/主角_走路.EGA 劇情.SCR; do
    printf '%s' "$name" >"$work/src/$name"
done
(cd "$work" && wine "$build/cli/velmora-dat.exe" build src GAME00.DAT >/dev/null)
(cd "$work" && wine "$exe" GAME00.DAT >/dev/null 2>&1) &
window="$(gui_window '^Velmora 遊戲文件擷取器　')"
sleep 1
# The frame and title bar are openbox's: the picture is Wine's window alone, as the Linux one.
import -window "$window" "$root/docs/windows-dialog.png"
gui_keys "$window" Escape
echo "$root/docs/windows-dialog.png"
