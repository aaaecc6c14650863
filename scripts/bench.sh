#!/usr/bin/env bash
# Builds the benchmarks and the command-line program with release flags and
# runs them: the render and preview times against one memcpy of the working
# image, peak memory of rendering, then the whole-process timings
# (bench/whole_process.sh: start-up, full-size development against other
# developers, the typical edit and its peak memory against vips, batch).
#   scripts/bench.sh [benchmark options...]   e.g. --benchmark_filter=Render
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DVORNALIX_BUILD_BENCH=ON \
  -DVORNALIX_BUILD_TESTS=OFF -DVORNALIX_BUILD_TOOLS=ON -DVORNALIX_BUILD_PYTHON=OFF
echo "cores: $(nproc)"
build-bench/bench/vornalix_bench "$@"
echo
bench/whole_process.sh build-bench/tools/vornalix
