#!/usr/bin/env bash
# Makes the Windows download from the cross build (build-windows/, as scripts/test-windows.sh
# configures it): a portable zip of the statically linked programs with a README, and an
# installer made with makensis (res/windows/velmora-extractor.nsi). Prints the zip's and the
# installer's paths, one a line, last. The dialog goes in when this tree builds it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMORA_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="${VELMORA_JOBS:-$(nproc)}"

for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump makensis zip; do
    command -v "$tool" >/dev/null || { echo "package-windows: $tool not found; scripts/setup.sh --tests installs it" >&2; exit 1; }
done
source "$root/scripts/configure-windows.sh"
configure_windows "$root" "$build"
# "target path", a line each: whichever programs this tree has (see CMakeLists.txt).
mapfile -t programs <"$build/windows-programs.txt"
cmake --build "$build" -j "$jobs" --target "${programs[@]%% *}"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
name="velmora-extractor-$version"
out="$build/package"
stage="$out/$name"
rm -rf "$stage" "$out/$name-windows-x64.zip" "$out/$name-setup.exe"
mkdir -p "$stage"

# A DLL the system lacks would have to travel beside the program: only those Wine builds in
# (it implements the system's own) may be imported.
system_dlls=""
for dir in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows; do
    [ -d "$dir" ] && system_dlls="$dir"
done
[ -n "$system_dlls" ] || { echo "package-windows: Wine's system DLLs not found; scripts/setup.sh --tests installs Wine" >&2; exit 1; }
for line in "${programs[@]}"; do
    exe="${line#* }"
    for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'); do
        if [ ! -e "$system_dlls/${dll,,}" ]; then
            echo "package-windows: $(basename "$exe") needs $dll, which Windows does not have" >&2
            exit 1
        fi
    done
    x86_64-w64-mingw32-strip -o "$stage/$(basename "$exe")" "$exe"
done
# The README's lines about the dialog only with the dialog; CRLF for older Windows' Notepad.
dialog_lines='/^@DIALOG@/d'
[ -f "$stage/velmora-extractor.exe" ] && dialog_lines='s/^@DIALOG@//'
sed -e "s/@VERSION@/$version/g" -e "$dialog_lines" -e 's/$/\r/' "$root/res/windows/README.txt" >"$stage/README.txt"

with_dialog=()
[ -f "$stage/velmora-extractor.exe" ] && with_dialog=(-DWITH_DIALOG)
(cd "$out" && zip -q -r -X "$name-windows-x64.zip" "$name")
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" \
    -DOUTFILE="$out/$name-setup.exe" "${with_dialog[@]}" "$root/res/windows/velmora-extractor.nsi" >&2
echo "$out/$name-windows-x64.zip"
echo "$out/$name-setup.exe"
