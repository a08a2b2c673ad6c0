# Shared by the benchmarks; source it after setting `root` to the checkout.

# bench_enter NAME ARGS...: goes on only as root; outside the private mount namespace it installs
# what the benchmarks need, builds the optimised program (its log in /tmp/quellix-NAME-build.txt)
# and runs the script again with ARGS in a mount namespace of its own, so that none of its mounts
# is seen by the rest of the machine.
bench_enter() {
    local name=$1
    shift
    if [ "$(id -u)" -ne 0 ]; then
        echo "Run as root: the benchmark loop-mounts images of its own." >&2
        exit 1
    fi
    [ -n "${QUELLIX_BENCH_NS:-}" ] && return 0
    bash "$root/scripts/deps.sh"
    local log=/tmp/quellix-$name-build.txt
    (cd "$root" && cmake --preset release -G Ninja >/dev/null &&
        cmake --build --preset release -j "$(nproc)" >"$log" 2>&1) ||
        { tail -n 30 "$log" >&2; exit 1; }
    exec env QUELLIX_BENCH_NS=1 unshare -m --propagation private bash "$0" "$@"
}

# bench_install PACKAGE...: installs the Debian packages that are missing (outside the namespace
# only: call it before bench_enter).
bench_install() {
    [ -n "${QUELLIX_BENCH_NS:-}" ] && return 0
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
            { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
                --no-install-recommends "$p" >/dev/null; }
    done
}

# bench_program DIR: the optimised program and its quotes file in DIR, a directory of its own, so
# that its random text and run report are the benchmark's.
bench_program() {
    mkdir -p "$1"
    cp "$root/build/release/bin/quellix" "$root/resources/QuellixQuotes.sav" "$1/"
}
