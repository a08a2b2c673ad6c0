#!/usr/bin/env bash
# What reading back the last pass costs: a default run (2 random passes and the quotes pass) on
# an ext4 image of its own, with --verify=off and with --verify=last (the default), each timed as
# a whole process. The loop device reads and writes its image with direct I/O, so that the
# read-back reads the disk below and not the image file's page cache. Every run must end with
# status 0 and leave no fill file. The script prints each run's seconds, the ratio of the
# medians, the read-back's rate from the run report, and the device's own read rate (dd with
# O_DIRECT in 8 MiB blocks over the same stretch) for comparison.
#
#   sudo bash bench/verify.sh [-s SIZE] [-r REPEATS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size=1G repeats=3
while getopts "s:r:" opt; do
    case $opt in
        s) size=$OPTARG ;;
        r) repeats=$OPTARG ;;
        *) exit 2 ;;
    esac
done

. "$root/bench/common.sh"
bench_enter verify "$@"

work=$(mktemp -d /tmp/quellix-verify-XXXXXX)
dev="" mnt=$work/mnt
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$dev" ] && losetup -d "$dev" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The program in a directory of its own, so that its random text and run report are this script's.
program=$work/program
mkdir -p "$mnt"
bench_program "$program"

truncate -s "$size" "$work/disk.img"
mkfs.ext4 -q -F -b 4096 "$work/disk.img"
dev=$(losetup --find --show --direct-io=on "$work/disk.img")
mount -o nodiscard "$dev" "$mnt"
# Never write anywhere but the image's own file system.
mountpoint -q "$mnt" && [ "$(findmnt -n -o SOURCE --mountpoint "$mnt")" = "$dev" ] ||
    { echo "mount of the image failed" >&2; exit 1; }

now() { date +%s.%N; }
# run VERIFY: one headless default run; prints its seconds.
run() {
    local t0 t1 rc=0
    mountpoint -q "$mnt" && [ "$(findmnt -n -o SOURCE --mountpoint "$mnt")" = "$dev" ] ||
        { echo "$mnt is no longer the image's mount" >&2; exit 1; }
    t0=$(now)
    env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$mnt" \
        "$program/quellix" C: RUN --verify="$1" </dev/null >"$work/out.txt" 2>&1 || rc=$?
    t1=$(now)
    if [ "$rc" -ne 0 ] || [ -n "$(find "$mnt" -maxdepth 1 -name '*.qlk')" ]; then
        echo "run --verify=$1 failed (status $rc):" >&2
        cat "$work/out.txt" >&2
        exit 1
    fi
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# A first run writes the random text; it is not timed.
run off >/dev/null
off=() last=()
for r in $(seq 1 "$repeats"); do
    off+=("$(run off)")
    last+=("$(run last)")
done
o=$(printf '%s\n' "${off[@]}" | median)
l=$(printf '%s\n' "${last[@]}" | median)

# The last run's read-back, from its report: bytes read back as written and the seconds it took.
report=$(tail -n 1 "$program/QuellixRuns.jsonl")
verified=$(echo "$report" | grep -o '"verified_bytes":[0-9]*' | tail -n 1 | cut -d: -f2)
seconds=$(echo "$report" | grep -o '"verify_seconds":[0-9.e+-]*' | tail -n 1 | cut -d: -f2)
# The device's own read rate over as many bytes, past the page cache.
t0=$(now)
dd if="$dev" of=/dev/null bs=8M iflag=direct count=$(( (verified + 8388607) / 8388608 )) status=none
t1=$(now)

printf 'ext4 %s, default run (2 random passes and the quotes pass), %d runs each (seconds)\n' \
    "$size" "$repeats"
printf '  --verify=off:  %s   median %s\n' "${off[*]}" "$o"
printf '  --verify=last: %s   median %s\n' "${last[*]}" "$l"
awk -v o="$o" -v l="$l" 'BEGIN { printf "  ratio last / off: %.2f\n", l / o }'
awk -v b="$verified" -v s="$seconds" -v a="$t0" -v c="$t1" 'BEGIN {
    printf "  read-back: %.0f MB in %.2f s, %.0f MB/s; the device read by dd: %.0f MB/s\n",
        b / 1048576, s, b / 1048576 / s, b / 1048576 / (c - a) }'
