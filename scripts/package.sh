#!/usr/bin/env bash
# Builds the Debian package of both programs in its own build folder (installing under /usr,
# without tests or benchmarks) and checks it with lintian. Prints the package's path last.
# Arguments go to CMake, for example -DVELMORA_HOMEPAGE=https://... to name the project's address.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMORA_PACKAGE_DIR:-$root/build-package}"

launcher=()
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Same compiler flags as the normal build, so ccache serves its objects; the linker gets
# Debian's hardening flags.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX=/usr -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"

rm -f "$build"/velmora-extractor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/velmora-extractor_*.deb)"

if command -v lintian >/dev/null; then
    # Errors fail the build; warnings are printed for the reader.
    lintian --fail-on error --info "$deb" >&2
else
    echo "lintian is not installed; the package was not checked" >&2
fi
echo "$deb"
