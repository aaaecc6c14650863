#!/usr/bin/env bash
# The whole test suite: installs what is missing, then builds and runs the
# tests twice, once normally and once under AddressSanitizer + UBSan, runs
# the concurrency test under ThreadSanitizer, and runs every fuzz target
# briefly ($VORNALIX_FUZZ_SECONDS, default 20 s each) so that a parser
# regression shows.
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything in one apt-get run, the fuzzers' compiler included.
scripts/setup.sh clang libclang-rt-14-dev

# Each phase prints when it starts and how long the one before it took.
started=$SECONDS
previous=""
phase() {
  [ -n "$previous" ] && echo "== $previous took $((SECONDS - started)) s"
  previous=$1
  started=$SECONDS
  echo
  echo "== $1 ($(date +%T))"
}
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
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
phase "thread sanitizer build"
scripts/build.sh build-tsan -DVORNALIX_TSAN=ON -DVORNALIX_BUILD_TOOLS=OFF -DVORNALIX_BUILD_PYTHON=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g"
phase "thread sanitizer test"
ctest --test-dir build-tsan --output-on-failure
phase "fuzz smoke"
scripts/fuzz.sh "${VORNALIX_FUZZ_SECONDS:-20}"
phase "done"
echo "== whole suite: ${SECONDS} s"
