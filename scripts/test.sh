#!/usr/bin/env bash
# Sets everything up, then runs every test: the normal build, the dialog's menu under valgrind,
# the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, and a bounded libFuzzer
# run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" --tests

export QT_QPA_PLATFORM=offscreen
# The mount tests skip where nothing can be mounted; here (CI runs as root with /dev/fuse) that
# is a failure.
export VELMORA_REQUIRE_FUSE=1
jobs="$(nproc)"

echo "== Tests"
build="${VELMORA_BUILD_DIR:-$root/build}"
ctest --test-dir "$build" --output-on-failure -j "$jobs"

echo "== The dialog's list menu under valgrind"
# Qt is not built with the sanitizers: a menu freed under its own key or click handler shows
# only here. Leaks are Qt's caches and not counted; any invalid read or write fails the run.
valgrind --error-exitcode=1 --errors-for-leak-kinds=none --quiet "$build/tests/ui/DialogEditTest" \
    --gtest_filter='EditFixture.*Menu*:EditFixture.Undo*:EditFixture.AChange*:EditFixture.ACopy*:EditFixture.AFailed*'

echo "== Windows: the engine, velmora-dat.exe and their tests, cross-built and run under Wine"
windows_start=$SECONDS
VELMORA_JOBS="$jobs" "$root/scripts/test-windows.sh"
echo "Windows part: $((SECONDS - windows_start)) s"

echo "== Windows: the dialog driven under Wine, the zip and the installer made and tried"
windows_start=$SECONDS
"$root/tests/windows/dialog_scenarios.sh"
"$root/tests/windows/package_test.sh"
echo "Windows download and scenarios: $((SECONDS - windows_start)) s"

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

echo "== Fuzzing the readers, check and extraction together, updates, and the preview's parsers"
fuzz="$root/build-fuzz"
cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVELMORA_FUZZ=ON -DVELMORA_BUILD_UI=OFF -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$fuzz" -j "$jobs"
# The regression inputs are the seeds: without them the fuzzer would start from nothing.
seeds="$root/tests/data"
if ! compgen -G "$seeds/*.dat" >/dev/null; then
    echo "fuzz: no seed inputs (*.dat) in $seeds" >&2
    exit 1
fi
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus" /dev/shm/velmora-fuzz-extract-* /tmp/velmora-fuzz-extract-* \
    /dev/shm/velmora-fuzz-update-* /tmp/velmora-fuzz-update-*' EXIT
run_fuzz() {
    local target="$1" seconds="$2"
    mkdir -p "$corpus/$target"
    cp "$seeds"/*.dat "$corpus/$target"/
    "$fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$root/build-fuzz/$target-" "$corpus/$target" 2>&1 | tail -n 5
    echo "fuzz: $target, no failure in $seconds s"
}
run_fuzz fuzz_directory "${VELMORA_FUZZ_SECONDS:-60}"
run_fuzz fuzz_extract "${VELMORA_FUZZ_EXTRACT_SECONDS:-30}"
run_fuzz fuzz_update "${VELMORA_FUZZ_UPDATE_SECONDS:-30}"
run_fuzz fuzz_preview "${VELMORA_FUZZ_PREVIEW_SECONDS:-30}"
