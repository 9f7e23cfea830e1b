#!/usr/bin/env bash
# Cross-builds for 64-bit Windows into build-windows/ (MinGW-w64, cmake/mingw-w64-x86_64.cmake) and
# runs the Windows tests under Wine. scripts/setup.sh installs the compiler and Wine.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMORA_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="${VELMORA_JOBS:-$(nproc)}"

for tool in x86_64-w64-mingw32-g++-posix wine wineboot wineserver; do
    if ! command -v "$tool" >/dev/null; then
        echo "test-windows: $tool not found; scripts/setup.sh installs it" >&2
        exit 1
    fi
done

source "$root/scripts/configure-windows.sh"
configure_windows "$root" "$build"
cmake --build "$build" -j "$jobs"

# A prefix of our own, so the user's Wine settings neither change nor change the results.
export WINEPREFIX="$build/wine-prefix" WINEARCH=win64 WINEDEBUG=-all
# Made once (about 20 s) before the tests, so that no test's time holds it; without the .NET and
# HTML engines, which would otherwise be offered for download.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    # Without a display wineboot reports failures that do not matter here; the prefix is checked.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init >/dev/null 2>&1 || true
    wineserver --wait || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "test-windows: Wine could not create $WINEPREFIX" >&2
        exit 1
    fi
fi
# A crashing test ends with its failure instead of waiting for a debugger nobody attaches.
wine reg add 'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Auto /t REG_SZ /d 0 /f >/dev/null 2>&1 || true
# The server started without a display would keep the tests' windows off the virtual one.
wineserver --kill >/dev/null 2>&1 || true
wineserver --wait >/dev/null 2>&1 || true
# This prefix's server keeps running a few seconds after the last program; not past this script.
trap 'wineserver --kill >/dev/null 2>&1 || true' EXIT

# Wine names host files through the locale: UTF-8, as the Big5 names below need.
export LC_ALL=C.UTF-8
log="$build/windows-tests.log"
# The dialog's view tests make windows: on a virtual display when there is no real one.
display=()
if [ -z "${DISPLAY:-}" ]; then
    if ! command -v xvfb-run >/dev/null; then
        echo "test-windows: xvfb-run not found; scripts/setup.sh --tests installs it" >&2
        exit 1
    fi
    display=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi
if ! "${display[@]}" ctest --test-dir "$build" -j "$jobs" --output-on-failure -V >"$log" 2>&1; then
    grep -E '^[0-9]+: .*(Failure|FAILED|Expected|Which is|exception)' "$log" | head -n 200 >&2 || true
    tail -n 30 "$log" >&2
    echo "test-windows: tests failed under Wine; everything is in $log" >&2
    exit 1
fi
# The dialog's session layer runs here without a window: its tests are among those that ran.
# So does the Windows dialog's view, on the display.
for program in ArchiveChangesTest ExternalEditsTest SessionFlowsTest Win32DialogTest; do
    if ! grep -q "$program.exe" "$log"; then
        echo "test-windows: the test program $program did not run" >&2
        exit 1
    fi
done
# Each program's GoogleTest summary: "[  PASSED  ] N tests." and "[  SKIPPED ] N tests, ...".
count() { grep -E "^[0-9]+: \[ +$1 +\] [0-9]+ tests?" "$log" | awk '{ n += $5 } END { print n + 0 }'; }
programs="$(sed -nE 's/.* tests failed out of ([0-9]+)$/\1/p' "$log")"
echo "Windows: $(count PASSED) test cases passed, $(count SKIPPED) skipped, in $programs programs under Wine"

# A round trip with velmora-dat.exe as a user would run it: build a tree holding Big5 names,
# list and check the archive, extract it elsewhere and compare.
trip="$(mktemp -d)"
trap 'wineserver --kill >/dev/null 2>&1 || true; rm -rf "$trip"' EXIT
exe="$build/cli/velmora-dat.exe"
mkdir -p "$trip/src/地圖/深處" "$trip/src/sub"
printf 'hello' >"$trip/src/readme.txt"
head -c 300000 /dev/urandom >"$trip/src/地圖/世界.bmp"
printf '' >"$trip/src/地圖/深處/空.dat"
head -c 5000 /dev/urandom >"$trip/src/sub/許功蓋.wav"
(
    cd "$trip"
    # Named as a Windows prompt names it.
    wine "$exe" build src '.\GAME00.DAT'
    wine "$exe" list GAME00.DAT >listed.txt
    wine "$exe" check GAME00.DAT
    wine "$exe" extract GAME00.DAT out
)
expected="$(cd "$trip/src" && find . -type f | sed 's|^\./||' | sort)"
if [ "$(tr '\\' / <"$trip/listed.txt" | sort)" != "$expected" ]; then
    echo "test-windows: the listing does not name the tree's files" >&2
    exit 1
fi
diff -r "$trip/src" "$trip/out"
echo "Windows: round trip of $(echo "$expected" | wc -l) files (Big5 names) through velmora-dat.exe: identical"
