#!/usr/bin/env bash
# Builds Quellix and runs its main job on a demo drive of its own: a small ext4 image holding a
# deleted "secret" file. The image is scanned before and after the wipe, so you can see the
# secret's data go. Needs root (loop mounts); everything happens in a private mount namespace,
# and nothing on the machine's own file systems is written except the build and a temporary
# folder that is removed again.
set -euo pipefail
script=$(readlink -f "$0")
cd "$(dirname "$script")/.."

readonly secret="QUELLIX-DEMO-SECRET the vault code is 4711-0815"

fail() {
    echo "demo: $*" >&2
    exit 1
}

# Counts the secret's occurrences in the raw image.
occurrences() {
    { grep -a -o -F "$secret" "$1" || true; } | wc -l
}

# True only when the demo mount point is a mount of the demo image's own loop device.
verified() {
    local mnt=$1 img=$2 source
    mountpoint -q "$mnt" || return 1
    source=$(findmnt -n -o SOURCE --mountpoint "$mnt") || return 1
    [ -b "$source" ] || return 1
    losetup -j "$img" -O NAME -n | grep -qx "$source"
}

work="" img="" mnt=""
cleanup() {
    if [ -n "$mnt" ] && mountpoint -q "$mnt" 2>/dev/null; then
        umount "$mnt" || umount -l "$mnt" || true
    fi
    if [ -n "$work" ]; then rm -rf "$work"; fi
}

inside_namespace() {
    local before after status
    trap cleanup EXIT
    work=$(mktemp -d /tmp/quellix-demo.XXXXXX)
    img=$work/demo.img
    mnt=$work/mnt

    echo "== Making a 64 MiB ext4 demo drive"
    mkdir "$mnt"
    truncate -s 64M "$img"
    mkfs.ext4 -q -F -b 4096 "$img"
    mount -o loop,nodiscard "$img" "$mnt"
    verified "$mnt" "$img" || fail "the demo drive is not mounted where it should be"

    echo "== Writing a secret file, then deleting it"
    ({ yes "$secret" || true; } | head -c 8M >"$mnt/secret.txt")
    sync
    rm "$mnt/secret.txt"
    sync
    before=$(occurrences "$img")
    echo "   before the wipe: the raw image holds the secret $before times"
    [ "$before" -gt 0 ] || fail "the deleted secret is not on the image; nothing to show"

    echo "== Wiping the demo drive's free space: quellix C: RAND=1 RUN"
    verified "$mnt" "$img" || fail "the demo drive is not mounted where it should be"
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        export QT_QPA_PLATFORM=offscreen
    fi
    status=0
    # The time limit only guards against a hang (a message box nobody can see when headless).
    QUELLIX_DRIVES=$mnt timeout 900 ./build/release/bin/quellix C: RAND=1 RUN || status=$?
    [ "$status" -eq 0 ] || fail "quellix ended with status $status"

    umount "$mnt"
    after=$(occurrences "$img")
    echo "   after the wipe:  the raw image holds the secret $after times"
    [ "$after" -eq 0 ] || fail "the secret is still on the image"
    echo "== Done: the deleted secret's data is gone from the drive"
}

if [ "${1:-}" = "--inside-namespace" ]; then
    inside_namespace
    exit 0
fi

[ "$(id -u)" -eq 0 ] || fail "run as root: the demo drive is a loop-mounted image"
bash scripts/deps.sh
cmake --preset release -G Ninja >/dev/null
cmake --build --preset release -j "$(nproc)"
# Mounts made from here on are seen by this script alone and vanish with it.
exec unshare -m --propagation private bash "$script" --inside-namespace
