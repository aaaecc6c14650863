#!/usr/bin/env bash
# Builds the benchmarks (release flags, tests off) and runs them:
#   scripts/bench.sh [benchmark options...]   e.g. --benchmark_filter=Render
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DVORNALIX_BUILD_BENCH=ON \
  -DVORNALIX_BUILD_TESTS=OFF -DVORNALIX_BUILD_TOOLS=OFF
exec build-bench/bench/vornalix_bench "$@"
