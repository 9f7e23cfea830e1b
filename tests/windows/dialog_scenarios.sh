#!/usr/bin/env bash
# The Windows dialog driven as a person drives it, under Wine on a virtual display: real keys,
# clicks and pasted Chinese through Wine's own Open, Save and folder windows, checked by the
# files that come out. Screenshots of each step stay in build-windows/gui/screenshots.
# VELMORA_EXTRACTOR_EXE names another build of the dialog to drive.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${VELMORA_WINDOWS_BUILD_DIR:-$root/build-windows}"
exe="${VELMORA_EXTRACTOR_EXE:-$(sed -n 's/^velmora-extractor //p' "$build/windows-programs.txt" 2>/dev/null)}"
if [ ! -f "$exe" ]; then
    echo "dialog scenarios: skipped, velmora-extractor.exe is not built in $build"
    exit 0
fi
dat="$build/cli/velmora-dat.exe"
source "$root/scripts/wine-gui.sh"
gui_start "$build/gui"
work="$GUI_DIR/scenarios"
rm -rf "$work" && mkdir -p "$work/src/sub" "$work/src/地圖"
trap 'gui_stop; rm -rf "$work"' EXIT
for n in a b c; do
    head -c $((900 + RANDOM)) /dev/urandom >"$work/src/$n.bmp"
    head -c $((500 + RANDOM)) /dev/urandom >"$work/src/sub/$n.wav"
done
head -c 70000 /dev/urandom >"$work/src/地圖/世界.bmp"
# Listed as a.bmp b.bmp c.bmp sub\a.wav sub\b.wav sub\c.wav 地圖\世界.bmp.
(cd "$work" && wine "$dat" build src GAME00.DAT >/dev/null)

# Points of the dialog's template (dialog units, res/Resource.h) in the window's pixels.
at() {
    local w h
    read -r w h < <(gui_size "$1")
    echo "$(($2 * w / 240)) $(($3 * h / 269))"
}
# The list's row: the Ming face's line is 14 pixels at 9 points.
row() { read -r x y < <(at "$1" 8 7); echo "$((x + 30)) $((y + 9 + 14 * $2))"; }
click_at() { local id="$1" x y; read -r x y; gui_click "$id" "$x" "$y" "${2:-}"; }

start_dialog() {
    (cd "$work" && exec wine "$exe" "$@" >"$work/dialog.log" 2>&1) &
    dialog_pid=$!
    window="$(gui_window '^Velmora 遊戲文件擷取器　')"
}

# Enter (or Escape) in the list closes the window, and the program ends.
close_with() {
    gui_keys "$window" "$1"
    gui_until 20 bash -c "! kill -0 $dialog_pid" || gui_fail "$1 did not close the dialog"
}

# Answers the question or message the dialog shows, with Enter: its default button.
answer() {
    local id
    id="$(gui_window '^Velmora 遊戲文件擷取器$')"
    gui_shot "$1"
    gui_keys "$id" Return
    gui_gone '^Velmora 遊戲文件擷取器$'
}

find_colour() {
    local pixel
    read -r x y < <(at "$window" 225 222)
    pixel="$(gui_pixel "$window" "$x" "$y")"
    case "$1:${pixel,,}" in
    miss:ffd0d0 | match:ffffff) ;;
    *) gui_fail "the find box is #$pixel after '$2', expected a $1" ;;
    esac
}

same_files() {
    local got
    got="$(cd "$1" && find . -type f | sort | tr '\n' ' ')"
    [ "$got" = "$2" ] || gui_fail "$3: extracted '$got', not '$2'"
    for file in $2; do cmp -s "$work/src/$file" "$1/$file" || gui_fail "$3: $file differs"; done
}

