#!/usr/bin/env bash
# Faults and scale, on loop-mounted images of the script's own: a wipe killed at any moment (also
# with drives filled at once, and in the names stage), a writer beside the fill, the mount taken
# away, a read-only remount and a file-system shutdown mid-run, a user quota, 24 drives in one run
# (a 25th refused), a hostile user who plants and races links under the fill files' names, one who
# owns the top directory and renames or exchanges a directory of root's with the names stage's, and
# the mounted device read raw before a run (a lost overwrite). Each scenario checks that no fill
# file is left, that the free space is given back and that no other file changed.
#
#   sudo bash bench/faults.sh [-n SCALE] [-s SEED] [SCENARIO ...]
#
# SCALE multiplies every scenario's count of runs (at least 1 each; default 1, e.g. -n 0.2 for a
# short sweep); SEED fixes the random moments (printed either way). SCENARIO is any of: kill-ext4
# kill-xfs kill-btrfs kill-parallel kill-names writer umount readonly shutdown quota drives
# hostile hostile-owner lost-overwrite (default: all of them).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

args=("$@")
scale=1
seed=""
while getopts "n:s:h" opt; do
    case $opt in
        n) scale=$OPTARG ;;
        s) seed=$OPTARG ;;
        *) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
all_scenarios="kill-ext4 kill-xfs kill-btrfs kill-parallel kill-names writer umount readonly shutdown quota drives hostile hostile-owner lost-overwrite"
scenarios=${*:-$all_scenarios}
for s in $scenarios; do
    case " $all_scenarios " in *" $s "*) ;; *) echo "unknown scenario: $s" >&2; exit 2 ;; esac
done

if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root: the script loop-mounts images of its own." >&2
    exit 1
fi

# Every mount of this script stays in a mount namespace of its own.
if [ -z "${QUELLIX_FAULTS_NS:-}" ]; then
    bash "$root/scripts/deps.sh"
    # The optimised build, made or brought up to date.
    (cd "$root" && cmake --preset release -G Ninja >/dev/null &&
        cmake --build --preset release -j "$(nproc)" >/dev/null) || exit 1
    exec env QUELLIX_FAULTS_NS=1 unshare -m --propagation private bash "$0" "${args[@]}"
fi

bin="$root/build/release/bin"
[ -n "$seed" ] || seed=$(( $(date +%s) % 100000 ))
RANDOM=$seed
echo "Seed $seed (repeat with -s $seed); scale $scale; scenarios: $scenarios"

work=$(mktemp -d /tmp/quellix-faults-XXXXXX)
chmod 755 "$work"
# A program that may not write its own directory (the hostile scenario moves it away) keeps its
# files in the user's state directory: here, never in the machine's home.
export XDG_STATE_HOME=$work/state
unset STATE_DIRECTORY
declare -A IMG DEV MNT FS
problems=0
rows=()

cleanup() {
    local n
    for n in "${!MNT[@]}"; do
        mountpoint -q "${MNT[$n]}" && umount -l "${MNT[$n]}"
        [ -n "${DEV[$n]:-}" ] && losetup -d "${DEV[$n]}" 2>/dev/null
    done
    # Never remove a directory that still holds a mount.
    if ! findmnt -rn -o TARGET | grep -q "^$work/"; then rm -rf "$work"; fi
}
trap cleanup EXIT

problem() {
    problems=$((problems + 1))
    echo "  ! $*"
}

count() { # count N: N runs times the scale, at least 1
    awk -v n="$1" -v s="$scale" 'BEGIN { c = int(n * s + 0.5); print (c < 1 ? 1 : c) }'
}

# --- Images --------------------------------------------------------------------------------

# image NAME FS SIZE [MOUNT-OPTIONS [MKFS-OPTION ...]]: a fresh image, attached and mounted.
image() {
    local name=$1 fs=$2 size=$3 opts=${4:-}
    shift 3
    shift || true
    local d="$work/$name"
    mkdir -p "$d/mnt"
    IMG[$name]="$d/disk.img"
    MNT[$name]="$d/mnt"
    FS[$name]=$fs
    DEV[$name]=""
    rm -f "$d/disk.img"
    truncate -s "$size" "$d/disk.img"
    case $fs in
        ext4) mkfs.ext4 -q -F -b 4096 "$@" "$d/disk.img" ;;
        xfs) mkfs.xfs -q -f "$@" "$d/disk.img" ;;
        btrfs) mkfs.btrfs -q -f "$@" "$d/disk.img" ;;
    esac >/dev/null 2>&1 || { echo "mkfs.$fs failed" >&2; exit 1; }
    attach "$name" "$opts"
}

# attach NAME [MOUNT-OPTIONS]: attaches the image to a loop device and mounts it.
attach() {
    local name=$1 opts=${2:-}
    DEV[$name]=$(losetup --find --show "${IMG[$name]}")
    mount -o "nodiscard${opts:+,$opts}" "${DEV[$name]}" "${MNT[$name]}" ||
        { echo "mount of ${IMG[$name]} failed" >&2; exit 1; }
    verified "$name" || { echo "${MNT[$name]} is not the image's mount" >&2; exit 1; }
}

detach() {
    local name=$1
    mountpoint -q "${MNT[$name]}" && umount "${MNT[$name]}"
    [ -n "${DEV[$name]}" ] && losetup -d "${DEV[$name]}"
    DEV[$name]=""
}

# verified NAME: the mount point is a mount, and of the image's own loop device. A mount that
# failed leaves an empty directory of the machine's own file system: nothing may be filled there.
verified() {
    local name=$1 source
    [ -n "${DEV[$name]}" ] && mountpoint -q "${MNT[$name]}" || return 1
    source=$(findmnt -n -o SOURCE --mountpoint "${MNT[$name]}" | sed 's/\[.*//')
    [ "$source" = "${DEV[$name]}" ]
}

# drives NAME...: the QUELLIX_DRIVES value for these images, each verified; exits otherwise.
drives() {
    local list="" n
    for n in "$@"; do
        verified "$n" || { echo "refusing to run: ${MNT[$n]} is not verified" >&2; exit 1; }
        list+="${list:+:}${MNT[$n]}"
    done
    echo "$list"
}

# Free blocks after sync. xfs and btrfs give freed blocks back in the background: with WANT,
# wait (at most 10 s) until the count reaches it. On btrfs the blocks free for file data: its
# total free count also moves with its own metadata (by a 16 KiB node, stored twice), after any
# fill, a plain dd as much as a wipe.
free_blocks() {
    local name=$1 want=${2:-} n=0 now
    while :; do
        sync
        [ "${FS[$name]}" = btrfs ] && btrfs filesystem sync "${MNT[$name]}" >/dev/null 2>&1
        if [ "${FS[$name]}" = btrfs ]; then
            now=$(stat -f -c %a "${MNT[$name]}")
        else
            now=$(stat -f -c %f "${MNT[$name]}")
        fi
        if [ -z "$want" ] || [ "$now" -ge "$want" ] || [ "$n" -ge 100 ]; then break; fi
        sleep 0.1
        n=$((n + 1))
    done
    echo "$now"
}
block_size() { stat -f -c %S "${MNT[$1]}"; }

# Files of known content that no wipe may change.
seed_files() {
    local name=$1 i
    mkdir -p "${MNT[$name]}/keep"
    for i in 1 2 3 4 5; do
        head -c $(( (RANDOM % 512 + 1) * 1024 )) /dev/urandom >"${MNT[$name]}/keep/file$i"
    done
    sync
    (cd "${MNT[$name]}" && find . -xdev -type f ! -name '*.qlk' -print0 | sort -z |
        xargs -0 sha256sum) >"$work/$name.sums"
}
# damaged NAME: files changed, missing or added since seed_files (fill files aside).
damaged() {
    local name=$1
    (cd "${MNT[$name]}" && find . -xdev -type f ! -name '*.qlk' -print0 | sort -z |
        xargs -0 -r sha256sum) | diff "$work/$name.sums" - | grep -c '^[<>]' | sed 's/^$/0/'
}
fill_files() { find "${MNT[$1]}" -xdev -name '*.qlk' | wc -l; }

