#!/usr/bin/env bash
# What the names stage adds to a run: a default run (`C: RUN`, two random passes and the quotes
# pass) on a fresh 1 GiB image, with the stage and with --no-names, taken in turn; every run
# must end with status 0, the drive complete and no fill file or stage directory left. Prints
# each run's seconds, the medians, the stage's share and its own seconds and bytes (from the run
# report), per file system.
#
#   sudo bash bench/names_bench.sh [-s SIZE] [-r REPEATS] [FS ...]     FS: ext4 xfs btrfs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
args=("$@")
size=1G repeats=3
while getopts "s:r:" opt; do
    case $opt in
        s) size=$OPTARG ;;
        r) repeats=$OPTARG ;;
        *) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
filesystems=${*:-ext4 xfs btrfs}

. "$root/bench/common.sh"
bench_enter names "${args[@]}"

work=$(mktemp -d /tmp/quellix-names-XXXXXX)
img=$work/disk.img mnt=$work/mnt dev=""
mkdir -p "$mnt"
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$dev" ] && losetup -d "$dev" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The program in a directory of its own, so that its random text and run report are this script's.
program=$work/program
bench_program "$program"

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# run [OPTION]: one headless default run; prints its seconds, and the stage's seconds and bytes.
run() {
    local t0 t1 rc=0
    # Never write anywhere but the image's own file system.
    mountpoint -q "$mnt" && [ "$(findmnt -n -o SOURCE --mountpoint "$mnt")" = "$dev" ] ||
        { echo "$mnt is not the image's mount" >&2; exit 1; }
    t0=$(now)
    env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$mnt" \
        "$program/quellix" C: RUN "$@" </dev/null >"$work/out.txt" 2>&1 || rc=$?
    t1=$(now)
    if [ "$rc" -ne 0 ] || grep -q "incomplete" "$work/out.txt" ||
        [ -n "$(find "$mnt" -maxdepth 1 -name '*.qlk')" ]; then
        echo "run ${*:-with the stage} failed (status $rc):" >&2
        cat "$work/out.txt" >&2
        exit 1
    fi
    tail -n 1 "$program/QuellixRuns.jsonl" | python3 -c '
import json, sys
d = json.load(sys.stdin)["drives"][0]
print("%.2f %s %d" % (float(sys.argv[1]) - float(sys.argv[2]), d["names_seconds"], d["journal_bytes_rewritten"]))' "$t1" "$t0"
}

printf '%s images, %d runs each way; %s, %d cores\n' "$size" "$repeats" "$(uname -r)" "$(nproc)"
for fs in $filesystems; do
    rm -f "$img"
    truncate -s "$size" "$img"
    case $fs in
        ext4) mkfs.ext4 -q -F -b 4096 "$img" ;;
        xfs) mkfs.xfs -q -f "$img" ;;
        btrfs) mkfs.btrfs -q -f "$img" >/dev/null ;;
        *) echo "unknown file system $fs" >&2; exit 2 ;;
    esac
    dev=$(losetup --find --show --direct-io=on "$img")
    mount -o nodiscard "$dev" "$mnt"
    run --no-names >/dev/null  # writes the random text; not timed
    with=() without=() stage=() bytes=""
    for r in $(seq 1 "$repeats"); do
        read -r s st b < <(run)
        with+=("$s"); stage+=("$st"); bytes=$b
        read -r s st b < <(run --no-names)
        without+=("$s")
    done
    w=$(printf '%s\n' "${with[@]}" | median)
    wo=$(printf '%s\n' "${without[@]}" | median)
    st=$(printf '%s\n' "${stage[@]}" | median)
    printf '%s:\n' "$fs"
    printf '  with the stage: %s   median %s\n' "${with[*]}" "$w"
    printf '  --no-names:     %s   median %s\n' "${without[*]}" "$wo"
    awk -v w="$w" -v wo="$wo" -v st="$st" -v b="$bytes" 'BEGIN {
        printf "  the stage: %.2f s (median), %.1f MB rewritten; the run %+.1f %%\n", st, b / 1048576, (w / wo - 1) * 100 }'
    umount "$mnt"
    losetup -d "$dev"
    dev=""
done
