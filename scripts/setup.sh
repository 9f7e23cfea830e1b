#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs (only those missing), then configures,
# builds and installs the dialog and the command-line program.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMORA_BUILD_DIR:-$root/build}"

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev libgl-dev libqt6svg6 qt6-translations-l10n
    libgtest-dev
    fonts-arphic-uming
    clang libclang-rt-14-dev
    tar util-linux
)

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

prefix="${VELMORA_PREFIX:-}"
if [ -z "$prefix" ]; then
    if [ "$(id -u)" -eq 0 ]; then prefix=/usr/local; else prefix="$HOME/.local"; fi
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$build" -j "$(nproc)"
cmake --install "$build" >/dev/null
echo "Built in $build; installed velmora-extractor and velmora-dat under $prefix/bin"