# --- The program ---------------------------------------------------------------------------

# program DIR [OWNER]: a copy of the program with its quotes file, so that its error log, random
# text and run report are this script's.
program() {
    mkdir -p "$1"
    cp "$bin/quellix" "$root/resources/QuellixQuotes.sav" "$1/"
    [ -n "${2:-}" ] && chown -R "$2:$2" "$1"
    return 0
}

# fresh NAME FS SIZE: a new image holding the seeded files, and a program directory of its own.
# Sets the caller's dir (the program's directory) and base (the image's free blocks).
fresh() {
    image "$1" "$2" "$3"
    seed_files "$1"
    dir="$work/$1/program"
    program "$dir"
    base=$(free_blocks "$1")
}

# quellix DIR DRIVES [ARG ...]: a headless run to its end (at most 10 minutes); sets rc.
quellix() {
    local dir=$1 list=$2
    shift 2
    [ -n "$list" ] || exit 1  # an empty list would mean every drive of the machine
    # shellcheck disable=SC2086  # LAUNCH is words: "nice -n 19 ionice -c 3"
    env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$list" timeout -s KILL 600 \
        ${AS_USER:+setpriv --reuid=$AS_USER --regid=$AS_USER --clear-groups} ${LAUNCH:-} \
        "$dir/quellix" "$@" </dev/null >"$dir/out.txt" 2>&1
    rc=$?
}

# start DIR DRIVES [ARG ...]: the same in the background; sets pid and t0.
start() {
    local dir=$1 list=$2
    shift 2
    [ -n "$list" ] || exit 1
    t0=$(now)
    # Emptied first: a wait for a status line must not find the previous run's.
    : >"$dir/out.txt"
    env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$list" \
        "$dir/quellix" "$@" </dev/null >"$dir/out.txt" 2>&1 &
    pid=$!
}

# alive PID: running (not a zombie).
alive() {
    local s
    read -r s 2>/dev/null <"/proc/$1/stat" || return 1
    s=${s##*) }
    [ "${s%% *}" != Z ]
}

# await PID SECONDS: waits for the background run; sets rc, and hung=1 if it had to be killed.
await() {
    local end=$((SECONDS + $2))
    hung=0
    while alive "$1"; do
        if [ "$SECONDS" -ge "$end" ]; then
            hung=1
            kill -9 "$1"
            break
        fi
        sleep 0.02
    done
    wait "$1" 2>/dev/null
    rc=$?
}

# holds PID ENDING: the process has a file open whose name ends so (an unlinked one included).
# One ls a poll: quick enough to catch a bulk stage early.
holds() {
    # shellcheck disable=SC2010  # the names are the program's own fill files
    ls -l "/proc/$1/fd" 2>/dev/null | grep -q -- "$2"
}

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
# rand_between A B: a random number of seconds in [A, B].
rand_between() {
    awk -v a="$1" -v b="$2" -v r="$RANDOM" 'BEGIN { printf "%.3f", a + (b - a) * r / 32767 }'
}

# wait_for FILE TEXT [SECONDS]: until the text appears in the file (or time is up).
wait_for() {
    local end=$((SECONDS + ${3:-60}))
    until grep -qF -- "$2" "$1" 2>/dev/null; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.005
    done
}

# The last line of the run report (one JSON object per line), and its drives' outcomes.
last_report() { tail -n 1 "$1/QuellixRuns.jsonl" 2>/dev/null; }
outcomes_of() {
    last_report "$1" | grep -o '"outcome":"[a-z ]*"' | cut -d'"' -f4 | sort | uniq -c |
        awk '{ n = $1; sub(/^ *[0-9]+ /, ""); printf "%sreport %s", (NR > 1 ? "; " : ""), $0 }'
}

# tally KEY: counts outcomes for the table ("exit 4 x7, exit 1 x3").
declare -A TALLY
tally() { [ -n "$1" ] && TALLY[$1]=$(( ${TALLY[$1]:-0} + 1 )); }
tally_text() {
    local k out=""
    while IFS= read -r k; do
        out+="${out:+; }$k x${TALLY[$k]}"
    done < <(printf '%s\n' "${!TALLY[@]}" | sort)
    echo "$out"
}

# row SCENARIO RUNS FAULTS OUTCOMES LEFT NOTBACK DAMAGED [RSS TIME]
row() {
    rows+=("$(printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s' "$1" "$2" "$3" "$4" "$5" "$6" "$7" \
        "${8:--}" "${9:--}")")
    echo "$1: done"
    TALLY=()
}

# Checks after a run and the start-up cleanup: fill files, free space, other files.
# after_checks NAME BASELINE: adds to left, notback, damage.
after_checks() {
    local name=$1 base=$2 f l d
    l=$(fill_files "$name")
    f=$(free_blocks "$name" "$base")
    d=$(damaged "$name")
    left=$((left + l))
    notback=$((notback + (base - f) * $(block_size "$name")))
    damage=$((damage + d))
    [ "$l" -eq 0 ] || problem "$name: $l fill files left: $(find "${MNT[$name]}" -name '*.qlk')"
    [ "$f" -eq "$base" ] || problem "$name: free blocks $f, before the run $base"
    [ "$d" -eq 0 ] || problem "$name: $d other files changed"
}

# --- 1. Kill at any moment ---------------------------------------------------------------------

# timeline DIR: the seconds from the start at which the run printed its pass lines, measured
# on a run to its end: sets dur, r0, r1, q0, q1.
timeline() {
    local dir=$1 list=$2
    start "$dir" "$list" C: RAND=1 RUN
    r0="" r1="" q0="" q1=""
    while alive "$pid"; do
        if [ -z "$r0" ] && grep -qsF "with random characters" "$dir/out.txt"; then r0=$(since "$t0"); fi
        if [ -n "$r0" ] && [ -z "$r1" ] && grep -qsF "Restoring" "$dir/out.txt"; then r1=$(since "$t0"); fi
        if [ -z "$q0" ] && grep -qsF "selected quotes" "$dir/out.txt"; then q0=$(since "$t0"); fi
        if [ -n "$q0" ] && [ -z "$q1" ] &&
            [ "$(grep -csF "Restoring" "$dir/out.txt")" -ge 2 ]; then q1=$(since "$t0"); fi
        sleep 0.002
    done
    dur=$(since "$t0")
    wait "$pid"
    rc=$?
    [ "$rc" -eq 0 ] || problem "the measuring run ended with $rc: $(cat "$dir/out.txt")"
    : "${r0:=0}" "${r1:=$dur}" "${q0:=0}" "${q1:=$dur}"
}

# phase DIR PID: where the run is, from its open files and its last status line.
phase() {
    local fds last
    fds=$(ls -l "/proc/$2/fd" 2>/dev/null)
    alive "$2" || { echo "ended"; return; }
    case $fds in
        *names00.qlk*) echo "names"; return ;;
        *01.qlk*) echo "tail"; return ;;
        *00.qlk*) echo "bulk"; return ;;
    esac
    last=$(grep -v '^Current cycle' "$1/out.txt" | tail -n 1)
    case $last in
        *Filling*) echo "probe/close" ;;
        *Clearing*) echo "names" ;;
        *Restoring*) echo "cleanup/pause" ;;
        *overwritten* | *complete* | *Thank*) echo "end" ;;
        *) echo "start" ;;
    esac
}

