#!/usr/bin/env bash
# The install, checked with the tools that read what it lays down: `cmake --install` into a
# temporary prefix (and once more with DESTDIR), the program run headless through its link, the
# desktop entry, man page, systemd units and their generator, the service's start script, icons,
# AppStream description and polkit action. Everything happens in a temporary directory that is
# removed at the end; a run as root names its state directory there (STATE_DIRECTORY), since an
# installed program run as root would otherwise write to the machine's /var/lib/quellix.
# Usage: install_test.sh BUILD_DIR VERSION
set -uo pipefail

build=$(readlink -f "$1")
version=$2
work=$(mktemp -d /tmp/quellix-install-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0

pass() { echo "ok:   $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# check DESCRIPTION COMMAND...: passes when the command succeeds and prints nothing at all.
check_silent() {
    local what=$1 out status
    shift
    out=$("$@" 2>&1)
    status=$?
    if [ "$status" -eq 0 ] && [ -z "$out" ]; then
        pass "$what"
    else
        fail "$what (status $status)"
        printf '%s\n' "$out" | sed 's/^/      /'
    fi
}

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install into $prefix"
    exit 1
fi

# --- Layout: the program's directory is real, bin/ holds a relative link into it.
for f in lib/quellix/quellix lib/quellix/QuellixQuotes.sav lib/quellix/quellix-wipe \
    share/doc/quellix/Quellix.html share/doc/quellix/copyright share/doc/quellix/changelog.gz \
    share/man/man1/quellix.1.gz share/applications/quellix.desktop \
    share/metainfo/org.quellix.quellix.metainfo.xml share/doc-base/quellix \
    share/icons/hicolor/48x48/apps/quellix.png share/icons/hicolor/256x256/apps/quellix.png \
    share/polkit-1/actions/org.quellix.quellix.policy \
    lib/systemd/system/quellix-wipe.service lib/systemd/system/quellix-wipe.timer \
    lib/systemd/system-generators/quellix-wipe-generator etc/default/quellix; do
    if [ -f "$prefix/$f" ] && [ ! -L "$prefix/$f" ]; then pass "installed $f"; else fail "no file $f"; fi
done
for f in lib/quellix/quellix lib/quellix/quellix-wipe lib/systemd/system-generators/quellix-wipe-generator; do
    [ -x "$prefix/$f" ] && pass "$f is executable" || fail "$f is not executable"
done
link=$(readlink "$prefix/bin/quellix" || true)
[ "$link" = "../lib/quellix/quellix" ] && pass "bin/quellix links to ../lib/quellix/quellix" ||
    fail "bin/quellix is not the relative link (readlink: '$link')"
leftover=$(grep -rl '@QUELLIX_' "$prefix" || true)
[ -z "$leftover" ] && pass "no template placeholder left" || fail "placeholders left in: $leftover"
# Installed means not enabled: no .wants links, nothing in etc/ but the commented settings.
extra=$(find "$prefix" -name '*.wants' -o -name '*.requires' -o -path "$prefix/etc/*" -type f \
    ! -path "$prefix/etc/default/quellix" | head -1)
[ -z "$extra" ] && pass "the units are not enabled" || fail "the install enabled something: $extra"
! grep -v '^#' "$prefix/etc/default/quellix" | grep -q '[^[:space:]]' &&
    pass "etc/default/quellix is commented throughout" || fail "etc/default/quellix sets something"

# --- The program runs through the link, without a display, on a drive list of its own.
drives=$work/drives
mkdir "$drives" "$work/state"
if mountpoint -q "$drives"; then
    fail "$drives is a mount point"
else
    out=$(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES="$drives" \
        XDG_STATE_HOME="$work/state" STATE_DIRECTORY="$work/state" QT_QPA_PLATFORM=offscreen \
        timeout 60 "$prefix/bin/quellix" '?' </dev/null 2>&1)
    status=$?
    if [ "$status" -eq 0 ] && grep -q "Command-line options are" <<<"$out"; then
        pass "bin/quellix '?' prints the option help, status 0"
    else
        fail "bin/quellix '?' (status $status)"
        printf '%s\n' "$out" | sed 's/^/      /'
    fi
fi

# --- The conventional options through the link: what they print, and nothing on stderr (no Qt
# warning either, also without XDG_RUNTIME_DIR).
run_installed() {
    (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR QUELLIX_DRIVES="$drives" \
        XDG_STATE_HOME="$work/state" STATE_DIRECTORY="$work/state" timeout 60 \
        "$prefix/bin/quellix" "$@" </dev/null 2>"$work/stderr")
}
out=$(run_installed --help)
status=$?
[ "$status" -eq 0 ] && grep -q "^Usage: quellix " <<<"$out" && [ ! -s "$work/stderr" ] &&
    pass "bin/quellix --help prints the usage, status 0, nothing on stderr" ||
    fail "bin/quellix --help (status $status): $out $(cat "$work/stderr")"
out=$(run_installed --version)
[ "$out" = "quellix $version" ] && [ ! -s "$work/stderr" ] && pass "bin/quellix --version prints 'quellix $version'" ||
    fail "bin/quellix --version printed '$out' $(cat "$work/stderr")"

# --- A real run through the link, as an ordinary user, on a file system of the test's own (root
# only; in a private mount namespace): the program finds its quotes through the link, and with
# its directory not writable for that user its error log and run report land in that user's
# XDG_STATE_HOME. A directory named like the tail fill file makes one error to log.
if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && command -v setpriv >/dev/null; then
    chmod 755 "$work"
    mkdir "$work/user-state" "$work/mnt"
    # The user may not enter the checkout (a clone in a 0700 home): a sanitizer build's run reads
    # its suppressions from a copy here.
    cp "$(dirname "$0")/../lsan.supp" "$work/lsan.supp"
    chown 65534 "$work/user-state"
    truncate -s 32M "$work/disk.img" && mkfs.ext4 -q -F -b 4096 "$work/disk.img"
    unshare -m --propagation private bash -s "$work" "$prefix" >"$work/user-run.txt" 2>&1 <<'RUN'
work=$1 prefix=$2
device=$(losetup --find --show "$work/disk.img") || exit 10
trap 'umount "$work/mnt" 2>/dev/null; losetup -d "$device"' EXIT
mount -o nodiscard "$device" "$work/mnt" || exit 11
mountpoint -q "$work/mnt" && [ "$(findmnt -n -o SOURCE --mountpoint "$work/mnt")" = "$device" ] || exit 12
chmod 777 "$work/mnt" && mkdir "$work/mnt/random01.qlk"
cd "$work" || exit 13
setpriv --reuid=65534 --regid=65534 --clear-groups env -u DISPLAY -u WAYLAND_DISPLAY \
    QUELLIX_DRIVES="$work/mnt" XDG_STATE_HOME="$work/user-state" \
    LSAN_OPTIONS="suppressions=$work/lsan.supp:print_suppressions=0" \
    timeout 300 "$prefix/bin/quellix" C: RAND=1 RUN </dev/null
RUN
    status=$?
    state=$work/user-state/quellix
    if [ "$status" -eq 4 ] && grep -q "occurred in fQL Fill Cycles" "$state/ErrLog.txt" 2>/dev/null &&
        [ -s "$state/QuellixRuns.jsonl" ] && [ -s "$state/QuellixRandom.sav" ] &&
        [ ! -e "$prefix/lib/quellix/ErrLog.txt" ]; then
        pass "as an ordinary user the installed program runs and writes its files under XDG_STATE_HOME"
    else
        fail "the ordinary user's run through the link (status $status)"
        sed 's/^/      /' "$work/user-run.txt" | tail -20
        ls -la "$state" 2>&1 | sed 's/^/      /'
    fi
else
    echo "skip: needs root, unshare and setpriv to run the installed program on an image of its own"
fi

# --- Desktop entry: valid, and starts the installed program (as root through pkexec).
desktop=$prefix/share/applications/quellix.desktop
check_silent "desktop-file-validate accepts quellix.desktop" desktop-file-validate "$desktop"
grep -qx "Exec=pkexec $prefix/lib/quellix/quellix" "$desktop" &&
    pass "the desktop entry starts the installed program through pkexec" ||
    fail "the desktop entry's Exec does not name $prefix/lib/quellix/quellix"
grep -qx "Exec=$prefix/bin/quellix" "$desktop" &&
    pass "the desktop action starts bin/quellix without root" ||
    fail "no desktop action starting $prefix/bin/quellix"

# --- Man page: compressed, no groff warning, man renders it, and every section is there.
page=$prefix/share/man/man1/quellix.1.gz
check_silent "groff -man -ww -z finds nothing to warn about" \
    bash -c 'set -o pipefail; zcat "$1" | groff -man -ww -z' - "$page"
rendered=$(MANWIDTH=80 man -l "$page" 2>"$work/man.err")
status=$?
if [ "$status" -eq 0 ] && [ ! -s "$work/man.err" ]; then
    pass "man -l renders the page"
else
    fail "man -l (status $status): $(cat "$work/man.err")"
fi
for section in NAME SYNOPSIS DESCRIPTION OPTIONS DRIVES "EXIT STATUS" ENVIRONMENT FILES \
    "RUN REPORT" EXAMPLES "SEE ALSO"; do
    grep -qx "$section" <<<"$rendered" || fail "the man page has no section $section"
done
grep -q "$prefix/lib/quellix/" <<<"$rendered" && pass "the man page names the program's directory" ||
    fail "the man page does not name $prefix/lib/quellix/"

# --- systemd units: the service starts quellix-wipe with the installed settings; the generator
# opens exactly the drives chosen there to it; verify loads the units with that drop-in (it
# needs the ExecStart program and the man page), and the service's sandbox rates 4.0 or below.
unit_dir=$prefix/lib/systemd/system
settings=$prefix/etc/default/quellix
grep -qx "ExecStart=$prefix/lib/quellix/quellix-wipe" "$unit_dir/quellix-wipe.service" &&
    grep -qx "EnvironmentFile=-$settings" "$unit_dir/quellix-wipe.service" &&
    pass "the service starts quellix-wipe with the installed settings" ||
    fail "the service does not start $prefix/lib/quellix/quellix-wipe with $settings"
generated=$work/generator
cp "$settings" "$work/settings.orig"
# A user's directory, and a link of its own to /etc, both in the file system table.
mkdir -p "$work/user/usb"
chown 65534 "$work/user"
ln -s /etc "$work/etc-link"
printf '%s\n' 'QUELLIX_DRIVES=/unused' \
    "  QUELLIX_DRIVES = \"/srv/data:/mnt/a b:+/etc:/srv/../etc:/mnt/50%:/not/mounted:$work/user/usb:$work/etc-link\"" \
    >>"$settings"
# The drives' mount points as the file system table lists them (at boot nothing is mounted yet).
printf '%s\n' '/dev/sdb1 /srv/data ext4 defaults 0 2' '/dev/sdb2 /mnt/a\040b xfs defaults 0 2' \
    '# /dev/sdb4 /not/mounted ext4 defaults 0 2' '/dev/sdb3 /mnt/50% ext4 defaults 0 2' \
    "/dev/sdc1 $work/user/usb ext4 defaults 0 2" "/dev/sdc2 $work/etc-link ext4 defaults 0 2" \
    >"$work/fstab"
QUELLIX_FSTAB=$work/fstab "$prefix/lib/systemd/system-generators/quellix-wipe-generator" \
    "$generated" "$generated" "$generated" 2>"$work/generator.err"
cp "$work/settings.orig" "$settings"
if diff - "$generated/quellix-wipe.service.d/50-drives.conf" >"$work/generated.diff" <<DROPIN; then
# Made by quellix-wipe-generator from $settings.
[Service]
Environment="QUELLIX_SERVICE_DRIVES=/srv/data:/mnt/a b:+/etc:/srv/../etc:/mnt/50%%:/not/mounted:$work/user/usb:$work/etc-link"
ReadWritePaths="-/srv/data"
ReadWritePaths="-/mnt/a b"
ReadWritePaths="-/mnt/50%%"
DROPIN
    pass "the generator opens exactly the chosen drives to the service"
else
    fail "the generator's drop-in:"
    sed 's/^/      /' "$work/generated.diff"
fi
# What is no mount point, or could reach past one (+ roots a path elsewhere, systemd follows
# links), is refused aloud.
for refused in "+/etc|is not an absolute path" "/srv/../etc|is not a normalized path" \
    "/not/mounted|is neither mounted nor listed" "$work/user/usb|lies in $work/user, which others" \
    "$work/etc-link|reaches through the symbolic link"; do
    drive=${refused%%|*}
    grep -qF "quellix-wipe-generator: the drive $drive in $settings ${refused#*|}" \
        "$work/generator.err" && pass "the generator refuses $drive in the journal" ||
        fail "the generator does not refuse $drive: $(cat "$work/generator.err")"
done
if command -v systemd-analyze >/dev/null; then
    check_silent "systemd-analyze verify accepts the service with the generator's drop-in, and the timer" \
        env MANPATH="$prefix/share/man" SYSTEMD_UNIT_PATH="$generated:$unit_dir:" \
        systemd-analyze verify quellix-wipe.service quellix-wipe.timer
    exposure=$(systemd-analyze security --offline=true "$unit_dir/quellix-wipe.service" 2>&1 |
        sed -n 's/.*Overall exposure level for quellix-wipe.service: \([0-9.]*\).*/\1/p')
    awk -v e="$exposure" 'BEGIN { exit !(e != "" && e + 0 <= 4.0) }' &&
        pass "systemd-analyze security rates the service $exposure (4.0 or below)" ||
        fail "systemd-analyze security rates the service '$exposure'"
else
    echo "skip: systemd-analyze is not installed, the units are not verified"
fi

# --- The service's start script. Without drives it refuses, starts nothing and writes nothing;
# so it does when the settings changed since the service manager loaded them. With drives, the
# program lists exactly them, and gets them as words after the script's own arguments and
# before the options. Where a run could start, a copy of the script starts printf instead of
# the program: a script that failed to refuse must not wipe the machine's drives.
wipe=$prefix/lib/quellix/quellix-wipe
words=$work/wipe-words
sed "s|^exec $prefix/lib/quellix/quellix |exec printf '<%s>' |" "$wipe" >"$words"
mkdir "$work/wipe-state" "$work/a dir"
run_wipe() {
    (cd "$work" && env -i PATH=/usr/bin:/bin STATE_DIRECTORY="$work/wipe-state" \
        XDG_STATE_HOME="$work/wipe-state" "$@" </dev/null >"$work/wipe.out" 2>"$work/wipe.err")
}
# refuses SAYS [VARIABLE=VALUE...]: quellix-wipe with these settings ends with status 2 and a
# line that says so, having started nothing and written nothing.
refuses() {
    local says=$1 status
    shift
    run_wipe "$@" sh "$words"
    status=$?
    if [ "$status" -eq 2 ] && grep -q "^quellix-wipe: .*$says.*nothing was done" "$work/wipe.err" &&
        [ ! -s "$work/wipe.out" ] && [ -z "$(ls -A "$work/wipe-state")" ]; then
        pass "quellix-wipe refuses ($says) with status 2 and writes nothing: $*"
    else
        fail "quellix-wipe with $* (status $status): $(cat "$work/wipe.out" "$work/wipe.err")"
    fi
}
refuses "no drives to clean"
refuses "no drives to clean" QUELLIX_DRIVES= QUELLIX_OPTIONS="ALL RUN"
refuses "no drives to clean" QUELLIX_DRIVES=::
refuses "systemctl daemon-reload" QUELLIX_DRIVES="$drives" QUELLIX_SERVICE_DRIVES=/srv/old
run_wipe QUELLIX_DRIVES="$drives:$work/a dir" QUELLIX_OPTIONS=--list timeout 60 "$wipe"
listed=$(grep -c '^[C-Z]: ' "$work/wipe.out")
grep -q "^C: *$drives " "$work/wipe.out" && grep -q "^D: *$work/a dir " "$work/wipe.out" &&
    [ "$listed" -eq 2 ] && pass "quellix-wipe pins the program to the chosen drives" ||
    fail "quellix-wipe --list printed: $(cat "$work/wipe.out" "$work/wipe.err")"
grep -q "^exec printf" "$words" || fail "the copy of quellix-wipe still starts the program"
run_wipe QUELLIX_DRIVES="/srv/data::/mnt/a b:" QUELLIX_OPTIONS="RAND=3  RUN" sh "$words" -n
[ "$(cat "$work/wipe.out")" = "<-n></srv/data></mnt/a b><RAND=3><RUN>" ] &&
    pass "quellix-wipe hands over its arguments, the drives as words and the options" ||
    fail "quellix-wipe handed over: $(cat "$work/wipe.out" "$work/wipe.err")"
run_wipe QUELLIX_DRIVES=/srv/data sh "$words"
[ "$(cat "$work/wipe.out")" = "</srv/data><RUN>" ] && pass "quellix-wipe runs with RUN by default" ||
    fail "quellix-wipe without options handed over: $(cat "$work/wipe.out" "$work/wipe.err")"

# --- AppStream description: valid for software centres (where appstreamcli is installed).
if command -v appstreamcli >/dev/null; then
    check_silent "appstreamcli validates the AppStream description" bash -c \
        'appstreamcli validate --pedantic --no-net "$1" >/dev/null || appstreamcli validate --pedantic --no-net "$1"' \
        - "$prefix/share/metainfo/org.quellix.quellix.metainfo.xml"
else
    echo "skip: appstreamcli is not installed, the AppStream description is not validated"
fi

# --- Icons: PNGs of their sizes with an alpha channel, mostly covered by the tile.
for size in 48 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/quellix.png
    got=$(identify -format '%m %w %h' "$icon" 2>&1)
    [ "$got" = "PNG $size $size" ] && pass "the ${size} px icon is a ${size}x${size} PNG" ||
        fail "the ${size} px icon: identify says '$got'"
    cover=$(convert "$icon" -alpha extract -format '%[fx:mean>0.7]' info: 2>&1)
    [ "$cover" = 1 ] && pass "the ${size} px icon is drawn, not blank" ||
        fail "the ${size} px icon is mostly transparent ($cover)"
done

# --- polkit action: well-formed (valid where polkit's DTD is installed), naming the program.
policy=$prefix/share/polkit-1/actions/org.quellix.quellix.policy
dtd=/usr/share/polkit-1/policyconfig-1.dtd
if [ -f "$dtd" ]; then
    check_silent "the polkit action is valid against polkit's DTD" \
        xmllint --noout --nonet --dtdvalid "$dtd" "$policy"
else
    echo "note: $dtd is not installed; the polkit action is checked for well-formedness only"
    check_silent "the polkit action is well-formed XML" xmllint --noout --nonet "$policy"
fi
annotation() {
    xmllint --nonet --xpath "string(//action/annotate[@key='org.freedesktop.policykit.exec.$1'])" \
        "$policy" 2>&1
}
[ "$(annotation path)" = "$prefix/lib/quellix/quellix" ] &&
    pass "the polkit action names the installed program" ||
    fail "the polkit action's exec.path is '$(annotation path)'"
[ "$(annotation allow_gui)" = true ] && pass "the polkit action keeps the display" ||
    fail "the polkit action does not allow the GUI"

# --- DESTDIR: the files land below it and name the prefix alone. The prefix lies in the
# temporary directory too, so that an install that missed DESTDIR still stays inside it.
target=$work/usr
staged=$work/dest$target
if DESTDIR=$work/dest cmake --install "$build" --prefix "$target" >"$work/install.log" 2>&1; then
    if [ -e "$target" ]; then
        fail "a DESTDIR install wrote to the prefix itself"
    elif grep -qx "Exec=pkexec $target/lib/quellix/quellix" "$staged/share/applications/quellix.desktop" &&
        [ -f "$staged/lib/quellix/quellix" ] && [ -z "$(grep -rl "$work/dest" "$staged")" ]; then
        pass "a DESTDIR install names the prefix, never DESTDIR"
    else
        fail "a DESTDIR install does not name the prefix alone"
    fi
else
    cat "$work/install.log"
    fail "cmake --install with DESTDIR"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures install check(s) failed"
    exit 1
fi
echo "all install checks passed"