# Load through the Open window, narrow to WAV, pick the first and last rows with a click and a
# Shift+click and drop the middle one with Ctrl+click, extract through the folder chooser.
scenario_select_and_extract() {
    start_dialog
    gui_keys "$window" ctrl+o
    gui_choose '^Open$' "$work/GAME00.DAT"
    at "$window" 50 223 | click_at "$window"
    xdotool key w
    gui_shot extract-1-filtered
    row "$window" 0 | click_at "$window"
    row "$window" 2 | click_at "$window" shift
    row "$window" 1 | click_at "$window" ctrl
    gui_shot extract-2-selected
    mkdir "$work/out1"
    gui_keys "$window" ctrl+e
    gui_choose '解壓到資料夾' "$work/out1" folder
    gui_until 20 test -f "$work/out1/sub/c.wav" || gui_fail "nothing extracted"
    gui_shot extract-3-done
    same_files "$work/out1" "./sub/a.wav ./sub/c.wav " "click, Shift+click, Ctrl+click"
    close_with Return
}

# Build through the folder chooser and the Save window, open the new archive as offered, find
# a Chinese name (pasted) and extract what the find selected; velmora-dat checks the archive.
scenario_build_and_find() {
    start_dialog
    at "$window" 183 255 | click_at "$window"
    gui_choose '請選擇要打包的資料夾' "$work/src" folder
    # Wine appends the filter's ".dat" to a typed "GAME01.DAT" (it compares case-sensitively).
    gui_choose '^Save$' "$work/GAME01"
    answer build-1-question
    built="$(find "$work" -maxdepth 1 -iname 'GAME01.dat')"
    [ -n "$built" ] || gui_fail "no GAME01.DAT built"
    (cd "$work" && wine "$dat" check "$(basename "$built")" >/dev/null) || gui_fail "the built archive does not pass check"
    # The find box turns pink while its text matches no name; the match is after the first "\".
    gui_keys "$window" ctrl+f
    gui_paste "地圖"
    find_colour miss "地圖"
    gui_paste "世界"
    find_colour match "世界"
    gui_shot build-2-found
    # Found is current, not selected: the user picks it.
    row "$window" 6 | click_at "$window"
    mkdir "$work/out2"
    gui_keys "$window" ctrl+e
    gui_choose '解壓到資料夾' "$work/out2" folder
    gui_until 20 test -f "$work/out2/地圖/世界.bmp" || gui_fail "the found entry was not extracted"
    same_files "$work/out2" "./地圖/世界.bmp " "find"
    row "$window" 0 | click_at "$window"
    close_with Return
}

# An archive named on the command line, its first entry previewed, an entry deleted with Del and put back with Ctrl+Z: the
# archive is as it was, byte for byte. Escape closes.
scenario_delete_and_undo() {
    cp "$work/GAME00.DAT" "$work/before.dat"
    start_dialog GAME00.DAT
    # A double-click previews the entry beside the dialog; Escape closes the preview, and only it.
    read -r x y < <(row "$window" 0)
    xdotool mousemove --window "$window" "$x" "$y" click --repeat 2 --delay 80 1
    preview="$(gui_window '^a\.bmp$')"
    gui_shot undo-0-preview
    gui_keys "$preview" Escape
    gui_gone '^a\.bmp$'
    row "$window" 0 | click_at "$window"
    gui_keys "$window" Delete
    answer undo-1-delete
    gui_until 20 bash -c "! cmp -s '$work/GAME00.DAT' '$work/before.dat'" || gui_fail "Del changed nothing"
    gui_keys "$window" ctrl+z
    gui_until 20 cmp -s "$work/GAME00.DAT" "$work/before.dat" || gui_fail "Ctrl+Z did not restore the archive"
    gui_shot undo-2-undone
    close_with Escape
}

scenario_select_and_extract
echo "dialog scenario: load, filter, click/Shift/Ctrl selection, extract: passed"
scenario_build_and_find
echo "dialog scenario: build through Save, check, find in Chinese, extract: passed"
scenario_delete_and_undo
echo "dialog scenario: open from the command line, preview, delete, undo: passed"