# kill_sweep FS SIZE KILLS
kill_sweep() {
    local fs=$1 size=$2 kills name="kill-$1" dir base k at mode ph list tail
    kills=$(count "$3")
    fresh "$name" "$fs" "$size"
    list=$(drives "$name")
    left=0 notback=0 damage=0
    local -A phases=()

    timeline "$dir" "$list"
    tally "exit $rc"
    after_checks "$name" "$base"
    echo "$name: a run takes ${dur}s (random pass ${r0}-${r1}s, quotes pass ${q0}-${q1}s)"

    for ((k = 0; k < kills; k++)); do
        list=$(drives "$name")
        mode=$((k % 5))
        start "$dir" "$list" C: RAND=1 RUN
        case $mode in
            0) at=$(rand_between 0 "$dur") ;;
            2) if [ $((k % 2)) -eq 0 ]; then at=$(rand_between "$r0" "$r1")
               else at=$(rand_between "$q0" "$q1"); fi ;;
            *) at="" ;;
        esac
        if [ "$mode" -eq 1 ]; then
            # Into a bulk stage: the unlinked bulk file is open.
            until holds "$pid" 00.qlk; do
                alive "$pid" || break
            done
            sleep "$(rand_between 0 0.04)"
            ph=$(phase "$dir" "$pid")
        elif [ -n "$at" ]; then
            sleep "$(awk -v a="$at" -v b="$(since "$t0")" 'BEGIN { d = a - b; print (d > 0 ? d : 0) }')"
            ph=$(phase "$dir" "$pid")
        else
            # At the moment the tail file appears, or a little later: the small stages, the
            # close of both files and the cleanup.
            tail=$([ $((k % 2)) -eq 0 ] && echo random01.qlk || echo quote01.qlk)
            while alive "$pid" && [ ! -e "${MNT[$name]}/$tail" ]; do :; done
            [ "$mode" -eq 4 ] && sleep "$(rand_between 0 0.03)"
            ph=$(phase "$dir" "$pid")
        fi
        kill -9 "$pid" 2>/dev/null
        await "$pid" 60 2>/dev/null
        phases[$ph]=$(( ${phases[$ph]:-0} + 1 ))
        tally "exit $rc"
        [ "$hung" -eq 0 ] || problem "$name: run $k hung"
        # The next start removes what the killed run left.
        list=$(drives "$name")
        quellix "$dir" "$list"
        tally "start-up exit $rc"
        [ "$rc" -eq 0 ] || problem "$name: the start-up after kill $k ended with $rc"
        after_checks "$name" "$base"
    done
    local p faults=""
    for p in start bulk tail probe/close names cleanup/pause end ended; do
        [ -n "${phases[$p]:-}" ] && faults+="${faults:+ }$p ${phases[$p]}"
    done
    row "kill -9, $fs $size" "$((kills + 1))" "$kills kill -9 ($faults)" "$(tally_text)" \
        "$left" "$notback" "$damage"
    detach "$name"
}

# --- 1b. Kill in the names stage -------------------------------------------------------------

free_inodes() { stat -f -c %d "${MNT[$1]}"; }

# names_kill_sweep FS SIZE KILLS: each run killed with SIGKILL at a random moment of its names
# stage (from "Clearing the names of deleted files." to the drive's summary line); the next start
# must remove the stage's directory and give every block and inode back. The faults column counts
# the kills that left the directory behind.
names_kill_sweep() {
    local fs=$1 size=$2 kills name="names-$1" k ph list c0 c1 stage inodes dirs=0 i
    kills=$(count "$3")
    fresh "$name" "$fs" "$size"
    inodes=$(free_inodes "$name")
    list=$(drives "$name")
    left=0 notback=0 damage=0
    local -A phases=()

    # A run to its end first, to learn how long its names stage takes.
    start "$dir" "$list" C: RAND=1 RUN
    c0="" c1=""
    while alive "$pid"; do
        if [ -z "$c0" ] && grep -qsF "Clearing the names" "$dir/out.txt"; then c0=$(since "$t0"); fi
        # The drive's summary line follows the stage.
        if [ -n "$c0" ] && [ -z "$c1" ] && grep -qsE ': [0-9]+ passes' "$dir/out.txt"; then
            c1=$(since "$t0")
        fi
        sleep 0.002
    done
    wait "$pid"
    rc=$?
    tally "exit $rc"
    [ "$rc" -eq 0 ] && [ -n "$c0" ] && [ -n "$c1" ] ||
        problem "$name: the measuring run ended with $rc: $(tail -n 3 "$dir/out.txt")"
    after_checks "$name" "$base"
    stage=$(awk -v a="${c0:-0}" -v b="${c1:-0}" 'BEGIN { printf "%.3f", b - a }')
    echo "$name: the names stage takes ${stage}s (from ${c0}s)"

    for ((k = 0; k < kills; k++)); do
        list=$(drives "$name")
        start "$dir" "$list" C: RAND=1 RUN
        wait_for "$dir/out.txt" "Clearing the names" 120 || problem "$name run $k: no names stage"
        sleep "$(rand_between 0 "$stage")"
        ph=$(phase "$dir" "$pid")
        kill -9 "$pid" 2>/dev/null
        await "$pid" 60 2>/dev/null
        phases[$ph]=$(( ${phases[$ph]:-0} + 1 ))
        [ -d "${MNT[$name]}/names00.qlk" ] && dirs=$((dirs + 1))
        tally "exit $rc"
        [ "$hung" -eq 0 ] || problem "$name: run $k hung"
        list=$(drives "$name")
        quellix "$dir" "$list"
        tally "start-up exit $rc"
        [ "$rc" -eq 0 ] || problem "$name: the start-up after kill $k ended with $rc"
        after_checks "$name" "$base"
        i=$(free_inodes "$name")
        [ "$i" -eq "$inodes" ] || problem "$name: free inodes $i, before the runs $inodes"
    done
    local p faults=""
    for p in names cleanup/pause end ended; do
        [ -n "${phases[$p]:-}" ] && faults+="${faults:+ }$p ${phases[$p]}"
    done
    row "kill -9 in the names stage, $fs $size" "$((kills + 1))" \
        "$kills kill -9 ($faults; directory left $dirs)" "$(tally_text)" "$left" "$notback" \
        "$damage"
    detach "$name"
}

# kill_parallel_sweep KILLS: four ext4 images, each on a loop device of its own, filled at once
# (--parallel) and killed with SIGKILL at a random moment of the run or while tail files are open
# on at least two of them; the next start must leave all four as they were.
kill_parallel_sweep() {
    local kills names=(p1 p2 p3 p4) bases=() dir list k i at ph open t
    kills=$(count "$1")
    for i in "${!names[@]}"; do
        image "${names[$i]}" ext4 64M
        seed_files "${names[$i]}"
        bases+=("$(free_blocks "${names[$i]}")")
    done
    dir="$work/parallel-program"
    program "$dir"
    left=0 notback=0 damage=0
    local -A phases=()

    # One run to its end first, to learn how long it takes.
    list=$(drives "${names[@]}")
    t=$(now)
    quellix "$dir" "$list" ALL RAND=1 RUN --parallel
    dur=$(since "$t")
    tally "exit $rc"
    [ "$rc" -eq 0 ] || problem "the measuring parallel run ended with $rc: $(tail -n 5 "$dir/out.txt")"
    for i in "${!names[@]}"; do after_checks "${names[$i]}" "${bases[$i]}"; done
    echo "kill-parallel: a run over four drives takes ${dur}s"

    for ((k = 0; k < kills; k++)); do
        list=$(drives "${names[@]}")
        start "$dir" "$list" ALL RAND=1 RUN --parallel
        if [ $((k % 2)) -eq 0 ]; then
            at=$(rand_between 0 "$dur")
            sleep "$(awk -v a="$at" -v b="$(since "$t0")" 'BEGIN { d = a - b; print (d > 0 ? d : 0) }')"
        else
            # While at least two drives have their tail file open.
            while alive "$pid"; do
                open=0
                for i in "${!names[@]}"; do
                    [ -n "$(find "${MNT[${names[$i]}]}" -maxdepth 1 -name '*01.qlk')" ] &&
                        open=$((open + 1))
                done
                [ "$open" -ge 2 ] && break
            done
        fi
        ph=$(phase "$dir" "$pid")
        kill -9 "$pid" 2>/dev/null
        await "$pid" 60 2>/dev/null
        phases[$ph]=$(( ${phases[$ph]:-0} + 1 ))
        tally "exit $rc"
        [ "$hung" -eq 0 ] || problem "kill-parallel: run $k hung"
        list=$(drives "${names[@]}")
        quellix "$dir" "$list"
        tally "start-up exit $rc"
        [ "$rc" -eq 0 ] || problem "kill-parallel: the start-up after kill $k ended with $rc"
        for i in "${!names[@]}"; do after_checks "${names[$i]}" "${bases[$i]}"; done
    done
    local p faults=""
    for p in start bulk tail probe/close cleanup/pause end ended; do
        [ -n "${phases[$p]:-}" ] && faults+="${faults:+ }$p ${phases[$p]}"
    done
    row "kill -9 --parallel, 4 x ext4 64M" "$((kills + 1))" "$kills kill -9 ($faults)" \
        "$(tally_text)" "$left" "$notback" "$damage"
    for i in "${!names[@]}"; do detach "${names[$i]}"; done
}

