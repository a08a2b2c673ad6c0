#!/usr/bin/env bash
# Builds Quellix and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset release -G Ninja >/dev/null
cmake --build --preset release -j "$(nproc)"
./build/release/bin/quellix "$@"
