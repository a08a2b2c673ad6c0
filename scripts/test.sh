#!/usr/bin/env bash
# Builds the Debian package in the release build and checks it, then builds the developer build
# and the sanitizer build and runs the whole test suite in both.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

echo "=== rules: formatting and layers"
bash scripts/check-rules.sh

jobs=$(nproc)
echo "=== release package"
cmake --preset release -G Ninja >/dev/null
cmake --build --preset release --target package -j "$jobs"
bash scripts/check-package.sh build/release

for preset in dev asan; do
    echo "=== $preset build"
    cmake --preset "$preset" -G Ninja >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== $preset tests"
    ctest --preset "$preset" -j "$jobs"
done