# --- 2. A writer beside the fill ---------------------------------------------------------------

# writer DIR STOPFILE LOG LIMIT: writes files of 1 to 20 MB (copies of a pool of random files
# made beforehand, so that it spends its time writing) with fsync until STOPFILE exists,
# recording each that succeeded with its checksum; keeps at most LIMIT bytes, dropping (after
# checking) the oldest.
writer() {
    local dir=$1 stop=$2 log=$3 limit=$4 k=0 i size pool="$work/pool" kept=() total=0 old
    mkdir -p "$dir"
    while [ ! -e "$stop" ]; do
        k=$((k + 1))
        i=$((RANDOM % 8))
        size=$(stat -c %s "$pool/$i")
        while [ $((total + size)) -gt "$limit" ] && [ ${#kept[@]} -gt 0 ]; do
            old=${kept[0]}
            kept=("${kept[@]:1}")
            if [ "$(sha256sum <"$dir/${old%% *}" | cut -d' ' -f1)" != "${old#* }" ]; then
                echo "damaged ${old%% *}" >>"$log"
            fi
            total=$((total - $(stat -c %s "$dir/${old%% *}")))
            rm -f "$dir/${old%% *}"
        done
        if dd if="$pool/$i" of="$dir/w$k" bs=1M conv=fsync status=none 2>"$pool.err"; then
            echo "ok w$k ${POOLSUM[$i]}" >>"$log"
            kept+=("w$k ${POOLSUM[$i]}")
            total=$((total + size))
        else
            echo "failed w$k $(tr '\n' ' ' <"$pool.err")" >>"$log"
            rm -f "$dir/w$k"
        fi
    done
}

writer_sweep() {
    local runs name=writer dir base k list wpid stop log ok failed enospc bad i
    runs=$(count 3)
    left=0 notback=0 damage=0 ok=0 failed=0 enospc=0
    mkdir -p "$work/pool"
    declare -g -a POOLSUM=()
    for i in 0 1 2 3 4 5 6 7; do
        head -c "$((RANDOM % 20 + 1))M" /dev/urandom >"$work/pool/$i"
        POOLSUM[$i]=$(sha256sum <"$work/pool/$i" | cut -d' ' -f1)
    done
    for ((k = 0; k < runs; k++)); do
        fresh "$name" ext4 512M
        stop="$work/$name/stop"
        log="$work/$name/writer.log"
        rm -f "$stop" "$log"
        writer "${MNT[$name]}/writer" "$stop" "$log" $((96 * 1048576)) &
        wpid=$!
        sleep 0.5
        list=$(drives "$name")
        start "$dir" "$list" C: RAND=3 RUN
        await "$pid" 300
        touch "$stop"
        wait "$wpid"
        tally "exit $rc"
        tally "$(outcomes_of "$dir")"
        [ "$hung" -eq 0 ] || problem "writer run $k hung"
        case $rc in
            0) grep -q '"outcome":"complete"' <(last_report "$dir") ||
                problem "writer run $k: status 0 without a complete drive" ;;
            4) grep -q '"outcome":"incomplete","passes"' <(last_report "$dir") &&
                grep -qE " MB overwritten - | lower than it began - a file grew" "$dir/out.txt" ||
                problem "writer run $k: status 4 without its reason" ;;
            *) problem "writer run $k ended with $rc: $(tail -n 3 "$dir/out.txt")" ;;
        esac
        # Every file the writer saw succeed is intact.
        ok=$((ok + $(grep -c '^ok' "$log")))
        failed=$((failed + $(grep -c '^failed' "$log")))
        enospc=$((enospc + $(grep -c 'No space left on device' "$log")))
        bad=$(grep -c '^damaged' "$log")
        while read -r _ f sum; do
            [ -e "${MNT[$name]}/writer/$f" ] || continue
            [ "$(sha256sum <"${MNT[$name]}/writer/$f" | cut -d' ' -f1)" = "$sum" ] || bad=$((bad + 1))
        done < <(grep '^ok' "$log")
        [ "$bad" -eq 0 ] || problem "writer run $k: $bad of the writer's files damaged"
        damage=$((damage + bad))
        rm -rf "${MNT[$name]}/writer"
        after_checks "$name" "$base"
        detach "$name"
    done
    row "writer beside C: RAND=3, ext4 512M" "$runs" \
        "writer: $ok writes ok, $failed failed ($enospc ENOSPC)" "$(tally_text)" \
        "$left" "$notback" "$damage"
}

# --- 3. The mount goes away --------------------------------------------------------------------

