#!/usr/bin/env bash
# Measures the command line on small files against tar (not a test, times only): velmora-dat
# extract of 100,000 files of 0-4 KiB in 100 folders against tar -xf of the same files, and
# velmora-dat build of them against tar -cf. The engine's own figures are in bench_extract and
# bench_build --scale; this adds what the program itself costs (start-up, progress, per-entry
# work). Median of 5 of the wall clock and of the processor time (user + system): on a machine
# others share, the second is the fairer ratio.
# Usage: bench_cli_smallfiles.sh [PROGRAM] [FOLDER]; PROGRAM is build/cli/velmora-dat by
# default and the files (about 1 GiB) go below FOLDER (/dev/shm, a tmpfs, by default).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dat="$(realpath "${1:-$root/build/cli/velmora-dat}")"
work="$(mktemp -d "${2:-/dev/shm}/velmora-bench-cli.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - <<'PY'
import os, random
random.seed(1)
for i in range(100000):
    folder = f"src/d{i % 100:03d}"
    os.makedirs(folder, exist_ok=True)
    with open(f"{folder}/f{i:06d}.bin", "wb") as f:
        f.write(os.urandom(random.randint(0, 4096)))
PY
"$dat" build src same.dat >/dev/null
tar -cf same.tar -C src .

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Prints the median wall and processor seconds of 5 runs of the command, each into a fresh out/.
measure()
{
    local walls=() cpus=()
    for _ in 1 2 3 4 5; do
        rm -rf out out.dat out.tar && mkdir out
        /usr/bin/time -f "%e %U %S" -o times "$@" >/dev/null 2>&1
        read -r wall user system <times
        walls+=("$wall")
        cpus+=("$(echo "$user + $system" | bc)")
    done
    echo "$(printf '%s\n' "${walls[@]}" | median) $(printf '%s\n' "${cpus[@]}" | median)"
}
report()
{
    read -r ourWall ourCpu <<<"$2"
    read -r tarWall tarCpu <<<"$3"
    printf '%-8s ours %6.2f s (processor %5.2f)  tar %6.2f s (processor %5.2f)  tar/ours %.2f (processor %.2f)\n' \
        "$1" "$ourWall" "$ourCpu" "$tarWall" "$tarCpu" "$(echo "$tarWall / $ourWall" | bc -l)" \
        "$(echo "$tarCpu / $ourCpu" | bc -l)"
}
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
report extract "$(measure "$dat" extract same.dat out)" "$(measure tar -xf same.tar -C out)"
report build "$(measure "$dat" build src out.dat)" "$(measure tar -cf out.tar -C src .)"
