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

launcher=()
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "${launcher[@]}" >/dev/null
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
# This prefix's server keeps running a few seconds after the last program; not past this script.
trap 'wineserver --kill >/dev/null 2>&1 || true' EXIT

ctest --test-dir "$build" -j "$jobs" --output-on-failure
