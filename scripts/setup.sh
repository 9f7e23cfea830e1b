#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs (only those missing; with --tests also those
# the test run needs), then configures and builds the dialog and the command-line program in the build folder. It installs them only
# under VELMORA_PREFIX when that is set: an install under /usr/local or ~/.local would shadow
# the Debian package and outlive its removal.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMORA_BUILD_DIR:-$root/build}"

# What building and running the tool needs; `--tests` adds what only the test run needs (the
# Windows cross-build, Wine, the sanitizer compiler, the package checks, the dialog's test tools,
# the Windows installer's maker and what drives and photographs windows under Wine).
packages=(
    g++ cmake ninja-build pkg-config ccache libfuse3-dev fuse3
    qt6-base-dev libgl-dev libqt6svg6 qt6-multimedia-dev qt6-translations-l10n qt6-l10n-tools
    fonts-arphic-uming
)
with_tests=OFF
if [ "${1:-}" = "--tests" ]; then
    with_tests=ON
    packages+=(
        libgtest-dev googletest
        g++-mingw-w64-x86-64-posix wine wine64
        clang libclang-rt-14-dev
        tar zip util-linux
        help2man dpkg-dev file lintian appstream desktop-file-utils shared-mime-info bash-completion
        valgrind xvfb xdotool openbox xclip python3 x11-utils imagemagick nsis
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# Through ccache, so scripts/package.sh's build of the same sources costs next to nothing.
launcher=()
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    -DVELMORA_BUILD_TESTS="$with_tests" -DVELMORA_BUILD_BENCH="$with_tests" >/dev/null
cmake --build "$build" -j "$(nproc)"
prefix="${VELMORA_PREFIX:-}"
if [ -z "$prefix" ]; then
    echo "Built velmora-extractor and velmora-dat in $build (nothing installed)"
    exit 0
fi
cmake --install "$build" --prefix "$prefix" >/dev/null
# The file manager knows GAME00.DAT's type only once the MIME database is rebuilt.
if command -v update-mime-database >/dev/null; then
    update-mime-database "$prefix/share/mime" >/dev/null 2>&1 || true
fi
echo "Built in $build; installed velmora-extractor and velmora-dat under $prefix/bin"