umount_sweep() {
    local runs name=umount dir base k list stated writes=0
    runs=$(count 5)
    left=0 notback=0 damage=0
    for ((k = 0; k < runs; k++)); do
        fresh "$name" ext4 512M
        list=$(drives "$name")
        start "$dir" "$list" C: RAND=1 RUN
        # Into the bulk stage: the unlinked bulk file is open.
        until holds "$pid" 00.qlk; do
            alive "$pid" || break
        done
        sleep "$(rand_between 0 0.1)"
        umount -l "${MNT[$name]}"
        await "$pid" 120
        tally "exit $rc"
        tally "$(outcomes_of "$dir")"
        [ "$hung" -eq 0 ] || problem "umount run $k hung"
        case $rc in
            1 | 3 | 4) ;;  # stopped, prevented (free space unreadable) or incomplete
            *) problem "umount run $k ended with $rc: $(tail -n 3 "$dir/out.txt")" ;;
        esac
        stated=0
        grep -qF "not able to read" "$dir/out.txt" && stated=1
        grep -qF " MB overwritten - " "$dir/out.txt" && stated=1
        [ "$stated" -eq 1 ] || problem "umount run $k: no reason given: $(tail -n 3 "$dir/out.txt")"
        # Nothing was written into the directory the mount covered.
        if [ -n "$(ls -A "${MNT[$name]}")" ]; then
            writes=$((writes + 1))
            problem "umount run $k: written below the mount: $(ls -A "${MNT[$name]}")"
            damage=$((damage + 1))
            rm -rf "${MNT[$name]:?}"/* "${MNT[$name]:?}"/.[!.]*
        fi
        # The file system itself, mounted again, holds nothing of the run. The detached mount
        # lets go of its loop device once the program has closed its files.
        losetup -d "${DEV[$name]}"
        for _ in $(seq 100); do
            losetup "${DEV[$name]}" >/dev/null 2>&1 || break
            sleep 0.1
        done
        attach "$name"
        after_checks "$name" "$base"
        detach "$name"
    done
    row "umount -l in the bulk stage, ext4 512M" "$runs" \
        "$runs umount -l ($writes written below)" "$(tally_text)" "$left" "$notback" "$damage"
}

# --- 4. Read-only and shut down mid-run ----------------------------------------------------------

# pass_states DIR: "complete" when the last report shows every pass of the drive full and
# without errors (the wipe was done before the fault), else "short".
wipe_done() {
    local line
    line=$(last_report "$1")
    [ -n "$line" ] || return 1
    echo "$line" | grep -q '"kind":"quotes"' || return 1
    ! echo "$line" | grep -q '"errors":{"' && ! echo "$line" | grep -q '"free_at_end":null' &&
        echo "$line" | grep -q '"outcome":"complete"'
}

# fault_sweep KIND COUNT: KIND is readonly or shutdown.
fault_sweep() {
    local kind=$1 runs name=$1 dir base k list at fpid injected=0 after=0 before=0
    runs=$(count "$2")
    left=0 notback=0 damage=0
    for ((k = 0; k < runs; k++)); do
        fresh "$name" ext4 128M
        if [ "$k" -eq 0 ]; then
            timeline "$dir" "$(drives "$name")"
            after_checks "$name" "$base"
            echo "$name: a run takes ${dur}s, its first pass starts at ${r0}s"
        fi
        rm -f "$dir/QuellixRuns.jsonl"
        list=$(drives "$name")
        start "$dir" "$list" C: RAND=1 RUN
        # A moment after the run has begun its first pass.
        wait_for "$dir/out.txt" "Filling free-space" 60
        if [ $((k % 2)) -eq 0 ]; then
            # In the first pass or the pause after it.
            at=$(rand_between 0 "$(awk -v q="$q0" -v r="$r0" 'BEGIN { print q - r }')")
        else
            at=$(rand_between 0 "$(awk -v d="$dur" -v r="$r0" 'BEGIN { print d - r }')")
        fi
        sleep "$at"
        rm -f "$work/$name/injected"
        if [ "$kind" = readonly ]; then
            # A file open for writing keeps a remount from happening: retry until it goes
            # through (between passes) or the run has ended.
            (while alive "$pid"; do
                mount -o remount,ro "${MNT[$name]}" 2>/dev/null && { touch "$work/$name/injected"; break; }
            done) &
        else
            (alive "$pid" && xfs_io -x -c shutdown "${MNT[$name]}" && touch "$work/$name/injected") &
        fi
        fpid=$!
        await "$pid" 300
        wait "$fpid"
        [ "$hung" -eq 0 ] || problem "$name run $k hung"
        tally "exit $rc"
        tally "$(outcomes_of "$dir")"
        if [ -e "$work/$name/injected" ]; then
            injected=$((injected + 1))
        else
            before=$((before + 1))  # the run ended first
        fi
        case $rc in
            4 | 1) ;;
            0)
                if wipe_done "$dir"; then
                    after=$((after + 1))
                else
                    problem "$name run $k: status 0 on a wipe that was not complete"
                fi
                ;;
            *) problem "$name run $k ended with $rc: $(tail -n 3 "$dir/out.txt")" ;;
        esac
        if [ "$rc" -eq 4 ]; then
            grep -qF " MB overwritten - " "$dir/out.txt" ||
                problem "$name run $k: status 4 without its reason"
        fi
        # Writable again (a shut-down file system mounted anew), one start: nothing is left.
        if [ "$kind" = readonly ]; then
            mountpoint -q "${MNT[$name]}" && mount -o remount,rw "${MNT[$name]}"
        else
            detach "$name"
            attach "$name"
        fi
        list=$(drives "$name")
        quellix "$dir" "$list"
        tally "start-up exit $rc"
        [ "$rc" -eq 0 ] || problem "$name: the start-up after run $k ended with $rc"
        after_checks "$name" "$base"
        detach "$name"
    done
    local what="mount -o remount,ro"
    [ "$kind" = shutdown ] && what="xfs_io shutdown"
    row "$what mid-run, ext4 128M" "$runs" \
        "$injected $what ($after after the wipe was complete; $before runs ended first)" \
        "$(tally_text)" "$left" "$notback" "$damage"
}

# --- 5. Quota --------------------------------------------------------------------------------

# True when this kernel enforces ext4 user quotas (it needs CONFIG_QUOTA and CONFIG_QFMT_V2).
ext4_quota_works() {
    local d="$work/quota-probe" dev ok=1
    mkdir -p "$d/mnt"
    truncate -s 32M "$d/img"
    mkfs.ext4 -q -F -O quota "$d/img" >/dev/null 2>&1 || return 1
    dev=$(losetup --find --show "$d/img")
    if mount -o usrquota "$dev" "$d/mnt" 2>/dev/null; then
        ok=0
        umount "$d/mnt"
    fi
    losetup -d "$dev"
    rm -rf "$d"
    return $ok
}

# An ordinary user limited to 10 MB below the free space: ext4 with user quotas, or where the
# kernel has no ext4 quotas a btrfs quota group limit on the top volume (it binds every user).
quota_sweep() {
    local runs name=quota dir base k list user=65534 avail limit rfer fs what
    runs=$(count 2)
    left=0 notback=0 damage=0
    if ext4_quota_works; then fs=ext4; else fs=btrfs; fi
    for ((k = 0; k < runs; k++)); do
        if [ "$fs" = ext4 ]; then
            image "$name" ext4 128M usrquota -O quota
        else
            image "$name" btrfs 256M
            btrfs quota enable "${MNT[$name]}"
        fi
        seed_files "$name"
        chown "$user:$user" "${MNT[$name]}"
        chmod 755 "$work/$name"
        dir="$work/$name/program"
        program "$dir" "$user"
        base=$(free_blocks "$name")
        avail=$(stat -f -c '%a %S' "${MNT[$name]}" | awk '{ print $1 * $2 }')
        if [ "$fs" = ext4 ]; then
            limit=$(( (avail - 10 * 1048576) / 1024 ))
            setquota -u "$user" "$limit" "$limit" 0 0 "${MNT[$name]}"
            what="ext4 user quota"
        else
            btrfs quota rescan -w "${MNT[$name]}" >/dev/null
            rfer=$(btrfs qgroup show --raw "${MNT[$name]}" | awk '$1 == "0/5" { print $2 }')
            limit=$((rfer + avail - 10 * 1048576))
            btrfs qgroup limit "$limit" "${MNT[$name]}"
            what="btrfs qgroup limit (this kernel has no ext4 quotas)"
        fi
        list=$(drives "$name")
        AS_USER=$user quellix "$dir" "$list" C: RAND=1 RUN
        tally "exit $rc"
        tally "$(outcomes_of "$dir")"
        [ "$rc" -eq 4 ] || problem "quota run $k ended with $rc: $(grep -v '^Current' "$dir/out.txt" | tail -n 3)"
        grep -q '"reason":"[^"]*Disk quota exceeded' <(last_report "$dir") ||
            problem "quota run $k: the reason does not name the quota: $(last_report "$dir")"
        after_checks "$name" "$base"
        detach "$name"
    done
    row "quota 10 MB below free, uid $user, $fs" "$runs" "$what" \
        "$(tally_text)" "$left" "$notback" "$damage"
}

# --- 6. 24 drives ------------------------------------------------------------------------------

drives_sweep() {
    local i name names=() list dir bases=() marker before after rss secs miss=0 present
    left=0 notback=0 damage=0
    marker="QUELLIX-FAULTS-MARKER-$seed-$$"
    for i in $(seq -w 1 25); do
        name="d$i"
        image "$name" ext4 16M
        names+=("$name")
        seed_files "$name"
        # A file of the marker, written and deleted: its data lies in the free space.
        yes "$marker" | head -c 1M >"${MNT[$name]}/secret"
        sync
        rm "${MNT[$name]}/secret"
        sync
        bases+=("$(free_blocks "$name")")
    done
    # The deleted data is there to be found in every raw image (at least this often).
    present=""
    for name in "${names[@]}"; do
        i=$(grep -a -o "$marker" "${IMG[$name]}" | wc -l)
        [ -z "$present" ] || [ "$i" -lt "$present" ] && present=$i
    done
    [ "$present" -gt 0 ] || problem "the marker is not in every image before the run"
    dir="$work/drives-program"
    program "$dir"

    # 25 drives: the start refuses, and writes nothing.
    list=$(drives "${names[@]}")
    quellix "$dir" "$list" ALL RAND=1 RUN
    tally "25 drives: exit $rc"
    [ "$rc" -eq 3 ] || problem "25 drives: status $rc"
    grep -qF "in excess of 24 logical drives" "$dir/out.txt" ||
        problem "25 drives: no refusal message: $(tail -n 3 "$dir/out.txt")"
    for i in $(seq 0 24); do
        after_checks "${names[$i]}" "${bases[$i]}"
    done
    detach d25
    unset 'names[24]'

    # 24 drives, one run.
    list=$(drives "${names[@]}")
    env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$list" timeout -s KILL 900 \
        /usr/bin/time -v -o "$dir/time.txt" "$dir/quellix" ALL RAND=1 RUN </dev/null \
        >"$dir/out.txt" 2>&1
    rc=$?
    tally "24 drives: exit $rc"
    tally "$(outcomes_of "$dir")"
    [ "$rc" -eq 0 ] || problem "24 drives: status $rc: $(grep -v '^Current' "$dir/out.txt" | tail -n 5)"
    [ "$(last_report "$dir" | grep -o '"outcome":"complete"' | wc -l)" -eq 24 ] ||
        problem "24 drives: not every drive complete"
    rss=$(awk -F': ' '/Maximum resident/ { printf "%.1f MB", $2 / 1024 }' "$dir/time.txt")
    secs=$(awk -F': ' '/Elapsed/ { print $2 }' "$dir/time.txt")
    for i in $(seq 0 23); do
        after_checks "${names[$i]}" "${bases[$i]}"
        detach "${names[$i]}"
        after=$(grep -a -o "$marker" "${IMG[${names[$i]}]}" | wc -l)
        if [ "$after" -ne 0 ]; then
            miss=$((miss + 1))
            problem "${names[$i]}: the marker is still in the raw image $after times"
        fi
    done
    row "24 drives ALL RAND=1 (and a 25th), ext4 16M each" "2" \
        "24 deleted marker files (>= ${present} lines each); found after in $miss" "$(tally_text)" \
        "$left" "$notback" "$damage" "$rss" "$secs"
}

# --- 7. A hostile user ----------------------------------------------------------------------

# An ordinary user, on a drive whose top directory anybody may write (1777), turns what it may do
# there against a root run: hard links to files it may link (its own, and a root-owned 0666 one),
# symbolic links, pipes and directories under every fill name, and a mount point's parent
# swapped for a symbolic link.
hostile_user=65534
as_user() { setpriv --reuid=$hostile_user --regid=$hostile_user --clear-groups "$@"; }
fill_names="random00.qlk random01.qlk quote00.qlk quote01.qlk"
plant_kinds=(hardlink symlink pipe dir)

# hostile_image NAME: a fresh 1777 image with the two victims and the seeded files; sets dir and
# base, and notes the victims' size, checksum and link count.
hostile_image() {
    local name=$1
    image "$name" ext4 128M
    chmod 1777 "${MNT[$name]}"
    head -c 300K /dev/urandom >"${MNT[$name]}/victim-root"
    chmod 0666 "${MNT[$name]}/victim-root"
    as_user sh -c "head -c 200K /dev/urandom >'${MNT[$name]}/victim-user'"
    seed_files "$name"
    victims "$name" >"$work/$name.victims"
    dir="$work/$name/program"
    program "$dir"
    base=$(free_blocks "$name")
}
victims() {
    local v
    for v in victim-root victim-user; do
        echo "$v $(stat -c '%s %h' "${MNT[$1]}/$v") $(sha256sum <"${MNT[$1]}/$v" | cut -d' ' -f1)"
    done
}

# plant NAME KIND FILE: the user puts a thing of that kind under the name (as it may).
plant() {
    local name=$1 kind=$2 f=$3
    case $kind in
        hardlink) as_user ln "${MNT[$name]}/victim-root" "${MNT[$name]}/$f" ;;
        symlink) as_user ln -s victim-user "${MNT[$name]}/$f" ;;
        pipe) as_user mkfifo "${MNT[$name]}/$f" ;;
        dir) as_user mkdir "${MNT[$name]}/$f" ;;
    esac 2>/dev/null
}
# The words of a refusal for a planted kind.
kind_words() {
    case $1 in symlink) echo "a symbolic link" ;; pipe) echo "a named pipe" ;; dir) echo "a directory" ;; esac
}

# hostile_outcome NAME RUN: the run ended, complete (0) or with the fill file it gave up named (4).
hostile_outcome() {
    local name=$1 k=$2
    tally "exit $rc"
    tally "$(outcomes_of "$dir")"
    [ "$hung" -eq 0 ] || problem "$name run $k hung"
    case $rc in
        0) grep -q '"outcome":"complete"' <(last_report "$dir") ||
            problem "$name run $k: status 0 without a complete drive" ;;
        4) grep -qF " in the top directory " "$dir/out.txt" ||
            problem "$name run $k: status 4 without a named reason: $(grep -v '^Current' "$dir/out.txt" | tail -n 2)" ;;
        *) problem "$name run $k ended with $rc: $(grep -v '^Current' "$dir/out.txt" | tail -n 3)" ;;
    esac
}

# hostile_checks NAME RUN: no fill file of the program's is left, what the user left is removed,
# and then the victims, the other files and the free space are as before.
hostile_checks() {
    local name=$1 k=$2 ours changed
    # A regular fill file with one link is the program's; links to the victims are the user's.
    ours=$(find "${MNT[$name]}" -maxdepth 1 -name '*.qlk' -type f -links 1 | wc -l)
    left=$((left + ours))
    [ "$ours" -eq 0 ] || problem "$name run $k: $ours fill files left"
    (cd "${MNT[$name]}" && rm -rf $fill_names)
    changed=$(victims "$name" | diff "$work/$name.victims" - | grep -c '^>')
    [ "$changed" -eq 0 ] || problem "$name run $k: $changed victims changed: $(victims "$name")"
    victims_changed=$((victims_changed + changed))
    damage=$((damage + changed))
    after_checks "$name" "$base"
}

hostile_sweep() {
    local name=hostile dir base k i f kind runs list lpid planted=0 refusals=0 races swaps seen
    local parent drive
    local -A kinds=()
    victims_changed=0

    # Before the run: a thing of every kind, under every name over the runs. Refused by name and
    # left alone; a hard link loses only its name to the start-up cleanup.
    runs=$(count 4)
    left=0 notback=0 damage=0
    hostile_image "$name"
    for ((k = 0; k < runs; k++)); do
        i=0
        for f in $fill_names; do
            kind=${plant_kinds[$(((k + i) % 4))]}
            plant "$name" "$kind" "$f" && planted=$((planted + 1)) && kinds[$kind]=$((${kinds[$kind]:-0} + 1))
            i=$((i + 1))
        done
        list=$(drives "$name")
        quellix "$dir" "$list" C: RAND=1 RUN
        hung=0
        i=0
        for f in $fill_names; do
            kind=${plant_kinds[$(((k + i) % 4))]}
            i=$((i + 1))
            [ "$kind" = hardlink ] && continue
            if grep -qF "$f in the top directory is $(kind_words "$kind"), not a fill file - it was left alone" \
                "$dir/out.txt"; then
                refusals=$((refusals + 1))
            else
                problem "$name run $k: $f ($kind) not named: $(grep -v '^Current' "$dir/out.txt" | tail -n 2)"
            fi
            [ -L "${MNT[$name]}/$f" ] || [ -e "${MNT[$name]}/$f" ] ||
                problem "$name run $k: the planted $kind $f was removed"
        done
        hostile_outcome "$name" "$k"
        hostile_checks "$name" "$k"
    done
    row "planted before C: RAND=1, 1777 ext4 128M" "$runs" \
        "$planted planted (${kinds[hardlink]:-0} hard links, ${kinds[symlink]:-0} symlinks, ${kinds[pipe]:-0} pipes, ${kinds[dir]:-0} dirs); $refusals refusals named" \
        "$(tally_text)" "$left" "$notback" "$damage"
    detach "$name"

    # In the pause after the first pass (its status line), one kind under every name.
    runs=$(count 8)
    left=0 notback=0 damage=0 planted=0
    kinds=()
    for ((k = 0; k < runs; k++)); do
        hostile_image "$name"
        kind=${plant_kinds[$((k % 4))]}
        list=$(drives "$name")
        start "$dir" "$list" C: RAND=2 RUN
        wait_for "$dir/out.txt" "Restoring disk free-space." 60 ||
            problem "$name run $k: no pause seen"
        for f in $fill_names; do
            plant "$name" "$kind" "$f" && planted=$((planted + 1))
        done
        kinds[$kind]=$((${kinds[$kind]:-0} + 1))
        await "$pid" 300
        hostile_outcome "$name" "$k"
        hostile_checks "$name" "$k"
        detach "$name"
    done
    row "planted in the pause, C: RAND=2, 1777 ext4 128M" "$runs" \
        "$planted planted (runs: ${kinds[hardlink]:-0} hard links, ${kinds[symlink]:-0} symlinks, ${kinds[pipe]:-0} pipes, ${kinds[dir]:-0} dirs)" \
        "$(tally_text)" "$left" "$notback" "$damage"

    # A tight loop through the random passes: hard links to both victims, then a symbolic link, a
    # pipe and a directory under every name, each removed again, over and over.
    runs=$(count 20)
    left=0 notback=0 damage=0 races=0
    victims_changed=0
    hostile_image "$name"
    for ((k = 0; k < runs; k++)); do
        list=$(drives "$name")
        echo 0 >"$work/$name/race.count"
        chown "$hostile_user" "$work/$name/race.count"
        start "$dir" "$list" C: RAND=2 RUN
        (cd "${MNT[$name]}" && exec setsid setpriv --reuid=$hostile_user --regid=$hostile_user \
            --clear-groups sh -c 'n=0; while :; do
                for f in '"$fill_names"'; do ln victim-root $f; ln victim-user $f; done
                for f in '"$fill_names"'; do rm -f $f; ln -s victim-user $f; done
                for f in '"$fill_names"'; do rm -f $f; mkfifo $f; done
                for f in '"$fill_names"'; do rm -f $f; mkdir $f; done
                for f in '"$fill_names"'; do rmdir $f; done
                n=$((n + 1)); echo $n >../race.count
            done' 2>/dev/null) &
        lpid=$!
        wait_for "$dir/out.txt" "Filling free-space with selected quotes." 120 ||
            problem "$name run $k: the quotes pass never came"
        kill -9 -- "-$lpid" 2>/dev/null || kill -9 "$lpid"
        wait "$lpid" 2>/dev/null
        # The count may be caught half written by the kill.
        i=$(cat "$work/$name/race.count")
        races=$((races + ${i:-0}))
        await "$pid" 300
        hostile_outcome "$name" "$k"
        hostile_checks "$name" "$k"
    done
    row "racing loop through C: RAND=2, 1777 ext4 128M" "$runs" \
        "$races rounds of 4 x (2 hard links, symlink, pipe, dir); victims changed: $victims_changed" \
        "$(tally_text)" "$left" "$notback" "$damage"
    detach "$name"

    # The mount point's parent, owned by the user, swapped in the pause for a symbolic link into
    # its own directory on the same file system.
    runs=$(count 3)
    left=0 notback=0 damage=0 swaps=0 seen=0
    for ((k = 0; k < runs; k++)); do
        hostile_image "$name"
        parent="$work/$name/swap"
        drive="$parent/u/mnt"
        mkdir -p "$drive" "${MNT[$name]}/evil/mnt"
        chown -R "$hostile_user:$hostile_user" "$parent" "${MNT[$name]}/evil"
        mount --bind "${MNT[$name]}" "$drive"
        [ "$(findmnt -n -o SOURCE --mountpoint "$drive" | sed 's/\[.*//')" = "${DEV[$name]}" ] ||
            { echo "refusing to run: $drive is not the image's mount" >&2; exit 1; }
        start "$dir" "$drive" C: RAND=1 RUN
        # Anything that appears in the user's directory, while the run lasts.
        (while alive "$pid"; do
            [ -n "$(ls -A "${MNT[$name]}/evil/mnt")" ] && ls -A "${MNT[$name]}/evil/mnt" >>"$work/$name/seen"
        done) &
        wait_for "$dir/out.txt" "Restoring disk free-space." 60 || problem "$name run $k: no pause seen"
        as_user sh -c "mv '$parent/u' '$parent/u.old' && ln -s u.old/mnt/evil '$parent/u'" &&
            swaps=$((swaps + 1))
        await "$pid" 300
        wait
        tally "exit $rc"
        [ "$rc" -eq 3 ] && grep -qF "not able to read" "$dir/out.txt" ||
            problem "$name run $k ended with $rc: $(grep -v '^Current' "$dir/out.txt" | tail -n 3)"
        if [ -s "$work/$name/seen" ]; then
            seen=$((seen + 1))
            damage=$((damage + 1))
            problem "$name run $k: made through the link: $(sort -u "$work/$name/seen" | tr '\n' ' ')"
        fi
        rm -f "$work/$name/seen"
        umount "$parent/u.old/mnt"
        rm -rf "$parent" "${MNT[$name]}/evil"
        hostile_checks "$name" "$k"
        detach "$name"
    done
    row "mount point's parent swapped for a link, C: RAND=1" "$runs" \
        "$swaps swaps in the pause; runs that made a file through the link: $seen" \
        "$(tally_text)" "$left" "$notback" "$damage"
}

