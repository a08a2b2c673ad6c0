#!/usr/bin/env bash
# A run over several drives, one after the other and with --parallel, on images of its own: four
# (or N) ext4 images of 256 MiB, each on a loop device of its own. Both runs must complete every
# drive and leave no fill file; the script prints each run's seconds and the ratio of the medians.
#
#   sudo bash bench/parallel.sh [-d DRIVES] [-s SIZE] [-r REPEATS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
drives=4 size=256M repeats=3
while getopts "d:s:r:" opt; do
    case $opt in
        d) drives=$OPTARG ;;
        s) size=$OPTARG ;;
        r) repeats=$OPTARG ;;
        *) exit 2 ;;
    esac
done

. "$root/bench/common.sh"
bench_enter parallel "$@"

work=$(mktemp -d /tmp/quellix-parallel-XXXXXX)
devices=() mounts=()
cleanup() {
    for m in "${mounts[@]}"; do mountpoint -q "$m" && umount "$m"; done
    for d in "${devices[@]}"; do losetup -d "$d" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# The program in a directory of its own, so that its random text and run report are this script's.
program=$work/program
bench_program "$program"

for i in $(seq 1 "$drives"); do
    img=$work/disk$i.img mnt=$work/mnt$i
    mkdir -p "$mnt"
    truncate -s "$size" "$img"
    mkfs.ext4 -q -F -b 4096 "$img"
    dev=$(losetup --find --show --direct-io=on "$img")
    devices+=("$dev")
    mount -o nodiscard "$dev" "$mnt"
    mounts+=("$mnt")
    # Never write anywhere but the image's own file system.
    mountpoint -q "$mnt" && [ "$(findmnt -n -o SOURCE --mountpoint "$mnt")" = "$dev" ] ||
        { echo "mount of $img failed" >&2; exit 1; }
done
list=$(IFS=:; echo "${mounts[*]}")
[ -n "$list" ] || exit 1  # an empty list would mean every drive of the machine

now() { date +%s.%N; }
# run [OPTION]: one headless run over every image; prints its seconds.
run() {
    local t0 t1 rc=0
    for m in "${mounts[@]}"; do
        mountpoint -q "$m" || { echo "$m is no longer mounted" >&2; exit 1; }
    done
    t0=$(now)
    env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$list" \
        "$program/quellix" ALL RAND=1 RUN "$@" </dev/null >"$work/out.txt" 2>&1 || rc=$?
    t1=$(now)
    if [ "$rc" -ne 0 ] || grep -q "incomplete" "$work/out.txt" ||
        [ -n "$(find "${mounts[@]}" -maxdepth 1 -name '*.qlk')" ]; then
        echo "run ${*:-sequential} failed (status $rc):" >&2
        cat "$work/out.txt" >&2
        exit 1
    fi
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# A first run writes the random text; it is not timed.
run >/dev/null
sequential=() parallel=()
for r in $(seq 1 "$repeats"); do
    sequential+=("$(run)")
    parallel+=("$(run --parallel)")
done
s=$(printf '%s\n' "${sequential[@]}" | median)
p=$(printf '%s\n' "${parallel[@]}" | median)
printf '%d drives of %s, %d runs each (seconds)\n' "$drives" "$size" "$repeats"
printf '  one after the other: %s   median %s\n' "${sequential[*]}" "$s"
printf '  --parallel:          %s   median %s\n' "${parallel[*]}" "$p"
awk -v s="$s" -v p="$p" 'BEGIN { printf "  ratio parallel / sequential: %.2f\n", p / s }'
