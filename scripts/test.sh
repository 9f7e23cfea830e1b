#!/usr/bin/env bash
# Sets everything up, then runs every test: the normal build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a bounded libFuzzer run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

echo "== Tests"
ctest --test-dir "${VELMORA_BUILD_DIR:-$root/build}" --output-on-failure -j "$jobs"

echo "== Debian package: built, checked by lintian, unpacked and tried"
"$root/tests/package/package_test.sh"

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
asan="$root/build-asan"
cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DVELMORA_SANITIZE=address,undefined -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$asan" -j "$jobs"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
    LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir "$asan" --output-on-failure -j "$jobs"

echo "== Fuzzing the directory and record readers"
fuzz="$root/build-fuzz"
cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVELMORA_FUZZ=ON -DVELMORA_BUILD_UI=OFF -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$fuzz" -j "$jobs"
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
cp "$root"/tests/data/fuzz/* "$corpus"/ 2>/dev/null || true
"$fuzz/fuzz/fuzz_directory" -max_total_time="${VELMORA_FUZZ_SECONDS:-60}" -timeout=10 \
    -artifact_prefix="$root/build-fuzz/" "$corpus" 2>&1 | tail -n 5
echo "fuzz: no crash in ${VELMORA_FUZZ_SECONDS:-60} s"
