#!/usr/bin/env bash
# What deleted files leave on the disk after a free-space wipe, for Quellix and its peers: on a
# fresh image per file system and tool, 475 files (5 big, 50 medium, 420 tiny of 60 to 2,000
# bytes) with names and marker lines of their own are written, synced and deleted; the file
# system is mounted anew (with -l: not, the wipe then runs on the live mount the files were
# deleted on); the tool wipes; the raw image is searched for the names and the tiny files' lines.
#
#   sudo bash bench/effectiveness.sh [-s SIZE] [-l] [-t TOOLS] [FS ...]
#     FS: ext4 ext4-inline xfs btrfs (default all); TOOLS (comma-separated, default all):
#     quellix (C: RAND=1 RUN), quellix-no-names (the same with --no-names), sfill (its default
#     secure mode), sfill-fast (sfill -f -l -l), scrub (scrub -X -p random), dd (a zero fill)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
args=("$@")
size=384M live="" tools="quellix,quellix-no-names,sfill,sfill-fast,scrub,dd"
while getopts "s:lt:" opt; do
    case $opt in
        s) size=$OPTARG ;;
        l) live=1 ;;
        t) tools=$OPTARG ;;
        *) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
filesystems=${*:-ext4 ext4-inline xfs btrfs}

. "$root/bench/common.sh"
bench_install secure-delete scrub
bench_enter effectiveness "${args[@]}"

work=$(mktemp -d /tmp/quellix-effectiveness-XXXXXX)
img=$work/disk.img mnt=$work/mnt dev=""
mkdir -p "$mnt"
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$dev" ] && losetup -d "$dev" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
program=$work/program
bench_program "$program"

attach() {
    dev=$(losetup --find --show --direct-io=on "$img")
    mount -o nodiscard "$dev" "$mnt"
    # Never write anywhere but the image's own file system.
    mountpoint -q "$mnt" && [ "$(findmnt -n -o SOURCE --mountpoint "$mnt" | sed 's/\[.*//')" = "$dev" ] ||
        { echo "mount of $img failed" >&2; exit 1; }
}
detach() {
    umount "$mnt"
    losetup -d "$dev"
    dev=""
}

# The files: names QXN<number>-..., every line of a file QXT<number> (tiny files) or QXB
# (big and medium ones).
populate() {
    python3 - "$mnt" <<'PY'
import os, sys
top = sys.argv[1]
def lines(tag, i, size):
    text = ''.join('%s%03d line %d of a file that was deleted\n' % (tag, i, k) for k in range(size // 30 + 2))
    return text[:size]
for d in ('projects/2025', 'mail/archive', 'scans'):
    os.makedirs(os.path.join(top, d))
dirs = ['projects/2025', 'mail/archive', 'scans', '']
for i in range(475):
    kind = 'big' if i < 5 else 'medium' if i < 55 else 'tiny'
    size = {'big': 8 << 20, 'medium': 100000}.get(kind, 60 + i * 37 % 1941)
    name = 'QXN%03d-%s-invoice-%08x.txt' % (i, kind, i * 2654435761 % 2**32)
    with open(os.path.join(top, dirs[i % 4], name), 'w') as f:
        f.write(lines('QXT' if kind == 'tiny' else 'QXB', i, size))
PY
    sync
    rm -rf "$mnt/projects" "$mnt/mail" "$mnt/scans" "$mnt"/QXN*
    sync
}

# left: the distinct names, and the tiny files and lines, found in the raw image.
left() {
    local names files lines
    # grep finds nothing in a clean image: not a failure here.
    names=$({ grep -a -o 'QXN[0-9][0-9][0-9]' "$img" || true; } | sort -u | wc -l)
    files=$({ grep -a -o 'QXT[0-9][0-9][0-9] line' "$img" || true; } | sort -u | wc -l)
    lines=$(grep -a -c 'QXT[0-9][0-9][0-9] line' "$img" || true)
    echo "$names $files $lines"
}

now() { date +%s.%N; }

# wipe TOOL: the tool on the mounted image; prints its seconds.
wipe() {
    local t0 t1 rc=0
    t0=$(now)
    case $1 in
        quellix | quellix-no-names)
            env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$mnt" "$program/quellix" C: RAND=1 RUN \
                $([ "$1" = quellix-no-names ] && echo --no-names) </dev/null >"$work/out.txt" 2>&1 || rc=$? ;;
        sfill) sfill "$mnt" >"$work/out.txt" 2>&1 || rc=$? ;;
        sfill-fast) sfill -f -l -l "$mnt" >"$work/out.txt" 2>&1 || rc=$? ;;
        scrub) { scrub -X -p random "$mnt/scrub" && rm -rf "$mnt/scrub"; } >"$work/out.txt" 2>&1 || rc=$? ;;
        dd) { dd if=/dev/zero of="$mnt/zero" bs=1M oflag=direct status=none; sync; rm -f "$mnt/zero"; } \
            >"$work/out.txt" 2>&1 || true ;;
        *) echo "unknown tool $1" >&2; exit 2 ;;
    esac
    sync
    t1=$(now)
    [ "$rc" -eq 0 ] || { echo "$1 ended with $rc: $(tail -n 3 "$work/out.txt")" >&2; }
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }'
}

printf '%s images%s; %s, %d cores\n' "$size" "${live:+, wiped on the live mount the files were deleted on}" \
    "$(uname -r)" "$(nproc)"
printf '%-12s %-17s %8s %12s %12s %12s\n' "file system" tool seconds "names left" "tiny files" "tiny lines"
for fs in $filesystems; do
    for tool in ${tools//,/ }; do
        rm -f "$img"
        truncate -s "$size" "$img"
        case $fs in
            ext4) mkfs.ext4 -q -F -b 4096 "$img" ;;
            ext4-inline) mkfs.ext4 -q -F -b 4096 -O inline_data "$img" ;;
            xfs) mkfs.xfs -q -f "$img" ;;
            btrfs) mkfs.btrfs -q -f "$img" >/dev/null ;;
            *) echo "unknown file system $fs" >&2; exit 2 ;;
        esac
        attach
        populate
        if [ -z "$live" ]; then
            detach
            attach
        fi
        seconds=$(wipe "$tool")
        detach
        read -r names files lines < <(left)
        printf '%-12s %-17s %8s %12s %12s %12s\n' "$fs" "$tool" "$seconds" "$names" "$files" "$lines"
    done
done
