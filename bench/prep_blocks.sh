#!/usr/bin/env bash
# Builds the optimised build with the benchmarks and times the building of a run's fill data.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release -G Ninja -DQUELLIX_BENCH=ON >/dev/null
cmake --build --preset release --target bench_prep_blocks -j2
./build/release/bin/bench_prep_blocks --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true "$@"
