#!/usr/bin/env bash
# Checks the Debian package that the release build made: its control fields, its files under
# /usr, and that the program it holds runs. The package is unpacked into a temporary root, never
# installed. Usage: check-package.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
fail() {
    echo "check-package: $*" >&2
    exit 1
}

version=$(sed -n 's/^project(Quellix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
deb=$build/quellix_${version}_$(dpkg --print-architecture).deb

[ -f "$deb" ] || fail "no package $deb"
echo "== Checking $deb"

info=$(dpkg-deb --info "$deb")
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
grep -q 'fonts-liberation' <<<"$depends" || fail "Depends lacks fonts-liberation: $depends"
grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks the Qt libraries: $depends"
grep -q '^ Recommends: .*pkexec' <<<"$info" || fail "the package does not recommend pkexec"
echo "   Depends: $depends"

root=$(mktemp -d /tmp/quellix-package.XXXXXX)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

for f in usr/lib/quellix/quellix usr/lib/quellix/QuellixQuotes.sav usr/lib/quellix/Quellix.html \
    usr/share/man/man1/quellix.1 usr/share/applications/quellix.desktop \
    usr/share/icons/hicolor/48x48/apps/quellix.png usr/share/icons/hicolor/256x256/apps/quellix.png \
    usr/share/polkit-1/actions/org.quellix.quellix.policy \
    usr/lib/systemd/system/quellix-wipe.service usr/lib/systemd/system/quellix-wipe.timer \
    usr/share/doc/quellix/quellix.default; do
    [ -f "$root/$f" ] || fail "the package lacks /$f"
done
[ "$(readlink "$root/usr/bin/quellix")" = ../lib/quellix/quellix ] ||
    fail "/usr/bin/quellix is not a relative link to ../lib/quellix/quellix"
[ ! -e "$root/etc" ] || fail "the package installs into /etc"
# The files that name the program were written for /usr, not for the directory CPack staged in.
grep -qx 'Exec=pkexec /usr/lib/quellix/quellix' "$root/usr/share/applications/quellix.desktop" ||
    fail "the desktop entry does not start /usr/lib/quellix/quellix"
grep -q '>/usr/lib/quellix/quellix<' "$root/usr/share/polkit-1/actions/org.quellix.quellix.policy" ||
    fail "the polkit action does not name /usr/lib/quellix/quellix"
grep -qx 'ExecStart=/usr/lib/quellix/quellix $QUELLIX_OPTIONS' \
    "$root/usr/lib/systemd/system/quellix-wipe.service" ||
    fail "the service does not start /usr/lib/quellix/quellix"

# The packaged program, run through its link with the system's Qt, headless, on a drive list of
# its own.
drives=$root/drives
mkdir "$drives" "$root/state"
! mountpoint -q "$drives" || fail "$drives is a mount point"
status=0
out=$(cd "$root" && env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH QUELLIX_DRIVES="$drives" \
    XDG_STATE_HOME="$root/state" timeout 60 "$root/usr/bin/quellix" '?' </dev/null 2>&1) || status=$?
[ "$status" -eq 0 ] || fail "the packaged quellix '?' ended with status $status: $out"
grep -q "Command-line options are" <<<"$out" || fail "the packaged quellix '?' printed: $out"
version=$(dpkg-deb --field "$deb" Version)
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH timeout 60 "$root/usr/bin/quellix" \
    --version </dev/null 2>&1) || fail "the packaged quellix --version failed: $out"
[ "$out" = "quellix $version" ] || fail "the packaged quellix --version printed: $out"
echo "== The package is complete and its program runs"
