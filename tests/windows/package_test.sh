#!/usr/bin/env bash
# Makes the Windows download (scripts/package-windows.sh) and tries it as a user would under
# Wine: the zip unpacked and its programs run from there, the installer run silently, the
# installed programs started (the dialog through the .dat association), the uninstaller run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${VELMORA_WINDOWS_BUILD_DIR:-$root/build-windows}"
source "$root/scripts/wine-gui.sh"

mapfile -t made < <("$root/scripts/package-windows.sh" | tail -n 2)
zip="${made[0]}" setup="${made[1]}"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
dialog=no
grep -q '^velmora-extractor ' "$build/windows-programs.txt" && dialog=yes

# The registry as the server last wrote it out: read without starting Wine again.
registry_has() { wineserver --wait; grep -qF "$1" "$WINEPREFIX/system.reg"; }

gui_start "$build/gui"
scratch="$GUI_DIR/package-test"
rm -rf "$scratch" && mkdir -p "$scratch/src/地圖"
trap 'gui_stop; rm -rf "$scratch"' EXIT

# The portable zip: one folder, the programs and the README, nothing else.
unzip -q "$zip" -d "$scratch/zip"
expected="README.txt velmora-dat.exe"
[ $dialog = yes ] && expected="$expected velmora-extractor.exe"
listed="$(find "$scratch/zip/velmora-extractor-$version" -mindepth 1 -printf '%f\n' | sort | tr '\n' ' ')"
[ "$listed" = "$expected " ] || gui_fail "the zip holds '$listed', not '$expected'"
portable="$(gui_winpath "$scratch/zip/velmora-extractor-$version/velmora-dat.exe")"
head -c 70000 /dev/urandom >"$scratch/src/地圖/世界.bmp"
printf 'hello' >"$scratch/src/readme.txt"
# One Wine start for the lot: each costs seconds.
out="$(cd "$scratch" && wine cmd /c "$portable --version && $portable build src GAME00.DAT && $portable check GAME00.DAT && $portable extract GAME00.DAT out" | tr -d '\r')" ||
    gui_fail "the zip's velmora-dat.exe: round trip: $out"
[ "${out%%$'\n'*}" = "velmora-dat $version" ] || gui_fail "the zip's velmora-dat.exe --version printed '${out%%$'\n'*}'"
diff -r "$scratch/src" "$scratch/out" || gui_fail "the zip's round trip changed the files"

# The installer, silently, into a folder of the test's own.
target='C:\velmora-test'
installed="$WINEPREFIX/drive_c/velmora-test"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmora 遊戲文件擷取器"
rm -rf "$installed"
wine "$setup" /S "/D=$target" || gui_fail "the installer failed"
wineserver --wait
for file in $expected uninstall.exe; do
    [ -s "$installed/$file" ] || gui_fail "the installer did not put $file in $target"
done
[ -f "$menu/README.lnk" ] || gui_fail "no Start-menu entry for the README"
out="$(wine "$installed/velmora-dat.exe" --version | tr -d '\r')"
[ "$out" = "velmora-dat $version" ] || gui_fail "the installed velmora-dat.exe --version printed '$out'"
registry_has 'CurrentVersion\\Uninstall\\VelmoraExtractor]' || gui_fail "no uninstall entry"

if [ $dialog = yes ]; then
    [ -f "$menu/Velmora 遊戲文件擷取器.lnk" ] || gui_fail "no Start-menu entry for the dialog"
    # Opened as Explorer would open a double-clicked archive: through the association.
    cp "$scratch/GAME00.DAT" "$WINEPREFIX/drive_c/GAME00.DAT"
    wine cmd /c start "" 'C:\GAME00.DAT' >/dev/null 2>&1 &
    window="$(gui_window 'Velmora')"
    gui_shot installed-dialog
    gui_keys "$window" Escape
    gui_gone 'Velmora'
    rm -f "$WINEPREFIX/drive_c/GAME00.DAT"
else
    echo "package test: velmora-extractor.exe is not built in $build; the dialog's entry and association not tried"
fi

# The uninstaller copies itself away and returns at once: the server says when it is done.
wine "$installed/uninstall.exe" /S || gui_fail "the uninstaller failed"
wineserver --wait
[ ! -e "$installed" ] || gui_fail "the uninstaller left $(ls "$installed")"
[ ! -e "$menu" ] || gui_fail "the uninstaller left the Start-menu folder"
! registry_has 'VelmoraExtractor' || gui_fail "the uninstaller left its registry entry"
! registry_has 'Velmora.Archive' || gui_fail "the uninstaller left the archive type"
echo "Windows download: zip ($(du -k "$zip" | cut -f1) KiB) and installer ($(du -k "$setup" | cut -f1) KiB) made, unpacked, installed, started and uninstalled under Wine"