# --- 8. A hostile owner of the top directory ----------------------------------------------------

# An ordinary user who owns a drive's top directory, or may write it through its group (no sticky
# bit), may rename and exchange anything in it, an administrator's directory too: renamed to the
# names stage's name before a start, and exchanged with the stage's directory in a loop
# (renameat2 RENAME_EXCHANGE) against runs at the scheduled service's idle priority. The
# administrator's files must stay as they were, wherever the directory ends up.
hostile_owner_sweep() {
    local name=owner kind dir base k runs lpid n exchanges refused start_removed left_dirs
    local m stage=names00.qlk
    for kind in owned group; do
        runs=$(count 10)
        left=0 notback=0 damage=0 exchanges=0 refused=0 start_removed=0 left_dirs=0
        image "$name" ext4 128M
        m=${MNT[$name]}
        if [ "$kind" = owned ]; then
            chown "$hostile_user:$hostile_user" "$m" && chmod 755 "$m"
        else
            chown "0:$hostile_user" "$m" && chmod 775 "$m"
        fi
        mkdir -m 700 "$m/secret"
        for n in 1 2 3; do head -c $((RANDOM % 64 + 1))K /dev/urandom >"$m/secret/secret$n.conf"; done
        seed_files "$name"
        dir="$work/$name/program"
        program "$dir"
        list=$(drives "$name")

        # Renamed to the stage's name: a plain start and a run leave every file in it.
        as_user mv "$m/secret" "$m/$stage"
        quellix "$dir" "$list" C:
        [ "$rc" -eq 0 ] || problem "owner ($kind): a plain start ended with $rc"
        quellix "$dir" "$list" C: RAND=1 RUN
        [ "$rc" -eq 4 ] && grep -qF "$stage in the top directory is a directory that carries no mark" \
            "$dir/out.txt" || problem "owner ($kind): the renamed directory not named: $(tail -n 2 "$dir/out.txt")"
        as_user mv "$m/$stage" "$m/secret"
        [ "$(damaged "$name")" -eq 0 ] || problem "owner ($kind): the renamed directory lost files"
        base=$(free_blocks "$name")

        # Exchanged in a loop, run after run.
        for ((k = 0; k < runs; k++)); do
            list=$(drives "$name")
            (exec setsid setpriv --reuid=$hostile_user --regid=$hostile_user --clear-groups \
                "$bin/exchange_loop" "$m/secret" "$m/$stage" >"$work/$name/exchanges") &
            lpid=$!
            LAUNCH="nice -n 19 ionice -c 3" quellix "$dir" "$list" C: RAND=1 RUN
            kill -TERM "$lpid" 2>/dev/null
            wait "$lpid" 2>/dev/null
            exchanges=$((exchanges + $(cat "$work/$name/exchanges" 2>/dev/null || echo 0)))
            tally "exit $rc"
            case $rc in
                0) ;;
                4) grep -qF "$stage in the top directory " "$dir/out.txt" && refused=$((refused + 1)) ||
                    problem "owner ($kind) run $k: status 4 without the stage's reason: $(tail -n 2 "$dir/out.txt")" ;;
                *) problem "owner ($kind) run $k ended with $rc: $(tail -n 3 "$dir/out.txt")" ;;
            esac
            # The administrator's directory back under its name; the stage's own, if the loop left
            # it, is an empty directory that the next start proves its own and removes.
            if [ ! -e "$m/secret/secret1.conf" ] && [ -e "$m/$stage/secret1.conf" ]; then
                mv "$m/secret" "$m/swapped" && mv "$m/$stage" "$m/secret" && mv "$m/swapped" "$m/$stage"
            fi
            if [ -d "$m/$stage" ]; then
                left_dirs=$((left_dirs + 1))
                [ -z "$(ls -A "$m/$stage")" ] || problem "owner ($kind) run $k: the stage's directory is not empty"
                quellix "$dir" "$list" C:
                [ -e "$m/$stage" ] || start_removed=$((start_removed + 1))
            fi
            after_checks "$name" "$base"
        done
        row "$kind top dir, $stage exchanged, idle C: RAND=1, ext4 128M" "$runs" \
            "renamed before a start and a run; $exchanges exchanges in the runs; stage refused: $refused; own empty directory left: $left_dirs, removed by the next start: $start_removed" \
            "$(tally_text)" "$left" "$notback" "$damage"
        detach "$name"
    done
}

