#!/usr/bin/env bash
# Measures velmora-dat mount (needs /dev/fuse and fusermount3; not a test, times only):
#  1. reading 10,000 entries (1 GiB) through a mount with cp -r, against velmora-dat extract
#     and against cp -r of the extracted files on disk;
#  2. find | wc -l on a mounted 1,000,000-entry archive: its time and the mount's peak memory;
#  3. the commit of one changed 1 MiB entry of the 1 GiB archive (the unmount's wait), against
#     velmora-dat add of the same file, which is the update alone.
# Usage: bench_mount.sh [PROGRAM] [FOLDER]; PROGRAM is build/cli/velmora-dat by default and the
# files (about 2 GiB at most) go below FOLDER (/tmp by default) and are removed at the end.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dat="$(realpath "${1:-$root/build/cli/velmora-dat}")"
work="$(mktemp -d "${2:-/tmp}/velmora-bench-mount.XXXXXX")"
mnt="$work/mnt"
mkdir "$mnt"
cleanup() { fusermount3 -uz "$mnt" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

seconds() { date +%s.%N; }
elapsed() { echo "$(echo "$(seconds) - $1" | bc)"; }

# Mounts in the foreground, in the background of this script; waits until the folder is there.
mount_archive()
{
    "$dat" mount -f "$@" "$mnt" &
    mount_pid=$!
    for _ in $(seq 100); do
        mountpoint -q "$mnt" && return
        sleep 0.1
    done
    echo "the mount did not come up" >&2
    exit 1
}

unmount_archive()
{
    fusermount3 -u "$mnt"
    wait "$mount_pid"
}

echo "== 10,000 entries, 1 GiB"
python3 - "$work/tree" <<'EOF'
import os, sys
root = sys.argv[1]
for d in range(100):
    os.makedirs(f"{root}/d{d:02}", exist_ok=True)
    for f in range(100):
        with open(f"{root}/d{d:02}/f{f:03}.bmp", "wb") as out:
            out.write(os.urandom(107374))
EOF
"$dat" build "$work/tree" "$work/big.dat" >/dev/null
rm -rf "$work/tree"
"$dat" extract "$work/big.dat" "$work/warm" >/dev/null # both runs start from a warm cache
rm -rf "$work/warm"
start=$(seconds)
"$dat" extract "$work/big.dat" "$work/extracted" >/dev/null
extract_time=$(elapsed "$start")
# The same files copied from a disk folder: what any folder of 10,000 files costs here.
start=$(seconds)
cp -r "$work/extracted" "$work/copied"
disk_time=$(elapsed "$start")
rm -rf "$work/extracted" "$work/copied"
mount_archive -r "$work/big.dat"
start=$(seconds)
cp -r "$mnt" "$work/copied"
copy_time=$(elapsed "$start")
unmount_archive
rm -rf "$work/copied"
echo "extract: ${extract_time} s; cp -r from the mount: ${copy_time} s;" \
    "speed of the mount: $(echo "scale=2; $extract_time / $copy_time" | bc)x extract's;" \
    "cp -r of the extracted folder on disk: ${disk_time} s"

echo "== The commit of one changed 1 MiB entry of the 1 GiB archive"
head -c 1048576 /dev/urandom >"$work/f000.bmp"
start=$(seconds)
"$dat" add "$work/big.dat" -C "$work" --as 'd00\f000.bmp' f000.bmp >/dev/null
add_time=$(elapsed "$start")
head -c 1048576 /dev/urandom >"$work/f000.bmp"
mount_archive --commit-delay 0 "$work/big.dat"
cp "$work/f000.bmp" "$mnt/d00/f000.bmp"
start=$(seconds)
unmount_archive
commit_time=$(elapsed "$start")
echo "add (the update alone): ${add_time} s; unmount with its commit: ${commit_time} s;" \
    "over the update: $(echo "($commit_time - $add_time) * 1000" | bc) ms"
rm -f "$work/big.dat" "$work/f000.bmp"

echo "== 1,000,000 entries in 1,000 folders"
python3 - "$work/million.dat" <<'EOF'
import struct, sys
names = [f"folder{d:03}\\entry{f:03}.dat".encode() for d in range(1000) for f in range(1000)]
directory = sum(len(n) + 17 for n in names)
records, offset = [], 4 + directory
for n in names:
    records.append(struct.pack("<IIII", len(n) + 17, 0, offset, 1) + n + b"\0")
    offset += 1
with open(sys.argv[1], "wb") as out:
    out.write(struct.pack("<I", directory) + b"".join(records) + b"x" * len(names))
EOF
mount_archive -r "$work/million.dat"
start=$(seconds)
found=$(find "$mnt" | wc -l)
find_time=$(elapsed "$start")
peak=$(awk '/VmHWM/ { print $2 }' "/proc/$mount_pid/status")
unmount_archive
echo "find | wc -l: $found lines in ${find_time} s; the mount's peak memory: $((peak / 1024)) MB"
