#!/usr/bin/env bash
# Checks the Debian package that the release build made: lintian has nothing to warn about, its
# control fields and files are complete, and the program it holds runs. Then, as root, it
# installs the package for real into a throw-away root, runs the program there as root and
# purges the package again: the run must write nothing below /usr, and the purge must leave no
# file of the package or of its run behind. Usage: check-package.sh [BUILD_DIR] (default
# build/release)
#
# The throw-away root is an overlay of the machine's own root file system in a private mount
# namespace: dpkg, the maintainer scripts and the program see the whole system, and every file
# they write lands in the overlay's upper directory (a tmpfs), which is inspected and thrown
# away. The machine's files are never written. The package's dependencies are not installed
# there: what the program needs to run (Qt, fonts) is present because it was built here, and
# pkexec and polkit are only checked to be named in Depends.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
fail() {
    echo "check-package: $*" >&2
    exit 1
}

version=$(sed -n 's/^project(Quellix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
deb=$(readlink -f "$build/quellix_${version}_$(dpkg --print-architecture).deb")

[ -f "$deb" ] || fail "no package $deb"
echo "== Checking $deb"

# --- lintian, as pedantic as it gets: no error and no warning.
lint=$(lintian -I --pedantic "$deb" 2> >(grep -v 'running with root privileges' >&2)) ||
    fail "lintian failed: $lint"
[ -n "$lint" ] && printf '%s\n' "$lint" | sed 's/^/   /'
! grep -q '^[EW]: ' <<<"$lint" || fail "lintian reports errors or warnings"
echo "   lintian: no error, no warning"

# --- Control fields.
info=$(dpkg-deb --info "$deb")
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dependency in fonts-liberation pkexec polkitd libqt6widgets6; do
    grep -qE "(^|, )$dependency( |,|$)" <<<"$depends" || fail "Depends lacks $dependency: $depends"
done
summary=$(sed -n 's/^ Description: //p' <<<"$info")
[ "${#summary}" -lt 80 ] || fail "the synopsis has ${#summary} characters: $summary"
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" = /etc/default/quellix ] ||
    fail "/etc/default/quellix is not the package's conffile"
echo "   Depends: $depends"

root=$(mktemp -d /tmp/quellix-package.XXXXXX)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

for f in usr/lib/quellix/quellix usr/lib/quellix/QuellixQuotes.sav usr/lib/quellix/quellix-wipe \
    usr/share/doc/quellix/Quellix.html usr/share/doc/quellix/copyright \
    usr/share/doc/quellix/changelog.gz usr/share/man/man1/quellix.1.gz \
    usr/share/applications/quellix.desktop usr/share/metainfo/org.quellix.quellix.metainfo.xml \
    usr/share/icons/hicolor/48x48/apps/quellix.png usr/share/icons/hicolor/256x256/apps/quellix.png \
    usr/share/polkit-1/actions/org.quellix.quellix.policy \
    usr/lib/systemd/system/quellix-wipe.service usr/lib/systemd/system/quellix-wipe.timer \
    usr/lib/systemd/system-generators/quellix-wipe-generator etc/default/quellix; do
    [ -f "$root/$f" ] || fail "the package lacks /$f"
done
[ "$(readlink "$root/usr/bin/quellix")" = ../lib/quellix/quellix ] ||
    fail "/usr/bin/quellix is not a relative link to ../lib/quellix/quellix"
grep -q 'GPL-3.0-or-later' "$root/usr/share/doc/quellix/copyright" ||
    fail "the copyright file does not state the licence"
! grep -v '^#' "$root/etc/default/quellix" | grep -q '[^[:space:]]' ||
    fail "/etc/default/quellix sets something; it is shipped commented"
# The files that name the program were written for /usr, not for the directory CPack staged in.
grep -qx 'Exec=pkexec /usr/lib/quellix/quellix' "$root/usr/share/applications/quellix.desktop" ||
    fail "the desktop entry does not start /usr/lib/quellix/quellix"
grep -q '>/usr/lib/quellix/quellix<' "$root/usr/share/polkit-1/actions/org.quellix.quellix.policy" ||
    fail "the polkit action does not name /usr/lib/quellix/quellix"
grep -qx 'ExecStart=/usr/lib/quellix/quellix-wipe' "$root/usr/lib/systemd/system/quellix-wipe.service" ||
    fail "the service does not start /usr/lib/quellix/quellix-wipe"
grep -qx 'EnvironmentFile=-/etc/default/quellix' "$root/usr/lib/systemd/system/quellix-wipe.service" ||
    fail "the service does not read /etc/default/quellix"

# The packaged program, run through its link with the system's Qt, headless, on a drive list of
# its own.
drives=$root/drives
mkdir "$drives" "$root/state"
! mountpoint -q "$drives" || fail "$drives is a mount point"
status=0
out=$(cd "$root" && env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH QUELLIX_DRIVES="$drives" \
    XDG_STATE_HOME="$root/state" STATE_DIRECTORY="$root/state" timeout 60 \
    "$root/usr/bin/quellix" '?' </dev/null 2>&1) || status=$?
[ "$status" -eq 0 ] || fail "the packaged quellix '?' ended with status $status: $out"
grep -q "Command-line options are" <<<"$out" || fail "the packaged quellix '?' printed: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH STATE_DIRECTORY="$root/state" timeout 60 \
    "$root/usr/bin/quellix" --version </dev/null 2>&1) || fail "the packaged quellix --version failed: $out"
[ "$out" = "quellix $(dpkg-deb --field "$deb" Version)" ] ||
    fail "the packaged quellix --version printed: $out"
echo "== The package is complete and its program runs"

if [ "$(id -u)" -ne 0 ]; then
    echo "skip: installing the package into a throw-away root needs root"
    exit 0
fi

# --- Installed, run as root and purged in the throw-away root.
scratch=$root/scratch
mkdir "$scratch"
unshare -m --propagation private bash -s "$deb" "$scratch" <<'INSTALL' || fail "the installed package failed the checks above"
set -uo pipefail
deb=$1 scratch=$2
fail() {
    echo "check-package: $*" >&2
    exit 1
}
mount -t tmpfs -o mode=0755 tmpfs "$scratch" || fail "no tmpfs for the overlay"
top=$scratch/root upper=$scratch/upper
mkdir "$top" "$upper" "$scratch/work"
# One overlay for / and one for each of /usr, /var and /etc that is a file system of its own.
layer=0
for dir in / /usr /var /etc; do
    if [ "$dir" = / ] || mountpoint -q "$dir"; then
        layer=$((layer + 1))
        mkdir -p "$upper$dir" "$scratch/work/$layer"
        mount -t overlay overlay -o "lowerdir=$dir,upperdir=$upper$dir,workdir=$scratch/work/$layer" \
            "$top$dir" || fail "cannot mount an overlay of $dir"
    fi
done
# /proc, /sys (read-only) and /dev; a fresh /run, in which no service manager answers, and /tmp.
mount -t proc proc "$top/proc" && mount -t sysfs -o ro sysfs "$top/sys" &&
    mount --rbind /dev "$top/dev" && mount -t tmpfs tmpfs "$top/run" &&
    mount -t tmpfs tmpfs "$top/tmp" || fail "cannot prepare the throw-away root"
cp "$deb" "$top/tmp/quellix.deb"
in_root() { chroot "$top" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

in_root dpkg --force-depends -i /tmp/quellix.deb >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; fail "dpkg could not install the package"; }
grep -q '^ii  quellix ' < <(in_root dpkg -l quellix) || fail "the package is not installed"
echo "   installed with dpkg into the throw-away root"

# A root run on a small file system of this check's own, mounted in the throw-away /tmp.
truncate -s 16M "$scratch/drive.img" && mkfs.ext4 -q -F "$scratch/drive.img" || fail "no image"
device=$(losetup --find --show "$scratch/drive.img") || fail "no loop device"
trap 'umount "$top/tmp/drive" 2>/dev/null; losetup -d "$device"' EXIT
mkdir "$top/tmp/drive" && mount -o nodiscard "$device" "$top/tmp/drive" || fail "cannot mount the image"
mountpoint -q "$top/tmp/drive" &&
    [ "$(findmnt -n -o SOURCE --mountpoint "$top/tmp/drive")" = "$device" ] || fail "the image is not mounted"
touch "$scratch/before-run"
sleep 1
# Library caches (fontconfig's) go to the throw-away /tmp; they are no file of the program.
in_root env QUELLIX_DRIVES=/tmp/drive XDG_CACHE_HOME=/tmp/cache \
    timeout 300 /usr/bin/quellix C: RAND=1 RUN </dev/null >"$scratch/run.log" 2>&1
status=$?
[ "$status" -eq 0 ] || { cat "$scratch/run.log"; fail "the root run ended with status $status"; }
written=$(cd "$upper" && find . -newer "$scratch/before-run" ! -type d | sed 's|^\.||' | sort)
for f in /var/lib/quellix/QuellixRandom.sav /var/lib/quellix/QuellixRuns.jsonl; do
    grep -qx "$f" <<<"$written" || fail "the root run did not write $f; it wrote: $written"
done
stray=$(grep -v '^/var/lib/quellix/' <<<"$written" || true)
[ -z "$stray" ] || fail "the root run wrote outside /var/lib/quellix: $stray"
echo "   a root run wrote only to /var/lib/quellix: $(tr '\n' ' ' <<<"$written")"

in_root dpkg -r quellix >"$scratch/remove.log" 2>&1 || { cat "$scratch/remove.log"; fail "dpkg -r failed"; }
! grep -q 'not empty' "$scratch/remove.log" || { cat "$scratch/remove.log"; fail "removal left files"; }
in_root dpkg -P quellix >"$scratch/purge.log" 2>&1 || { cat "$scratch/purge.log"; fail "dpkg -P failed"; }
# What is left in the upper directory is what the install, the run and the purge changed. Files
# that were there before (the package database, logs, caches that triggers renew) may have
# changed; a new file may only be dpkg's own; nothing may be deleted or name the package.
left=$(cd "$upper" && find . ! -type d | sed 's|^\.||' | sort)
while IFS= read -r f; do
    [ -n "$f" ] || continue
    case "$f" in
        */var/lib/dpkg/info/* | *quellix*) fail "the purge left $f" ;;
    esac
    [ ! -c "$upper$f" ] || fail "the package deleted $f"
    if [ ! -e "$f" ] && [ ! -L "$f" ]; then
        case "$f" in
            # dpkg's own files, and the indices that other packages' triggers renew.
            /var/lib/dpkg/* | /var/log/* | /var/cache/* | */mimeinfo.cache | */icon-theme.cache) ;;
            *) fail "the purge left the new file $f" ;;
        esac
    fi
done <<<"$left"
dirs=$(cd "$upper" && find . -type d -name '*quellix*' | sed 's|^\.||')
[ -z "$dirs" ] || fail "the purge left the directories $dirs"
echo "   removed and purged: no file of the package or of its run is left"
INSTALL
echo "== The package installs, runs as root without writing below /usr, and purges cleanly"
