#!/usr/bin/env bash
# The whole test suite: installs what is missing, then builds and runs the
# tests twice, once normally and once under AddressSanitizer + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

phase() { echo; echo "== $1 ($(date +%T))"; }
jobs=$(nproc)

phase "build"
scripts/build.sh build
phase "tests"
ctest --test-dir build --output-on-failure -j"$jobs"

phase "sanitizer build"
scripts/build.sh build-asan -DVORNALIX_SANITIZE=ON -DVORNALIX_BUILD_TOOLS=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g"
phase "sanitizer tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
phase "done"
