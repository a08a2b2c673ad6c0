#!/usr/bin/env bash
# Fill throughput and wipe completeness, side by side on one fresh ext4 image:
#   dd (the device limit; once more with its data flushed to the device), one Quellix random pass and its quotes pass (each timed on its own),
#   sfill -ll -I (secure-delete) and scrub -X -p random.
# Before every tool the free space is filled with a marker pattern and the marker files are
# deleted; afterwards the raw image is searched for blocks that still hold the marker.
#
#   sudo bash bench/fill_bench.sh [SIZE]      SIZE as for truncate, default 1G
set -euo pipefail
size=${1:-1G}
root=$(cd "$(dirname "$0")/.." && pwd)

. "$root/bench/common.sh"
bench_install secure-delete scrub
bench_enter bench "$@"

bin="$root/build/release/bin"
work=$(mktemp -d /tmp/quellix-bench-XXXXXX)
img="$work/disk.img"
mnt="$work/mnt"
mkdir -p "$mnt"
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$dev" ] && losetup -d "$dev" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

truncate -s "$size" "$img"
mkfs.ext4 -q -F -b 4096 "$img"
marker="QUELLIX-BENCH-MARKER-$$-$(date +%s)"

# The loop device reads and writes its backing file with direct I/O, so that what a tool writes
# goes to the disk below rather than into the page cache of the image file.
dev=""
mount_image() {
    dev=$(losetup --find --show --direct-io=on "$img")
    mount -o nodiscard "$dev" "$mnt"
    # Never write anywhere but the image's own file system.
    mountpoint -q "$mnt" || { echo "mount of $img failed" >&2; exit 1; }
    [ "$(stat -c %d "$mnt")" != "$(stat -c %d "$work")" ] || { echo "not a mount" >&2; exit 1; }
}

free_bytes() { stat -f -c '%f %S' "$mnt" | awk '{ printf "%d", $1 * $2 }'; }
now() { date +%s.%N; }

rows=()
dd_rate=""
# record NAME BYTES SECONDS LEFT
record() {
    local rate
    rate=$(awk -v b="$2" -v s="$3" 'BEGIN { printf "%.1f", b / s / 1e6 }')
    [ -z "$dd_rate" ] && dd_rate=$rate
    local ratio
    ratio=$(awk -v r="$rate" -v d="$dd_rate" 'BEGIN { printf "%.0f%%", r / d * 100 }')
    rows+=("$(printf '%-28s %8.2f %9s %8s %10s' "$1" "$3" "$rate" "$ratio" "$4")")
}

# prepare: mount, fill with marker, delete; sets bytes to the free bytes
prepare() {
    mount_image
    "$bin/marker_blocks" fill "$mnt" "$marker"
    bytes=$(free_bytes)
}
# finish: unmount and set left to the marker blocks left in the raw image
finish() {
    sync
    umount "$mnt"
    losetup -d "$dev"
    dev=""
    left=$("$bin/marker_blocks" count "$img" "$marker")
}

# dd_row NAME [CONV]: a dd fill of the whole free space, timed.
dd_row() {
    prepare
    local t0 t1 written
    t0=$(now)
    dd if=/dev/zero of="$mnt/dd.fill" bs=1M oflag=direct ${2:+conv=$2} status=none 2>/dev/null || true
    t1=$(now)
    written=$(stat -c %s "$mnt/dd.fill")
    rm -f "$mnt/dd.fill"
    finish
    record "$1" "$written" "$(awk -v a="$t0" -v b="$t1" 'BEGIN{print b-a}')" "$left"
}

# 1. dd: the device limit; once more with its data flushed to the device before the clock
# stops, as a wipe must.
dd_row "dd bs=1M oflag=direct"
dd_row "dd ... conv=fsync" fsync

# 2. Quellix: one random pass and the quotes pass, timed from its status lines.
prepare
log="$work/quellix.log"
env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$mnt" "$bin/quellix" C: RAND=1 RUN </dev/null |
    while IFS= read -r line; do printf '%s %s\n' "$(now)" "$line"; done >"$log"
finish
stamp() { grep -F -- "$1" "$log" | sed -n "${2:-1}p" | cut -d' ' -f1; }
r0=$(stamp "Filling free-space with random characters")
r1=$(stamp "Restoring disk free-space." 1)
q0=$(stamp "Filling free-space with selected quotes.")
q1=$(stamp "Restoring disk free-space." 2)
if [ -z "$r0" ] || [ -z "$r1" ] || [ -z "$q0" ] || [ -z "$q1" ]; then
    echo "Quellix did not report its passes; its output:" >&2
    cat "$log" >&2
    exit 1
fi
record "Quellix random pass" "$bytes" "$(awk -v a="$r0" -v b="$r1" 'BEGIN{print b-a}')" "$left"
record "Quellix quotes pass" "$bytes" "$(awk -v a="$q0" -v b="$q1" 'BEGIN{print b-a}')" "$left"

# 3. sfill, one random pass, free space only.
prepare
t0=$(now)
sfill -ll -I "$mnt" >/dev/null 2>&1 || true
t1=$(now)
finish
record "sfill -ll -I" "$bytes" "$(awk -v a="$t0" -v b="$t1" 'BEGIN{print b-a}')" "$left"

# 4. scrub, fill a new directory with random data until full.
prepare
t0=$(now)
scrub -X -p random "$mnt/scrub.d" >/dev/null 2>&1 || true
t1=$(now)
rm -rf "$mnt/scrub.d"
finish
record "scrub -X -p random" "$bytes" "$(awk -v a="$t0" -v b="$t1" 'BEGIN{print b-a}')" "$left"

echo
echo "Image: $size ext4 (4 KiB blocks) on a direct-I/O loop device, nodiscard; $(nproc) cores; $(uname -r)"
printf '%-28s %8s %9s %8s %10s\n' "tool" "seconds" "MB/s" "vs dd" "marker left"
for r in "${rows[@]}"; do echo "$r"; done
