#!/usr/bin/env bash
# Builds the developer build and the sanitizer build and runs the whole test suite in both.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

echo "=== rules: formatting and layers"
bash scripts/check-rules.sh

jobs=$(nproc)
for preset in dev asan; do
    echo "=== $preset build"
    cmake --preset "$preset" -G Ninja >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== $preset tests"
    ctest --preset "$preset" -j "$jobs"
done