# --- 9. A lost overwrite -------------------------------------------------------------------------

# lost_marker N: what deleted file N (0001 to 0070) begins with, unique to the sweep.
lost_marker() { printf 'QXLOST-%s-%s-' "$1" "$seed"; }

# whole_files NAME DIR: how many files of DIR lie whole in the raw image, each found by the marker
# it begins with.
whole_files() {
    local name=$1 files=$2 f at marker n=0
    local -A found=()
    for f in "$files"/f*; do
        lost_marker "${f##*/f}"
        echo
    done >"$files.markers"
    while IFS=: read -r at marker; do
        f="$files/f${marker:7:4}"
        [ -n "${found[$f]:-}" ] && continue
        if cmp -s -n "$(stat -c %s "$f")" "$f" <(tail -c +$((at + 1)) "${IMG[$name]}"); then
            found[$f]=1
            n=$((n + 1))
        fi
    done < <(grep -a -b -o -F -f "$files.markers" "${IMG[$name]}")
    echo "$n"
}

# An ext4 image holding 70 files of 50 to 450 KiB, deleted; its journal moved on by 55 to 84
# small synced transactions, as a file system in use has it; then the mounted device read in
# 100 MB blocks, as a backup or recovery tool reads it, and a run. Measured on ext4 on loop
# devices: the page cache of the device then held stale copies of deleted files' blocks that were
# written back over the fill. Afterwards the raw image must hold none of the deleted files whole,
# unless the run ended with status 4 and the read-back's reason. The same runs with --verify=off
# show how often the fault strikes at all.
lost_overwrite_sweep() {
    local runs name=lost k i j mode list whole struck readback repeated present
    runs=$(count 10)
    for mode in last off; do
        left=0 notback=0 damage=0 struck=0 readback=0 repeated=0 present=""
        for ((k = 0; k < runs; k++)); do
            image "$name" ext4 128M
            seed_files "$name"
            dir="$work/$name/program"
            program "$dir"
            rm -rf "$work/$name/files"
            mkdir -p "$work/$name/files"
            for i in $(seq -f '%04g' 1 70); do
                { lost_marker "$i"; head -c $(((RANDOM % 400 + 50) * 1024)) /dev/urandom; } \
                    >"$work/$name/files/f$i"
            done
            cp "$work/$name/files"/* "${MNT[$name]}/"
            sync
            rm "${MNT[$name]}"/f*
            mkdir "${MNT[$name]}/churn"
            for ((i = 0; i < 55 + RANDOM % 30; i++)); do
                for j in $(seq 1 200); do echo x >"${MNT[$name]}/churn/f$j"; done
                sync
                rm -f "${MNT[$name]}/churn"/*
                sync
            done
            rmdir "${MNT[$name]}/churn"
            sync
            # The deleted files are there to be found whole in the raw image (at least this many).
            whole=$(whole_files "$name" "$work/$name/files")
            [ -z "$present" ] || [ "$whole" -lt "$present" ] && present=$whole
            base=$(free_blocks "$name")
            verified "$name" || { echo "refusing to read: ${MNT[$name]} is not verified" >&2; exit 1; }
            dd if="${DEV[$name]}" of=/dev/null bs=100M status=none
            list=$(drives "$name")
            quellix "$dir" "$list" C: RAND=1 RUN --verify=$mode
            tally "exit $rc"
            tally "$(outcomes_of "$dir")"
            grep -q '"not_overwritten_bytes":[1-9]' <(last_report "$dir") && readback=$((readback + 1))
            grep -q '"repeated":true' <(last_report "$dir") && repeated=$((repeated + 1))
            after_checks "$name" "$base"
            detach "$name"
            whole=$(whole_files "$name" "$work/$name/files")
            [ "$whole" -gt 0 ] && struck=$((struck + 1))
            if [ "$mode" = last ]; then
                case $rc in
                    0) [ "$whole" -eq 0 ] ||
                        problem "lost-overwrite run $k: status 0 with $whole deleted files whole" ;;
                    4) grep -qF "read back from the disk with other content than was written" \
                        "$dir/out.txt" || problem "lost-overwrite run $k: status 4 without the read-back's reason" ;;
                    *) problem "lost-overwrite run $k ended with $rc: $(tail -n 3 "$dir/out.txt")" ;;
                esac
            fi
        done
        row "raw read before C: RAND=1 --verify=$mode, ext4 128M" "$runs" \
            "$runs raw reads (dd bs=100M) of 70 deleted files (>= $present whole before); runs with deleted files whole after: $struck; read back otherwise: $readback, pass run once more: $repeated" \
            "$(tally_text)" "$left" "$notback" "$damage"
    done
}

# --- The sweep -----------------------------------------------------------------------------

t_start=$(now)
for s in $scenarios; do
    case $s in
        kill-ext4) kill_sweep ext4 128M 50 ;;
        kill-xfs) kill_sweep xfs 320M 20 ;;
        kill-btrfs) kill_sweep btrfs 256M 20 ;;
        kill-parallel) kill_parallel_sweep 20 ;;
        kill-names)
            names_kill_sweep ext4 128M 10
            names_kill_sweep xfs 320M 10
            names_kill_sweep btrfs 256M 10
            ;;
        writer) writer_sweep ;;
        umount) umount_sweep ;;
        readonly) fault_sweep readonly 10 ;;
        shutdown) fault_sweep shutdown 10 ;;
        quota) quota_sweep ;;
        drives) drives_sweep ;;
        hostile) hostile_sweep ;;
        hostile-owner) hostile_owner_sweep ;;
        lost-overwrite) lost_overwrite_sweep ;;
    esac
done

echo
echo "$(date -u +%Y-%m-%d), $(uname -r), $(nproc) cores, $(free -g | awk '/^Mem/ { print $2 }') GiB;" \
    "seed $seed, scale $scale; $(since "$t_start") s in all"
{
    printf 'scenario\truns\tfaults injected\toutcomes seen\tfill files left\tbytes not given back\tother data damaged\tpeak RSS\ttime\n'
    printf '%s\n' "${rows[@]}"
} | column -t -s $'\t' -o ' | '
echo
if [ "$problems" -gt 0 ]; then
    echo "$problems problems (marked ! above)"
    exit 1
fi
echo "No problems found."
