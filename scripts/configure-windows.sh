# Sourced by the scripts that cross-build for Windows, so they configure build-windows/ alike:
# configure_windows ROOT BUILD.
configure_windows() {
    local launcher=()
    if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64-x86_64.cmake" "${launcher[@]}" >/dev/null
}
