#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang (AddressSanitizer +
# UBSan), writes the seed corpus and runs every target for SECONDS each
# (default 60), one after another with one process each.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# New inputs collect in build-fuzz/corpus/<target>/ (kept between runs, never
# committed); a crash, leak, hang (one input over 60 s, or
# $VORNALIX_FUZZ_TIMEOUT) or an allocation over 2.5 GB stops the
# script with the reproducer saved under build-fuzz/artifacts/<target>/.
# Replay one with: build-fuzz/<target> build-fuzz/artifacts/<target>/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh clang libclang-rt-14-dev

seconds=${1:-60}
shift || true
build=build-fuzz
camera_raw=/usr/share/doc/rawtran/IMG_5952.CR2

echo "== fuzz build ($(date +%T))"
CC=clang CXX=clang++ cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

rm -rf "$build/seeds"
"$build/make_seeds" "$build/seeds" "$camera_raw"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# The targets write their files into a folder in memory, removed on any exit.
scratch=$(mktemp -d "${VORNALIX_FUZZ_SCRATCH_BASE:-/dev/shm}/vornalix-fuzz.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT

export VORNALIX_FUZZ_SCRATCH=$scratch
export OPENCV_LOG_LEVEL=ERROR OMP_NUM_THREADS=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}

for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  echo "== $target for ${seconds}s ($(date +%T))"
  log=$build/$target.log
  if ! "$build/$target" "$corpus" "$build/seeds" -max_total_time="$seconds" -timeout="${VORNALIX_FUZZ_TIMEOUT:-60}" \
      -rss_limit_mb=4096 -malloc_limit_mb=2560 -max_len=65536 -close_fd_mask=3 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "== $target FAILED: reproducer in $artifacts/" >&2
    exit 1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$log" | sed "s/^/   /"
done
echo "== fuzzing done ($(date +%T))"
