#!/usr/bin/env bash
# Installs the Debian packages that building, testing, packaging and the demo need, when any is
# missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
    fonts-liberation fonts-dejavu-core xvfb xauth x11-apps imagemagick
    e2fsprogs xfsprogs btrfs-progs ntfs-3g util-linux mount quota time sleuthkit
    dpkg-dev file desktop-file-utils man-db groff-base libxml2-utils systemd lintian appstream
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Run as root (or install them with apt-get) and try again." >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
